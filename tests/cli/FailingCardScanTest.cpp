// Scans of a failing card and of its rescued image: reads that stall are given up in
// bounded time, the unreadable sectors are gathered into one merged list, and the
// files of a rescued image that touch its bad areas are named with their sectors.

#include <chrono>
#include <filesystem>
#include <map>
#include <random>
#include <regex>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "tests/cli/FaultyCard.h"
#include "tests/support/Command.h"
#include "tests/support/TempDir.h"

namespace {

using testsupport::FaultyCard;
using testsupport::SectorRange;

std::string RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

class FailingCardScanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    if (!testsupport::FuseAvailable(why)) GTEST_SKIP() << why;
  }

  static testsupport::CommandResult Cli(std::vector<std::string> args) {
    args.insert(args.begin(), testsupport::BuiltProgram("trellmond-cli"));
    return testsupport::RunCommand(args);
  }
};

TEST_F(FailingCardScanTest, StallingSectorsAreGivenUpAndNamedAsUnreadable) {
  // Sectors that answer only after 8 s, in the FAT, among the files and near the end:
  // waited on, the scans would take minutes; given up after 300 ms, seconds.
  FaultyCard card({16384, {{9000, 2, 0}}, {{5, 1, 8.0}, {6000, 3, 8.0}, {15000, 1, 8.0}}, 0, {}});
  const auto start = std::chrono::steady_clock::now();
  const auto result = Cli({"scan", card.Card().string(), "--undelete", "--low", "--timeout-ms", "300", "--verbose"});
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(result.exitCode, 0) << result.errors;
  EXPECT_LT(seconds, 40.0) << "the scans waited on the stalling sectors";

  // One merged list after each scan. The Undelete scan read the first FAT's stretch in
  // one go and took the second copy: the stretch around the stalled sector is named first.
  const std::regex undelete("Unreadable sectors after the Undelete scan: [0-9]+ in [0-9]+ ranges?\\s+Sectors: ([0-9]+) - ([0-9]+)");
  std::smatch match;
  ASSERT_TRUE(std::regex_search(result.errors, match, undelete)) << result.errors;
  EXPECT_LE(std::stoul(match[1]), 5u);
  EXPECT_GE(std::stoul(match[2]), 5u);
  EXPECT_LT(std::stoul(match[2]), 40u) << "the stretch of the FAT, not beyond";
  // The Low Level Scan reads 4 MiB steps whole or not at all: both steps of the card
  // hold a stalled or bad sector.
  EXPECT_NE(result.errors.find("Unreadable sectors after the Low Level Scan: 16384 in 1 range"), std::string::npos)
      << result.errors;
  EXPECT_NE(result.errors.find("Unreadable: 16384 sectors of"), std::string::npos) << result.errors;
}

TEST_F(FailingCardScanTest, RescuedImageNamesTheFilesThatTouchItsBadAreas) {
  std::vector<std::pair<std::string, std::string>> files;
  for (int i = 0; i < 5; ++i) files.emplace_back("DATA" + std::to_string(i) + ".BIN", RandomBytes(60000 + i * 9000, i));
  testsupport::FaultyCardOptions options{16384, {}, {}, 0, files};
  // Probe the layout on a good card first: the bad areas go inside DATA1 and DATA3.
  std::vector<std::uint64_t> inOne, inThree;
  {
    FaultyCard layout(options);
    inOne = layout.SectorsOf("DATA1.BIN");
    inThree = layout.SectorsOf("DATA3.BIN");
  }
  ASSERT_GT(inOne.size(), 40u);
  ASSERT_GT(inThree.size(), 40u);
  const std::uint64_t badOne = inOne[20], badThree = inThree[33];
  options.bad = {{badOne, 3, 0}, {badThree, 1, 0}, {16000, 8, 0}};
  FaultyCard card(options);

  const auto image = card.Dir() / "rescued.img";
  const auto copied = Cli({"image", card.Card().string(), image.string()});
  ASSERT_EQ(copied.exitCode, 0) << copied.errors;
  const std::string before = testsupport::ReadFileBytes(image);

  const auto out = card.Dir() / "saved", report = card.Dir() / "report.json";
  const auto scan = Cli({"scan", image.string(), "--all", "--out", out.string(), "--report", report.string()});
  EXPECT_EQ(scan.exitCode, 3) << "two files could not be saved whole\n" << scan.errors;
  EXPECT_EQ(testsupport::ReadFileBytes(image), before) << "the scan wrote to the image";

  // Files clear of the bad areas come back byte-identical.
  for (int i : {0, 2, 4}) {
    const auto& [name, contents] = files[static_cast<std::size_t>(i)];
    EXPECT_TRUE(testsupport::ReadFileBytes(out / name) == contents) << name << " differs";
  }
  // The two that touch them are named with exactly their bad sectors; the rest of their
  // bytes are there, zeros only in the clusters around the bad sectors.
  const auto json = nlohmann::json::parse(testsupport::ReadFileBytes(report));
  std::map<std::string, nlohmann::json> byName;
  for (const auto& f : json) byName[f["fullName"].get<std::string>().substr(3)] = f;
  const auto expectBad = [&](const std::string& name, std::uint64_t first, std::uint64_t count) {
    ASSERT_TRUE(byName.count(name)) << name << " not found";
    const auto& f = byName[name];
    EXPECT_FALSE(f["saved"].get<bool>()) << name;
    ASSERT_EQ(f["unreadableSectors"].size(), 1u) << f.dump();
    const auto& cluster = f["unreadableSectors"][0];
    // The cluster (4 sectors) around the bad sectors is what the save could not read.
    EXPECT_LE(cluster["first"].get<std::uint64_t>(), first) << f.dump();
    EXPECT_GE(cluster["last"].get<std::uint64_t>(), first + count - 1) << f.dump();
    EXPECT_LT(cluster["last"].get<std::uint64_t>() - cluster["first"].get<std::uint64_t>(), 8u) << f.dump();
  };
  expectBad("DATA1.BIN", badOne, 3);
  expectBad("DATA3.BIN", badThree, 1);
  for (int i : {0, 2, 4}) {
    const auto& f = byName[files[static_cast<std::size_t>(i)].first];
    EXPECT_TRUE(f["saved"].get<bool>()) << f.dump();
    EXPECT_TRUE(f["unreadableSectors"].empty()) << f.dump();
  }
  // The saved copy of a damaged file keeps every readable byte in its place.
  const std::string one = testsupport::ReadFileBytes(out / "DATA1.BIN");
  ASSERT_EQ(one.size(), files[1].second.size());
  EXPECT_EQ(one.substr(0, 16 * 512), files[1].second.substr(0, 16 * 512));
  EXPECT_EQ(one.substr(28 * 512), files[1].second.substr(28 * 512));
  EXPECT_NE(scan.errors.find("Unreadable:"), std::string::npos) << scan.errors;
}

}  // namespace
