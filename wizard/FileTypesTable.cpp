#include "wizard/FileTypesTable.h"

#include "util/Text.h"

#include <QHeaderView>

#include <charconv>

namespace wizard {

TFileTypesTable::TFileTypesTable(QWidget* parent) : QTableWidget(1, 3, parent) {
  setHorizontalHeaderLabels({QStringLiteral("File Type"), QStringLiteral("Total"), QStringLiteral("Selected")});
  verticalHeader()->setVisible(false);
  verticalHeader()->setDefaultSectionSize(18);
  horizontalHeader()->setStretchLastSection(true);
  horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
  horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionMode(QAbstractItemView::NoSelection);
  setFocusPolicy(Qt::NoFocus);
  setShowGrid(false);
  setStyleSheet(QStringLiteral("QTableWidget::item { border-bottom: 1px solid #d8dde6; }"));
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

std::string TFileTypesTable::Cell(int row, int column) const {
  const QTableWidgetItem* it = item(row, column);
  return it != nullptr ? it->text().toStdString() : std::string();
}

void TFileTypesTable::SetCell(int row, int column, const std::string& text) {
  auto* it = item(row, column);
  if (it == nullptr) {
    it = new QTableWidgetItem;
    if (column > 0) it->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setItem(row, column, it);
  }
  it->setText(QString::fromStdString(text));
}

std::int64_t TFileTypesTable::Count(const std::string& text) {
  std::int64_t value = 0;
  const std::string trimmed = util::Trim(text);
  std::from_chars(trimmed.data(), trimmed.data() + trimmed.size(), value);
  return value;  // empty (or unreadable) counts as 0
}

int TFileTypesTable::GetFileTypeRow(const std::string& sType) const {
  for (int row = 0; row < rowCount(); ++row) {
    if (Cell(row, 0) == sType) return row;
  }
  return -1;
}

void TFileTypesTable::BulkReset(bool bClear) {
  for (int row = 0; row < rowCount(); ++row) {
    if (bClear) {
      for (int column = 0; column < 3; ++column) SetCell(row, column, {});
    } else {
      SetCell(row, 2, Cell(row, 1));
    }
  }
}

void TFileTypesTable::UpdateFileTypesTable(const std::string& sData, std::uint8_t iMode) {
  switch (iMode) {
    case 0:
      BulkReset(true);
      setRowCount(1);
      return;
    case 3:
      for (int row = 0; row < rowCount(); ++row) SetCell(row, 2, {});
      return;
    case 4: BulkReset(false); return;
    default: break;
  }
  std::string_view rest = sData;
  while (!rest.empty()) {
    const std::size_t space = rest.find(' ');
    const std::string_view token = rest.substr(0, space);
    rest = space == std::string_view::npos ? std::string_view{} : rest.substr(space + 1);
    if (token.empty()) break;
    // The count follows the last ":", so a type can never swallow it.
    const std::size_t colon = token.rfind(':');
    const std::string type = util::UpperCase(token.substr(0, colon == std::string_view::npos ? token.size() : colon));
    const std::int64_t n = colon == std::string_view::npos ? 0 : Count(std::string(token.substr(colon + 1)));
    int row = GetFileTypeRow(type);
    if (row < 0) {
      if (!Cell(0, 0).empty()) setRowCount(rowCount() + 1);
      row = rowCount() - 1;
      SetCell(row, 0, type);
    }
    if (iMode == 2) {
      SetCell(row, 2, std::to_string(Count(Cell(row, 2)) + n));
    } else if (iMode == 1) {
      // A found file arrives ticked; one the scan run left unticked keeps its type's count lower.
      SetCell(row, 1, std::to_string(Count(Cell(row, 1)) + n));
      SetCell(row, 2, std::to_string(Count(Cell(row, 2)) + n));
    }
  }
}

}  // namespace wizard
