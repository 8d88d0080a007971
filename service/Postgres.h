#pragma once
// Thin RAII holders for libpq handles and a parameter list for PQexecParams.
// Client-sent values travel as binary bytea parameters, so any byte (NUL
// included) is stored as it came; names and addresses travel as text.

#include <libpq-fe.h>

#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace service {

struct PgConnCloser {
  void operator()(PGconn* conn) const { PQfinish(conn); }
};
struct PgResultClear {
  void operator()(PGresult* result) const { PQclear(result); }
};
using PgConnPtr = std::unique_ptr<PGconn, PgConnCloser>;
using PgResultPtr = std::unique_ptr<PGresult, PgResultClear>;

// Connects to a "postgresql://..." address; null with `error` filled on failure.
PgConnPtr ConnectPostgres(const std::string& address, std::string& error);
// Runs statements without parameters or results.
bool PgExecute(PGconn* conn, const std::string& sql, std::string& error);
// True when `result` is a success; otherwise `error` is filled.
bool PgSucceeded(PGconn* conn, const PGresult* result, std::string& error);
// A value of a result (text or binary, as requested), empty for NULL.
std::string PgValue(const PGresult* result, int row, int column);

class PgParams {
 public:
  void AddText(std::string_view value);
  void AddBytes(std::string_view value);
  void AddNull();
  void AddInt(long long value) { AddText(std::to_string(value)); }
  std::size_t Size() const { return m_formats.size(); }
  // Runs `sql` with these parameters; `binaryResult` asks for raw bytes back.
  PgResultPtr Exec(PGconn* conn, const std::string& sql, bool binaryResult) const;

 private:
  std::deque<std::string> m_values;  // a deque keeps each value where it is as more are added
  std::vector<bool> m_null;
  std::vector<int> m_formats;
};

}  // namespace service
