// trellmond-cli image against a failing card: a FUSE file that fails chosen sectors
// with EIO and is slow on others.

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "util/RescueMap.h"
#include "tests/cli/FaultyCard.h"
#include "tests/support/Command.h"
#include "tests/support/TempDir.h"

extern char** environ;

namespace {

using testsupport::FaultyCard;
using testsupport::FaultyCardOptions;
using testsupport::SectorRange;

class ImageCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    if (!testsupport::FuseAvailable(why)) GTEST_SKIP() << why;
  }

  static testsupport::CommandResult Image(const FaultyCard& card, std::vector<std::string> extra = {}) {
    std::vector<std::string> argv = {testsupport::BuiltProgram("trellmond-cli"), "image", card.Card().string(),
                                     (card.Dir() / "out.img").string()};
    argv.insert(argv.end(), extra.begin(), extra.end());
    return testsupport::RunCommand(argv);
  }

  static util::RescueMap Map(const FaultyCard& card, std::uint64_t size) {
    std::string error;
    auto map = util::RescueMap::Parse(testsupport::ReadFileBytes(card.Dir() / "out.img.map"), size, error);
    EXPECT_TRUE(map) << error;
    return map ? *map : util::RescueMap(size);
  }

  // The image is the card with the bad sectors zero; the map marks exactly them bad.
  static void ExpectRescued(const FaultyCard& card, const std::vector<SectorRange>& bad) {
    std::string expected = card.Backing();
    std::vector<util::RescueMap::Area> expectedBad;
    for (const auto& range : bad) {
      expected.replace(range.first * 512, range.count * 512, std::string(range.count * 512, '\0'));
      expectedBad.push_back({range.first * 512, range.count * 512, '-'});
    }
    EXPECT_TRUE(testsupport::ReadFileBytes(card.Dir() / "out.img") == expected)
        << "the image differs from the card's readable sectors";
    const auto map = Map(card, expected.size());
    const auto areas = map.AreasWith('-');
    ASSERT_EQ(areas.size(), expectedBad.size());
    for (std::size_t i = 0; i < areas.size(); ++i) {
      EXPECT_EQ(areas[i].pos, expectedBad[i].pos) << "bad area " << i;
      EXPECT_EQ(areas[i].size, expectedBad[i].size) << "bad area " << i;
    }
    std::uint64_t badBytes = 0;
    for (const auto& area : expectedBad) badBytes += area.size;
    EXPECT_EQ(map.BytesWith('+'), expected.size() - badBytes);

    const auto status = testsupport::RunCommand({"ddrescuelog", "--show-status", (card.Dir() / "out.img.map").string()});
    EXPECT_EQ(status.exitCode, 0) << status.errors;
    // ddrescue's own reading of the map lists the same bad sectors.
    std::string listed;
    for (const auto& range : bad)
      for (std::uint64_t s = range.first; s < range.first + range.count; ++s) listed += std::to_string(s) + "\n";
    const auto list =
        testsupport::RunCommand({"ddrescuelog", "--list-blocks=-", "-b512", (card.Dir() / "out.img.map").string()});
    EXPECT_EQ(list.output, listed);
  }
};

const std::vector<SectorRange> kBad = {
    {0, 1, 0},        // the boot sector
    {40, 3, 0},       // the first FAT
    {5000, 1, 0},     // a lone sector among files
    {9000, 100, 0},   // a long run across a 64 KiB boundary
    {16380, 4, 0}};   // the card's last sectors

TEST_F(ImageCommandTest, CopiesEveryReadableSectorAndMapsExactlyTheBadOnes) {
  FaultyCard card({16384, kBad, {{12000, 10, 0.05}}, 0, {}});
  const auto result = Image(card, {"--retries", "2"});
  ASSERT_EQ(result.exitCode, 0) << result.errors;
  EXPECT_NE(result.output.find("5 bad areas"), std::string::npos) << result.output;
  EXPECT_NE(result.errors.find("Image 100%"), std::string::npos) << result.errors;
  ExpectRescued(card, kBad);

  // Two retries read each bad sector twice more, and nothing else.
  const std::size_t before = card.Reads().size();
  ASSERT_EQ(Image(card, {"--retries", "2"}).exitCode, 0);
  const auto again = card.Reads(before);
  std::size_t badSectors = 0;
  for (const auto& range : kBad) badSectors += range.count;
  EXPECT_EQ(again.size(), 2 * badSectors);
  for (const auto& [offset, size] : again) EXPECT_EQ(size, 512u) << "at " << offset;
  ExpectRescued(card, kBad);
}

TEST_F(ImageCommandTest, InterruptedRunGoesOnWithoutReadingRescuedSectorsAgain) {
  FaultyCard card({16384, kBad, {}, 0.004, {}});
  std::string program = testsupport::BuiltProgram("trellmond-cli"), command = "image", card_ = card.Card().string(),
              out = (card.Dir() / "out.img").string();
  char* argv[] = {program.data(), command.data(), card_.data(), out.data(), nullptr};
  pid_t pid = -1;
  ASSERT_EQ(posix_spawn(&pid, argv[0], nullptr, nullptr, argv, environ), 0);
  // Stop it half-way, as Ctrl-C does, once part of the card is copied.
  for (int i = 0; i < 400 && card.Reads().size() < 40; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ::kill(pid, SIGINT);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 130);

  const std::uint64_t size = 16384 * 512;
  const auto first = Map(card, size);
  const auto rescued = first.AreasWith('+');
  ASSERT_FALSE(rescued.empty());
  ASSERT_LT(first.BytesWith('+'), size - 108 * 512) << "the run ended before it was stopped";
  const std::size_t before = card.Reads().size();

  const auto result = Image(card);
  ASSERT_EQ(result.exitCode, 0) << result.errors;
  for (const auto& [offset, length] : card.Reads(before))
    for (const auto& area : rescued)
      EXPECT_FALSE(offset < area.pos + area.size && area.pos < offset + length)
          << "read " << offset << "+" << length << " again, rescued in the first run";
  ExpectRescued(card, kBad);
}

TEST_F(ImageCommandTest, ReadsOverTheTimeoutAreLeftAndTheCopyEnds) {
  // Sectors that take 2 s each: with a 100 ms limit they are given up, not waited on.
  FaultyCard card({16384, {}, {{12000, 4, 2.0}}, 0, {}});
  const auto start = std::chrono::steady_clock::now();
  const auto result = Image(card, {"--timeout-ms", "100"});
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  ASSERT_EQ(result.exitCode, 0) << result.errors;
  EXPECT_LT(seconds, 6.0);
  ExpectRescued(card, {{12000, 4, 0}});
}

TEST_F(ImageCommandTest, RefusesWhatWouldLoseData) {
  FaultyCard card({2048, {}, {}, 0, {}});
  // The image must not be the source.
  auto result = testsupport::RunCommand(
      {testsupport::BuiltProgram("trellmond-cli"), "image", card.Card().string(), card.Card().string()});
  EXPECT_EQ(result.exitCode, 3) << result.errors;
  // A map that is not one leaves the image as it was.
  testsupport::WriteFileBytes(card.Dir() / "out.img", "earlier data");
  testsupport::WriteFileBytes(card.Dir() / "out.img.map", "not a map\n");
  result = Image(card);
  EXPECT_EQ(result.exitCode, 3);
  EXPECT_NE(result.errors.find("is not a mapfile"), std::string::npos) << result.errors;
  EXPECT_EQ(testsupport::ReadFileBytes(card.Dir() / "out.img"), "earlier data");
  EXPECT_EQ(Image(card, {"--retries", "x"}).exitCode, 1);
}

}  // namespace
