#pragma once
// The look of the dialog's three check lists: sorted, three columns, each item
// a check box with the extension and the description beside it.

#include <QStyledItemDelegate>

class QListWidget;

namespace filetypes {

// Extension column width when the font is small enough for it.
inline constexpr int kExtensionColumn = 25;

class FileTypeItemDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

// Sorting, column flow and the delegate; the columns follow the list's width.
void MakeThreeColumnCheckList(QListWidget& list);

}  // namespace filetypes
