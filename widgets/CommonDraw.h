#pragma once
// Owner-draw of list items made of ";"-separated fields, for the file-type
// lists: one column (field 1) or two columns (fields 1 and 2). The delegate
// applies them to a list view, a combo box's popup or a check list.

#include <QStyledItemDelegate>

class QPainter;

namespace widgets {

// Field 1 on the caption colour (highlight when selected), field 2 from
// left + 5 + columnOffset on the window colour (highlight when selected).
void DrawSimpleTwoColumnItem(QPainter& painter, const QRect& rect, const QString& text, int columnOffset,
                             bool selected, const QPalette& palette);
// Field 1 on the window colour (highlight when selected), in the painter's font.
void DrawSimpleOneColumnItem(QPainter& painter, const QRect& rect, const QString& text, bool selected,
                             const QPalette& palette);

class TSimpleItemDelegate : public QStyledItemDelegate {
 public:
  // columnOffset < 0 draws one column.
  TSimpleItemDelegate(int columnOffset, QObject* parent) : QStyledItemDelegate(parent), m_offset(columnOffset) {}
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

 private:
  int m_offset;
};

}  // namespace widgets
