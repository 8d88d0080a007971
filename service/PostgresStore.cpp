#include "service/PostgresStore.h"

#include <charconv>
#include <map>

namespace service {
namespace {

constexpr std::string_view kCommonColumns =
    "id BIGSERIAL PRIMARY KEY, received TIMESTAMPTZ NOT NULL DEFAULT clock_timestamp(), "
    "remote TEXT NOT NULL DEFAULT ''";

bool SetSync(PGconn* conn, SyncMode sync, std::string& error) {
  return PgExecute(conn, std::string("SET synchronous_commit = ") + (sync == SyncMode::Full ? "on" : "off"), error);
}

// One multi-row INSERT for all rows of `kind` in the batch (rows at `indexes`).
std::string InsertSql(const RecordKind& kind, std::span<const PendingRow> rows, const std::vector<std::size_t>& indexes,
                      PgParams& params) {
  std::string sql = "INSERT INTO " + std::string(kind.table) + " (remote, request";
  for (std::string_view key : kind.keys) sql += ", \"" + std::string(ColumnName(key)) + "\"";
  sql += ") VALUES ";
  for (std::size_t r = 0; r < indexes.size(); ++r) {
    const PendingRow& row = rows[indexes[r]];
    sql += r == 0 ? "(" : ", (";
    params.AddText(row.remote);
    sql += "$";
    sql += std::to_string(params.Size());
    if (row.request.empty()) {
      params.AddNull();
    } else {
      params.AddText(row.request);
    }
    sql += ", $";
    sql += std::to_string(params.Size());
    for (const std::string& value : row.values) {
      params.AddBytes(value);
      sql += ", $";
      sql += std::to_string(params.Size());
    }
    sql += ")";
  }
  // A repeated request id meets the unique index and adds nothing.
  return sql + " ON CONFLICT DO NOTHING";
}

}  // namespace

bool CreatePostgresSchema(PGconn* conn, std::string& error) {
  std::string sql =
      "BEGIN; SELECT pg_advisory_xact_lock(7270001);\n"
      "CREATE TABLE IF NOT EXISTS transactions (" +
      std::string(kCommonColumns) + ");\n";
  for (const RecordKind& kind : RecordKinds()) {
    const std::string table(kind.table);
    sql += "CREATE TABLE IF NOT EXISTS " + table + " (" + std::string(kCommonColumns) + ", request TEXT";
    for (std::string_view key : kind.keys) sql += ", \"" + std::string(ColumnName(key)) + "\" BYTEA NOT NULL";
    sql += ");\nCREATE INDEX IF NOT EXISTS " + table + "_by_trans ON " + table + " (trans, id);\n" +
           "CREATE UNIQUE INDEX IF NOT EXISTS " + table + "_by_request ON " + table + " (request);\n";
  }
  sql += "COMMIT;";
  if (PgExecute(conn, sql, error)) return true;
  std::string ignored;
  PgExecute(conn, "ROLLBACK", ignored);
  return false;
}

std::unique_ptr<PostgresStore> PostgresStore::Open(const std::string& address, SyncMode sync, std::string& error) {
  PgConnPtr conn = ConnectPostgres(address, error);
  if (!conn || !SetSync(conn.get(), sync, error) || !CreatePostgresSchema(conn.get(), error)) return nullptr;
  return std::make_unique<PostgresStore>(std::move(conn), sync);
}

bool PostgresStore::EnsureConnected(std::string& error) {
  if (PQstatus(m_conn.get()) == CONNECTION_OK) return true;
  // A restarted server: reconnect once per batch; the batch fails (and its clients retry) if that fails.
  PQreset(m_conn.get());
  if (PQstatus(m_conn.get()) != CONNECTION_OK) {
    error = PQerrorMessage(m_conn.get());
    return false;
  }
  return SetSync(m_conn.get(), m_sync, error);
}

bool PostgresStore::WriteBatch(std::span<const PendingRow> rows, std::vector<std::int64_t>& ids, std::string& error) {
  ids.assign(rows.size(), 0);
  if (!EnsureConnected(error)) return false;
  std::vector<std::size_t> transactions;
  std::map<std::string_view, std::vector<std::size_t>> byKind;  // endpoint -> rows, in arrival order
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (rows[i].kind == nullptr) {
      transactions.push_back(i);
    } else {
      byKind[rows[i].kind->endpoint].push_back(i);
    }
  }
  // One statement commits by itself; several share one transaction.
  const bool several = byKind.size() + (transactions.empty() ? 0 : 1) > 1;
  if (several && !PgExecute(m_conn.get(), "BEGIN", error)) return false;
  bool ok = true;
  if (!transactions.empty()) {
    PgParams params;
    std::string sql = "INSERT INTO transactions (remote) VALUES ";
    for (std::size_t r = 0; r < transactions.size(); ++r) {
      params.AddText(rows[transactions[r]].remote);
      sql += r == 0 ? "($" : ", ($";
      sql += std::to_string(params.Size());
      sql += ")";
    }
    const PgResultPtr result = params.Exec(m_conn.get(), sql + " RETURNING id", false);
    ok = PgSucceeded(m_conn.get(), result.get(), error) &&
         PQntuples(result.get()) == static_cast<int>(transactions.size());
    for (std::size_t r = 0; ok && r < transactions.size(); ++r) {
      const std::string text = PgValue(result.get(), static_cast<int>(r), 0);
      std::from_chars(text.data(), text.data() + text.size(), ids[transactions[r]]);
    }
  }
  for (auto it = byKind.begin(); ok && it != byKind.end(); ++it) {
    PgParams params;
    const RecordKind& kind = *rows[it->second.front()].kind;
    const std::string sql = InsertSql(kind, rows, it->second, params);
    const PgResultPtr result = params.Exec(m_conn.get(), sql, false);
    ok = PgSucceeded(m_conn.get(), result.get(), error);
  }
  if (several && ok) ok = PgExecute(m_conn.get(), "COMMIT", error);
  if (several && !ok) {
    std::string ignored;
    PgExecute(m_conn.get(), "ROLLBACK", ignored);
  }
  return ok;
}

}  // namespace service
