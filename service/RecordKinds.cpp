#include "service/RecordKinds.h"

namespace service {

std::span<const RecordKind> RecordKinds() {
  static const std::vector<RecordKind> kinds = {
      {"updatetransaction.php", "registrations", {"transaction", "firstname", "lastname", "email", "news"}},
      {"addlog.php", "logs", {"transaction", "message", "action"}},
      {"addmachine.php",
       "machines",
       {"transaction", "os", "platform", "processor", "cpu", "keyboard", "ram", "freeram"}},
      {"addstatistics.php",
       "statistics",
       {"transaction", "cardsize", "foundsize", "number", "time", "types", "cancelled", "scantype"}},
  };
  return kinds;
}

const RecordKind* FindRecordKind(std::string_view endpoint) {
  for (const RecordKind& kind : RecordKinds()) {
    if (kind.endpoint == endpoint) return &kind;
  }
  return nullptr;
}

std::string_view ColumnName(std::string_view key) { return key == "transaction" ? "trans" : key; }

}  // namespace service
