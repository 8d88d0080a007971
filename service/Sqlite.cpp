#include "service/Sqlite.h"

namespace service {

DbPtr OpenDatabase(const std::string& path, bool readOnly, std::string& error) {
  sqlite3* raw = nullptr;
  const int flags = (readOnly ? SQLITE_OPEN_READONLY : (SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE)) |
                    SQLITE_OPEN_NOMUTEX;
  const int rc = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
  DbPtr db(raw);
  if (rc != SQLITE_OK) {
    error = raw != nullptr ? sqlite3_errmsg(raw) : sqlite3_errstr(rc);
    return nullptr;
  }
  sqlite3_extended_result_codes(raw, 1);
  sqlite3_busy_timeout(raw, 5000);
  return db;
}

bool Execute(sqlite3* db, const std::string& sql, std::string& error) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) == SQLITE_OK) return true;
  error = message != nullptr ? message : sqlite3_errmsg(db);
  sqlite3_free(message);
  return false;
}

StmtPtr Prepare(sqlite3* db, std::string_view sql, std::string& error) {
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v3(db, sql.data(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT, &raw, nullptr) !=
      SQLITE_OK) {
    error = sqlite3_errmsg(db);
    sqlite3_finalize(raw);
    return nullptr;
  }
  return StmtPtr(raw);
}

bool BindText(sqlite3_stmt* stmt, int index, std::string_view value) {
  // The bound bytes outlive the step that uses them, so SQLite need not copy them.
  // An empty value is stored as '' rather than NULL.
  const char* data = value.data() != nullptr ? value.data() : "";
  return sqlite3_bind_text64(stmt, index, data, value.size(), SQLITE_STATIC, SQLITE_UTF8) == SQLITE_OK;
}

bool BindInt(sqlite3_stmt* stmt, int index, std::int64_t value) {
  return sqlite3_bind_int64(stmt, index, value) == SQLITE_OK;
}

std::string ColumnText(sqlite3_stmt* stmt, int column) {
  const auto* bytes = static_cast<const char*>(sqlite3_column_blob(stmt, column));
  const int size = sqlite3_column_bytes(stmt, column);
  if (bytes == nullptr || size <= 0) return {};
  return std::string(bytes, static_cast<std::size_t>(size));
}

}  // namespace service
