#pragma once
// Tfrm_SecurityWarning: the notice the scanners show when the drive cannot be
// read for want of rights, with the illustration of the elevated start.

#include <QDialog>

namespace widgets {

class Tfrm_SecurityWarning : public QDialog {
  Q_OBJECT
 public:
  explicit Tfrm_SecurityWarning(QWidget* parent = nullptr);
};

}  // namespace widgets
