#pragma once
// The SQLite backend: one file in WAL mode, written by the group-commit
// writer through one connection. The console reads through a connection of
// its own (SqliteConsoleData) without blocking the writer.

#include "service/Sqlite.h"
#include "service/SqliteCheckpointer.h"
#include "service/StoreBackend.h"

#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace service {

class SqliteStore : public StoreBackend {
 public:
  // Creates the file and its tables when missing, and adds what an older file lacks.
  static std::unique_ptr<SqliteStore> Open(const std::string& path, SyncMode sync, std::string& error);
  explicit SqliteStore(DbPtr db) : m_db(std::move(db)) {}
  ~SqliteStore() override;
  SqliteStore(const SqliteStore&) = delete;
  SqliteStore& operator=(const SqliteStore&) = delete;

  bool WriteBatch(std::span<const PendingRow> rows, std::vector<std::int64_t>& ids, std::string& error) override;
  // Copies the WAL's tail when the checkpointer asks for it.
  void AfterBatch() override;

 private:
  bool PrepareStatements(std::string& error);
  bool WriteRow(const PendingRow& row, std::int64_t& id);

  DbPtr m_db;
  StmtPtr m_addTransaction;
  std::map<std::string_view, StmtPtr> m_addRecord;     // by endpoint
  std::unique_ptr<SqliteCheckpointer> m_checkpointer;  // declared last: stops before the statements go
};

// The schema: tables, their request-id column (added to a file made before it
// existed) and indexes.
bool CreateSqliteSchema(sqlite3* db, std::string& error);

}  // namespace service
