#pragma once
// A real trellmond-service on 127.0.0.1 for a test, over the store the test's
// parameter names: an SQLite file in a temporary folder, or a database on a
// PostgreSQL server started for the test (skipped, saying why, when
// PostgreSQL is not installed).

#include "tests/service/PostgresServer.h"
#include "tests/service/ServiceProcess.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <filesystem>
#include <memory>
#include <ostream>
#include <string>

namespace testsupport {

inline constexpr const char* kConsoleToken = "s3cret-token";

struct StoreCase {
  const char* name;
  bool postgres;
  const char* sync;  // "normal" or "full"
};

inline const StoreCase kSqliteNormal{"SqliteNormal", false, "normal"};
inline const StoreCase kSqliteFull{"SqliteFull", false, "full"};
inline const StoreCase kPostgresNormal{"PostgresNormal", true, "normal"};
inline const StoreCase kPostgresFull{"PostgresFull", true, "full"};

// Test names show the case's name, not its bytes.
inline void PrintTo(const StoreCase& store, std::ostream* os) { *os << store.name; }

inline std::string StoreCaseName(const testing::TestParamInfo<StoreCase>& info) { return info.param.name; }

class ServiceFixture : public testing::TestWithParam<StoreCase> {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(m_dir / "data" / "catalogue");
    std::filesystem::create_directories(m_dir / "data" / "site");
    WriteFileBytes(m_dir / "data" / "site" / "newsENG.html", "<p>news</p>");
    WriteFileBytes(m_dir / "data" / "site" / "help.html", "<p>help</p>");
    if (GetParam().postgres) {
      std::string why;
      m_postgres = PostgresServer::Start(why);
      if (!m_postgres) GTEST_SKIP() << why;
      m_database = m_postgres->NewDatabase();
    } else {
      m_database = (m_dir / "service.sqlite").string();
    }
    m_service = std::make_unique<ServiceProcess>(m_database, ServiceArgs());
    m_service->Start();
  }

  std::vector<std::string> ServiceArgs() const {
    std::vector<std::string> args = {
        "--data", (m_dir / "data").string(), "--console-token", kConsoleToken, "--sync", GetParam().sync};
    args.insert(args.end(), m_extraArgs.begin(), m_extraArgs.end());
    return args;
  }

  httplib::Result Get(const std::string& target) {
    httplib::Client client("127.0.0.1", m_service->Port());
    client.set_url_encode(false);
    client.set_read_timeout(10, 0);
    return client.Get(target.c_str());
  }
  const std::string& Db() const { return m_database; }

  TempDir m_dir;
  std::vector<std::string> m_extraArgs;  // set before SetUp runs (in a derived constructor)
  std::unique_ptr<PostgresServer> m_postgres;
  std::string m_database;
  std::unique_ptr<ServiceProcess> m_service;
};

}  // namespace testsupport
