// Whole-disk images with partition tables (made by sfdisk, volumes by mkfs.fat and mkntfs):
// every volume is a drive, and a scan of the disk brings back what a scan of the bare
// volume does, also when the table was wiped or holds hostile entries.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "tests/support/Command.h"
#include "tests/support/NtfsImage.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;

struct VolumeLine {
  std::string disk;
  std::string partition;
  std::string volume;
  std::string deleted;
  bool wiped = false;
};

testsupport::CommandResult Cli(const std::vector<std::string>& args, const std::string& drives = "") {
  std::vector<std::string> argv = {testsupport::BuiltProgram("trellmond-cli")};
  argv.insert(argv.end(), args.begin(), args.end());
  return testsupport::RunCommand(argv, {{"TRELLMOND_DRIVES", drives}});
}

std::map<std::string, std::string> Tree(const fs::path& root) {
  std::map<std::string, std::string> files;
  if (!fs::exists(root)) return files;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (e.is_regular_file()) files[fs::relative(e.path(), root).string()] = testsupport::ReadFileBytes(e.path());
  }
  return files;
}

class PartitionedDiskTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (geteuid() != 0 || !testsupport::NtfsImage::MountAvailable()) return;  // losetup and ntfs-3g need both
    s_dir = new testsupport::TempDir;
    testsupport::RunOrThrow({std::string(TRELLMOND_SOURCE_DIR) + "/tests/support/make-partition-disks.sh",
                             s_dir->Path().string()});
    std::ifstream manifest(s_dir->Path() / "manifest.tsv");
    std::string line;
    while (std::getline(manifest, line)) {
      std::istringstream fields(line);
      VolumeLine v;
      std::string offset, sector, wiped;
      std::getline(fields, v.disk, '\t');
      std::getline(fields, v.partition, '\t');
      std::getline(fields, offset, '\t');
      std::getline(fields, sector, '\t');
      std::getline(fields, v.volume, '\t');
      std::getline(fields, v.deleted, '\t');
      std::getline(fields, wiped, '\t');
      v.wiped = wiped == "yes";
      s_volumes.push_back(v);
    }
  }
  static void TearDownTestSuite() {
    delete s_dir;
    s_dir = nullptr;
  }
  void SetUp() override {
    if (s_dir == nullptr) GTEST_SKIP() << "needs root for a loop device and ntfs-3g";
  }
  static fs::path Disk(const std::string& name) { return s_dir->Path() / (name + ".img"); }
  static int VolumesOn(const std::string& disk) {
    int n = 0;
    for (const auto& v : s_volumes) n += v.disk == disk;
    return n;
  }

  static testsupport::TempDir* s_dir;
  static std::vector<VolumeLine> s_volumes;
  testsupport::TempDir out;
};

testsupport::TempDir* PartitionedDiskTest::s_dir = nullptr;
std::vector<VolumeLine> PartitionedDiskTest::s_volumes;

TEST_F(PartitionedDiskTest, EveryDeletedFileComesBackAsFromTheBareVolume) {
  ASSERT_EQ(s_volumes.size(), 12u);
  for (const VolumeLine& v : s_volumes) {
    SCOPED_TRACE(v.disk + " volume " + v.partition);
    const std::string tag = v.disk + "-" + v.partition;
    const auto bare = Cli({"scan", (s_dir->Path() / v.volume).string(), "--undelete", "--out", (out / (tag + "-bare")).string()});
    ASSERT_EQ(bare.exitCode, 0) << bare.errors;
    std::vector<std::string> args = {"scan", Disk(v.disk).string(), "--undelete", "--out", (out / tag).string(),
                                     "--verbose"};
    if (VolumesOn(v.disk) > 1) args.insert(args.end(), {"--partition", v.partition});
    const auto before = testsupport::Sha256Of(Disk(v.disk));
    const auto disk = Cli(args);
    ASSERT_EQ(disk.exitCode, 0) << disk.errors;
    EXPECT_EQ(testsupport::Sha256Of(Disk(v.disk)), before) << "the scanned disk was written";

    const auto fromBare = Tree(out / (tag + "-bare"));
    const auto fromDisk = Tree(out / tag);
    std::ifstream deleted(s_dir->Path() / v.deleted);
    std::string line;
    int listed = 0;
    while (std::getline(deleted, line)) {
      ++listed;
      const std::string path = line.substr(line.find('\t') + 1);
      EXPECT_TRUE(fromBare.count(path)) << path << " not recovered from the bare volume";
    }
    EXPECT_EQ(listed, 6);
    EXPECT_TRUE(fromDisk == fromBare) << fromDisk.size() << " files from the disk, " << fromBare.size()
                                      << " from the bare volume";
    if (v.wiped) {
      EXPECT_NE(disk.errors.find("lost partition at byte 1048576"), std::string::npos) << disk.errors;
      // The scan's own log says where the volume lies and how it was found.
      EXPECT_NE(disk.errors.find("[47] Lost partition 1 at byte 1048576 of " + Disk(v.disk).string() +
                                 "\n     Found by its "),
                std::string::npos)
          << disk.errors;
      if (v.disk != "wiped-mbr") {
        EXPECT_NE(disk.errors.find("[47] Boot record read from the "), std::string::npos) << disk.errors;
      }
    }
  }
}

TEST_F(PartitionedDiskTest, EveryVolumeIsADriveThenTheWholeDisk) {
  struct Case {
    const char* disk;
    std::vector<std::string> lines;  // per letter from E:, what the line must hold
  };
  const std::vector<Case> cases = {
      {"mbr-one", {"HOLIDAY (E:)\t[33 MB]", "Whole disk (F:)"}},
      {"mbr-three", {"CAMERA (E:)", "BACKUP (F:)", "NOTES (G:)", "Whole disk (H:)"}},
      {"gpt", {"EFI (E:)", "DATA (F:)", "Whole disk (G:)"}},
      {"gpt-4k", {"BIGSECTORS (E:)", "Whole disk (F:)"}},
      {"wiped-mbr", {"Lost partition 1 (E:)", "Whole disk (F:)"}},
      {"wiped-fat32", {"Lost partition 1 (E:)\t[37 MB]\t[37 MB]\tFAT32", "Whole disk (F:)"}},
      {"wiped-ntfs", {"Lost partition 1 (E:)", "Whole disk (F:)"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.disk);
    const auto r = Cli({"drives"}, "E=" + Disk(c.disk).string());
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    for (std::size_t i = 0; i < c.lines.size(); ++i) {
      const std::string letter = std::string(1, static_cast<char>('E' + i)) + ":\t";
      const auto at = r.output.find(letter);
      ASSERT_NE(at, std::string::npos) << r.output;
      const std::string line = r.output.substr(at, r.output.find('\n', at) - at);
      EXPECT_NE(line.find(c.lines[i]), std::string::npos) << line;
    }
  }
  // A second named letter after a split disk keeps its own letter; the disk's volumes skip it.
  const auto both = Cli({"drives"}, "E=" + Disk("gpt").string() + ";F=" + Disk("mbr-one").string());
  EXPECT_NE(both.output.find("E:\t2\tEFI (E:)"), std::string::npos) << both.output;
  EXPECT_NE(both.output.find("F:\t2\tHOLIDAY (F:)"), std::string::npos) << both.output;
  EXPECT_NE(both.output.find("DATA (G:)"), std::string::npos) << both.output;
}

TEST_F(PartitionedDiskTest, SeveralVolumesAskForAPartition) {
  const auto r = Cli({"scan", Disk("mbr-three").string(), "--undelete"});
  EXPECT_EQ(r.exitCode, 1);
  // Letters depend on the machine's own drives: each line is looked for without its letter.
  for (const char* want : {"holds 3 volumes; choose one with --partition N", "--partition 1  ", ":  FAT32  \"CAMERA\"  [38 MB] at byte 1048576",
                           "--partition 2  ", ":  NTFS  \"BACKUP\"", "--partition 3  ", ":  FAT  \"NOTES\"",
                           "--partition 0  ", ":  the whole disk"}) {
    EXPECT_NE(r.errors.find(want), std::string::npos) << want << "\n" << r.errors;
  }
  for (const char* bad : {"4", "x"}) {
    EXPECT_EQ(Cli({"scan", Disk("mbr-three").string(), "--partition", bad}).exitCode, 1) << bad;
  }
  const auto whole = Cli({"scan", Disk("mbr-three").string(), "--partition", "0", "--low", "--types", "jpg"});
  EXPECT_EQ(whole.exitCode, 0) << whole.errors;
  EXPECT_EQ(Cli({"scan", (s_dir->Path() / "mbr-one-1.vol").string(), "--partition", "2"}).exitCode, 1);
}

TEST_F(PartitionedDiskTest, HostileTablesAreRefusedWithAReason) {
  const auto mbr = Cli({"drives"}, "E=" + Disk("hostile-mbr").string());
  ASSERT_EQ(mbr.exitCode, 0);
  for (const char* want : {"partition 2 overlaps partition 1: refused", "beyond the device's end: refused",
                           "holds no file system known here", "the chain of logical partitions loops back to byte"}) {
    EXPECT_NE(mbr.errors.find(want), std::string::npos) << want << "\n" << mbr.errors;
  }
  EXPECT_NE(mbr.output.find("HOLIDAY (E:)"), std::string::npos) << mbr.output;
  const auto gpt = Cli({"drives"}, "E=" + Disk("hostile-gpt").string());
  EXPECT_NE(gpt.output.find("MANY (E:)"), std::string::npos) << gpt.output;
  EXPECT_NE(gpt.output.find("Whole disk (F:)"), std::string::npos) << gpt.output;
}

}  // namespace
