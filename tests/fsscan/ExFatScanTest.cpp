// exFAT cards made by mkfs.exfat and filled through mount.exfat-fuse on a loop device: deleted
// files and folders come back byte-identical under their original paths; a damaged boot region
// and hostile tables end cleanly, read a bounded amount and never touch the image.

#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>

#include "platform/DriveQueries.h"
#include "tests/fsscan/ScanFixture.h"
#include "tests/support/Command.h"
#include "tests/support/ExFatImage.h"

namespace {

using fsscantest::Payload;
using testsupport::ExFatBytes;
using testsupport::ExFatImage;

// Bytes this process has read so far (every pread of the scan included).
std::uint64_t BytesReadSoFar() {
  std::ifstream io("/proc/self/io");
  std::string key;
  std::uint64_t value = 0;
  while (io >> key >> value) {
    if (key == "rchar:") return value;
  }
  return 0;
}

// Names near the 255-character limit, with umlauts, CJK and a character outside the BMP.
const std::string kLongFolder =
    "Alte Projekte über die Jahre – ein sehr langer Ordnername mit Umlauten ÄÖÜ äöü ß, 日本語の名前, "
    "einem Fotoapparat 📷 und noch viel mehr Text, damit der Name wirklich lang wird und über mehrere "
    "Namenseinträge reicht";
const std::string kLongFile = "Bericht über das Jahr 2004 — endgültige Fassung mit allen Zahlen 数字 📷.txt";

struct Expected {
  std::string path;  // relative to the output folder, as saved
  std::string contents;
};

class ExFatScanTest : public testing::Test {
 protected:
  void SetUp() override {
    if (const std::string why = ExFatImage::Unavailable(); !why.empty()) GTEST_SKIP() << why;
  }

  // Scans the image and saves every file found; the files saved, relative path -> contents.
  std::map<std::string, std::string> ScanAndSave(fsscantest::ScannerHarness& harness, bool deletedOnly = true) {
    harness.Scan(deletedOnly);
    fsscantest::OutputDrive out;
    harness.scanner.SaveFilesToDisk(out.Folder("Out"));
    return fsscantest::FilesUnder(out.Posix("Out"));
  }

  // A camera card: photos in a folder (some deleted), a deleted folder tree with long Unicode
  // names, and a deleted text file that was appended to after another file was written, so its
  // clusters lie in two pieces (exfat-fuse clears a deleted file's chain).
  std::vector<Expected> FillCard(ExFatImage& card) {
    std::vector<Expected> deleted;
    card.MakeDir("/DCIM/100CANON");
    for (int i = 1; i <= 10; ++i) {
      const std::string name = "IMG_000" + std::to_string(i - 1) + ".JPG";
      const std::string contents = Payload(20000 + 3000 * i, i);
      card.AddFile("/DCIM/100CANON/" + name, contents, 1700000000 + i * 60);
      if (i % 2 == 0) deleted.push_back({"DCIM/100CANON/" + name, contents});
    }
    card.MakeDir("/" + kLongFolder + "/Unterordner Ünïcødé");
    for (int i = 1; i <= 3; ++i) {
      const std::string rel = kLongFolder + "/Unterordner Ünïcødé/Notiz " + std::to_string(i) + ".txt";
      deleted.push_back({rel, Payload(5000 * i, 100 + i)});
      card.AddFile("/" + rel, deleted.back().contents);
    }
    deleted.push_back({kLongFolder + "/" + kLongFile, Payload(70000, 200)});
    card.AddFile("/" + deleted.back().path, deleted.back().contents);
    card.AddFile("/Texte/erster Teil.txt", Payload(10000, 300));
    card.AddFile("/Texte/dazwischen.txt", Payload(10000, 301));
    card.Append("/Texte/erster Teil.txt", Payload(9000, 302));
    deleted.push_back({"Texte/erster Teil.txt", Payload(10000, 300) + Payload(9000, 302)});
    for (int i = 1; i <= 10; ++i) {
      if (i % 2 == 0) card.Delete("/DCIM/100CANON/IMG_000" + std::to_string(i - 1) + ".JPG");
    }
    card.DeleteTree("/" + kLongFolder);
    card.Delete("/Texte/erster Teil.txt");
    card.Close();
    return deleted;
  }

  testsupport::TempDir dir;
};

TEST_F(ExFatScanTest, DeletedFilesAndFoldersComeBackUnderTheirPaths) {
  ExFatImage card(dir / "card.img");
  const std::vector<Expected> deleted = FillCard(card);
  const ExFatBytes bytes(card.Path());
  // exfat-fuse writes a file in one stretch without a FAT chain, and the fragmented one with one.
  EXPECT_NE(bytes.StreamFlags(bytes.FindSet("IMG_0001.JPG")) & 0x02, 0);
  EXPECT_EQ(bytes.StreamFlags(bytes.FindSet("erster Teil.txt")) & 0x02, 0);
  const std::string before = testsupport::Sha256Of(card.Path());

  fsscantest::ScannerHarness harness(card.Path());
  auto saved = ScanAndSave(harness);
  EXPECT_EQ(harness.raw.GetFileSystem(), "exFAT");
  for (const Expected& e : deleted) {
    ASSERT_TRUE(saved.count(e.path)) << e.path << "\nsaved:\n" << harness.Names();
    EXPECT_TRUE(saved.at(e.path) == e.contents) << e.path;
  }
  EXPECT_EQ(saved.size(), deleted.size()) << harness.Names();
  EXPECT_EQ(harness.reported.size(), deleted.size());
  const fsscan::FileNode* photo = harness.Find("IMG_0001.JPG");
  ASSERT_NE(photo, nullptr);
  EXPECT_EQ(photo->Extension, "JPG");
  EXPECT_EQ(util::LocalDateTimeToUnix(photo->DateTime), 1700000000 + 2 * 60);
  EXPECT_EQ(testsupport::Sha256Of(card.Path()), before);

  // Every file, live ones too, when not only deleted ones are asked for.
  harness.Scan(false);
  EXPECT_EQ(harness.scanner.FileList().size(), 10 + 4 + 2u) << harness.Names();
}

TEST_F(ExFatScanTest, DriveQueriesDescribeTheCardAsWindowsDoes) {
  ExFatImage card(dir / "card.img");
  card.AddFile("/DCIM/IMG_0001.JPG", Payload(50000, 1));
  card.AddFile("/DCIM/IMG_0002.JPG", Payload(70000, 2));
  card.Delete("/DCIM/IMG_0001.JPG");
  const std::uint64_t free = card.FreeClusters();
  card.Close();
  const std::string boot = testsupport::ReadFileBytes(card.Path(), 512);
  const util::ByteReader b(boot.data(), boot.size());
  fsscantest::ScannerHarness harness(card.Path());
  const std::string root = std::string(1, harness.letter) + ":\\";
  platform::VolumeInformation info;
  ASSERT_TRUE(platform::GetVolumeInformation(root, info));
  EXPECT_EQ(info.fileSystem, "exFAT");
  EXPECT_EQ(info.label, "CARD");
  EXPECT_EQ(info.serialNumber, b.U32(100));
  platform::FreeSpace space;
  ASSERT_TRUE(platform::GetDiskFreeSpace(root, space));
  EXPECT_EQ(space.bytesPerSector, 512u);
  EXPECT_EQ(space.sectorsPerCluster, 8u);
  EXPECT_EQ(space.totalClusters, b.U32(92));
  EXPECT_EQ(space.freeClusters, free);
}

TEST_F(ExFatScanTest, ChainLeftInTheFatIsFollowedWithinFreeClusters) {
  ExFatImage card(dir / "card.img");
  const std::string x = Payload(9000, 1), y = Payload(8000, 2), z = Payload(7000, 3), more = Payload(6000, 4);
  card.AddFile("/x.bin", x);
  card.AddFile("/y.bin", y);
  card.AddFile("/z.bin", z);
  card.Append("/x.bin", more);  // x: its first clusters, then y's and z's, then the rest of x
  card.Close();
  ExFatBytes bytes(card.Path());
  std::vector<std::pair<std::uint32_t, std::uint32_t>> chain;
  for (std::uint32_t c = bytes.FirstCluster(bytes.FindSet("x.bin")); c >= 2 && c < 0xFFFFFFF7; c = bytes.FatEntry(c)) {
    chain.emplace_back(c, bytes.FatEntry(c));
  }
  ASSERT_GT(chain.size(), 3u);
  card.Reopen();
  card.Delete("/y.bin");
  card.Delete("/x.bin");
  card.Close();
  // Byte edit: Windows leaves a deleted file's chain in the FAT, exfat-fuse clears it. With
  // y's clusters free too, the free clusters from x's first on would take y's data instead.
  bytes = ExFatBytes(card.Path());
  for (const auto& [cluster, next] : chain) bytes.SetFatEntry(cluster, next);
  bytes.Save();

  fsscantest::ScannerHarness harness(card.Path());
  auto saved = ScanAndSave(harness);
  EXPECT_TRUE(saved["x.bin"] == x + more);
  EXPECT_TRUE(saved["y.bin"] == y);
  EXPECT_FALSE(saved.count("z.bin"));
}

TEST_F(ExFatScanTest, BytesPastTheValidDataLengthReadAsZeros) {
  ExFatImage card(dir / "card.img");
  const std::string contents = Payload(20000, 7);
  card.AddFile("/preallocated.bin", contents);
  card.Delete("/preallocated.bin");
  card.Close();
  // Byte edit: exfat-fuse always writes a file's valid data length equal to its size; Windows
  // and cameras that preallocate write less. What lies past it was never written.
  ExFatBytes bytes(card.Path());
  const std::uint64_t set = bytes.FindSet("preallocated.bin");
  for (int i = 0; i < 8; ++i) bytes.bytes[set + 32 + 8 + i] = static_cast<char>(i == 0 ? 0x70 : i == 1 ? 0x17 : 0);
  bytes.FixSetChecksum(set);
  bytes.Save();

  fsscantest::ScannerHarness harness(card.Path());
  auto saved = ScanAndSave(harness);
  EXPECT_TRUE(saved["preallocated.bin"] == contents.substr(0, 6000) + std::string(14000, '\0'));
}

struct BootDamage {
  std::string name;
  std::vector<std::uint64_t> offsets;  // bytes of the image flipped
  std::string logged;
};

void PrintTo(const BootDamage& damage, std::ostream* out) { *out << damage.name; }

class ExFatBootRegionTest : public ExFatScanTest, public testing::WithParamInterface<BootDamage> {};

// Byte edits: no tool writes a damaged boot region.
TEST_P(ExFatBootRegionTest, DamagedRegionStillRecovers) {
  ExFatImage card(dir / "card.img");
  const std::string photo = Payload(40000, 9);
  card.AddFile("/DCIM/photo.bin", photo);
  card.Delete("/DCIM/photo.bin");
  card.Close();
  ExFatBytes bytes(card.Path());
  for (std::uint64_t at : GetParam().offsets) bytes.bytes[at] = static_cast<char>(bytes.bytes[at] ^ 0x5A);
  bytes.Save();

  fsscantest::ScannerHarness harness(card.Path());
  auto saved = ScanAndSave(harness);
  EXPECT_TRUE(saved["DCIM/photo.bin"] == photo);
  EXPECT_TRUE(harness.Logged(GetParam().logged, "-30")) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExFatBootRegionTest,
    testing::Values(
        BootDamage{"BootCode", {300}, "mismatch in the main boot region; the backup region is used"},
        // The root directory's cluster and the FAT's place wrong: only the backup knows them.
        BootDamage{"Geometry", {80, 96}, "mismatch in the main boot region; the backup region is used"},
        BootDamage{"BothRegions", {300, 12 * 512 + 300}, "mismatch in both boot regions; the main boot sector is used"}),
    [](const testing::TestParamInfo<BootDamage>& info) { return info.param.name; });

TEST_F(ExFatScanTest, HostileTablesEndCleanly) {
  testsupport::ExFatImageOptions small;
  small.sizeMiB = 16;
  ExFatImage card(dir / "card.img", small);
  const std::string intact = Payload(30000, 1);
  card.AddFile("/keep/intact.bin", intact);
  for (const char* name : {"loop.bin", "far.bin", "badsum.bin", "longname.bin"}) {
    card.AddFile(std::string("/evil/") + name, Payload(12000, 2));
  }
  card.AddFile("/evil/gap.bin", Payload(12000, 3));
  card.Append("/evil/loop.bin", Payload(12000, 4));  // a chain, which the edit below makes loop
  card.Append("/evil/gap.bin", Payload(12000, 5));
  card.MakeDir("/evil/sub");
  card.Close();
  ExFatBytes bytes(card.Path());
  const std::uint64_t sub = bytes.FindSet("sub");
  const std::uint32_t loopFirst = bytes.FirstCluster(bytes.FindSet("loop.bin"));
  const std::uint32_t loopSecond = bytes.FatEntry(loopFirst);
  const std::uint32_t evilFirst = bytes.FirstCluster(bytes.FindSet("evil"));
  card.Reopen();
  for (const char* name : {"loop.bin", "far.bin", "badsum.bin", "longname.bin", "gap.bin"}) {
    card.Delete(std::string("/evil/") + name);
  }
  card.Delete("/keep/intact.bin");
  card.Close();

  // Byte edits, each a kind of damage no tool writes:
  bytes = ExFatBytes(card.Path());
  // a deleted file's chain left in the FAT (as Windows leaves it) that leads back to its start,
  // and the root directory's chain into itself;
  bytes.SetFatEntry(loopFirst, loopSecond);
  bytes.SetFatEntry(loopSecond, loopFirst);
  const util::ByteReader boot(bytes.bytes.data(), 512);
  bytes.SetFatEntry(boot.U32(96), boot.U32(96));
  // a first cluster far beyond the volume, and one FAT entry pointing beyond it;
  const std::uint64_t far = bytes.FindSet("far.bin");
  bytes.bytes[far + 32 + 23] = static_cast<char>(0xF0);
  bytes.FixSetChecksum(far);
  bytes.SetFatEntry(bytes.FirstCluster(bytes.FindSet("gap.bin")), 0x0FFFFFF0);
  // a set whose checksum does not match, and a name length beyond the set's name entries;
  bytes.bytes[bytes.FindSet("badsum.bin") + 64 + 2] = 'B';
  const std::uint64_t longName = bytes.FindSet("longname.bin");
  bytes.bytes[longName + 32 + 3] = static_cast<char>(200);
  bytes.FixSetChecksum(longName);
  // a folder whose first cluster is its own parent's, so walking it would begin again.
  for (int i = 0; i < 4; ++i) bytes.bytes[sub + 32 + 20 + i] = static_cast<char>((evilFirst >> (8 * i)) & 0xFF);
  bytes.FixSetChecksum(sub);
  bytes.Save();
  const std::string before = testsupport::Sha256Of(card.Path());

  fsscantest::ScannerHarness harness(card.Path());
  const std::uint64_t readBefore = BytesReadSoFar();
  harness.Scan(true);
  const std::uint64_t scanRead = BytesReadSoFar() - readBefore;
  // The volume's structures are read once: far less than the card itself.
  EXPECT_LT(scanRead, std::filesystem::file_size(card.Path()));
  fsscantest::OutputDrive out;
  harness.scanner.SaveFilesToDisk(out.Folder("Out"));
  const auto saved = fsscantest::FilesUnder(out.Posix("Out"));
  EXPECT_TRUE(saved.count("keep/intact.bin") && saved.at("keep/intact.bin") == intact);
  EXPECT_TRUE(harness.Logged("set checksum mismatch", "-30"));
  EXPECT_TRUE(harness.Logged("goes beyond its name entries", "-30"));
  EXPECT_TRUE(harness.Logged("first cluster out of range", "-30"));
  EXPECT_FALSE(saved.count("evil/badsum.bin"));
  // The damaged files keep no more than their sizes.
  for (const auto& [path, contents] : saved) {
    if (path.starts_with("evil/")) {
      EXPECT_LE(contents.size(), 24000u) << path;
    }
  }
  EXPECT_EQ(testsupport::Sha256Of(card.Path()), before);
}

TEST_F(ExFatScanTest, QuickLowLevelScanFindsPhotosAtTheClusterHeapsClusters) {
  // 32 KiB clusters behind a cluster heap at 44 KiB: cluster starts are no multiple of the
  // cluster size from the card's start, so only the heap's own alignment finds them.
  testsupport::ExFatImageOptions options;
  options.sizeMiB = 32;
  options.clusterSize = "32K";
  options.boundary = "4K";
  ExFatImage card(dir / "card.img", options);
  const std::string jpeg = testsupport::ReadFileBytes(std::filesystem::path(TRELLMOND_SOURCE_DIR) / "tests/data/samples/sample.jpg");
  for (int i = 1; i <= 5; ++i) card.AddFile("/DCIM/IMG_" + std::to_string(i) + ".JPG", jpeg);
  card.Close();
  const std::string boot = testsupport::ReadFileBytes(card.Path(), 512);

  fsscantest::ScannerHarness harness(card.Path());
  const std::int64_t heap = harness.scanner.GetFirstDataSector(harness.letter);
  EXPECT_EQ(heap, util::ByteReader(boot.data(), boot.size()).U32(88));
  EXPECT_NE(heap * 512 % (32 * 1024), 0);

  const std::filesystem::path out = dir / "low";
  std::filesystem::create_directories(out);
  const auto r = testsupport::RunCommand({testsupport::BuiltProgram("trellmond-cli"), "scan", card.Path().string(),
                                          "--low", "--types", "jpg", "--out", out.string()});
  std::size_t found = 0;
  for (const auto& [path, contents] : fsscantest::FilesUnder(out)) found += contents == jpeg;
  EXPECT_EQ(found, 5u) << r.output << r.errors;
}

}  // namespace
