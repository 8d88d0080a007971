// Whole Undelete scans of real FAT12, FAT16 and FAT32 images.

#include <gtest/gtest.h>

#include <mutex>

#include <cstring>

#include "tests/fsscan/ScanFixture.h"
#include "util/Text.h"

namespace {

using fsscantest::CardFile;

struct FatCase {
  const char* name;
  int fatBits;
  std::uint64_t sizeKiB;
};

class FatScanTest : public testing::TestWithParam<FatCase> {
 protected:
  void SetUp() override {
    testsupport::FatImageOptions options;
    options.fatBits = GetParam().fatBits;
    options.sizeKiB = GetParam().sizeKiB;
    image = std::make_unique<testsupport::FatImage>(dir / "card.img", options);
    files = fsscantest::FillHolidayCard(*image, 1120000000);
    harness = std::make_unique<fsscantest::ScannerHarness>(image->Path());
  }
  static std::string DirOf(const std::string& path) {
    std::string dir = path.substr(0, path.rfind('/') + 1);
    std::replace(dir.begin(), dir.end(), '/', '\\');
    return dir;
  }
  static std::string NameOf(const std::string& path) { return path.substr(path.rfind('/') + 1); }
  // Whether a name is stored as a short entry alone (so deleting it loses its first letter).
  static bool IsShortName(const std::string& name) {
    const std::size_t dot = name.find('.');
    const std::string base = name.substr(0, dot);
    const std::string ext = dot == std::string::npos ? "" : name.substr(dot + 1);
    const bool oneCase = name == util::UpperCase(name) || name == util::LowerCase(name);
    return oneCase && base.size() <= 8 && ext.size() <= 3 && name.find(' ') == std::string::npos &&
           std::all_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  }

  testsupport::TempDir dir;
  std::unique_ptr<testsupport::FatImage> image;
  std::vector<CardFile> files;
  std::unique_ptr<fsscantest::ScannerHarness> harness;
};

TEST_P(FatScanTest, FindsEveryFileWithItsNameFolderSizeAndCluster) {
  harness->Scan(false);
  EXPECT_EQ(harness->securityWarnings, 0);
  const std::string type = GetParam().fatBits == 32 ? "FAT32" : GetParam().fatBits == 16 ? "FAT16" : "FAT12";
  EXPECT_TRUE(harness->Logged("Disk Type: " + type + " <br> Free Memory: ", "46"));
  for (const CardFile& f : files) {
    // A deleted 8.3 name loses its first letter; a long name survives whole.
    std::string name = NameOf(f.path);
    if (f.deleted && IsShortName(name)) name[0] = 'x';
    const fsscan::FileNode* r = harness->Find(name);
    ASSERT_NE(r, nullptr) << f.path << "\n" << harness->Names();
    std::string folder = DirOf(f.path);
    EXPECT_EQ(r->Dir, folder) << f.path;
    EXPECT_EQ(r->Size, static_cast<std::int64_t>(f.contents.size())) << f.path;
    if (!f.deleted) {
      EXPECT_EQ(r->FirstCluster, image->FirstCluster(f.path)) << f.path;
    }
  }
  EXPECT_EQ(harness->scanner.GetFoundNumber(), static_cast<std::int64_t>(files.size()) + 1);  // + the deleted hole
  EXPECT_EQ(harness->Find("empty.txt"), nullptr);
  EXPECT_GT(harness->Find("fragmented.bin")->Clusters->size(), 1u);
  // Reported identifiers are the final indexes, in order.
  ASSERT_EQ(harness->reported.size(), files.size() + 1);
  for (std::size_t i = 0; i < harness->reported.size(); ++i) {
    EXPECT_EQ(harness->reported[i].id, std::to_string(i));
    const auto& r = *harness->scanner.FileList()[i];
    EXPECT_EQ(harness->reported[i].fullName, std::string(1, harness->letter) + ":" + r.Dir + r.LongName);
  }
}

TEST_P(FatScanTest, DeletedOnlyListsJustTheDeletedFiles) {
  harness->Scan(true);
  std::vector<std::string> names;
  for (const auto& r : harness->scanner.FileList()) names.push_back(r->Dir + r->LongName);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"\\DCIM\\100CANON\\xMG_0002.JPG", "\\DCIM\\Holiday photos 2005.jpg",
                                             "\\Docs\\Old\\xeport.doc", "\\Hidden\\xone.txt", "\\xole.bin"}))
      << harness->Names();
  harness->Scan(true, "jpg");
  EXPECT_EQ(harness->scanner.GetFoundNumber(), 2);
}

INSTANTIATE_TEST_SUITE_P(FatTypes, FatScanTest,
                         testing::Values(FatCase{"fat12", 12, 2048}, FatCase{"fat16", 16, 16384},
                                         FatCase{"fat32", 32, 40960}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FatScanEdgeTest, WithoutAReceiverNothingStays) {
  testsupport::TempDir dir;
  testsupport::FatImage image(dir / "c.img", {});
  fsscantest::FillHolidayCard(image, 1120000000);
  fsscantest::ScannerHarness harness(image.Path());
  harness.scanner.OnFileNotify = nullptr;
  harness.Scan(false);
  EXPECT_EQ(harness.scanner.GetFoundNumber(), 0);
}

TEST(FatScanEdgeTest, ImageChecksDropRejectedPicturesAndKeepIdentifiersConsecutive) {
  testsupport::TempDir dir;
  testsupport::FatImage image(dir / "c.img", {});
  fsscantest::FillHolidayCard(image, 1120000000);
  fsscantest::ScannerHarness harness(image.Path());
  harness.scanner.SetImageFilter("jpg;jpeg;bmp;emf;wmf");
  std::vector<std::string> checked;
  std::mutex checking;  // checks may run on several workers
  harness.scanner.OnImageCheck = [&](fsscan::TMekFATScan*, util::TMemoryStream& stream, const std::string& type,
                                     bool& ok) {
    const std::lock_guard lock(checking);
    checked.push_back(type + ":" + std::to_string(stream.Size()));
    ok = stream.Size() != 20000;  // reject IMG_0002
  };
  harness.Scan(false);
  EXPECT_EQ(checked.size(), 5u);  // the five JPG files, each with its whole data
  EXPECT_NE(std::find(checked.begin(), checked.end(), "JPG:30000"), checked.end());
  EXPECT_EQ(harness.Find("xMG_0002.JPG"), nullptr);
  for (std::size_t i = 0; i < harness.reported.size(); ++i) EXPECT_EQ(harness.reported[i].id, std::to_string(i));
  EXPECT_EQ(harness.reported.size(), static_cast<std::size_t>(harness.scanner.GetFoundNumber()));
}

TEST(FatScanEdgeTest, StopDuringReportingKeepsWhatWasReported) {
  testsupport::TempDir dir;
  testsupport::FatImage image(dir / "c.img", {});
  fsscantest::FillHolidayCard(image, 1120000000);
  fsscantest::ScannerHarness harness(image.Path());
  int calls = 0;
  // Counted from the reporting on: the search for lost folders lets messages through too.
  harness.scanner.SetProcessMessages([&] {
    if (harness.Logged("FATScan Checkpoint: GetFileImages") && ++calls == 3) harness.scanner.Terminate(true);
  });
  harness.Scan(false);
  EXPECT_EQ(harness.scanner.GetFoundNumber(), 3);
  EXPECT_EQ(harness.reported.size(), 3u);
}

TEST(FatScanEdgeTest, OtherFileSystemsAndUnusableBootSectorsEndWithAnEmptyList) {
  testsupport::TempDir dir;
  // An exFAT boot sector whose FAT and cluster heap offsets are zero: no exFAT volume, and
  // nothing a FAT walk may read either.
  std::string exfat(4 << 20, '\0');
  std::memcpy(exfat.data(), "\xEB\x76\x90" "EXFAT   ", 11);
  exfat[72] = 0x00;
  exfat[74] = static_cast<char>(0x80);  // volume length 0x8000 sectors
  exfat[92] = 0x00;
  exfat[93] = 0x10;  // cluster count
  exfat[108] = 9;    // 512-byte sectors
  exfat[109] = 3;    // 8 sectors per cluster
  exfat[510] = 0x55;
  exfat[511] = static_cast<char>(0xAA);
  testsupport::WriteFileBytes(dir / "exfat.img", exfat);
  fsscantest::ScannerHarness harness(dir / "exfat.img");
  harness.Scan(false);
  EXPECT_EQ(harness.raw.GetFileSystem(), "RAW");
  EXPECT_EQ(harness.scanner.GetFoundNumber(), 0);

  testsupport::WriteFileBytes(dir / "blank.img", std::string(1 << 20, '\0'));
  fsscantest::ScannerHarness blank(dir / "blank.img");
  blank.Scan(false);
  EXPECT_EQ(blank.scanner.GetFoundNumber(), 0);
  EXPECT_EQ(blank.securityWarnings, 0);
}

}  // namespace
