#include "service/SqliteConsoleData.h"

#include "service/RecordKinds.h"

namespace service {
namespace {

std::int64_t CountOf(sqlite3* db, const std::string& sql, const std::string* bind) {
  std::string error;
  StmtPtr stmt = Prepare(db, sql, error);
  if (!stmt) return 0;
  if (bind != nullptr) BindText(stmt.get(), 1, *bind);
  return sqlite3_step(stmt.get()) == SQLITE_ROW ? sqlite3_column_int64(stmt.get(), 0) : 0;
}

}  // namespace

std::unique_ptr<ConsoleData> SqliteConsoleData::Open(const std::string& path, std::string& error) {
  DbPtr db = OpenDatabase(path, false, error);
  if (!db) return nullptr;
  return std::make_unique<SqliteConsoleData>(std::move(db));
}

std::int64_t SqliteConsoleData::CountTransactions() {
  std::lock_guard lock(m_mutex);
  return CountOf(m_db.get(), "SELECT count(*) FROM transactions", nullptr);
}

std::int64_t SqliteConsoleData::CountLog(const std::string& transaction) {
  std::lock_guard lock(m_mutex);
  return CountOf(m_db.get(), "SELECT count(*) FROM logs WHERE trans = ?", &transaction);
}

std::vector<StoredRow> SqliteConsoleData::RowsFor(std::string_view table, const std::string& transaction,
                                                  bool newestFirst) {
  std::vector<StoredRow> rows;
  const RecordKind* kind = KindOfTable(table);
  if (kind == nullptr) return rows;
  std::string sql = "SELECT received" + StoredValueColumns(*kind) + " FROM " + std::string(table) +
                    " WHERE trans = ? ORDER BY id" + (newestFirst ? " DESC" : "");
  std::string error;
  StmtPtr stmt = Prepare(m_db.get(), sql, error);
  if (!stmt) return rows;
  BindText(stmt.get(), 1, transaction);
  while (sqlite3_step(stmt.get()) == SQLITE_ROW) {
    StoredRow row;
    row.received = ColumnText(stmt.get(), 0);
    for (std::size_t i = 1; i < kind->keys.size(); ++i)
      row.values.push_back(ColumnText(stmt.get(), static_cast<int>(i)));
    rows.push_back(std::move(row));
  }
  return rows;
}

std::vector<TransactionSummary> SqliteConsoleData::Transactions(std::int64_t offset, std::int64_t limit) {
  std::lock_guard lock(m_mutex);
  std::vector<TransactionSummary> result;
  std::string error;
  StmtPtr stmt =
      Prepare(m_db.get(), "SELECT id, received, remote FROM transactions ORDER BY id DESC LIMIT ? OFFSET ?", error);
  if (!stmt) return result;
  BindInt(stmt.get(), 1, limit);
  BindInt(stmt.get(), 2, offset);
  while (sqlite3_step(stmt.get()) == SQLITE_ROW) {
    TransactionSummary t;
    t.id = sqlite3_column_int64(stmt.get(), 0);
    t.received = ColumnText(stmt.get(), 1);
    t.remote = ColumnText(stmt.get(), 2);
    result.push_back(std::move(t));
  }
  for (TransactionSummary& t : result) {
    const std::string key = std::to_string(t.id);
    t.registrations = RowsFor("registrations", key, true);
    t.machines = RowsFor("machines", key, true);
    t.statistics = RowsFor("statistics", key, false);
    t.logCount = CountOf(m_db.get(), "SELECT count(*) FROM logs WHERE trans = ?", &key);
  }
  return result;
}

std::vector<LogLine> SqliteConsoleData::Log(const std::string& transaction, std::int64_t offset, std::int64_t limit) {
  std::lock_guard lock(m_mutex);
  std::vector<LogLine> lines;
  std::string error;
  StmtPtr stmt = Prepare(
      m_db.get(), "SELECT id, received, action, message FROM logs WHERE trans = ? ORDER BY id LIMIT ? OFFSET ?", error);
  if (!stmt) return lines;
  BindText(stmt.get(), 1, transaction);
  BindInt(stmt.get(), 2, limit);
  BindInt(stmt.get(), 3, offset);
  while (sqlite3_step(stmt.get()) == SQLITE_ROW) {
    lines.push_back({sqlite3_column_int64(stmt.get(), 0), ColumnText(stmt.get(), 1), ColumnText(stmt.get(), 2),
                     ColumnText(stmt.get(), 3)});
  }
  return lines;
}

}  // namespace service
