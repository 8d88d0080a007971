#include "filetypes/FileTypeList.h"

#include "widgets/CommonDraw.h"

#include <QApplication>
#include <QEvent>
#include <QListWidget>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

namespace filetypes {
namespace {

// Keeps three columns across the list whatever its width.
class ColumnGrid : public QObject {
 public:
  explicit ColumnGrid(QListWidget& list) : QObject(&list), m_list(list) { list.viewport()->installEventFilter(this); }
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Resize) Apply();
    return QObject::eventFilter(watched, event);
  }
  void Apply() {
    const int height = m_list.fontMetrics().height() + 6;
    // Leave room for the scroll bar whether it shows or not, so the columns do not
    // change the bar's need and with it their own width.
    const int bar = m_list.verticalScrollBar()->isVisible() ? 0 : m_list.style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    m_list.setGridSize(QSize(std::max(60, (m_list.viewport()->width() - bar - 6) / 3), height));
  }

 private:
  QListWidget& m_list;
};

}  // namespace

void FileTypeItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
  QStyleOptionViewItem opt = option;
  initStyleOption(&opt, index);
  const QWidget* widget = option.widget;
  QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
  const QRect check = style->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &opt, widget);
  painter->fillRect(option.rect, option.palette.base());
  QStyleOptionViewItem box = opt;
  box.rect = check;
  box.state = box.state & ~QStyle::State_HasFocus;
  box.state |= opt.checkState == Qt::Checked ? QStyle::State_On : QStyle::State_Off;
  style->drawPrimitive(QStyle::PE_IndicatorItemViewItemCheck, &box, painter, widget);

  QRect text = option.rect;
  text.setLeft(check.right() + 3);
  const int offset = std::max(kExtensionColumn, option.fontMetrics.horizontalAdvance(QStringLiteral("mpeg")) + 6);
  const bool selected = option.state.testFlag(QStyle::State_Selected);
  QPalette palette = option.palette;
  if (!(option.state & QStyle::State_Enabled)) palette.setCurrentColorGroup(QPalette::Disabled);
  widgets::DrawSimpleTwoColumnItem(*painter, text, opt.text, offset, selected, palette);
}

void MakeThreeColumnCheckList(QListWidget& list) {
  list.setSortingEnabled(true);
  // Rows across the three columns and a vertical scroll bar: no sideways scrolling.
  list.setFlow(QListView::LeftToRight);
  list.setWrapping(true);
  list.setResizeMode(QListView::Adjust);
  list.setUniformItemSizes(true);
  list.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  list.setItemDelegate(new FileTypeItemDelegate(&list));
  (new ColumnGrid(list))->Apply();
}

}  // namespace filetypes
