#include "service/PostgresConsoleData.h"

#include "service/RecordKinds.h"

#include <charconv>
#include <cstdio>

namespace service {
namespace {

// The received time as the SQLite store writes it, so both consoles look alike.
// Queries that also select id::text order by the qualified column: a bare
// "id" would name the text output column and sort "10" before "9".
constexpr std::string_view kReceived = "to_char(received AT TIME ZONE 'UTC', 'YYYY-MM-DD HH24:MI:SS.MS')";

std::int64_t ToInt(const std::string& text) {
  std::int64_t value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

}  // namespace

std::unique_ptr<ConsoleData> PostgresConsoleData::Open(const std::string& address, std::string& error) {
  PgConnPtr conn = ConnectPostgres(address, error);
  if (!conn) return nullptr;
  return std::make_unique<PostgresConsoleData>(std::move(conn));
}

PgResultPtr PostgresConsoleData::Query(const std::string& sql, const PgParams& params) {
  if (PQstatus(m_conn.get()) != CONNECTION_OK) PQreset(m_conn.get());
  PgResultPtr result = params.Exec(m_conn.get(), sql, true);
  std::string error;
  if (PgSucceeded(m_conn.get(), result.get(), error)) return result;
  std::fprintf(stderr, "trellmond-service: console query failed: %s\n", error.c_str());
  return nullptr;
}

std::int64_t PostgresConsoleData::Count(const std::string& sql, const PgParams& params) {
  const PgResultPtr result = Query(sql, params);
  return result && PQntuples(result.get()) == 1 ? ToInt(PgValue(result.get(), 0, 0)) : 0;
}

std::int64_t PostgresConsoleData::CountTransactions() {
  std::lock_guard lock(m_mutex);
  return Count("SELECT count(*)::text FROM transactions", PgParams());
}

std::int64_t PostgresConsoleData::CountLog(const std::string& transaction) {
  std::lock_guard lock(m_mutex);
  PgParams params;
  params.AddBytes(transaction);
  return Count("SELECT count(*)::text FROM logs WHERE trans = $1", params);
}

std::vector<StoredRow> PostgresConsoleData::RowsFor(std::string_view table, const std::string& transaction,
                                                    bool newestFirst) {
  std::vector<StoredRow> rows;
  const RecordKind* kind = KindOfTable(table);
  if (kind == nullptr) return rows;
  PgParams params;
  params.AddBytes(transaction);
  const PgResultPtr result =
      Query("SELECT " + std::string(kReceived) + StoredValueColumns(*kind) + " FROM " + std::string(table) +
                " WHERE trans = $1 ORDER BY id" + (newestFirst ? " DESC" : ""),
            params);
  for (int r = 0; result && r < PQntuples(result.get()); ++r) {
    StoredRow row;
    row.received = PgValue(result.get(), r, 0);
    for (int c = 1; c < PQnfields(result.get()); ++c) row.values.push_back(PgValue(result.get(), r, c));
    rows.push_back(std::move(row));
  }
  return rows;
}

std::vector<TransactionSummary> PostgresConsoleData::Transactions(std::int64_t offset, std::int64_t limit) {
  std::lock_guard lock(m_mutex);
  std::vector<TransactionSummary> summaries;
  PgParams params;
  params.AddInt(limit);
  params.AddInt(offset);
  const PgResultPtr result = Query("SELECT id::text, " + std::string(kReceived) +
                                       ", remote FROM transactions ORDER BY transactions.id DESC LIMIT $1 OFFSET $2",
                                   params);
  for (int r = 0; result && r < PQntuples(result.get()); ++r) {
    TransactionSummary t;
    t.id = ToInt(PgValue(result.get(), r, 0));
    t.received = PgValue(result.get(), r, 1);
    t.remote = PgValue(result.get(), r, 2);
    summaries.push_back(std::move(t));
  }
  for (TransactionSummary& t : summaries) {
    const std::string key = std::to_string(t.id);
    t.registrations = RowsFor("registrations", key, true);
    t.machines = RowsFor("machines", key, true);
    t.statistics = RowsFor("statistics", key, false);
    PgParams count;
    count.AddBytes(key);
    t.logCount = Count("SELECT count(*)::text FROM logs WHERE trans = $1", count);
  }
  return summaries;
}

std::vector<LogLine> PostgresConsoleData::Log(const std::string& transaction, std::int64_t offset, std::int64_t limit) {
  std::lock_guard lock(m_mutex);
  std::vector<LogLine> lines;
  PgParams params;
  params.AddBytes(transaction);
  params.AddInt(limit);
  params.AddInt(offset);
  const PgResultPtr result =
      Query("SELECT id::text, " + std::string(kReceived) +
                ", action, message FROM logs WHERE trans = $1 ORDER BY logs.id LIMIT $2 OFFSET $3",
            params);
  for (int r = 0; result && r < PQntuples(result.get()); ++r) {
    lines.push_back({ToInt(PgValue(result.get(), r, 0)), PgValue(result.get(), r, 1), PgValue(result.get(), r, 2),
                     PgValue(result.get(), r, 3)});
  }
  return lines;
}

}  // namespace service
