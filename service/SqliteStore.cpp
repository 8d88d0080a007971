#include "service/SqliteStore.h"

#include <filesystem>

namespace service {
namespace {

constexpr std::string_view kReceivedColumn =
    "received TEXT NOT NULL DEFAULT (strftime('%Y-%m-%d %H:%M:%f', 'now')), remote TEXT NOT NULL DEFAULT ''";

std::string InsertSql(const RecordKind& kind) {
  std::string columns = "remote, request";
  std::string marks = "?, ?";
  for (std::string_view key : kind.keys) {
    columns += ", \"" + std::string(ColumnName(key)) + "\"";
    marks += ", ?";
  }
  // A repeated request id meets the unique index and adds nothing.
  return "INSERT INTO " + std::string(kind.table) + " (" + columns + ") VALUES (" + marks + ") ON CONFLICT DO NOTHING";
}

bool HasColumn(sqlite3* db, const std::string& table, std::string_view column) {
  std::string error;
  StmtPtr stmt = Prepare(db, "SELECT name FROM pragma_table_info(?)", error);
  if (!stmt) return false;
  BindText(stmt.get(), 1, table);
  while (sqlite3_step(stmt.get()) == SQLITE_ROW) {
    if (ColumnText(stmt.get(), 0) == column) return true;
  }
  return false;
}

}  // namespace

bool CreateSqliteSchema(sqlite3* db, std::string& error) {
  std::string sql = "CREATE TABLE IF NOT EXISTS transactions (id INTEGER PRIMARY KEY AUTOINCREMENT, " +
                    std::string(kReceivedColumn) + ");\n";
  for (const RecordKind& kind : RecordKinds()) {
    const std::string table(kind.table);
    sql += "CREATE TABLE IF NOT EXISTS " + table + " (id INTEGER PRIMARY KEY, " + std::string(kReceivedColumn) +
           ", request TEXT";
    for (std::string_view key : kind.keys) sql += ", \"" + std::string(ColumnName(key)) + "\" TEXT NOT NULL";
    sql += ");\nCREATE INDEX IF NOT EXISTS " + table + "_by_trans ON " + table + " (trans, id);\n";
  }
  if (!Execute(db, sql, error)) return false;
  for (const RecordKind& kind : RecordKinds()) {
    const std::string table(kind.table);
    if (!HasColumn(db, table, "request") && !Execute(db, "ALTER TABLE " + table + " ADD COLUMN request TEXT", error)) {
      return false;
    }
    // Rows without a request id (NULL) never collide.
    if (!Execute(db, "CREATE UNIQUE INDEX IF NOT EXISTS " + table + "_by_request ON " + table + " (request)", error)) {
      return false;
    }
  }
  return true;
}

std::unique_ptr<SqliteStore> SqliteStore::Open(const std::string& path, SyncMode sync, std::string& error) {
  std::error_code ec;
  const std::filesystem::path parent = std::filesystem::path(path).parent_path();
  if (!parent.empty()) std::filesystem::create_directories(parent, ec);
  DbPtr db = OpenDatabase(path, false, error);
  if (!db) return nullptr;
  // WAL lets the console read while requests are written; NORMAL keeps every
  // commit in the WAL file before the reply (safe against a killed process),
  // FULL also syncs it to the medium (safe against power loss).
  const std::string pragmas =
      std::string("PRAGMA journal_mode=WAL; PRAGMA synchronous=") + (sync == SyncMode::Full ? "FULL" : "NORMAL") + ";";
  if (!Execute(db.get(), pragmas, error) || !CreateSqliteSchema(db.get(), error)) return nullptr;
  auto store = std::make_unique<SqliteStore>(std::move(db));
  if (!store->PrepareStatements(error)) return nullptr;
  store->m_checkpointer = SqliteCheckpointer::Start(store->m_db.get(), path, error);
  if (!store->m_checkpointer) return nullptr;
  return store;
}

SqliteStore::~SqliteStore() {
  // The checkpointer goes first; the connection must not call into it afterwards.
  if (m_db) sqlite3_wal_hook(m_db.get(), nullptr, nullptr);
}

void SqliteStore::AfterBatch() {
  if (!m_checkpointer || !m_checkpointer->TakeTail()) return;
  // Busy: the checkpointer is copying again; its next round asks anew.
  sqlite3_wal_checkpoint_v2(m_db.get(), nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
}

bool SqliteStore::PrepareStatements(std::string& error) {
  m_addTransaction = Prepare(m_db.get(), "INSERT INTO transactions (remote) VALUES (?)", error);
  if (!m_addTransaction) return false;
  for (const RecordKind& kind : RecordKinds()) {
    StmtPtr stmt = Prepare(m_db.get(), InsertSql(kind), error);
    if (!stmt) return false;
    m_addRecord[kind.endpoint] = std::move(stmt);
  }
  return true;
}

bool SqliteStore::WriteRow(const PendingRow& row, std::int64_t& id) {
  id = 0;
  if (row.kind == nullptr) {
    sqlite3_stmt* stmt = m_addTransaction.get();
    StmtReset reset(stmt);
    if (!BindText(stmt, 1, row.remote) || sqlite3_step(stmt) != SQLITE_DONE) return false;
    id = sqlite3_last_insert_rowid(m_db.get());
    return true;
  }
  const auto it = m_addRecord.find(row.kind->endpoint);
  if (it == m_addRecord.end()) return false;
  sqlite3_stmt* stmt = it->second.get();
  StmtReset reset(stmt);
  bool bound = BindText(stmt, 1, row.remote);
  bound = bound && (row.request.empty() ? sqlite3_bind_null(stmt, 2) == SQLITE_OK : BindText(stmt, 2, row.request));
  for (std::size_t i = 0; bound && i < row.values.size(); ++i) {
    bound = BindText(stmt, static_cast<int>(i) + 3, row.values[i]);
  }
  return bound && sqlite3_step(stmt) == SQLITE_DONE;
}

bool SqliteStore::WriteBatch(std::span<const PendingRow> rows, std::vector<std::int64_t>& ids, std::string& error) {
  ids.assign(rows.size(), 0);
  if (!Execute(m_db.get(), "BEGIN IMMEDIATE", error)) return false;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (!WriteRow(rows[i], ids[i])) {
      error = sqlite3_errmsg(m_db.get());
      std::string ignored;
      Execute(m_db.get(), "ROLLBACK", ignored);
      return false;
    }
  }
  if (Execute(m_db.get(), "COMMIT", error)) return true;
  std::string ignored;
  Execute(m_db.get(), "ROLLBACK", ignored);
  return false;
}

}  // namespace service
