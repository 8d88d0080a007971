#pragma once
// Tfrm_Loading: the borderless "Information" notice that runs one step once
// it is on screen and then closes itself (result 1). Without a step it just
// closes after its interval. Created for one use and shown modally.

#include "widgets/MekFlashingLabel.h"

#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <functional>

namespace widgets {

class Tfrm_Loading : public QDialog {
  Q_OBJECT
 public:
  explicit Tfrm_Loading(QWidget* parent = nullptr);

  void SetStep(std::function<void()> step) { m_step = std::move(step); }
  void SetMessage(const QString& text);
  void SetTimeLimit(int milliseconds);
  QString Message() const { return m_message->text(); }
  // Shows the progress bar and "Stop", which calls `onStop` (the step itself ends early).
  void ShowProgress(std::function<void()> onStop);
  void SetProgress(int percent, const QString& hint);
  QProgressBar* ProgressBar() const { return m_progress; }
  QLabel* ProgressHint() const { return m_hint; }
  QPushButton* StopButton() const { return m_stop; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void Tick();

  TMekFlashingLabel* m_message;
  QProgressBar* m_progress;
  QLabel* m_hint;
  QPushButton* m_stop;
  std::function<void()> m_onStop;
  QTimer m_timer;
  std::function<void()> m_step;
};

}  // namespace widgets
