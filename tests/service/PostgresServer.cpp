#include "tests/service/PostgresServer.h"

#include "service/Postgres.h"
#include "tests/support/Command.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace testsupport {
namespace {

constexpr int kPort = 5432;  // only names the socket file in the private folder

// The folder of the newest installed server version's programs, or empty.
std::string FindBinaries() {
  std::error_code ec;
  std::string best;
  int bestVersion = -1;
  for (const auto& entry : std::filesystem::directory_iterator("/usr/lib/postgresql", ec)) {
    const std::string bin = (entry.path() / "bin").string();
    const int version = std::atoi(entry.path().filename().c_str());
    if (version > bestVersion && std::filesystem::exists(bin + "/initdb") && std::filesystem::exists(bin + "/pg_ctl")) {
      best = bin;
      bestVersion = version;
    }
  }
  return best;
}

}  // namespace

std::unique_ptr<PostgresServer> PostgresServer::Start(std::string& why) {
  const std::string binaries = FindBinaries();
  if (binaries.empty()) {
    why = "PostgreSQL's server programs (initdb, pg_ctl) are not installed: install the postgresql package";
    return nullptr;
  }
  std::unique_ptr<PostgresServer> server(new PostgresServer());
  server->m_binaries = binaries;
  char folder[] = "/tmp/trellmond-pg-XXXXXX";
  if (mkdtemp(folder) == nullptr) throw std::runtime_error("mkdtemp failed");
  server->m_folder = folder;
  if (geteuid() == 0) {
    const passwd* owner = getpwnam("postgres");
    if (owner == nullptr) {
      why = "running as root and there is no postgres account to run PostgreSQL as";
      std::filesystem::remove_all(folder);
      return nullptr;
    }
    server->m_owner = "postgres";
    if (chown(folder, owner->pw_uid, owner->pw_gid) != 0) throw std::runtime_error("chown failed");
  }
  const std::string data = server->m_folder + "/data";
  RunOrThrow(server->AsOwner({binaries + "/initdb", "-D", data, "-A", "trust", "-U", "postgres", "-E", "UTF8",
                              "--no-sync", "--no-instructions"}));
  RunOrThrow(server->AsOwner(
      {binaries + "/pg_ctl", "-D", data, "-l", server->m_folder + "/server.log", "-w", "-o",
       "-k " + server->m_folder + " -p " + std::to_string(kPort) + " -c listen_addresses= -c fsync=off", "start"}));
  return server;
}

PostgresServer::~PostgresServer() {
  RunCommand(AsOwner({m_binaries + "/pg_ctl", "-D", m_folder + "/data", "-m", "immediate", "-w", "stop"}));
  std::error_code ec;
  std::filesystem::remove_all(m_folder, ec);
}

std::vector<std::string> PostgresServer::AsOwner(std::vector<std::string> argv) const {
  if (m_owner.empty()) return argv;
  argv.insert(argv.begin(), {"runuser", "-u", m_owner, "--"});
  return argv;
}

std::string PostgresServer::NewDatabase() {
  const std::string base = "postgresql://postgres@/";
  const std::string query = "?host=" + m_folder + "&port=" + std::to_string(kPort);
  std::string error;
  service::PgConnPtr conn = service::ConnectPostgres(base + "postgres" + query, error);
  const std::string name = "trellmond_test_" + std::to_string(++m_databases);
  if (!conn || !service::PgExecute(conn.get(), "CREATE DATABASE " + name, error)) {
    throw std::runtime_error("cannot make a test database: " + error);
  }
  return base + name + query;
}

}  // namespace testsupport
