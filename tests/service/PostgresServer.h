#pragma once
// A real PostgreSQL server of the test's own: a cluster made by initdb in a
// temporary folder and started by pg_ctl, listening only on a Unix socket in
// that folder. PostgreSQL refuses to run as root, so as root the cluster
// belongs to the "postgres" account (made by Debian's package) and is run
// through runuser. Stopped and removed when the object goes.

#include <memory>
#include <string>
#include <vector>

namespace testsupport {

class PostgresServer {
 public:
  // Starts a server; null with `why` filled when PostgreSQL's programs are not installed.
  static std::unique_ptr<PostgresServer> Start(std::string& why);
  ~PostgresServer();
  PostgresServer(const PostgresServer&) = delete;
  PostgresServer& operator=(const PostgresServer&) = delete;

  // Makes a new, empty database and returns its address ("postgresql://...").
  std::string NewDatabase();

 private:
  PostgresServer() = default;
  std::vector<std::string> AsOwner(std::vector<std::string> argv) const;

  std::string m_folder;
  std::string m_binaries;
  std::string m_owner;  // empty: the current user
  int m_databases = 0;
};

}  // namespace testsupport
