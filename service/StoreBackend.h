#pragma once
// What the group-commit writer (ServiceStore) needs from a database: write a
// batch of requests and commit it, all or nothing. One backend per database
// kind (an SQLite file, a PostgreSQL server); only the writer thread calls it.

#include "service/RecordKinds.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace service {

enum class SyncMode { Normal, Full };

// One request waiting to be stored.
struct PendingRow {
  const RecordKind* kind = nullptr;  // null: a new transaction number
  std::vector<std::string> values;   // in the order of kind->keys
  std::string remote;
  std::string request;  // the client's request id; empty when it sent none
};

class StoreBackend {
 public:
  virtual ~StoreBackend() = default;
  // Stores `rows` and commits. A row whose request id is stored already adds
  // nothing. `ids` receives, per row, the new transaction number of a
  // transaction row (0 for other rows). False with `error` filled when the
  // batch was not committed: then none of its rows may be reported as stored.
  virtual bool WriteBatch(std::span<const PendingRow> rows, std::vector<std::int64_t>& ids, std::string& error) = 0;
  // Upkeep between batches, after the last one was answered.
  virtual void AfterBatch() {}
};

// "postgresql://..." or "postgres://..." names a PostgreSQL server; anything else is an SQLite file.
bool IsPostgresAddress(const std::string& database);

}  // namespace service
