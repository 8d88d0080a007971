#pragma once
// The console's reading of an SQLite store, through a connection of its own
// (WAL mode lets it read while the writer commits).

#include "service/ConsoleData.h"
#include "service/Sqlite.h"

#include <mutex>

namespace service {

class SqliteConsoleData : public ConsoleData {
 public:
  static std::unique_ptr<ConsoleData> Open(const std::string& path, std::string& error);
  explicit SqliteConsoleData(DbPtr db) : m_db(std::move(db)) {}

  std::int64_t CountTransactions() override;
  std::vector<TransactionSummary> Transactions(std::int64_t offset, std::int64_t limit) override;
  std::int64_t CountLog(const std::string& transaction) override;
  std::vector<LogLine> Log(const std::string& transaction, std::int64_t offset, std::int64_t limit) override;

 private:
  std::vector<StoredRow> RowsFor(std::string_view table, const std::string& transaction, bool newestFirst);

  std::mutex m_mutex;
  DbPtr m_db;
};

}  // namespace service
