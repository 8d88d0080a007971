#pragma once
// Draws one row of the drive list: icon, display name, and the size and free
// columns at the list's size column, as its display mode says.

#include <QStyledItemDelegate>

namespace drives {

class TZubDrvListBox;

class DriveItemDelegate : public QStyledItemDelegate {
 public:
  explicit DriveItemDelegate(TZubDrvListBox* list);
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

 private:
  TZubDrvListBox* m_list;
};

// The small icon of a drive type (theme icon, or the style's own).
QIcon DriveTypeIcon(int driveType);

}  // namespace drives
