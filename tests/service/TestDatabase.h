#pragma once
// Reads and changes rows of a service database in tests, through a
// connection of its own: an SQLite file or a PostgreSQL address. Values come
// back as raw bytes on both (write portable SQL: CAST(count(*) AS TEXT)).

#include "service/Postgres.h"
#include "service/Sqlite.h"
#include "service/StoreBackend.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace testsupport {

inline std::vector<std::vector<std::string>> QueryRows(const std::string& database, const std::string& sql) {
  std::string error;
  std::vector<std::vector<std::string>> rows;
  if (service::IsPostgresAddress(database)) {
    service::PgConnPtr conn = service::ConnectPostgres(database, error);
    if (!conn) throw std::runtime_error("cannot open " + database + ": " + error);
    const service::PgResultPtr result = service::PgParams().Exec(conn.get(), sql, true);
    if (!service::PgSucceeded(conn.get(), result.get(), error)) throw std::runtime_error(error);
    for (int r = 0; r < PQntuples(result.get()); ++r) {
      std::vector<std::string> row;
      for (int c = 0; c < PQnfields(result.get()); ++c) row.push_back(service::PgValue(result.get(), r, c));
      rows.push_back(std::move(row));
    }
    return rows;
  }
  service::DbPtr db = service::OpenDatabase(database, false, error);
  if (!db) throw std::runtime_error("cannot open " + database + ": " + error);
  service::StmtPtr stmt = service::Prepare(db.get(), sql, error);
  if (!stmt) throw std::runtime_error(error);
  while (sqlite3_step(stmt.get()) == SQLITE_ROW) {
    std::vector<std::string> row;
    for (int i = 0; i < sqlite3_column_count(stmt.get()); ++i) row.push_back(service::ColumnText(stmt.get(), i));
    rows.push_back(std::move(row));
  }
  return rows;
}

inline std::size_t CountRows(const std::string& database, const std::string& tableAndCondition) {
  return std::stoul(QueryRows(database, "SELECT CAST(count(*) AS TEXT) FROM " + tableAndCondition).at(0).at(0));
}

}  // namespace testsupport
