#pragma once
// Read access for the support console: transactions newest first with what
// was stored under each, and the log lines of one transaction in the order
// they arrived. Its own connection, so reading never waits for the writer.

#include "service/Sqlite.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace service {

// One stored row: column values in the order of its record kind's keys
// (without the transaction), preceded by the time it was received.
struct StoredRow {
  std::string received;
  std::vector<std::string> values;
};

struct TransactionSummary {
  std::int64_t id = 0;
  std::string received;
  std::string remote;
  std::vector<StoredRow> registrations;  // newest first
  std::vector<StoredRow> machines;       // newest first
  std::vector<StoredRow> statistics;     // in arrival order
  std::int64_t logCount = 0;
};

struct LogLine {
  std::int64_t id = 0;
  std::string received;
  std::string action;
  std::string message;
};

class ConsoleData {
 public:
  static std::unique_ptr<ConsoleData> Open(const std::string& path, std::string& error);
  explicit ConsoleData(DbPtr db) : m_db(std::move(db)) {}

  std::int64_t CountTransactions();
  std::vector<TransactionSummary> Transactions(std::int64_t offset, std::int64_t limit);
  // `transaction` is matched as the text the client sent, so stray numbers can be read too.
  std::int64_t CountLog(const std::string& transaction);
  std::vector<LogLine> Log(const std::string& transaction, std::int64_t offset, std::int64_t limit);

 private:
  std::vector<StoredRow> RowsFor(std::string_view table, const std::string& transaction, bool newestFirst);

  std::mutex m_mutex;
  DbPtr m_db;
};

}  // namespace service
