// The layout of whole-disk images made by sfdisk with real volumes in them: tables read
// also from their backups, volumes found by their boot sectors and backups where the
// table is gone, and the search's bounds.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <filesystem>

#include "platform/BootSector.h"
#include "platform/DiskDrives.h"
#include "platform/DiskLayout.h"
#include "platform/Volume.h"
#include "tests/support/Command.h"
#include "tests/support/ImageContainers.h"
#include "tests/support/NtfsImage.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;

class DiskLayoutTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (geteuid() != 0 || !testsupport::NtfsImage::MountAvailable()) return;
    s_dir = new testsupport::TempDir;
    testsupport::RunOrThrow({std::string(TRELLMOND_SOURCE_DIR) + "/tests/support/make-partition-disks.sh",
                             s_dir->Path().string(), "mbr-three", "gpt"});
  }
  static void TearDownTestSuite() {
    delete s_dir;
    s_dir = nullptr;
  }
  void SetUp() override {
    if (s_dir == nullptr) GTEST_SKIP() << "needs root and ntfs-3g to make the NTFS volumes";
  }
  // A copy of a made disk with byte ranges zeroed, as a wiped table or a damaged volume leaves it.
  static fs::path Damaged(const std::string& disk, std::initializer_list<std::pair<std::uint64_t, std::uint64_t>> zero) {
    const fs::path copy = s_dir->Path() / (disk + "-damaged.img");
    fs::copy_file(s_dir->Path() / (disk + ".img"), copy, fs::copy_options::overwrite_existing);
    const int fd = ::open(copy.c_str(), O_WRONLY);
    for (const auto& [at, length] : zero) {
      const std::string zeros(length, '\0');
      EXPECT_EQ(pwrite(fd, zeros.data(), zeros.size(), static_cast<off_t>(at)), static_cast<ssize_t>(length));
    }
    ::close(fd);
    return copy;
  }
  static platform::DiskLayout Layout(const fs::path& disk, const platform::LostSearchLimits& limits = {}) {
    const int fd = ::open(disk.c_str(), O_RDONLY);
    const auto layout = platform::ReadDiskLayout(fd, fs::file_size(disk), 0, limits);
    ::close(fd);
    return layout;
  }
  static std::string Notes(const platform::DiskLayout& layout) {
    std::string all;
    for (const auto& n : layout.notes) all += n + "\n";
    return all;
  }
  static testsupport::TempDir* s_dir;
};

testsupport::TempDir* DiskLayoutTest::s_dir = nullptr;

TEST_F(DiskLayoutTest, TablesListTheirVolumesInOrder) {
  const auto mbr = Layout(s_dir->Path() / "mbr-three.img");
  EXPECT_EQ(mbr.tableType, "dos");
  ASSERT_EQ(mbr.volumes.size(), 3u) << Notes(mbr);
  EXPECT_EQ(mbr.volumes[0].offset, 1048576u);
  EXPECT_EQ(mbr.volumes[1].tableNumber, 2);
  EXPECT_EQ(mbr.volumes[2].tableNumber, 5);  // the logical one, inside the extended partition
  for (const auto& v : mbr.volumes) EXPECT_FALSE(v.lost);

  // The primary GPT header gone: the backup at the disk's end still names both partitions.
  const auto gpt = Layout(Damaged("gpt", {{512, 512}}));
  EXPECT_EQ(gpt.tableType, "gpt");
  ASSERT_EQ(gpt.volumes.size(), 2u) << Notes(gpt);
  EXPECT_EQ(gpt.volumes[1].offset, (2048u + 32768u) * 512u);
}

TEST_F(DiskLayoutTest, WipedTableVolumesAreFoundByTheirBootSectorsOrBackups) {
  // The table gone, and the NTFS volume's own first sector too: its backup at its end tells.
  const std::uint64_t ntfs = (2048 + 36 * 2048) * 512;
  const auto disk = Damaged("mbr-three", {{0, 512}, {ntfs, 512}});
  const auto layout = Layout(disk);
  EXPECT_EQ(layout.tableType, "");
  ASSERT_EQ(layout.volumes.size(), 3u) << Notes(layout);
  EXPECT_EQ(layout.volumes[0].offset, 1048576u);
  EXPECT_EQ(layout.volumes[0].evidence, "boot sector at byte 1048576");
  EXPECT_EQ(layout.volumes[1].offset, ntfs);
  EXPECT_NE(layout.volumes[1].evidence.find("NTFS backup boot sector at byte " + std::to_string(ntfs + 20 * 1048576 - 512)),
            std::string::npos)
      << layout.volumes[1].evidence;
  for (const auto& v : layout.volumes) EXPECT_TRUE(v.lost);

  // The volume opened there reads as NTFS, its first sector given by the backup.
  const auto volume = platform::Volume::Open(disk.string(), layout.volumes[1].offset, layout.volumes[1].length);
  ASSERT_TRUE(volume && volume->Boot());
  EXPECT_EQ(volume->Boot()->kind, platform::VolumeKind::Ntfs);
  EXPECT_EQ(volume->BootFrom(), "NTFS backup boot sector");
  std::array<std::byte, 512> first{}, backup{};
  ASSERT_EQ(volume->ReadAt(0, first), 512);
  ASSERT_EQ(volume->ReadAt(volume->Size() - 512, backup), 512);
  EXPECT_EQ(first, backup);
}

TEST_F(DiskLayoutTest, TheSearchIsBounded) {
  const auto disk = Damaged("mbr-three", {{0, 512}});
  const auto none = Layout(disk, {.mebibyteSteps = 0, .cylinderSteps = 0});
  EXPECT_TRUE(none.volumes.empty());
  EXPECT_NE(Notes(none).find("search for lost partitions stopped at byte"), std::string::npos) << Notes(none);
  // One 1 MiB step: the first volume only (the next step would come after its end).
  const auto first = Layout(disk, {.mebibyteSteps = 1, .cylinderSteps = 0});
  ASSERT_EQ(first.volumes.size(), 1u) << Notes(first);
  EXPECT_EQ(first.volumes[0].offset, 1048576u);
}

// The same disks as an Expert Witness image and as a split raw image: the same volumes, each
// opening with the same boot sector and bytes. The logical partition's table sector and the
// GPT's backup lie outside the first mebibyte: libblkid is given them too.
TEST_F(DiskLayoutTest, ExpertWitnessAndSplitImagesHoldTheSameVolumes) {
  if (const std::string why = testsupport::ExpertWitnessUnavailable(); !why.empty()) GTEST_SKIP() << why;
  for (const std::string disk : {"mbr-three", "gpt"}) {
    SCOPED_TRACE(disk);
    const fs::path raw = s_dir->Path() / (disk + ".img");
    const auto volumesOf = [](const fs::path& path) {
      platform::DriveEntry whole;
      whole.devicePath = path.string();
      whole.isImage = true;
      std::vector<std::pair<std::uint64_t, std::uint64_t>> volumes;
      for (const auto& drive : platform::SplitIntoVolumes(whole).drives)
        volumes.emplace_back(drive.offset, drive.length);
      return volumes;
    };
    const auto expected = volumesOf(raw);
    ASSERT_GE(expected.size(), 3u);  // the volumes and the whole disk
    const fs::path forms[] = {testsupport::MakeExpertWitness(raw, s_dir->Path() / (disk + "-ewf"), 1 << 20, false),
                              testsupport::MakeSplitRaw(raw, s_dir->Path() / (disk + "-split"), 3 << 20)};
    for (const fs::path& form : forms) {
      SCOPED_TRACE(form.filename().string());
      EXPECT_EQ(volumesOf(form), expected);
      for (const auto& [offset, length] : expected) {
        const auto want = platform::Volume::Open(raw.string(), offset, length);
        const auto got = platform::Volume::Open(form.string(), offset, length);
        ASSERT_TRUE(want && got);
        EXPECT_EQ(got->Size(), want->Size());
        EXPECT_EQ(got->Boot().has_value(), want->Boot().has_value());
        if (want->Boot()) {
          EXPECT_EQ(got->Boot()->kind, want->Boot()->kind);
        }
        EXPECT_EQ(got->Probed().type, want->Probed().type);
        EXPECT_EQ(got->Probed().uuid, want->Probed().uuid);
        std::vector<std::byte> a(1 << 20), b(1 << 20);
        EXPECT_EQ(got->ReadAt(0, a), want->ReadAt(0, b));
        EXPECT_TRUE(a == b);
      }
    }
  }
}

}  // namespace

namespace {

// exFAT keeps a whole backup boot region twelve sectors in: a card whose table and first
// sectors were overwritten is still found there (no files needed, so no mount).
TEST(DiskLayoutExFat, AVolumeWithoutItsMainBootRegionIsFoundByItsBackup) {
  testsupport::TempDir dir;
  const auto disk = dir / "card.img";
  const auto volume = dir / "exfat.vol";
  testsupport::RunOrThrow({"truncate", "-s", "40M", disk.string()});
  testsupport::RunOrThrow({"truncate", "-s", "32M", volume.string()});
  testsupport::RunOrThrow({"mkfs.exfat", "-L", "BIGCARD", volume.string()});
  testsupport::RunOrThrow({"dd", "if=" + volume.string(), "of=" + disk.string(), "bs=1M", "seek=4", "conv=notrunc",
                           "status=none"});
  // The whole main boot region overwritten, as a quick reformat with another layout leaves it.
  testsupport::RunOrThrow({"dd", "if=/dev/zero", "of=" + disk.string(), "bs=512", "seek=8192", "count=12",
                           "conv=notrunc", "status=none"});
  const int fd = ::open(disk.c_str(), O_RDONLY);
  const auto layout = platform::ReadDiskLayout(fd, fs::file_size(disk), 0);
  ::close(fd);
  ASSERT_EQ(layout.volumes.size(), 1u);
  EXPECT_EQ(layout.volumes[0].offset, 4u << 20);
  EXPECT_EQ(layout.volumes[0].length, 32u << 20);
  EXPECT_EQ(layout.volumes[0].evidence, "exFAT backup boot region at byte " + std::to_string((4u << 20) + 12 * 512));
  const auto opened = platform::Volume::Open(disk.string(), layout.volumes[0].offset, layout.volumes[0].length);
  ASSERT_TRUE(opened && opened->Boot());
  EXPECT_EQ(opened->Boot()->kind, platform::VolumeKind::ExFat);
  EXPECT_EQ(opened->BootFrom(), "exFAT backup boot region");
}

}  // namespace
