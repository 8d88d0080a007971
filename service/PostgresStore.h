#pragma once
// The PostgreSQL backend, for a vendor whose clients outgrow one machine:
// the group-commit writer's one connection to the server. Client-sent values
// are stored as bytea, exactly as they arrived. `SyncMode::Full` commits with
// synchronous_commit on (answered rows survive the server's power loss);
// normal turns it off, which a killed service cannot hurt since the server
// holds every committed row.

#include "service/Postgres.h"
#include "service/StoreBackend.h"

#include <memory>
#include <string>

namespace service {

class PostgresStore : public StoreBackend {
 public:
  // Connects and creates the tables when missing; null with `error` filled on failure.
  static std::unique_ptr<PostgresStore> Open(const std::string& address, SyncMode sync, std::string& error);
  PostgresStore(PgConnPtr conn, SyncMode sync) : m_conn(std::move(conn)), m_sync(sync) {}

  bool WriteBatch(std::span<const PendingRow> rows, std::vector<std::int64_t>& ids, std::string& error) override;

 private:
  bool EnsureConnected(std::string& error);

  PgConnPtr m_conn;
  SyncMode m_sync;
};

// Tables and indexes, created under a lock so that two services starting at once do not collide.
bool CreatePostgresSchema(PGconn* conn, std::string& error);

}  // namespace service
