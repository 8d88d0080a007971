#include "platform/DriveQueries.h"

#include <gtest/gtest.h>
#include <sys/statvfs.h>

#include "platform/DriveTable.h"
#include "tests/support/FatImage.h"
#include "tests/support/FsckFat.h"
#include "tests/support/TempDir.h"

namespace {

struct VolumeCase {
  const char* name;
  int fatBits;
  std::uint64_t sizeKiB;
  int sectorSize;
  int sectorsPerCluster;
  const char* fileSystem;
};

class FatVolumeTest : public testing::TestWithParam<VolumeCase> {};

TEST_P(FatVolumeTest, ReportsWhatFsckFatReports) {
  const VolumeCase& c = GetParam();
  testsupport::TempDir dir;
  testsupport::FatImageOptions options;
  options.fatBits = c.fatBits;
  options.sizeKiB = c.sizeKiB;
  options.sectorSize = c.sectorSize;
  options.sectorsPerCluster = c.sectorsPerCluster;
  options.label = "HOLIDAY";
  options.volumeId = 0xC0FFEE42;
  testsupport::FatImage image(dir / "card.img", options);
  image.MakeDir("/DCIM");
  image.AddFile("/DCIM/photo.jpg", std::string(5000, 'x'));
  const testsupport::FsckFatReport fsck = testsupport::RunFsckFat(image.Path().string());

  const char letter = platform::DriveTable::Instance().Attach(image.Path().string());
  ASSERT_NE(letter, 0);
  const std::string root = std::string(1, letter) + ":\\";
  EXPECT_EQ(platform::GetDriveTypeOf(root), platform::kDriveRemovable);

  platform::VolumeInformation info;
  ASSERT_TRUE(platform::GetVolumeInformation(root, info));
  EXPECT_EQ(info.fileSystem, c.fileSystem);
  EXPECT_EQ(info.label, "HOLIDAY");
  EXPECT_EQ(info.serialNumber, 0xC0FFEE42u);

  platform::FreeSpace space;
  ASSERT_TRUE(platform::GetDiskFreeSpace(root, space));
  EXPECT_EQ(space.bytesPerSector, fsck.bytesPerSector);
  EXPECT_EQ(space.bytesPerSector * space.sectorsPerCluster, fsck.bytesPerCluster);
  EXPECT_EQ(space.totalClusters, fsck.dataClusters);
  EXPECT_EQ(space.freeClusters, fsck.dataClusters - fsck.usedClusters);

  platform::FreeSpaceEx ex;
  ASSERT_TRUE(platform::GetDiskFreeSpaceEx(root, ex));
  EXPECT_EQ(ex.totalBytes, fsck.dataClusters * fsck.bytesPerCluster);
  EXPECT_EQ(ex.totalFreeBytes, (fsck.dataClusters - fsck.usedClusters) * fsck.bytesPerCluster);

  std::uint32_t bps = 0, spc = 0;
  ASSERT_TRUE(platform::GetSectorGeometry(root, bps, spc));
  EXPECT_EQ(bps, space.bytesPerSector);
  EXPECT_EQ(spc, space.sectorsPerCluster);
  platform::DriveTable::Instance().Detach(letter);
}

INSTANTIATE_TEST_SUITE_P(Volumes, FatVolumeTest,
                         testing::Values(VolumeCase{"fat12", 12, 1440, 512, 0, "FAT"},
                                         VolumeCase{"fat16", 16, 16384, 512, 0, "FAT"},
                                         VolumeCase{"fat32", 32, 40960, 512, 1, "FAT32"},
                                         VolumeCase{"fat32_4k_sectors", 32, 300000, 4096, 1, "FAT32"},
                                         VolumeCase{"fat16_big_clusters", 16, 65536, 512, 16, "FAT"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(VolumeTest, UnknownLettersAndUnreadableImages) {
  platform::VolumeInformation info;
  platform::FreeSpace space;
  EXPECT_EQ(platform::GetDriveTypeOf("\0:\\"), platform::kDriveNoRootDir);
  testsupport::TempDir dir;
  testsupport::WriteFileBytes(dir / "blank.img", std::string(1 << 20, '\0'));
  const char letter = platform::DriveTable::Instance().Attach((dir / "blank.img").string());
  const std::string root = std::string(1, letter) + ":\\";
  // Not a volume this program knows: whole-device figures, no file system name.
  ASSERT_TRUE(platform::GetDiskFreeSpace(root, space));
  EXPECT_EQ(space.bytesPerSector, 512u);
  EXPECT_EQ(space.totalClusters, 2048u);
  ASSERT_TRUE(platform::GetVolumeInformation(root, info));
  EXPECT_EQ(info.serialNumber, 0u);
  EXPECT_EQ(info.fileSystem, "");
  platform::DriveTable::Instance().Detach(letter);
  EXPECT_FALSE(platform::GetDiskFreeSpace(root, space));
}

}  // namespace

// A folder that can be written: its free clusters are what this user may still write
// (blocks kept for the superuser do not count), as statvfs reports them.
TEST(VolumeTest, FreeClustersOfAMountedFolderAreWhatTheUserMayWrite) {
  testsupport::TempDir dir;
  const char letter = platform::DriveTable::Instance().Attach(dir.Path().string());
  ASSERT_NE(letter, 0);
  platform::FreeSpace space;
  ASSERT_TRUE(platform::GetDiskFreeSpace(std::string(1, letter) + ":\\", space));
  struct statvfs vfs {};
  ASSERT_EQ(statvfs(dir.Path().c_str(), &vfs), 0);
  const double available = static_cast<double>(vfs.f_bavail) * static_cast<double>(vfs.f_frsize);
  const double reported = static_cast<double>(space.freeClusters) * space.bytesPerSector * space.sectorsPerCluster;
  // Other programs write meanwhile: within 64 MiB.
  EXPECT_NEAR(reported, available, 64.0 * 1024 * 1024);
  platform::DriveTable::Instance().Detach(letter);
}
