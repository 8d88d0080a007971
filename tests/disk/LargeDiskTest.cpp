// Sector numbers beyond 32 bits: a disk above 2 TiB with 512-byte sectors, as a sparse
// image file, read at a sector past 2^32 through every read path of the component.

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "disk/RawDiskAccessComponent.h"
#include "platform/DriveTable.h"
#include "tests/support/TempDir.h"

namespace {

constexpr std::int64_t kSector = (std::int64_t{1} << 32) + 7;

class LargeDiskTest : public testing::Test {
 protected:
  void SetUp() override {
    image = dir / "3tib.img";
    const int fd = ::open(image.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, std::int64_t{3} << 40), 0) << "no sparse 3 TiB file here";
    marker.assign(512, 'M');
    marker.replace(0, 16, "sector 2^32 + 7 ");
    ASSERT_EQ(::pwrite(fd, marker.data(), marker.size(), kSector * 512), 512);
    ::close(fd);
    letter = platform::DriveTable::Instance().Attach(image.string());
    ASSERT_NE(letter, 0);
  }
  void TearDown() override { platform::DriveTable::Instance().Detach(letter); }

  testsupport::TempDir dir;
  std::filesystem::path image;
  std::string marker;
  char letter = 0;
};

std::string BufferBytes(disk::TRawDiskAccessComponent& raw) {
  auto& stream = raw.GetDiskBufferStream();
  stream.SetPosition(0);
  return std::string(stream.View());
}

TEST_F(LargeDiskTest, ASectorAboveTwoTebibytesReadsAtItsOwnOffset) {
  disk::TRawDiskAccessComponent raw;
  raw.SetDriveLetter(std::string(1, letter));
  ASSERT_EQ(raw.GetStatusCode(), disk::status::kSuccess);
  ASSERT_EQ(raw.GetDriveSectorSize(), 512);
  EXPECT_EQ(raw.GetTotalSpace(), std::int64_t{3} << 40);

  raw.SetSectorNumber(kSector);
  raw.SetSectorCount(1);
  raw.ReadDrive();
  ASSERT_EQ(raw.GetStatusCode(), disk::status::kSuccess) << raw.GetStatusText();
  EXPECT_EQ(BufferBytes(raw), marker);

  // Cluster mode: one sector per cluster on a drive without a file system.
  raw.SetClusterCount(1);
  raw.SetClusterNumber(kSector);
  raw.ReadDrive();
  ASSERT_EQ(raw.GetStatusCode(), disk::status::kSuccess) << raw.GetStatusText();
  EXPECT_EQ(BufferBytes(raw), marker);

  std::string into(512, '\0');
  raw.ReadSectorsInto(kSector, 1, std::as_writable_bytes(std::span(into)));
  ASSERT_EQ(raw.GetStatusCode(), disk::status::kSuccess) << raw.GetStatusText();
  EXPECT_EQ(into, marker);

  // The sector a 32-bit sector word would have reached holds nothing.
  raw.SetSectorNumber(kSector & 0xFFFFFFFF);
  raw.SetSectorCount(1);
  raw.ReadDrive();
  EXPECT_EQ(BufferBytes(raw), std::string(512, '\0'));

  // Past the end, and a position no byte offset can hold, are failed reads.
  for (const std::int64_t beyond : {(std::int64_t{3} << 40) / 512, std::int64_t{1} << 62, std::int64_t{-1}}) {
    raw.SetSectorNumber(beyond);
    raw.SetSectorCount(1);
    raw.ReadDrive();
    EXPECT_NE(raw.GetStatusCode(), disk::status::kSuccess) << beyond;
  }
}

}  // namespace
