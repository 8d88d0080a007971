// trellmond-cli scan --dfxml: the report validates against the DFXML schema, and every
// saved file is exactly the bytes its byte runs name on the image, with the hashes given.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <regex>

#include "tests/cli/Cards.h"
#include "tests/cli/DfxmlRead.h"
#include "tests/support/Command.h"
#include "tests/support/FatImage.h"
#include "tests/support/NtfsImage.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using namespace dfxmlread;
using clicards::FragmentedFatCard;
using clicards::Payload;

struct Case {
  const char* name;
  std::function<fs::path(const fs::path& dir)> makeImage;
  std::vector<std::string> scanArgs;
  std::size_t multiRunFilesAtLeast;  // files in more than one run
  bool expectResident;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

// The card as the one partition of a disk image, 1 MiB in: the runs are offsets on the disk image.
fs::path PartitionedFatCard(const fs::path& dir) {
  return clicards::InPartition(clicards::FragmentedFatCard(dir), dir / "disk.img", "c");
}

// A camera card for the Low Level Scan: sample pictures in a quick-formatted FAT16 card.
fs::path CarvingCard(const fs::path& dir) {
  testsupport::FatImage image(dir / "carve.img", {.fatBits = 16});
  for (const char* sample : {"sample.jpg", "sample.png", "sample.gif"}) {
    image.AddFile(std::string("/") + sample,
                  testsupport::ReadFileBytes(fs::path(TRELLMOND_SOURCE_DIR) / "tests/data/samples" / sample));
    image.Delete(std::string("/") + sample);
  }
  return image.Path();
}

// An NTFS card with deleted resident, sparse, compressed and fragmented files.
fs::path NtfsCard(const fs::path& dir) {
  testsupport::NtfsImage image(dir / "card.ntfs", {.sizeMiB = 16, .clusterSize = 4096});
  {
    testsupport::NtfsMount m(image);
    m.Write("tiny.txt", "hello resident");
    m.Write("notes.doc", Payload(70000, 4));
    m.MakeDir("Packed");
    m.CompressFolder("Packed");
    m.Write("Packed/text.txt", std::string(60000, 'z') + Payload(20000, 5));
    {
      std::ofstream f(m / "sparse.txt", std::ios::binary);
      f.write("AAAA", 4);
      f.seekp(200000);
      f.write("BBBB", 4);
    }
    int fillers = 0;
    while (fillers < 400 && m.TryWrite("fill" + std::to_string(fillers), Payload(64 * 1024, 100 + fillers))) ++fillers;
    for (int i = 0; i < fillers; i += 2) m.Remove("fill" + std::to_string(i));
    // Larger than any gap the removed fillers left.
    m.Write("frag.doc", Payload(1 << 20, 6));
    for (const char* gone : {"tiny.txt", "notes.doc", "Packed/text.txt", "sparse.txt", "frag.doc"}) m.Remove(gone);
  }
  return image.Path();
}

class DfxmlReportTest : public testing::TestWithParam<Case> {};

TEST_P(DfxmlReportTest, ValidatesAndItsRunsAreTheSavedBytes) {
  const Case& c = GetParam();
  if (std::string(c.name) == "ntfs" && !testsupport::NtfsImage::MountAvailable()) {
    GTEST_SKIP() << "no FUSE here for ntfs-3g";
  }
  testsupport::TempDir dir;
  const fs::path image = c.makeImage(dir.Path());
  const std::string imageHash = testsupport::Sha256Of(image);
  const fs::path out = dir / "out", report = dir / "report.xml";
  std::vector<std::string> argv = {testsupport::BuiltProgram("trellmond-cli"), "scan", image.string()};
  argv.insert(argv.end(), c.scanArgs.begin(), c.scanArgs.end());
  for (const std::string& more : {std::string("--out"), out.string(), std::string("--dfxml"), report.string()}) {
    argv.push_back(more);
  }
  const auto run = testsupport::RunCommand(argv);
  ASSERT_EQ(run.exitCode, 0) << run.errors;
  EXPECT_EQ(testsupport::Sha256Of(image), imageHash);

  const auto valid = testsupport::RunCommand(
      {"xmllint", "--noout", "--schema", TRELLMOND_SOURCE_DIR "/tests/data/dfxml/dfxml.xsd", report.string()});
  EXPECT_EQ(valid.exitCode, 0) << valid.errors;

  const Report parsed = ParseReport(report);
  EXPECT_EQ(parsed.program, "trellmond-cli");
  EXPECT_FALSE(parsed.version.empty());
  EXPECT_EQ(parsed.image, image.string());
  std::smatch found;
  ASSERT_TRUE(std::regex_search(run.output, found, std::regex("Found (\\d+) files"))) << run.output;
  ASSERT_EQ(parsed.files.size(), std::stoul(found[1])) << run.output;
  EXPECT_FALSE(parsed.files.empty());

  std::size_t multiRun = 0, resident = 0, sparse = 0;
  for (const FileObject& f : parsed.files) {
    SCOPED_TRACE(f.filename);
    EXPECT_FALSE(f.filename.empty());
    EXPECT_NE(f.filename[0], '/');
    EXPECT_EQ(f.saved, "1");
    ASSERT_FALSE(f.savedPath.empty());
    ASSERT_TRUE(fs::exists(f.savedPath));
    EXPECT_EQ(f.md5, Digest("md5sum", f.savedPath));
    EXPECT_EQ(f.sha1, Digest("sha1sum", f.savedPath));
    const std::string saved = testsupport::ReadFileBytes(f.savedPath);
    EXPECT_EQ(static_cast<std::int64_t>(saved.size()), f.size);
    if (f.runs.size() > 1) ++multiRun;
    sparse += static_cast<std::size_t>(std::count_if(f.runs.begin(), f.runs.end(), [](const ByteRun& r) { return r.fill == "0"; }));
    if (f.compressed) continue;  // the runs hold the stored clusters, not the file's bytes
    std::string rebuilt;
    if (!RebuildFromRuns(image, f, rebuilt)) {
      ++resident;
      continue;
    }
    EXPECT_TRUE(rebuilt == saved) << "rebuilt " << rebuilt.size() << " bytes";
  }
  EXPECT_GE(multiRun, c.multiRunFilesAtLeast);
  EXPECT_EQ(resident > 0, c.expectResident);
  EXPECT_EQ(sparse > 0, c.expectResident);  // the NTFS card holds both
}

const Case kCases[] = {
    {"fat_live_and_deleted", [](const fs::path& dir) { return FragmentedFatCard(dir); }, {"--undelete", "--all"}, 1, false},
    {"partition_of_a_disk", PartitionedFatCard, {"--undelete", "--all"}, 1, false},
    {"low_level", CarvingCard, {"--low", "--types", "jpg,png,gif"}, 0, false},
    // The deleted fillers (no extension) are left out.
    {"ntfs", NtfsCard, {"--undelete", "--types", "doc,txt"}, 1, true},
};

INSTANTIATE_TEST_SUITE_P(Sources, DfxmlReportTest, testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DfxmlReportRefusals, AReportThatCannotBeWrittenStopsBeforeTheScan) {
  testsupport::TempDir dir;
  testsupport::FatImage image(dir / "card.img");
  const auto r = testsupport::RunCommand({testsupport::BuiltProgram("trellmond-cli"), "scan", image.Path().string(),
                                          "--dfxml", (dir / "missing" / "report.xml").string()});
  EXPECT_EQ(r.exitCode, 3);
  EXPECT_NE(r.errors.find("cannot write the report"), std::string::npos) << r.errors;
}

}  // namespace
