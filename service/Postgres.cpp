#include "service/Postgres.h"

namespace service {

PgConnPtr ConnectPostgres(const std::string& address, std::string& error) {
  PgConnPtr conn(PQconnectdb(address.c_str()));
  if (!conn) {
    error = "out of memory";
    return nullptr;
  }
  if (PQstatus(conn.get()) != CONNECTION_OK) {
    error = PQerrorMessage(conn.get());
    while (!error.empty() && (error.back() == '\n' || error.back() == ' ')) error.pop_back();
    return nullptr;
  }
  return conn;
}

bool PgSucceeded(PGconn* conn, const PGresult* result, std::string& error) {
  const ExecStatusType status = result != nullptr ? PQresultStatus(result) : PGRES_FATAL_ERROR;
  if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) return true;
  error = result != nullptr ? PQresultErrorMessage(result) : PQerrorMessage(conn);
  while (!error.empty() && (error.back() == '\n' || error.back() == ' ')) error.pop_back();
  return false;
}

bool PgExecute(PGconn* conn, const std::string& sql, std::string& error) {
  const PgResultPtr result(PQexec(conn, sql.c_str()));
  return PgSucceeded(conn, result.get(), error);
}

std::string PgValue(const PGresult* result, int row, int column) {
  if (PQgetisnull(result, row, column) != 0) return {};
  return std::string(PQgetvalue(result, row, column), static_cast<std::size_t>(PQgetlength(result, row, column)));
}

void PgParams::AddText(std::string_view value) {
  m_values.emplace_back(value);
  m_null.push_back(false);
  m_formats.push_back(0);
}

void PgParams::AddBytes(std::string_view value) {
  m_values.emplace_back(value);
  m_null.push_back(false);
  m_formats.push_back(1);
}

void PgParams::AddNull() {
  m_values.emplace_back();
  m_null.push_back(true);
  m_formats.push_back(0);
}

PgResultPtr PgParams::Exec(PGconn* conn, const std::string& sql, bool binaryResult) const {
  std::vector<const char*> values;
  std::vector<int> lengths;
  values.reserve(m_values.size());
  lengths.reserve(m_values.size());
  for (std::size_t i = 0; i < m_values.size(); ++i) {
    values.push_back(m_null[i] ? nullptr : m_values[i].c_str());
    lengths.push_back(static_cast<int>(m_values[i].size()));
  }
  return PgResultPtr(PQexecParams(conn, sql.c_str(), static_cast<int>(values.size()), nullptr, values.data(),
                                  lengths.data(), m_formats.data(), binaryResult ? 1 : 0));
}

}  // namespace service
