#include "service/ConsoleData.h"

#include "service/PostgresConsoleData.h"
#include "service/RecordKinds.h"
#include "service/SqliteConsoleData.h"
#include "service/StoreBackend.h"

namespace service {

std::unique_ptr<ConsoleData> ConsoleData::Open(const std::string& database, std::string& error) {
  if (IsPostgresAddress(database)) return PostgresConsoleData::Open(database, error);
  return SqliteConsoleData::Open(database, error);
}

std::string StoredValueColumns(const RecordKind& kind) {
  std::string columns;
  for (std::size_t i = 1; i < kind.keys.size(); ++i) columns += ", \"" + std::string(ColumnName(kind.keys[i])) + "\"";
  return columns;
}

const RecordKind* KindOfTable(std::string_view table) {
  for (const RecordKind& kind : RecordKinds()) {
    if (kind.table == table) return &kind;
  }
  return nullptr;
}

}  // namespace service
