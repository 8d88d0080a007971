// Deleted folder trees, long names split across directory clusters and deep trees, on real
// FAT12/16/32 images made by mkfs.fat and mtools: every deleted file whose entries are intact
// comes back under its full original path and name, byte for byte.

#include <gtest/gtest.h>

#include <fstream>

#include "tests/fsscan/ScanFixture.h"
#include "util/ByteReader.h"

namespace {

using fsscantest::CardFile;
using fsscantest::Payload;
using fsscantest::ShortEntry;

struct TreeCase {
  const char* name;
  int fatBits;
  std::uint64_t sizeKiB;
};

std::string Windows(const std::string& path) {
  std::string out = path;
  std::replace(out.begin(), out.end(), '/', '\\');
  return out;
}

class DeletedTreeTest : public testing::TestWithParam<TreeCase> {
 protected:
  void SetUp() override {
    testsupport::FatImageOptions options;
    options.fatBits = GetParam().fatBits;
    options.sizeKiB = GetParam().sizeKiB;
    options.sectorsPerCluster = 1;  // small clusters: directories span many of them
    image = std::make_unique<testsupport::FatImage>(dir / "card.img", options);
  }

  void Add(const std::string& path, const std::string& contents, bool deleted) {
    image->AddFile(path, contents);
    if (deleted) gone.push_back({path, contents, true, ""});
  }

  // Scans for deleted files, saves them and checks each one under its original path.
  void ExpectEveryDeletedFileBack() {
    const std::string before = testsupport::Sha256Of(image->Path());
    fsscantest::ScannerHarness harness(image->Path());
    harness.Scan(true);
    for (const CardFile& f : gone) {
      const std::string name = f.path.substr(f.path.rfind('/') + 1);
      const fsscan::FileNode* r = harness.Find(name);
      ASSERT_NE(r, nullptr) << f.path << "\n" << harness.Names();
      EXPECT_EQ(r->Dir + r->LongName, Windows(f.path));
    }
    fsscantest::OutputDrive out;
    harness.scanner.SaveFilesToDisk(out.Folder("Back"));
    const auto files = fsscantest::FilesUnder(out.Posix("Back"));
    for (const CardFile& f : gone) {
      const auto it = files.find(f.path.substr(1));
      ASSERT_NE(it, files.end()) << f.path;
      EXPECT_TRUE(it->second == f.contents) << f.path;
    }
    EXPECT_EQ(testsupport::Sha256Of(image->Path()), before);
  }

  testsupport::TempDir dir;
  std::unique_ptr<testsupport::FatImage> image;
  std::vector<CardFile> gone;
};

TEST_P(DeletedTreeTest, LongNamesSplitAcrossDirectoryClustersComeBackWhole) {
  image->MakeDir("/Viele Dateien");
  for (int i = 1; i <= 120; ++i) {
    Add("/Viele Dateien/Datei Nummer " + std::to_string(i) + ".txt", Payload(600 + 13 * i, i), false);
  }
  for (int i = 4; i <= 120; i += 4) {
    const std::string path = "/Viele Dateien/Datei Nummer " + std::to_string(i) + ".txt";
    image->Delete(path);
    gone.push_back({path, Payload(600 + 13 * i, i), true, ""});
  }
  ASSERT_GT(image->Clusters("/Viele Dateien").size(), 5u) << "the folder was meant to be fragmented";
  ExpectEveryDeletedFileBack();
}

TEST_P(DeletedTreeTest, FilesInDeletedFolderTreesComeBackUnderTheFoldersLongNames) {
  image->MakeDir("/Projekt Alt");
  image->MakeDir("/Projekt Alt/Viele Notizen");
  // Empty files grow the folder over several clusters in a row before any data is written;
  // the notes then take their places.
  for (int i = 1; i <= 30; ++i) image->AddFile("/Projekt Alt/Viele Notizen/platz " + std::to_string(i), "");
  for (int i = 1; i <= 30; ++i) image->Delete("/Projekt Alt/Viele Notizen/platz " + std::to_string(i));
  for (int i = 1; i <= 12; ++i) {
    Add("/Projekt Alt/Viele Notizen/Notiz Nummer " + std::to_string(i) + ".txt", Payload(1500 + i, 40 + i), true);
  }
  ASSERT_GT(image->Clusters("/Projekt Alt/Viele Notizen").at(0).second,
            image->Clusters("/Projekt Alt/Viele Notizen").at(0).first);
  image->MakeDir("/Projekt Alt/Jahr 2004");
  image->MakeDir("/Projekt Alt/Jahr 2004/Quartal vier");
  image->MakeDir("/Bleibt");
  Add("/Projekt Alt/Jahr 2004/Quartal vier/Bericht final.txt", Payload(5000, 1), true);
  Add("/Projekt Alt/Jahr 2004/Übersicht der Zahlen.txt", Payload(2500, 2), true);
  Add("/Projekt Alt/Notiz zum Projekt.txt", Payload(700, 3), true);
  Add("/Projekt Alt/Summer trip.jpg", Payload(3300, 4), true);
  // Two folders made one after the other: the second's cluster follows the first's, whose
  // sixteen entries fill it to the end without an end mark.
  image->MakeDir("/Projekt Alt/Am Strand");
  image->MakeDir("/Projekt Alt/In den Bergen");
  Add("/Projekt Alt/Am Strand/Summer trip 1.jpg", Payload(3000, 6), true);
  for (int i = 1; i <= 11; ++i) image->AddFile("/Projekt Alt/Am Strand/S" + std::to_string(i) + ".TXT", Payload(100, i));
  Add("/Projekt Alt/In den Bergen/Gipfel Nummer 1.dat", Payload(2000, 7), true);
  Add("/Bleibt/live.txt", Payload(800, 5), false);
  // Short names keep the first three letters of a longer extension (PACKLI~1.DOC).
  Add("/Bleibt/Packliste.docx", Payload(1800, 8), true);
  Add("/Bleibt/Am Meer.jpeg", Payload(2200, 9), true);
  image->Delete("/Bleibt/Packliste.docx");
  image->Delete("/Bleibt/Am Meer.jpeg");
  image->DeleteTree("/Projekt Alt");
  ExpectEveryDeletedFileBack();
}

TEST_P(DeletedTreeTest, AFolderThatGrewIntoAClusterElsewhereIsReadThereToo) {
  // Two folders filled in turn: when each outgrows its first cluster, the next free one lies
  // behind the other's files, and the long name of the entry that did not fit breaks off at
  // the end of the first cluster.
  image->MakeDir("/Fotos vom Urlaub");
  image->MakeDir("/Fotos vom Urlaub/Am Strand");
  image->MakeDir("/Fotos vom Urlaub/In den Bergen");
  for (int i = 1; i <= 7; ++i) {
    const std::string n = std::to_string(i);
    Add("/Fotos vom Urlaub/Am Strand/Summer trip " + n + ".jpg", Payload(3000 + 700 * i, 60 + i), true);
    Add("/Fotos vom Urlaub/In den Bergen/Gipfel Nummer " + n + ".dat", Payload(2000 + 300 * i, 70 + i), true);
  }
  for (const char* folder : {"/Fotos vom Urlaub/Am Strand", "/Fotos vom Urlaub/In den Bergen"}) {
    const auto runs = image->Clusters(folder);
    ASSERT_GT(runs.size(), 1u) << folder << " was meant to lie in two places";
    ASSERT_GT(runs.at(1).first, runs.at(0).second + 1) << folder;
  }
  image->DeleteTree("/Fotos vom Urlaub");
  ExpectEveryDeletedFileBack();
}

TEST_P(DeletedTreeTest, AFileThirtySixFoldersDownIsFound) {
  std::string path;
  for (int level = 1; level <= 36; ++level) {
    path += "/Ebene " + std::to_string(level);
    image->MakeDir(path);
  }
  Add(path + "/ganz tief.txt", Payload(2000, 9), true);
  image->Delete(path + "/ganz tief.txt");
  ExpectEveryDeletedFileBack();
}

INSTANTIATE_TEST_SUITE_P(FatTypes, DeletedTreeTest,
                         testing::Values(TreeCase{"fat12", 12, 2048}, TreeCase{"fat16", 16, 16384},
                                         TreeCase{"fat32", 32, 40960}),
                         [](const auto& info) { return std::string(info.param.name); });

// Byte-level changes to a FAT16 image whose layout the test reads from its boot sector.
class Fat16Bytes {
 public:
  explicit Fat16Bytes(const testsupport::FatImage& image) : m_image(image) {
    const std::string boot = testsupport::ReadFileBytes(image.Path(), 512);
    const util::ByteReader r(boot.data(), boot.size());
    m_fatOffset = std::uint64_t{r.U16(14)} * r.U16(11);
    m_rootOffset = m_fatOffset + std::uint64_t{r.U8(16)} * r.U16(22) * r.U16(11);
  }
  void Write(std::uint64_t offset, const std::string& bytes) const {
    std::fstream f(m_image.Path(), std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(offset));
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  void SetFat(std::uint32_t cluster, std::uint16_t value) const {
    Write(m_fatOffset + 2ull * cluster, std::string{static_cast<char>(value & 0xFF), static_cast<char>(value >> 8)});
  }
  void WriteCluster(std::uint32_t cluster, const std::string& bytes) const {
    Write(m_image.ClusterOffset(cluster), bytes);
  }
  std::uint64_t RootOffset() const { return m_rootOffset; }

 private:
  const testsupport::FatImage& m_image;
  std::uint64_t m_fatOffset = 0;
  std::uint64_t m_rootOffset = 0;
};


TEST(FatDepthTest, TreesDeeperThanTheBoundStopThereWithALogLine) {
  testsupport::TempDir dir;
  testsupport::FatImage image(dir / "deep.img", {.fatBits = 16, .sizeKiB = 16384, .sectorsPerCluster = 1});
  const Fat16Bytes bytes(image);
  // A chain of 300 directories, one cluster each, below the root; a file at levels 200 and 280.
  constexpr std::uint32_t kFirst = 3, kLevels = 300, kData = 1000;
  bytes.Write(bytes.RootOffset(), ShortEntry("D          ", 0x10, kFirst, 0));
  for (std::uint32_t level = 1; level <= kLevels; ++level) {
    const std::uint32_t cluster = kFirst + level - 1;
    std::string cluster_bytes = ShortEntry(".          ", 0x10, cluster, 0) +
                                ShortEntry("..         ", 0x10, level == 1 ? 0 : cluster - 1, 0);
    if (level < kLevels) cluster_bytes += ShortEntry("D          ", 0x10, cluster + 1, 0);
    if (level == 200 || level == 280) {
      // Built by appending: GCC 12 at -O3 reports a false -Wrestrict for "literal + string".
      std::string name = std::to_string(level);
      name.insert(name.begin(), 'L');
      cluster_bytes += ShortEntry(name + "    TXT", 0x20, kData + level, 100);
    }
    bytes.WriteCluster(cluster, cluster_bytes);
    bytes.SetFat(cluster, 0xFFFF);
  }
  bytes.SetFat(kData + 200, 0xFFFF);
  bytes.SetFat(kData + 280, 0xFFFF);
  fsscantest::ScannerHarness harness(image.Path());
  harness.Scan(false);
  EXPECT_NE(harness.Find("L200.TXT"), nullptr) << harness.Names();
  EXPECT_EQ(harness.Find("L280.TXT"), nullptr);
  EXPECT_TRUE(harness.Logged("Directory depth limit of 255 reached; not read: \\D", "-30"));
}

struct ReusedCase {
  const char* name;
  bool allocated;  // the cluster now belongs to a file in the FAT
};

class ReusedFolderTest : public testing::TestWithParam<ReusedCase> {};

TEST_P(ReusedFolderTest, ADeletedFolderWhoseClusterWasOverwrittenListsNothing) {
  testsupport::TempDir dir;
  testsupport::FatImage image(dir / "r.img", {.fatBits = 16, .sizeKiB = 16384, .sectorsPerCluster = 1});
  image.MakeDir("/Alt");
  image.AddFile("/Alt/old.txt", Payload(900, 1));
  const std::uint32_t cluster = image.FirstCluster("/Alt");
  image.DeleteTree("/Alt");
  const Fat16Bytes bytes(image);
  // Entries that would be listed if the new data were read as a directory.
  std::string garbage;
  for (int i = 0; i < 16; ++i) garbage += ShortEntry("\xE5" "UNK" + std::to_string(10 + i) + "  BIN", 0x20, 50, 700);
  bytes.WriteCluster(cluster, garbage);
  if (GetParam().allocated) bytes.SetFat(cluster, 0xFFFF);
  fsscantest::ScannerHarness harness(image.Path());
  harness.Scan(true);
  EXPECT_EQ(harness.Names().find("\\Alt\\"), std::string::npos) << harness.Names();
}

INSTANTIATE_TEST_SUITE_P(Clusters, ReusedFolderTest,
                         testing::Values(ReusedCase{"Free", false}, ReusedCase{"Allocated", true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
