#include "drives/DriveItemDelegate.h"

#include "drives/ZubDrvListBox.h"
#include "platform/DriveTable.h"
#include "util/Text.h"

#include <QApplication>
#include <QIcon>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>

#include <algorithm>

namespace drives {
namespace {

constexpr int kIconSize = 16;

QString Field(const QString& text, int n) {
  return QString::fromStdString(util::GetField(text.toStdString(), n, ';'));
}

// A small padlock over the icon's corner: the device is there but needs root.
void DrawLock(QPainter& painter, const QRect& icon) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF body(icon.right() - 7.5, icon.bottom() - 6.5, 8, 6);
  QPainterPath shackle;
  shackle.addRoundedRect(QRectF(body.left() + 1.5, body.top() - 4, 5, 7), 2.5, 2.5);
  painter.setPen(QPen(QColor(70, 70, 70), 1.4));
  painter.setBrush(Qt::NoBrush);
  painter.drawPath(shackle);
  painter.setPen(QPen(QColor(90, 60, 0), 1));
  painter.setBrush(QColor(236, 181, 40));
  painter.drawRoundedRect(body, 1, 1);
  painter.restore();
}

}  // namespace

QIcon DriveTypeIcon(int driveType) {
  QStyle* style = QApplication::style();
  switch (driveType) {
    case platform::kDriveRemovable:
      return QIcon::fromTheme(QStringLiteral("drive-removable-media"), style->standardIcon(QStyle::SP_DriveFDIcon));
    case platform::kDriveRemote:
      return QIcon::fromTheme(QStringLiteral("folder-remote"), style->standardIcon(QStyle::SP_DriveNetIcon));
    case platform::kDriveCdRom:
      return QIcon::fromTheme(QStringLiteral("drive-optical"), style->standardIcon(QStyle::SP_DriveCDIcon));
    case platform::kDriveRamDisk:
      return QIcon::fromTheme(QStringLiteral("media-flash"), style->standardIcon(QStyle::SP_DriveHDIcon));
    default:
      return QIcon::fromTheme(QStringLiteral("drive-harddisk"), style->standardIcon(QStyle::SP_DriveHDIcon));
  }
}

DriveItemDelegate::DriveItemDelegate(TZubDrvListBox* list) : QStyledItemDelegate(list), m_list(list) {}

QSize DriveItemDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
  QSize size = QStyledItemDelegate::sizeHint(option, index);
  size.setHeight(m_list->ItemHeight());
  return size;
}

void DriveItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
  const bool selected = option.state & QStyle::State_Selected;
  const QPalette& palette = option.palette;
  const QBrush back = selected ? palette.highlight() : palette.base();
  painter->save();
  painter->fillRect(option.rect, back);
  painter->setPen(selected ? palette.color(QPalette::HighlightedText) : palette.color(QPalette::Text));
  const QString text = index.data(Qt::DisplayRole).toString();
  const QRect& r = option.rect;

  int textLeft = r.left() + 4;
  const QRect iconRect(r.left() + 4, r.top() + (r.height() - kIconSize) / 2, kIconSize, kIconSize);
  DriveTypeIcon(index.data(kDriveKindRole).toInt()).paint(painter, iconRect);
  if (index.data(kUnreadableRole).toBool()) DrawLock(*painter, iconRect);
  textLeft = r.left() + kIconSize + 8;

  auto draw = [&](int left, const QString& s) {
    painter->drawText(QRect(left, r.top(), std::max(0, r.right() - left), r.height()),
                      Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine, s);
  };
  draw(textLeft, Field(text, 1));
  const int column = textLeft + m_list->SizeLeft();
  // The free column sits 50 pixels after the size column, or further when the
  // font is wider than the size texts were laid out for.
  const int gap = std::max(50, option.fontMetrics.horizontalAdvance(QStringLiteral("[8,888 Bytes]")) + 8);
  const TDisplay display = m_list->Display();
  if (display == dsNameSizeFree || display == dsNameSize) {
    painter->fillRect(QRect(column, r.top(), std::max(0, r.right() - column + 1), r.height()), back);
    draw(column + 5, Field(text, 2));
  }
  if (display == dsNameSizeFree) {
    painter->fillRect(QRect(column + gap, r.top(), std::max(0, r.right() - column - gap + 1), r.height()), back);
    draw(column + gap + 5, Field(text, 4));
  } else if (display == dsNameFree) {
    painter->fillRect(QRect(column, r.top(), std::max(0, r.right() - column + 1), r.height()), back);
    draw(column + 5, Field(text, 4));
  }
  painter->restore();
}

}  // namespace drives
