#pragma once
// Read access for the support console: transactions newest first with what
// was stored under each, and the log lines of one transaction in the order
// they arrived. Its own connection, so reading never waits for the writer.
// One implementation per database kind.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
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
  // The SQLite file or PostgreSQL address the store writes; null with `error` filled on failure.
  static std::unique_ptr<ConsoleData> Open(const std::string& database, std::string& error);
  virtual ~ConsoleData() = default;

  virtual std::int64_t CountTransactions() = 0;
  virtual std::vector<TransactionSummary> Transactions(std::int64_t offset, std::int64_t limit) = 0;
  // `transaction` is matched as the text the client sent, so stray numbers can be read too.
  virtual std::int64_t CountLog(const std::string& transaction) = 0;
  virtual std::vector<LogLine> Log(const std::string& transaction, std::int64_t offset, std::int64_t limit) = 0;
};

// The SELECT list of a record kind's stored values after "received", and the table's kind.
struct RecordKind;
std::string StoredValueColumns(const RecordKind& kind);
const RecordKind* KindOfTable(std::string_view table);

}  // namespace service
