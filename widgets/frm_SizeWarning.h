#pragma once
// Tfrm_SizeWarning: tells the user that the selected files need more free
// space than the drives offer, and how to resolve it. The caller sets the
// figures before showing it; the labels are filled when it is shown.

#include <QDialog>
#include <QLabel>

#include <cstdint>
#include <string>

namespace widgets {

class Tfrm_SizeWarning : public QDialog {
  Q_OBJECT
 public:
  explicit Tfrm_SizeWarning(QWidget* parent = nullptr);

  std::int64_t Number = 0;
  std::int64_t Required = 0;
  std::int64_t Available = 0;
  std::string MaxDrive;
  std::int64_t MaxDriveFree = 0;

  // Fills the labels from the fields (done when shown).
  void FillLabels();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QLabel* Add(const char* name, const QString& text);

  QWidget* m_box = nullptr;
};

}  // namespace widgets
