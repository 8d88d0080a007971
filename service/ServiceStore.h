#pragma once
// The service's storage: one SQLite file in WAL mode. Every stored request is
// one INSERT in autocommit mode, so it is committed before the handler
// replies; a reply the client received means a row on disk that survives the
// service being killed. One writer connection, serialised by a mutex (SQLite
// allows one writer at a time anyway); the console reads through its own
// connection (ConsoleData) without blocking the writer.

#include "service/RecordKinds.h"
#include "service/Sqlite.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace service {

enum class SyncMode { Normal, Full };

class ServiceStore {
 public:
  // Creates the file and its tables when missing; null with `error` filled on failure.
  static std::unique_ptr<ServiceStore> Open(const std::string& path, SyncMode sync, std::string& error);

  // A new transaction number: never 0, never one handed out before (AUTOINCREMENT
  // keeps numbers unique even if rows are deleted later).
  std::optional<std::int64_t> AddTransaction(std::string_view remote);
  // Stores one request of `kind`; `values` in the order of kind.keys.
  bool AddRecord(const RecordKind& kind, const std::vector<std::string>& values, std::string_view remote);

  const std::string& LastError() const { return m_lastError; }

  // Use Open(); public only so that std::make_unique can reach it.
  explicit ServiceStore(DbPtr db) : m_db(std::move(db)) {}

 private:
  bool PrepareStatements(std::string& error);

  std::mutex m_mutex;
  DbPtr m_db;
  StmtPtr m_addTransaction;
  std::map<std::string_view, StmtPtr> m_addRecord;  // by endpoint
  std::string m_lastError;
};

// The schema, shared with the console's read-only connection for its checks.
std::string SchemaSql();

}  // namespace service
