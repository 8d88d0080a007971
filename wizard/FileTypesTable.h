#pragma once
// tbl_FileTypes: the Analysis panel's table of the file types found ("Total")
// and ticked for recovery ("Selected"), one row per type in the order the types
// were first reported. Owned by its parent widget; GUI thread only.

#include <QTableWidget>

#include <cstdint>
#include <string>

namespace wizard {

class TFileTypesTable : public QTableWidget {
  Q_OBJECT
 public:
  explicit TFileTypesTable(QWidget* parent = nullptr);

  // Modes: 0 clear to one empty row, 1 found files ("EXT:n" tokens), 2 ticked
  // files, 3 no file selected, 4 every file selected.
  void UpdateFileTypesTable(const std::string& sData, std::uint8_t iMode);
  // The first row whose type is exactly sType, or -1.
  int GetFileTypeRow(const std::string& sType) const;
  // Every row: all cells emptied (true) or "Selected" set to "Total" (false).
  void BulkReset(bool bClear);

  std::string Cell(int row, int column) const;

 private:
  void SetCell(int row, int column, const std::string& text);
  static std::int64_t Count(const std::string& text);
};

}  // namespace wizard
