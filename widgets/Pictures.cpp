#include "widgets/Pictures.h"

#include <QGuiApplication>
#include <QPainter>
#include <QSvgRenderer>

namespace widgets {
namespace {

// Rendered at the screen's pixel ratio so the pictures stay sharp on high-density screens.
QPixmap Render(const char* resource, QSize size) {
  const qreal ratio = qApp != nullptr ? qApp->devicePixelRatio() : 1.0;
  QPixmap pixmap(size * ratio);
  pixmap.setDevicePixelRatio(ratio);
  pixmap.fill(Qt::transparent);
  QSvgRenderer renderer(QString::fromLatin1(resource));
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
  return pixmap;
}

}  // namespace

QPixmap HeaderPicture(QSize size) { return Render(":/trellmond/header.svg", size); }
QPixmap LogoPicture(int side) { return Render(":/trellmond/trellmond.svg", QSize(side, side)); }
QPixmap MainPicture(int side) { return Render(":/trellmond/main.svg", QSize(side, side)); }
QPixmap RunAsAdministratorPicture() { return Render(":/trellmond/runas.svg", QSize(360, 190)); }

QIcon ApplicationIcon() {
  QIcon icon;
  for (int side : {16, 24, 32, 48, 64, 128, 256}) icon.addPixmap(LogoPicture(side));
  return icon;
}

}  // namespace widgets
