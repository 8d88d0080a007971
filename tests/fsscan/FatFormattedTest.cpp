// Cards quick-formatted after use, on real FAT16 and FAT32 images filled by mtools and then
// formatted again by mkfs.fat with the same geometry: the root is empty, but the folders
// below it survive in the data area and come back below "Lost folders", byte for byte.

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>

#include "tests/fsscan/ScanFixture.h"

namespace {

using fsscantest::Payload;
using fsscantest::ShortEntry;

struct FormatCase {
  const char* name;
  int fatBits;
  std::uint64_t sizeKiB;
};

std::string Windows(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}


class FatFormattedTest : public testing::TestWithParam<FormatCase> {
 protected:
  void SetUp() override {
    testsupport::FatImageOptions options;
    options.fatBits = GetParam().fatBits;
    options.sizeKiB = GetParam().sizeKiB;
    image = std::make_unique<testsupport::FatImage>(dir / "card.img", options);
    // A camera's card: two folders of photos below DCIM, one with a folder of its own,
    // a file directly in DCIM, a second top folder, and a file in the root.
    for (const char* folder : {"/DCIM", "/DCIM/100CANON", "/DCIM/100CANON/Ferien am Meer", "/DCIM/101CANON", "/MISC"}) {
      image->MakeDir(folder);
    }
    for (int i = 1; i <= 8; ++i) Add("/DCIM/100CANON/IMG_000" + std::to_string(i) + ".JPG", 9000 + 1700 * i, i);
    Add("/DCIM/100CANON/Ferien am Meer/Strand am Abend.jpg", 14000, 20);
    Add("/DCIM/100CANON/Ferien am Meer/Möwen über dem Hafen.jpg", 7000, 21);
    for (int i = 1; i <= 3; ++i) Add("/DCIM/101CANON/MVI_000" + std::to_string(i) + ".MOV", 30000 + 100 * i, 30 + i);
    Add("/DCIM/Übersicht der Bilder.txt", 1200, 40);
    Add("/MISC/notes.txt", 800, 41);
    image->AddFile("/root file.txt", Payload(900, 42));
  }

  void Add(const std::string& path, std::size_t size, unsigned seed) {
    image->AddFile(path, Payload(size, seed));
    files[path] = Payload(size, seed);
  }

  // Where each file is expected after the format: DCIM is the first lost folder by cluster,
  // MISC the second; their names were in the root.
  static std::string Expected(const std::string& path) {
    static const std::regex top("^/(DCIM|MISC)/");
    std::smatch m;
    if (!std::regex_search(path, m, top)) return {};
    std::string out = m[1] == "DCIM" ? "Lost folders/Lost folder 1/" : "Lost folders/Lost folder 2/";
    out.append(m.suffix().str());
    return out;
  }
  // The same as the scan lists it: "\Lost folders\Lost folder 1\100CANON\IMG_0001.JPG".
  static std::string Listed(const std::string& path) {
    std::string out(1, '\\');
    out.append(Windows(Expected(path)));
    return out;
  }

  testsupport::TempDir dir;
  std::unique_ptr<testsupport::FatImage> image;
  std::map<std::string, std::string> files;
};

TEST_P(FatFormattedTest, FilesOfSurvivingFoldersComeBackBelowLostFoldersByteForByte) {
  image->QuickFormat();
  const std::string before = testsupport::Sha256Of(image->Path());
  fsscantest::ScannerHarness harness(image->Path());
  harness.Scan(true);
  EXPECT_TRUE(harness.Logged("FATScan Checkpoint: LostFolders", "46"));
  std::map<std::string, int> seen;
  for (const auto& r : harness.scanner.FileList()) {
    ++seen[r->Dir + r->LongName];
    EXPECT_EQ(r->Origin, fsscan::FileOrigin::kLostFolder) << r->Dir + r->LongName;
  }
  for (const auto& [path, contents] : files) {
    EXPECT_EQ(seen[Listed(path)], 1) << path << "\n" << harness.Names();
  }
  fsscantest::OutputDrive out;
  harness.scanner.SaveFilesToDisk(out.Folder("Back"));
  const auto saved = fsscantest::FilesUnder(out.Posix("Back"));
  for (const auto& [path, contents] : files) {
    const auto it = saved.find(Expected(path));
    ASSERT_NE(it, saved.end()) << path;
    EXPECT_TRUE(it->second == contents) << path;
  }
  EXPECT_EQ(testsupport::Sha256Of(image->Path()), before);
}

TEST_P(FatFormattedTest, AFolderThatGrewIntoAClusterElsewhereKeepsItsFilesThere) {
  // More photos than one cluster of 102CANON holds: its next cluster was taken after the
  // photos' data. That cluster has no "." entry and its folder's name is lost with it.
  image->MakeDir("/DCIM/102CANON");
  const int entriesPerCluster = static_cast<int>(image->ClusterOffset(3) - image->ClusterOffset(2)) / 32;
  std::map<std::string, std::string> more;
  for (int i = 1; i <= entriesPerCluster + 4; ++i) {
    std::string name = "P";
    name.append(std::to_string(1000 + i)).append(".JPG");
    std::string path = "/DCIM/102CANON/";
    image->AddFile(path.append(name), Payload(700 + 37 * i, 200 + i));
    more[name] = Payload(700 + 37 * i, 200 + i);
  }
  const auto runs = image->Clusters("/DCIM/102CANON");
  ASSERT_GT(runs.size(), 1u) << "the folder was meant to lie in two places";
  image->QuickFormat();
  fsscantest::ScannerHarness harness(image->Path());
  harness.Scan(true);
  fsscantest::OutputDrive out;
  harness.scanner.SaveFilesToDisk(out.Folder("Back"));
  std::map<std::string, std::string> byName;
  for (const auto& [path, contents] : fsscantest::FilesUnder(out.Posix("Back"))) {
    EXPECT_TRUE(path.starts_with("Lost folders/")) << path;
    byName[path.substr(path.rfind('/') + 1)] = contents;
  }
  for (const auto& [name, contents] : more) EXPECT_TRUE(byName[name] == contents) << name << "\n" << harness.Names();
  for (const auto& [path, contents] : files) {
    EXPECT_EQ(byName.count(path.substr(path.rfind('/') + 1)), 1u) << path;
  }
}

TEST_P(FatFormattedTest, FoldersTheTreeStillReachesAreNotFoundAgain) {
  image->DeleteTree("/DCIM/101CANON");
  fsscantest::ScannerHarness harness(image->Path());
  harness.Scan(false);
  std::map<std::string, int> seen;
  for (const auto& r : harness.scanner.FileList()) {
    ++seen[r->Dir + r->LongName];
    EXPECT_EQ(r->Origin, fsscan::FileOrigin::kDirectory) << r->Dir + r->LongName;
  }
  // Every file once (the deleted folder's first letters read "x"), the root's file too.
  EXPECT_EQ(seen.size(), files.size() + 1) << harness.Names();
  for (const auto& [path, count] : seen) EXPECT_EQ(count, 1) << path;
  EXPECT_EQ(seen.count("\\DCIM\\100CANON\\IMG_0001.JPG"), 1u) << harness.Names();
}

TEST_P(FatFormattedTest, ForgedFolderClustersNamingEachOtherEndAndLoseNothing) {
  std::uint32_t last = 0;
  for (const auto& [path, contents] : files) {
    for (const auto& run : image->Clusters(path)) last = std::max(last, run.second);
  }
  image->QuickFormat();
  // No tool writes these: three free clusters forged as folders, two naming each other as
  // parent and child, one naming itself as its own parent and sub-folder.
  const std::uint32_t a = last + 40, b = last + 41, c = last + 60;
  const auto forge = [&](std::uint32_t cluster, const std::string& entries) {
    std::fstream f(image->Path(), std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(image->ClusterOffset(cluster)));
    f.write(entries.data(), static_cast<std::streamsize>(entries.size()));
  };
  const auto folder = [](std::uint32_t self, std::uint32_t parent) {
    return ShortEntry(".          ", 0x10, self, 0) + ShortEntry("..         ", 0x10, parent, 0);
  };
  forge(a, folder(a, b) + ShortEntry("RING       ", 0x10, b, 0) + ShortEntry("LOOPFILETXT", 0x20, a, 10));
  forge(b, folder(b, a) + ShortEntry("BACK       ", 0x10, a, 0) + ShortEntry("SELF       ", 0x10, b, 0));
  forge(c, folder(c, c) + ShortEntry("ME         ", 0x10, c, 0));
  fsscantest::ScannerHarness harness(image->Path());
  harness.Scan(true);
  std::map<std::string, int> seen;
  for (const auto& r : harness.scanner.FileList()) ++seen[r->Dir + r->LongName];
  for (const auto& [path, contents] : files) {
    EXPECT_EQ(seen[Listed(path)], 1) << path << "\n" << harness.Names();
  }
  EXPECT_LE(harness.scanner.FileList().size(), files.size() + 1) << harness.Names();
}

INSTANTIATE_TEST_SUITE_P(FatTypes, FatFormattedTest,
                         testing::Values(FormatCase{"fat16", 16, 16384}, FormatCase{"fat32", 32, 40960}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FatFormattedStop, StopEndsTheSearchAtTheNextClusters) {
  testsupport::TempDir dir;
  testsupport::FatImageOptions options;
  options.fatBits = 32;
  options.sizeKiB = 40960;
  options.sectorsPerCluster = 1;
  testsupport::FatImage image(dir / "card.img", options);
  image.MakeDir("/DCIM");
  image.AddFile("/DCIM/a.jpg", Payload(5000, 1));
  image.QuickFormat();
  fsscantest::ScannerHarness harness(image.Path());
  harness.scanner.SetProcessMessages([&] {
    if (harness.Logged("FATScan Checkpoint: LostFolders")) harness.scanner.Terminate(true);
  });
  harness.Scan(true);
  EXPECT_TRUE(harness.reported.empty());
  EXPECT_FALSE(harness.Logged("folder trees read")) << "the walk of the folders found was not stopped";
  // The first batch of clusters is all the pass looked at.
  for (const auto& line : harness.log) {
    if (line.message.find("free clusters looked at") == std::string::npos) continue;
    EXPECT_LT(std::stoll(line.message.substr(line.message.find(": ") + 2)), 20000) << line.message;
  }
}

}  // namespace
