// Media made elsewhere: FAT and NTFS at every sector size a disk uses, a folder deleted the
// way Windows does it (a size left in its entry, the files inside untouched), torn NTFS
// records, and dates past 2038.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <fstream>

#include "tests/fsscan/ScanFixture.h"
#include "tests/support/NtfsImage.h"
#include "util/ByteReader.h"
#include "util/DateTime.h"

namespace {

using fsscantest::Payload;

struct Original {
  std::string path, contents;
};

// Saves every record found and checks each original under its path, byte for byte.
void ExpectSavedAsTheyWere(fsscantest::ScannerHarness& harness, const std::vector<Original>& originals) {
  fsscantest::OutputDrive out;
  harness.scanner.SaveFilesToDisk(out.Folder("Back"));
  const auto files = fsscantest::FilesUnder(out.Posix("Back"));
  for (const Original& f : originals) {
    const auto it = files.find(f.path);
    ASSERT_NE(it, files.end()) << f.path << "\n" << harness.Names();
    EXPECT_TRUE(it->second == f.contents) << f.path;
  }
}

class SectorSizeTest : public testing::TestWithParam<int> {};

TEST_P(SectorSizeTest, FatDeletedFilesComeBack) {
  testsupport::TempDir dir;
  testsupport::FatImage image(dir.Path() / "card.img", {.fatBits = 16, .sizeKiB = 65536, .sectorSize = GetParam()});
  image.MakeDir("/Fotos");
  std::vector<Original> gone;
  for (int i = 1; i <= 6; ++i) {
    const std::string path = "Fotos/Bild " + std::to_string(i) + ".dat";
    image.AddFile("/" + path, Payload(700 * i * i, i));
    image.AddFile("/Fotos/keep " + std::to_string(i) + ".dat", Payload(900, 50 + i));
    gone.push_back({path, Payload(700 * i * i, i)});
  }
  for (const Original& f : gone) image.Delete("/" + f.path);
  fsscantest::ScannerHarness harness(image.Path());
  harness.Scan(true);
  EXPECT_EQ(harness.scanner.FileList().size(), gone.size()) << harness.Names();
  ExpectSavedAsTheyWere(harness, gone);
}

TEST_P(SectorSizeTest, NtfsDeletedFilesComeBackAndATornRecordIsLeftOut) {
  testsupport::TempDir dir;
  testsupport::NtfsImage image(dir.Path() / "disk.ntfs",
                               {.sizeMiB = 16, .sectorSize = static_cast<std::uint32_t>(GetParam())});
  std::vector<Original> gone;
  // Small files live inside their records, across the protected words at every 512 bytes.
  for (int i = 1; i <= 10; ++i) gone.push_back({"small " + std::to_string(i) + ".txt", Payload(150 + 70 * i, i)});
  gone.push_back({"large.bin", Payload(20000, 20)});
  for (const Original& f : gone) image.AddFile("/" + f.path, f.contents);
  const std::uint64_t torn = image.RecordNumber("/small 3.txt");
  for (const Original& f : gone) image.MarkDeleted(image.RecordNumber("/" + f.path));
  // A write torn at its second 512 bytes: that protected word no longer holds the sequence number.
  image.Patch(image.RecordOffset(torn) + 1022, std::string("\x5A\x5A", 2));
  gone.erase(gone.begin() + 2);
  fsscantest::ScannerHarness harness(image.Path());
  harness.Scan(true);
  EXPECT_EQ(harness.Find("small 3.txt"), nullptr);
  EXPECT_TRUE(harness.Logged("MFT record " + std::to_string(torn) + " is damaged"));
  ExpectSavedAsTheyWere(harness, gone);
}

INSTANTIATE_TEST_SUITE_P(Sectors, SectorSizeTest, testing::Values(512, 1024, 2048, 4096),
                         [](const auto& info) { return std::to_string(info.param); });

// Offsets of a FAT16 image's tables, from its boot sector.
struct Fat16Tables {
  explicit Fat16Tables(const std::filesystem::path& image) : boot(testsupport::ReadFileBytes(image, 512)) {
    const util::ByteReader b(boot.data(), boot.size());
    bytesPerSector = b.U16(11);
    fatStart = std::uint64_t{b.U16(14)} * bytesPerSector;
    fatBytes = std::uint64_t{b.U16(22)} * bytesPerSector;
    fatCount = b.U8(16);
    rootStart = fatStart + fatCount * fatBytes;
  }
  std::string boot;
  std::uint64_t bytesPerSector = 0, fatStart = 0, fatBytes = 0, fatCount = 0, rootStart = 0;
};

void Patch(const std::filesystem::path& image, std::uint64_t offset, const std::string& bytes) {
  std::fstream f(image, std::ios::in | std::ios::out | std::ios::binary);
  f.seekp(static_cast<std::streamoff>(offset));
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

TEST(WindowsDeletedFolder, SizeInItsEntryAndLiveLookingFilesInsideComeBackAsDeleted) {
  testsupport::TempDir dir;
  testsupport::FatImage image(dir.Path() / "xp.img", {.fatBits = 16, .sizeKiB = 16384});
  image.MakeDir("/Urlaub 2005");
  std::vector<Original> inside;
  for (int i = 1; i <= 5; ++i) inside.push_back({"Urlaub 2005/Strand " + std::to_string(i) + ".txt", Payload(3000 * i, i)});
  for (const Original& f : inside) image.AddFile("/" + f.path, f.contents);
  image.AddFile("/live.txt", Payload(2000, 40));
  std::vector<std::uint32_t> freed;
  for (const std::string& path : {std::string("/Urlaub 2005")}) {
    for (const auto& [first, last] : image.Clusters(path)) {
      for (std::uint32_t c = first; c <= last; ++c) freed.push_back(c);
    }
  }
  for (const Original& f : inside) {
    for (const auto& [first, last] : image.Clusters("/" + f.path)) {
      for (std::uint32_t c = first; c <= last; ++c) freed.push_back(c);
    }
  }
  // No tool here deletes a folder as Windows XP does, so the bytes are set as it leaves them:
  // the folder's entries (its long name's too) marked deleted with a size in the short entry,
  // and the clusters of the folder and its files freed in both FATs. The entries of the files
  // inside stay as they were.
  const Fat16Tables t(image.Path());
  const std::string root = testsupport::ReadFileBytes(image.Path(), t.rootStart + 64 * 32).substr(t.rootStart);
  for (std::uint64_t at = 0; at + 32 <= root.size(); at += 32) {
    if (root[at] == 0) break;
    const bool longName = static_cast<std::uint8_t>(root[at + 11]) == 0x0F;
    if (longName || root.compare(at, 8, "URLAUB~1") == 0) Patch(image.Path(), t.rootStart + at, "\xE5");
    if (!longName && root.compare(at, 8, "URLAUB~1") == 0) Patch(image.Path(), t.rootStart + at + 28, std::string("\x00\x10\x00\x00", 4));
    if (!longName && root.compare(at, 8, "URLAUB~1") == 0) break;
  }
  for (std::uint64_t copy = 0; copy < t.fatCount; ++copy) {
    for (const std::uint32_t c : freed) Patch(image.Path(), t.fatStart + copy * t.fatBytes + 2 * c, std::string(2, '\0'));
  }
  fsscantest::ScannerHarness harness(image.Path());
  harness.Scan(true);  // deleted files only: the files inside are gone with their folder
  for (const Original& f : inside) {
    const fsscan::FileNode* r = harness.Find(f.path.substr(f.path.find('/') + 1));
    ASSERT_NE(r, nullptr) << f.path << "\n" << harness.Names();
    EXPECT_EQ(r->Dir, "\\Urlaub 2005\\");
  }
  EXPECT_EQ(harness.Find("live.txt"), nullptr);
  ExpectSavedAsTheyWere(harness, inside);
}

TEST(DatesPast2038, FatEntryDateReachesTheRecordAndTheSavedFile) {
  testsupport::TempDir dir;
  testsupport::FatImage image(dir.Path() / "card.img", {.fatBits = 32});
  std::tm when{};
  when.tm_year = 2040 - 1900;
  when.tm_mon = 6;
  when.tm_mday = 14;
  when.tm_hour = 10;
  when.tm_min = 30;
  when.tm_isdst = -1;
  const std::time_t modified = std::mktime(&when);
  image.AddFile("/Brief aus der Zukunft.txt", Payload(5000, 1), modified);
  image.Delete("/Brief aus der Zukunft.txt");
  fsscantest::ScannerHarness harness(image.Path());
  harness.Scan(true);
  const fsscan::FileNode* r = harness.Find("Brief aus der Zukunft.txt");
  ASSERT_NE(r, nullptr) << harness.Names();
  EXPECT_EQ(util::DecodeDateTime(r->DateTime).year, 2040);
  fsscantest::OutputDrive out;
  ASSERT_EQ(harness.scanner.SaveFilesToDisk(out.Folder("Back")), 1);
  struct stat st {};
  ASSERT_EQ(::stat(out.Posix("Back/Brief aus der Zukunft.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, modified);
}

TEST(DatesPast2038, NtfsRecordDateReachesTheRecordAndTheSavedFile) {
  if (!testsupport::NtfsImage::MountAvailable()) GTEST_SKIP() << "no FUSE here for ntfs-3g";
  testsupport::TempDir dir;
  testsupport::NtfsImage image(dir.Path() / "disk.ntfs");
  const std::time_t modified = 2218000000;  // 2040-04-14, UTC
  // One file with its data in clusters, one inside its record.
  const std::vector<std::string> names = {"future.txt", "small future.txt"};
  {
    testsupport::NtfsMount m(image);
    m.Write(names[0], Payload(5000, 2));
    m.Write(names[1], Payload(100, 3));
    const timespec times[2] = {{modified, 0}, {modified, 0}};
    for (const std::string& name : names) ASSERT_EQ(::utimensat(AT_FDCWD, (m / name).c_str(), times, 0), 0);
    for (const std::string& name : names) m.Remove(name);
  }
  fsscantest::ScannerHarness harness(image.Path());
  harness.Scan(true);
  fsscantest::OutputDrive out;
  ASSERT_EQ(harness.scanner.SaveFilesToDisk(out.Folder("Back")), 2) << harness.Names();
  for (const std::string& name : names) {
    const fsscan::FileNode* r = harness.Find(name);
    ASSERT_NE(r, nullptr) << harness.Names();
    EXPECT_EQ(util::DecodeDateTime(r->DateTime).year, 2040) << name;
    struct stat st {};
    ASSERT_EQ(::stat(out.Posix("Back/" + name).c_str(), &st), 0) << name;
    EXPECT_EQ(st.st_mtime, modified) << name;
  }
}

}  // namespace
