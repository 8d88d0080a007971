// Saving what the Undelete scan found: bytes, folders, names, times, failures.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/fsscan/ScanFixture.h"
#include "util/DateTime.h"

namespace {

using fsscantest::CardFile;

class SaveTest : public testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    testsupport::FatImageOptions options;
    options.fatBits = GetParam();
    options.sizeKiB = GetParam() == 12 ? 2048 : GetParam() == 16 ? 16384 : 40960;
    image = std::make_unique<testsupport::FatImage>(dir / "card.img", options);
    files = fsscantest::FillHolidayCard(*image, kModified);
    harness = std::make_unique<fsscantest::ScannerHarness>(image->Path());
  }
  static constexpr std::time_t kModified = 1120000000;  // an even second: FAT keeps two-second steps
  testsupport::TempDir dir;
  std::unique_ptr<testsupport::FatImage> image;
  std::vector<CardFile> files;
  std::unique_ptr<fsscantest::ScannerHarness> harness;
};

TEST_P(SaveTest, EveryIntactFileComesBackByteForByteUnderItsFolders) {
  const std::string before = testsupport::Sha256Of(image->Path());
  harness->Scan(false);
  fsscantest::OutputDrive out;
  std::int64_t notified = 0;
  harness->scanner.OnFilesSavedNotify = [&](fsscan::TMekFATScan*, std::int64_t n) { notified = n; };
  const std::int64_t saved = harness->scanner.SaveFilesToDisk(out.Folder("Recovered"));
  EXPECT_EQ(saved, harness->scanner.GetFoundNumber());
  EXPECT_EQ(notified, saved);
  EXPECT_EQ(harness->scanner.GetSavedNumber(), saved);
  EXPECT_EQ(harness->scanner.GetSaveSize(1), 0);
  EXPECT_EQ(testsupport::Sha256Of(image->Path()), before);  // the source is never written

  const auto written = fsscantest::FilesUnder(out.Posix("Recovered"));
  for (const CardFile& f : files) {
    if (f.path == "/DCIM/100CANON/IMG_0002.JPG" || f.path == "/Hidden/gone.txt" || f.path == "/Docs/Old/report.doc") {
      continue;  // short names: checked below under their x-names
    }
    // The whole name as found, the extension's case included.
    const std::string relative = f.path.substr(1);
    ASSERT_TRUE(written.count(relative)) << relative;
    EXPECT_TRUE(written.at(relative) == f.contents) << relative;
    struct stat st {};
    ASSERT_EQ(stat(out.Posix("Recovered/" + relative).c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, kModified) << relative;
  }
  EXPECT_TRUE(written.at("DCIM/100CANON/xMG_0002.JPG") == files[1].contents);
  EXPECT_TRUE(written.at("Docs/Old/xeport.doc") == files[6].contents);

  // Saving again: every record is saved already, nothing is written.
  EXPECT_EQ(harness->scanner.SaveFilesToDisk(out.Folder("Recovered")), 0);
  // Ticked again: equal names are numbered, never overwritten.
  harness->scanner.SetAllSaveFlags(true);
  for (const auto& r : harness->scanner.MutableFileList()) r->Saved = false;
  EXPECT_EQ(harness->scanner.SaveFilesToDisk(out.Folder("Recovered")), saved);
  const auto again = fsscantest::FilesUnder(out.Posix("Recovered"));
  EXPECT_TRUE(again.at("Docs/readme_1.txt") == files[4].contents);
  EXPECT_TRUE(again.at("Docs/readme.txt") == files[4].contents);
}

INSTANTIATE_TEST_SUITE_P(FatTypes, SaveTest, testing::Values(12, 16, 32));

TEST(SaveEdgeTest, AFileThatCannotBeReadWhollyIsNotSaved) {
  testsupport::TempDir dir;
  testsupport::FatImage image(dir / "card.img", {});
  image.AddFile("/first.bin", fsscantest::Payload(3000, 1));
  image.AddFile("/cut.bin", fsscantest::Payload(40000, 2));
  const std::uint64_t cutAt = image.ClusterOffset(image.FirstCluster("/cut.bin")) + 4096;
  std::filesystem::resize_file(image.Path(), cutAt);  // the medium ends inside the file
  fsscantest::ScannerHarness harness(image.Path());
  harness.Scan(false);
  ASSERT_EQ(harness.scanner.GetFoundNumber(), 2);
  fsscantest::OutputDrive out;
  EXPECT_EQ(harness.scanner.SaveFilesToDisk(out.Folder()), 1);
  EXPECT_TRUE(harness.Find("first.bin")->Saved);
  EXPECT_FALSE(harness.Find("cut.bin")->Saved);
  EXPECT_TRUE(harness.Find("cut.bin")->Save);  // stays ticked for another try
  EXPECT_TRUE(harness.Logged("File Size Incorrect. File: ", "-32"));
  EXPECT_TRUE(harness.Logged("Last Read Information:<br>Drive:           ", "-31"));
  EXPECT_TRUE(harness.Logged("Problem saving file:<br>Dir:            \\<br>", "-30"));
  // The partial file keeps its length; unreadable blocks are zeros, never shifted data.
  const std::string partial = testsupport::ReadFileBytes(out.Posix("cut.bin"));
  EXPECT_EQ(partial.size(), 40000u);
}

TEST(SaveEdgeTest, FilesThatDoNotFitAreSkippedAndSmallerOnesStillSaved) {
  testsupport::TempDir dir;
  testsupport::FatImage image(dir / "card.img", {});
  image.AddFile("/big.bin", fsscantest::Payload(30000, 1));
  image.AddFile("/small.bin", fsscantest::Payload(500, 2));
  fsscantest::ScannerHarness harness(image.Path());
  harness.Scan(false);
  fsscantest::OutputDrive out;
  harness.scanner.MutableFileList()[0]->Size = std::int64_t{1} << 62;  // no drive has this much free
  EXPECT_EQ(harness.scanner.SaveFilesToDisk(out.Folder()), 1);
  EXPECT_TRUE(harness.Logged("Not enough space. Required / Free : 4611686018427387904 / ", "-30"));
  EXPECT_TRUE(harness.Find("small.bin")->Saved);
}

}  // namespace
