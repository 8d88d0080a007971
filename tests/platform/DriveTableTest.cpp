#include "platform/DriveTable.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/TempDir.h"

namespace {

using platform::DriveSources;
using platform::DriveTable;

// A machine with a root disk, a USB card mounted twice, a share and a RAM folder.
constexpr const char* kMountInfo =
    "28 1 254:0 / / rw - ext4 /dev/vda rw\n"
    "22 28 0:21 / /proc rw - proc proc rw\n"
    "26 24 0:24 / /dev/shm rw - tmpfs tmpfs rw\n"
    "40 28 8:17 / /media/anna/CARD\\040ONE rw - vfat /dev/sdb1 rw\n"
    "41 28 8:17 / /mnt/again rw - vfat /dev/sdb1 rw\n"
    "42 28 0:50 / /mnt/share rw - cifs //server/photos rw\n"
    "43 28 8:1 / /data rw - ext4 /dev/sda1 rw\n"
    "44 28 254:0 /etc/hosts /etc/hosts rw - ext4 /dev/vda rw\n"
    "45 28 0:60 / /mnt/ram rw - tmpfs tmpfs rw\n"
    "46 28 0:61 / /mnt/sandbox/tools/deep rw - tmpfs tmpfs rw\n"
    "47 28 11:0 / /media/anna/DVD rw - iso9660 /dev/sr0 ro\n";

DriveSources FakeMachine(const std::string& drives, const std::string& sysRoot) {
  DriveSources s;
  s.drivesVariable = drives;
  s.mountInfo = kMountInfo;
  s.sysBlockRoot = sysRoot;
  s.isDirectory = [](const std::string& path) { return path != "/etc/hosts"; };
  return s;
}

TEST(DriveTableTest, NamedDrivesFirstThenRootThenMountsByDevice) {
  testsupport::TempDir dir;
  const auto image = dir / "card.img";
  testsupport::WriteFileBytes(image, std::string(4096, '\0'));
  DriveTable table;
  table.Build(FakeMachine("e=" + image.string() + "; C=" + dir.Path().string() + ";Q=/no/such/file", "/nonexistent"));
  const auto entries = table.Entries();
  std::string letters;
  for (const auto& e : entries) letters += e.letter;
  EXPECT_EQ(letters, "CDEFGHIJQ");  // the deep sandbox RAM folder is no drive
  const auto e = table.Find('e');
  ASSERT_TRUE(e);
  EXPECT_EQ(e->type, platform::kDriveRemovable);
  EXPECT_TRUE(e->isImage);
  EXPECT_TRUE(e->mountRoot.empty());
  EXPECT_EQ(table.Find('C')->mountRoot, dir.Path().string());  // a folder: writable, not scannable
  EXPECT_TRUE(table.Find('C')->devicePath.empty());
  EXPECT_EQ(table.Find('D')->mountRoot, "/");                  // the root file system
  // Then by device: the share (0:50), the RAM disk (0:60), 8:1, 8:17, the DVD (11:0).
  EXPECT_EQ(table.Find('F')->type, platform::kDriveRemote);
  EXPECT_EQ(table.Find('F')->mountSource, "//server/photos");
  EXPECT_EQ(table.Find('G')->type, platform::kDriveRamDisk);
  EXPECT_EQ(table.Find('G')->mountRoot, "/mnt/ram");
  EXPECT_EQ(table.Find('H')->mountRoot, "/data");
  EXPECT_EQ(table.Find('I')->mountRoot, "/media/anna/CARD ONE");  // once, though mounted twice
  EXPECT_EQ(table.Find('J')->mountRoot, "/media/anna/DVD");
  EXPECT_EQ(table.Find('J')->type, platform::kDriveCdRom);
  EXPECT_EQ(table.Find('Q')->type, platform::kDriveUnknown);
  EXPECT_FALSE(table.Find('Z'));
}

TEST(DriveTableTest, PathsTranslateThroughMountRoots) {
  testsupport::TempDir dir;
  std::filesystem::create_directories(dir / "out");
  auto& table = DriveTable::Instance();
  const char letter = table.Attach((dir / "out").string());
  ASSERT_NE(letter, 0);
  const std::string drive(1, letter);
  EXPECT_EQ(platform::ToPosixPath(drive + ":\\DCIM\\100\\a.jpg"), (dir / "out").string() + "/DCIM/100/a.jpg");
  EXPECT_EQ(platform::ToPosixPath(drive + ":"), (dir / "out").string());
  EXPECT_FALSE(platform::ToPosixPath(drive + ":\\..\\escape"));
  EXPECT_EQ(platform::ToWindowsPath((dir / "out" / "x" / "y.txt").string()), drive + ":\\x\\y.txt");
  EXPECT_EQ(platform::ToWindowsPath((dir / "out").string()), drive + ":\\");
  // Anything else on the root file system is on C: of the real table.
  const auto root = platform::ToWindowsPath(dir.Path().string());
  ASSERT_TRUE(root);
  EXPECT_NE((*root)[0], letter);
  EXPECT_EQ(table.Attach((dir / "out").string()), letter);  // attaching again reuses the letter
  table.Detach(letter);
  EXPECT_FALSE(platform::ToPosixPath(drive + ":\\DCIM"));
}

}  // namespace
