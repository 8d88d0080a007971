#pragma once
// Thin RAII holders for SQLite handles and the few binding helpers the
// service needs. Values are bound with their byte length, so a text holding
// NUL or any other byte is stored as it came.

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace service {

struct DbCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StmtFinalizer {
  void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using DbPtr = std::unique_ptr<sqlite3, DbCloser>;
using StmtPtr = std::unique_ptr<sqlite3_stmt, StmtFinalizer>;

// Opens (read-write, creating) or read-only; on failure returns null and fills `error`.
DbPtr OpenDatabase(const std::string& path, bool readOnly, std::string& error);
// Runs statements without results; false with `error` filled on failure.
bool Execute(sqlite3* db, const std::string& sql, std::string& error);
StmtPtr Prepare(sqlite3* db, std::string_view sql, std::string& error);

bool BindText(sqlite3_stmt* stmt, int index, std::string_view value);
bool BindInt(sqlite3_stmt* stmt, int index, std::int64_t value);
// The column as bytes (empty for NULL).
std::string ColumnText(sqlite3_stmt* stmt, int column);

// Resets and clears a prepared statement when the scope ends, so it can be reused.
class StmtReset {
 public:
  explicit StmtReset(sqlite3_stmt* stmt) : m_stmt(stmt) {}
  ~StmtReset() {
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
  }
  StmtReset(const StmtReset&) = delete;
  StmtReset& operator=(const StmtReset&) = delete;

 private:
  sqlite3_stmt* m_stmt;
};

}  // namespace service
