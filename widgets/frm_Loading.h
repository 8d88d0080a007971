#pragma once
// Tfrm_Loading: the borderless "Information" notice that runs one step once
// it is on screen and then closes itself (result 1). Without a step it just
// closes after its interval. Created for one use and shown modally.

#include "widgets/MekFlashingLabel.h"

#include <QDialog>
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

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void Tick();

  TMekFlashingLabel* m_message;
  QTimer m_timer;
  std::function<void()> m_step;
};

}  // namespace widgets
