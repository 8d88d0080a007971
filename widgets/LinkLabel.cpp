#include "widgets/LinkLabel.h"

#include <QKeyEvent>
#include <QMouseEvent>

namespace widgets {

TLinkLabel::TLinkLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
  setCursor(Qt::PointingHandCursor);
  // Reachable with Tab and opened with Space; Enter stays with the window's default button.
  setFocusPolicy(Qt::TabFocus);
}

void TLinkLabel::mouseReleaseEvent(QMouseEvent* event) {
  QLabel::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
}

void TLinkLabel::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Space) {
    emit clicked();
    return;
  }
  QLabel::keyPressEvent(event);
}

}  // namespace widgets
