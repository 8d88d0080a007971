#pragma once
// The console's reading of a PostgreSQL store, through a connection of its own.

#include "service/ConsoleData.h"
#include "service/Postgres.h"

#include <mutex>

namespace service {

class PostgresConsoleData : public ConsoleData {
 public:
  static std::unique_ptr<ConsoleData> Open(const std::string& address, std::string& error);
  explicit PostgresConsoleData(PgConnPtr conn) : m_conn(std::move(conn)) {}

  std::int64_t CountTransactions() override;
  std::vector<TransactionSummary> Transactions(std::int64_t offset, std::int64_t limit) override;
  std::int64_t CountLog(const std::string& transaction) override;
  std::vector<LogLine> Log(const std::string& transaction, std::int64_t offset, std::int64_t limit) override;

 private:
  // Runs a query with results as raw bytes; null after a failure (logged to stderr).
  PgResultPtr Query(const std::string& sql, const PgParams& params);
  std::int64_t Count(const std::string& sql, const PgParams& params);
  std::vector<StoredRow> RowsFor(std::string_view table, const std::string& transaction, bool newestFirst);

  std::mutex m_mutex;
  PgConnPtr m_conn;
};

}  // namespace service
