#include "service/ServiceStore.h"

#include <filesystem>

namespace service {
namespace {

constexpr std::string_view kReceivedColumn =
    "received TEXT NOT NULL DEFAULT (strftime('%Y-%m-%d %H:%M:%f', 'now')), remote TEXT NOT NULL DEFAULT ''";

std::string InsertSql(const RecordKind& kind) {
  std::string columns = "remote";
  std::string marks = "?";
  for (std::string_view key : kind.keys) {
    columns += ", \"" + std::string(ColumnName(key)) + "\"";
    marks += ", ?";
  }
  return "INSERT INTO " + std::string(kind.table) + " (" + columns + ") VALUES (" + marks + ")";
}

}  // namespace

std::string SchemaSql() {
  std::string sql = "CREATE TABLE IF NOT EXISTS transactions (id INTEGER PRIMARY KEY AUTOINCREMENT, " +
                    std::string(kReceivedColumn) + ");\n";
  for (const RecordKind& kind : RecordKinds()) {
    const std::string table(kind.table);
    sql += "CREATE TABLE IF NOT EXISTS " + table + " (id INTEGER PRIMARY KEY, " + std::string(kReceivedColumn);
    for (std::string_view key : kind.keys) sql += ", \"" + std::string(ColumnName(key)) + "\" TEXT NOT NULL";
    sql += ");\nCREATE INDEX IF NOT EXISTS " + table + "_by_trans ON " + table + " (trans, id);\n";
  }
  return sql;
}

std::unique_ptr<ServiceStore> ServiceStore::Open(const std::string& path, SyncMode sync, std::string& error) {
  std::error_code ec;
  const std::filesystem::path parent = std::filesystem::path(path).parent_path();
  if (!parent.empty()) std::filesystem::create_directories(parent, ec);
  DbPtr db = OpenDatabase(path, false, error);
  if (!db) return nullptr;
  // WAL lets the console read while requests are written; NORMAL keeps every
  // commit in the WAL file before the reply (safe against a killed process),
  // FULL also syncs it to the medium (safe against power loss).
  const std::string pragmas = std::string("PRAGMA journal_mode=WAL; PRAGMA synchronous=") +
                              (sync == SyncMode::Full ? "FULL" : "NORMAL") + ";";
  if (!Execute(db.get(), pragmas, error) || !Execute(db.get(), SchemaSql(), error)) return nullptr;
  auto store = std::make_unique<ServiceStore>(std::move(db));
  if (!store->PrepareStatements(error)) return nullptr;
  return store;
}

bool ServiceStore::PrepareStatements(std::string& error) {
  m_addTransaction = Prepare(m_db.get(), "INSERT INTO transactions (remote) VALUES (?)", error);
  if (!m_addTransaction) return false;
  for (const RecordKind& kind : RecordKinds()) {
    StmtPtr stmt = Prepare(m_db.get(), InsertSql(kind), error);
    if (!stmt) return false;
    m_addRecord[kind.endpoint] = std::move(stmt);
  }
  return true;
}

std::optional<std::int64_t> ServiceStore::AddTransaction(std::string_view remote) {
  std::lock_guard lock(m_mutex);
  sqlite3_stmt* stmt = m_addTransaction.get();
  StmtReset reset(stmt);
  if (!BindText(stmt, 1, remote) || sqlite3_step(stmt) != SQLITE_DONE) {
    m_lastError = sqlite3_errmsg(m_db.get());
    return std::nullopt;
  }
  return sqlite3_last_insert_rowid(m_db.get());
}

bool ServiceStore::AddRecord(const RecordKind& kind, const std::vector<std::string>& values,
                             std::string_view remote) {
  std::lock_guard lock(m_mutex);
  const auto it = m_addRecord.find(kind.endpoint);
  if (it == m_addRecord.end() || values.size() != kind.keys.size()) {
    m_lastError = "no statement for this request";
    return false;
  }
  sqlite3_stmt* stmt = it->second.get();
  StmtReset reset(stmt);
  bool bound = BindText(stmt, 1, remote);
  for (std::size_t i = 0; bound && i < values.size(); ++i) bound = BindText(stmt, static_cast<int>(i) + 2, values[i]);
  if (!bound || sqlite3_step(stmt) != SQLITE_DONE) {
    m_lastError = sqlite3_errmsg(m_db.get());
    return false;
  }
  return true;
}

}  // namespace service
