// NTFS volumes quick-formatted after use: filled through an ntfs-3g mount, then formatted
// again with mkntfs -Q. The new MFT is small; the old records past its end still name the
// photos, their folders and their clusters.

#include <gtest/gtest.h>

#include <map>

#include "tests/fsscan/ScanFixture.h"
#include "tests/support/NtfsImage.h"
#include "util/ByteReader.h"

namespace {

using fsscantest::Payload;

// "/a/b" as the scan lists it, "\\a\\b".
std::string Listed(const std::string& path) {
  std::string out(1, '\\');
  out.append(path);
  std::replace(out.begin(), out.end(), '/', '\\');
  return out;
}

class NtfsFormattedTest : public testing::TestWithParam<std::uint32_t> {
 protected:
  void SetUp() override {
    if (!testsupport::NtfsImage::MountAvailable()) GTEST_SKIP() << "no FUSE here for ntfs-3g";
    image = std::make_unique<testsupport::NtfsImage>(
        dir / "disk.ntfs", testsupport::NtfsImageOptions{.sizeMiB = 48, .clusterSize = GetParam()});
    testsupport::NtfsMount m(*image);
    m.MakeDir("Bilder/Urlaub 2024");
    m.MakeDir("Dokumente");
    for (int i = 1; i <= 25; ++i) Add(m, "Bilder/Urlaub 2024/IMG_" + std::to_string(i) + ".jpg", 20000 + 900 * i, i);
    Add(m, "Bilder/Übersicht der Reise.txt", 3000, 40);
    Add(m, "Dokumente/Brief an Oma.txt", 6000, 41);
  }

  void Add(testsupport::NtfsMount& m, const std::string& path, std::size_t size, unsigned seed) {
    m.Write(path, Payload(size, seed));
    files[path] = Payload(size, seed);
  }

  // Counts each listed "Dir + LongName" and checks every file is there once, at `where(path)`,
  // and saved byte for byte.
  template <typename Where>
  void ExpectEveryFileBack(fsscantest::ScannerHarness& harness, Where where) {
    std::map<std::string, const fsscan::FileNode*> listed;
    for (const auto& r : harness.scanner.FileList()) {
      EXPECT_TRUE(listed.emplace(r->Dir + r->LongName, r.get()).second) << "twice: " << r->Dir + r->LongName;
    }
    for (const auto& [path, contents] : files) {
      const auto it = listed.find(Listed(where(path)));
      ASSERT_NE(it, listed.end()) << path << "\n" << harness.Names();
      EXPECT_EQ(it->second->Origin, fsscan::FileOrigin::kOldMftRecord) << path;
      EXPECT_FALSE(it->second->ClustersInUse) << path;
    }
    fsscantest::OutputDrive out;
    harness.scanner.SaveFilesToDisk(out.Folder("Back"));
    const auto saved = fsscantest::FilesUnder(out.Posix("Back"));
    for (const auto& [path, contents] : files) {
      const auto it = saved.find(where(path));
      ASSERT_NE(it, saved.end()) << path;
      EXPECT_TRUE(it->second == contents) << path;
    }
  }

  testsupport::TempDir dir;
  std::unique_ptr<testsupport::NtfsImage> image;
  std::map<std::string, std::string> files;
};

TEST_P(NtfsFormattedTest, FilesOfSurvivingRecordsComeBackUnderTheirFoldersByteForByte) {
  image->QuickFormat();
  const std::string before = testsupport::Sha256Of(image->Path());
  fsscantest::ScannerHarness harness(image->Path());
  harness.Scan(true);
  EXPECT_TRUE(harness.Logged("FATScan Checkpoint: OldMFTRecords", "46"));
  ExpectEveryFileBack(harness, [](const std::string& path) { return path; });
  EXPECT_EQ(testsupport::Sha256Of(image->Path()), before);
}

TEST_P(NtfsFormattedTest, AFolderRecordNamingItselfAsParentHeadsALostFolder) {
  const std::uint64_t holiday = image->RecordNumber("/Bilder/Urlaub 2024");
  image->QuickFormat();
  // No tool writes this: the folder's file name names its own record as its parent.
  const std::uint64_t name = image->RecordOffset(holiday) + image->AttributeOffset(holiday, 0x30);
  const std::string attribute = testsupport::ReadFileBytes(image->Path()).substr(name, 24);
  const std::uint64_t value = name + util::ByteReader(attribute.data(), attribute.size()).U16(20);
  image->Patch(value, std::string{static_cast<char>(holiday), static_cast<char>(holiday >> 8), '\0', '\0', '\0', '\0'});
  fsscantest::ScannerHarness harness(image->Path());
  harness.Scan(true);
  ExpectEveryFileBack(harness, [](const std::string& path) {
    const std::string folder = "Bilder/Urlaub 2024/";
    if (!path.starts_with(folder)) return path;
    std::string lost = "Lost folders/Urlaub 2024/";
    lost.append(path.substr(folder.size()));
    return lost;
  });
}

TEST_P(NtfsFormattedTest, AFileWhoseClustersTheNewVolumeUsesIsListedButMarked) {
  image->QuickFormat();
  {
    // The formatted volume in use again: a large new file takes clusters of old photos.
    testsupport::NtfsMount m(*image);
    ASSERT_TRUE(m.TryWrite("neu.bin", Payload(32 << 20, 99)));
  }
  fsscantest::ScannerHarness harness(image->Path());
  harness.Scan(true);
  fsscantest::OutputDrive out;
  harness.scanner.SaveFilesToDisk(out.Folder("Back"));
  const auto saved = fsscantest::FilesUnder(out.Posix("Back"));
  // The new file's record may take an old folder's: its files are then below "Lost folders".
  std::map<std::string, std::string> byName;
  for (const auto& [path, contents] : files) byName[path.substr(path.rfind('/') + 1)] = contents;
  int marked = 0;
  for (const auto& r : harness.scanner.FileList()) {
    if (r->Origin != fsscan::FileOrigin::kOldMftRecord) continue;
    std::string path = r->Dir.substr(1) + r->LongName;
    std::replace(path.begin(), path.end(), '\\', '/');
    const auto original = byName.find(r->LongName);
    ASSERT_NE(original, byName.end()) << path;
    if (r->ClustersInUse) {
      ++marked;
      continue;
    }
    const auto it = saved.find(path);
    ASSERT_NE(it, saved.end()) << path;
    EXPECT_TRUE(it->second == original->second) << path << " is not marked, but its bytes changed";
  }
  EXPECT_GT(marked, 0);
}

TEST_P(NtfsFormattedTest, AVolumeNeverFormattedListsItsDeletedFilesOnce) {
  {
    testsupport::NtfsMount m(*image);
    m.Remove("Bilder/Urlaub 2024/IMG_3.jpg");
    m.Remove("Dokumente");
  }
  fsscantest::ScannerHarness harness(image->Path());
  harness.Scan(true);
  std::map<std::string, int> listed;
  for (const auto& r : harness.scanner.FileList()) {
    ++listed[r->Dir + r->LongName];
    EXPECT_EQ(r->Origin, fsscan::FileOrigin::kDirectory) << r->Dir + r->LongName;
  }
  EXPECT_EQ(listed["\\Bilder\\Urlaub 2024\\IMG_3.jpg"], 1) << harness.Names();
  EXPECT_EQ(listed["\\Dokumente\\Brief an Oma.txt"], 1) << harness.Names();
  EXPECT_EQ(listed.size(), 2u) << harness.Names();
}

INSTANTIATE_TEST_SUITE_P(ClusterSizes, NtfsFormattedTest, testing::Values(4096u, 1024u),
                         [](const auto& info) { return std::to_string(info.param) + "Bytes"; });

}  // namespace
