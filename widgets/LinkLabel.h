#pragma once
// A hand-cursor label that reports a left click, for the header links, the
// support address and the vendor's web address.

#include <QLabel>

namespace widgets {

class TLinkLabel : public QLabel {
  Q_OBJECT
 public:
  explicit TLinkLabel(const QString& text, QWidget* parent = nullptr);

 signals:
  void clicked();

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace widgets
