#pragma once
// Reads rows of a service database in tests, through a connection of its own.

#include "service/Sqlite.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace testsupport {

inline std::vector<std::vector<std::string>> QueryRows(const std::string& databasePath, const std::string& sql) {
  std::string error;
  service::DbPtr db = service::OpenDatabase(databasePath, true, error);
  if (!db) throw std::runtime_error("cannot open " + databasePath + ": " + error);
  service::StmtPtr stmt = service::Prepare(db.get(), sql, error);
  if (!stmt) throw std::runtime_error(error);
  std::vector<std::vector<std::string>> rows;
  while (sqlite3_step(stmt.get()) == SQLITE_ROW) {
    std::vector<std::string> row;
    for (int i = 0; i < sqlite3_column_count(stmt.get()); ++i) row.push_back(service::ColumnText(stmt.get(), i));
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace testsupport
