#pragma once
// The program's own pictures, drawn as SVG and kept in the resources: the
// header background, the logo, the main picture of the splash and about box,
// and the run-as-administrator illustration.

#include <QIcon>
#include <QPixmap>
#include <QSize>

namespace widgets {

QPixmap HeaderPicture(QSize size);
QPixmap LogoPicture(int side);
QPixmap MainPicture(int side);
QPixmap RunAsAdministratorPicture();
QIcon ApplicationIcon();

}  // namespace widgets
