#include "widgets/DialogHeader.h"

#include "widgets/Pictures.h"

#include <QLabel>
#include <QPainter>

namespace widgets {

THeaderStrip::THeaderStrip(const QString& title, int pointSize, QWidget* parent)
    : QWidget(parent), m_title(title), m_pointSize(pointSize) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void THeaderStrip::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.drawPixmap(rect(), HeaderPicture(size()));
  const int logoSide = std::max(16, height() - 22);
  const int logoTop = (height() - logoSide) / 2;
  painter.drawPixmap(12, logoTop, LogoPicture(logoSide));
  QFont font = painter.font();
  font.setPointSize(m_pointSize);
  font.setBold(true);
  painter.setFont(font);
  painter.setPen(Qt::white);
  const QRect textRect(logoSide + 24, 0, width() - logoSide - 24, height());
  painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter, m_title);
}

void SetDialogBorder(QWidget& dialog) {
  dialog.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
}

void MakeHeaderLink(QLabel& label, const QColor& colour) {
  QPalette palette = label.palette();
  palette.setColor(QPalette::WindowText, colour);
  label.setPalette(palette);
  label.setCursor(Qt::PointingHandCursor);
  QFont font = label.font();
  font.setUnderline(true);
  label.setFont(font);
}

}  // namespace widgets
