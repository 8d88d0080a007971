#pragma once
// The requests that the service stores, each as one row of its own table.
// The query keys are the ones the client sends; every key is required and
// its value is stored exactly as it arrived (after percent-decoding).

#include <span>
#include <string_view>
#include <vector>

namespace service {

struct RecordKind {
  std::string_view endpoint;  // "addlog.php"
  std::string_view table;     // "logs"
  std::vector<std::string_view> keys;
};

// Registration, log line, machine record and statistics record.
std::span<const RecordKind> RecordKinds();
// The kind served at `endpoint`, or null.
const RecordKind* FindRecordKind(std::string_view endpoint);
// The column holding `key` ("transaction" is an SQL keyword).
std::string_view ColumnName(std::string_view key);

}  // namespace service
