#include "widgets/CommonDraw.h"

#include "util/Text.h"

#include <QPainter>

namespace widgets {
namespace {

QString Field(const QString& text, int number) {
  return QString::fromStdString(util::GetField(text.toStdString(), number, ';'));
}

void DrawField(QPainter& painter, const QRect& rect, const QString& field) {
  // A text too long for its column ends in "..." instead of being cut mid-letter.
  const QRect area = rect.adjusted(5, 0, 0, 0);
  const QString shown = painter.fontMetrics().elidedText(field, Qt::ElideRight, area.width());
  painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
}

}  // namespace

void DrawSimpleTwoColumnItem(QPainter& painter, const QRect& rect, const QString& text, int columnOffset,
                             bool selected, const QPalette& palette) {
  painter.save();
  // The first column always reads in highlight-text colour: on the caption
  // colour when idle, on the highlight when selected.
  painter.fillRect(rect, selected ? palette.color(QPalette::Highlight) : QColor(0x9d, 0xb9, 0xeb));
  painter.setPen(palette.color(QPalette::HighlightedText));
  DrawField(painter, rect, Field(text, 1));

  QRect second = rect;
  second.setLeft(rect.left() + 5 + columnOffset);
  painter.fillRect(second, selected ? palette.color(QPalette::Highlight) : palette.color(QPalette::Base));
  painter.setPen(selected ? palette.color(QPalette::HighlightedText) : QColor(Qt::black));
  DrawField(painter, second, Field(text, 2));
  painter.restore();
}

void DrawSimpleOneColumnItem(QPainter& painter, const QRect& rect, const QString& text, bool selected,
                             const QPalette& palette) {
  painter.save();
  painter.fillRect(rect, selected ? palette.color(QPalette::Highlight) : palette.color(QPalette::Base));
  painter.setPen(selected ? palette.color(QPalette::HighlightedText) : palette.color(QPalette::Text));
  DrawField(painter, rect, Field(text, 1));
  painter.restore();
}

void TSimpleItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
  const QString text = index.data(Qt::DisplayRole).toString();
  const bool selected = option.state.testFlag(QStyle::State_Selected);
  if (m_offset < 0) {
    DrawSimpleOneColumnItem(*painter, option.rect, text, selected, option.palette);
  } else {
    DrawSimpleTwoColumnItem(*painter, option.rect, text, m_offset, selected, option.palette);
  }
}

}  // namespace widgets
