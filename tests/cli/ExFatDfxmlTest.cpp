// The DFXML report of an exFAT card, bare and as the partition of a disk image: every saved
// file is the bytes its runs name on the image, a fragmented file's pieces in order and the
// bytes past a file's valid data length given as zeros.

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "tests/cli/Cards.h"
#include "tests/cli/DfxmlRead.h"
#include "tests/support/Command.h"
#include "tests/support/ExFatImage.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using clicards::Payload;

// A card with a file in three pieces around two others, deleted with one of them, and a deleted
// file whose valid data length is below its size.
fs::path Card(const fs::path& dir) {
  testsupport::ExFatImage card(dir / "card.img");
  card.AddFile("/x.bin", Payload(9000, 1));
  card.AddFile("/y.bin", Payload(5000, 2));
  card.AddFile("/z.bin", Payload(5000, 3));
  card.Append("/x.bin", Payload(12000, 4));
  card.Append("/y.bin", Payload(100, 5));
  card.AddFile("/DCIM/preallocated.bin", Payload(20000, 6));
  card.Delete("/x.bin");
  card.Delete("/DCIM/preallocated.bin");
  card.Close();
  // Byte edit: exfat-fuse always writes a file's valid data length equal to its size; cameras
  // that preallocate write less.
  testsupport::ExFatBytes bytes(card.Path());
  const std::uint64_t set = bytes.FindSet("preallocated.bin");
  for (int i = 0; i < 8; ++i) bytes.bytes[set + 32 + 8 + i] = static_cast<char>(i == 0 ? 0x70 : i == 1 ? 0x17 : 0);
  bytes.FixSetChecksum(set);
  bytes.Save();
  return card.Path();
}

fs::path PartitionedCard(const fs::path& dir) { return clicards::InPartition(Card(dir), dir / "disk.img", "7"); }

class ExFatDfxmlTest : public testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (const std::string why = testsupport::ExFatImage::Unavailable(); !why.empty()) GTEST_SKIP() << why;
  }
  testsupport::TempDir dir;
};

TEST_P(ExFatDfxmlTest, RunsAreTheSavedBytes) {
  const fs::path image = GetParam() ? PartitionedCard(dir.Path()) : Card(dir.Path());
  const fs::path out = dir / "out", report = dir / "report.xml";
  const auto run = testsupport::RunCommand({testsupport::BuiltProgram("trellmond-cli"), "scan", image.string(),
                                            "--undelete", "--all", "--out", out.string(), "--dfxml", report.string()});
  ASSERT_EQ(run.exitCode, 0) << run.errors;
  const auto valid = testsupport::RunCommand(
      {"xmllint", "--noout", "--schema", TRELLMOND_SOURCE_DIR "/tests/data/dfxml/dfxml.xsd", report.string()});
  EXPECT_EQ(valid.exitCode, 0) << valid.errors;

  const dfxmlread::Report parsed = dfxmlread::ParseReport(report);
  std::size_t pieces = 0, zeros = 0, checked = 0;
  for (const dfxmlread::FileObject& f : parsed.files) {
    SCOPED_TRACE(f.filename);
    ASSERT_EQ(f.saved, "1");
    const std::string saved = testsupport::ReadFileBytes(f.savedPath);
    EXPECT_EQ(f.sha1, dfxmlread::Digest("sha1sum", f.savedPath));
    std::string rebuilt;
    ASSERT_TRUE(dfxmlread::RebuildFromRuns(image, f, rebuilt));
    EXPECT_TRUE(rebuilt == saved) << "rebuilt " << rebuilt.size() << " of " << saved.size() << " bytes";
    ++checked;
    if (f.filename == "x.bin") pieces = f.runs.size();
    if (f.filename == "DCIM/preallocated.bin" && !f.runs.empty()) zeros = f.runs.back().fill == "0";
  }
  EXPECT_GE(checked, 4u);
  EXPECT_GE(pieces, 2u);
  EXPECT_EQ(zeros, 1u);
}

INSTANTIATE_TEST_SUITE_P(Cards, ExFatDfxmlTest, testing::Bool(),
                         [](const auto& info) { return info.param ? "partition_of_a_disk" : "bare"; });

}  // namespace
