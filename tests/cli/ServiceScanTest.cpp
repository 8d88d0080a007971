// trellmond-cli scan against the real vendor service on 127.0.0.1.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <nlohmann/json.hpp>

#include "tests/service/ServiceProcess.h"
#include "tests/service/TestDatabase.h"
#include "tests/support/Command.h"
#include "tests/support/FatImage.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;

// Lines of a catalogue file whose first field is one of `types`.
std::string LinesFor(const fs::path& file, const std::set<std::string>& types) {
  std::ifstream in(file);
  std::string out;
  for (std::string line; std::getline(in, line);) {
    if (types.count(line.substr(0, line.find(';')))) out += line + "\n";
  }
  return out;
}

TEST(ServiceScanTest, EveryStepReachesTheServiceAndTheCatalogueComesFromIt) {
  testsupport::TempDir dir;
  // A service whose catalogue knows only JPEG pictures.
  const fs::path source = fs::path(TRELLMOND_SOURCE_DIR) / "service/data";
  fs::create_directories(dir / "data");
  fs::copy(source / "site", dir / "data" / "site", fs::copy_options::recursive);
  fs::create_directories(dir / "data" / "catalogue");
  for (const char* name : {"details.txt", "overview-low.txt", "overview-undelete.txt"}) {
    testsupport::WriteFileBytes(dir / "data" / "catalogue" / name, LinesFor(source / "catalogue" / name, {"jpg"}));
  }
  testsupport::ServiceProcess service((dir / "service.sqlite").string(), {"--data", (dir / "data").string()});
  service.Start();

  const std::string photo = testsupport::ReadFileBytes(fs::path(TRELLMOND_SOURCE_DIR) / "tests/data/samples/sample.jpg");
  const std::string pdf = testsupport::ReadFileBytes(fs::path(TRELLMOND_SOURCE_DIR) / "tests/data/samples/sample.pdf");
  testsupport::FatImage image(dir / "card.img");
  image.AddFile("/Tom & Jerry #1.jpg", photo);
  image.AddFile("/plan.pdf", pdf);
  image.Delete("/Tom & Jerry #1.jpg");
  image.Delete("/plan.pdf");

  const auto result = testsupport::RunCommand(
      {testsupport::BuiltProgram("trellmond-cli"), "scan", image.Path().string(), "--undelete", "--low", "--out",
       (dir / "out").string(), "--report", (dir / "report.json").string(), "--service", service.BaseURL()});
  ASSERT_EQ(result.exitCode, 0) << result.errors;

  const std::string db = (dir / "service.sqlite").string();
  const auto transactions = testsupport::QueryRows(db, "SELECT id FROM transactions");
  ASSERT_EQ(transactions.size(), 1u);
  const std::string t = transactions[0][0];
  const auto logs = testsupport::QueryRows(db, "SELECT message, action FROM logs WHERE trans = '" + t + "' ORDER BY id");
  auto has = [&](const std::string& message, const std::string& action) {
    return std::any_of(logs.begin(), logs.end(), [&](const auto& row) {
      return row[0].find(message) != std::string::npos && row[1] == action;
    });
  };
  EXPECT_TRUE(has("FATScan Checkpoint: GetFATBootRecord", "46"));
  EXPECT_TRUE(has("Beginning FAT save", "135"));
  EXPECT_EQ(logs.back(), (std::vector<std::string>{"Destroying Application.", "170"}));
  EXPECT_EQ(logs[logs.size() - 2], (std::vector<std::string>{"Closing Application.", "160"}));
  EXPECT_EQ(testsupport::QueryRows(db, "SELECT COUNT(*) FROM machines WHERE trans = '" + t + "'")[0][0], "1");
  const auto stats =
      testsupport::QueryRows(db, "SELECT scantype, number, types FROM statistics WHERE trans = '" + t + "' ORDER BY id");
  ASSERT_EQ(stats.size(), 4u);
  EXPECT_EQ(stats[0], (std::vector<std::string>{"F-Scan", "2", "JPG:1 PDF:1"}));
  EXPECT_EQ(stats[1], (std::vector<std::string>{"F-Save", "2", "JPG:1 PDF:1"}));
  EXPECT_EQ(stats[2][0], "L-Scan");
  EXPECT_EQ(stats[3][0], "L-Save");

  // The Low Level Scan knew only the service's JPEG line: no PDF was carved.
  const auto report = nlohmann::json::parse(testsupport::ReadFileBytes(dir / "report.json"));
  int carved = 0;
  for (const auto& f : report) {
    if (f["scan"] != "Low Level") continue;
    ++carved;
    EXPECT_NE(f["fullName"].get<std::string>().find(".jpg"), std::string::npos) << f["fullName"];
  }
  EXPECT_EQ(carved, 1);
  EXPECT_EQ(testsupport::ReadFileBytes(dir / "out" / "Tom & Jerry #1.jpg"), photo);
}

TEST(ServiceScanTest, AServiceThatDoesNotAnswerEndsTheRun) {
  testsupport::TempDir dir;
  testsupport::FatImage image(dir / "card.img");
  const auto result = testsupport::RunCommand({testsupport::BuiltProgram("trellmond-cli"), "scan",
                                               image.Path().string(), "--service", "http://127.0.0.1:1"});
  EXPECT_EQ(result.exitCode, 4) << result.errors;
}

}  // namespace
