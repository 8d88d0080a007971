#include "disk/RawDiskAccessComponent.h"

#include <gtest/gtest.h>

#include "platform/DriveQueries.h"
#include <sys/wait.h>
#include <unistd.h>

#include "platform/DriveTable.h"
#include "tests/support/Command.h"
#include "tests/support/FatImage.h"
#include "tests/support/TempDir.h"

namespace {

using disk::TRawDiskAccessComponent;
namespace status = disk::status;

// A FAT16 card image with 4 sectors per cluster and a file, attached as a drive.
class ComponentTest : public testing::Test {
 protected:
  void SetUp() override {
    testsupport::FatImageOptions options;
    options.fatBits = 16;
    options.sectorsPerCluster = 4;
    image = std::make_unique<testsupport::FatImage>(dir / "card.img", options);
    image->AddFile("/notes.txt", std::string(10000, 'n'));
    letter = platform::DriveTable::Instance().Attach(image->Path().string());
    ASSERT_NE(letter, 0);
  }
  void TearDown() override { platform::DriveTable::Instance().Detach(letter); }

  std::string Dd(std::uint64_t offset, std::uint64_t length) const {
    return testsupport::ReadFileBytes(image->Path()).substr(offset, length);
  }

  testsupport::TempDir dir;
  std::unique_ptr<testsupport::FatImage> image;
  char letter = 0;
};

std::string BufferBytes(TRawDiskAccessComponent& raw) {
  auto& stream = raw.GetDiskBufferStream();
  stream.SetPosition(0);
  return std::string(stream.View());
}

TEST_F(ComponentTest, ReadsTheSameBytesDdReads) {
  TRawDiskAccessComponent raw;
  raw.SetDriveLetter(std::string(1, letter) + ":");
  ASSERT_EQ(raw.GetStatusCode(), status::kSuccess);
  EXPECT_EQ(raw.GetDriveSectorSize(), 512);
  EXPECT_EQ(raw.GetSectorsPerCluster(), 4);
  EXPECT_EQ(raw.GetDriveClusterSize(), 2048);
  struct Read {
    bool clusters;
    std::int64_t number, count;
  };
  for (const Read r : {Read{false, 0, 1}, Read{false, 37, 9}, Read{true, 0, 1}, Read{true, 10, 2}, Read{true, 3, 64}}) {
    if (r.clusters) {
      raw.SetClusterNumber(r.number);
      raw.SetClusterCount(r.count);
      raw.SetClusterNumber(r.number);  // the count setter cleared nothing of the cluster side
    } else {
      raw.SetSectorNumber(r.number);
      raw.SetSectorCount(r.count);
    }
    raw.ReadDrive();
    ASSERT_EQ(raw.GetStatusCode(), status::kSuccess) << raw.GetStatusText();
    const std::uint64_t unit = r.clusters ? 2048 : 512;
    EXPECT_EQ(BufferBytes(raw), Dd(r.number * unit, r.count * unit)) << r.number << "+" << r.count;
  }
}

TEST_F(ComponentTest, ReadPastTheEndFails) {
  TRawDiskAccessComponent raw;
  raw.SetDriveLetter(std::string(1, letter));
  const std::int64_t sectors = static_cast<std::int64_t>(std::filesystem::file_size(image->Path()) / 512);
  raw.SetSectorNumber(sectors - 1);
  raw.SetSectorCount(1);
  raw.ReadDrive();
  EXPECT_EQ(raw.GetStatusCode(), status::kSuccess);
  raw.SetSectorNumber(sectors - 1);
  raw.SetSectorCount(2);  // one sector beyond the end: part was read, still a failure
  raw.ReadDrive();
  EXPECT_NE(raw.GetStatusCode(), status::kSuccess);
  EXPECT_EQ(raw.GetStatusText(), "Read failed. See API Error");
}

TEST_F(ComponentTest, AVolumeThatMayNotBeOpenedGivesAccessDenied) {
  // Root reads whatever it likes, so the read runs as nobody; anyone else simply loses the right.
  chmod(image->Path().c_str(), getuid() == 0 ? 0600 : 0000);
  chmod(dir.Path().c_str(), 0755);
  // Run the read as an unprivileged user in a child, so root's rights do not hide the denial.
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (getuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(100);
    TRawDiskAccessComponent raw;
    raw.SetDriveLetter(std::string(1, letter));
    raw.SetSectorNumber(0);
    raw.SetSectorCount(1);
    raw.ReadDrive();
    const bool ok = raw.GetStatusCode() == 5 && raw.GetStatusText() == "Read failed. See API Error";
    // The drive list knows this before any read: it marks the drive.
    _exit(ok && !platform::MayReadVolume(letter) ? 0 : 1);
  }
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  ASSERT_TRUE(WIFEXITED(wstatus));
  EXPECT_EQ(WEXITSTATUS(wstatus), 0);
  if (getuid() == 0) {
    EXPECT_TRUE(platform::MayReadVolume(letter));
  }
}

TEST_F(ComponentTest, PropertiesBehaveAsDocumented) {
  TRawDiskAccessComponent raw;
  EXPECT_EQ(raw.GetStatusCode(), status::kReady);
  EXPECT_EQ(raw.GetStatusText(), "Ready.");

  raw.SetSectorCount(8);
  EXPECT_EQ(raw.GetStatusCode(), status::kDriveNotSelected);
  EXPECT_EQ(raw.GetStatusText(), "Drive not selected first.");

  raw.SetDriveLetter("");  // changes nothing, not even the status
  EXPECT_EQ(raw.GetStatusCode(), status::kDriveNotSelected);

  raw.SetDriveLetter(std::string(1, static_cast<char>(letter + 32)) + "anything");
  ASSERT_EQ(raw.GetStatusCode(), status::kSuccess);
  EXPECT_EQ(raw.GetDriveLetter(), std::string(1, letter));
  EXPECT_EQ(raw.GetFileSystem(), "FAT");
  EXPECT_EQ(raw.GetVolumeName(), "TESTCARD");
  EXPECT_EQ(raw.GetSerialNumber(), 0x1234ABCD);
  EXPECT_EQ(raw.GetLogicalDriveType(), 2);

  raw.SetDiskBufferString("x");
  EXPECT_EQ(raw.GetStatusCode(), status::kBufferSizeNotSet);
  EXPECT_EQ(raw.GetStatusText(), "Buffer size not set first.");

  raw.ReadDrive();
  EXPECT_EQ(raw.GetStatusCode(), status::kNoCount);
  EXPECT_EQ(raw.GetStatusText(), "No cluster or sector count provided.");

  raw.SetSectorCount(8);
  EXPECT_EQ(raw.GetStatusCode(), status::kSuccess);
  EXPECT_EQ(raw.GetDiskBufferStream().Size(), 4096);
  EXPECT_EQ(raw.GetDiskBufferString(), std::string(4096, '\0'));

  raw.SetDiskBufferString(std::string(4095, 'a'));
  EXPECT_EQ(raw.GetStatusCode(), status::kBufferSizeMismatch);
  EXPECT_EQ(raw.GetStatusText(), "Buffer size mismatch.");
  raw.SetDiskBufferString(std::string(4096, 'a'));
  EXPECT_EQ(raw.GetStatusCode(), status::kSuccess);
  EXPECT_EQ(BufferBytes(raw), std::string(4096, 'a'));

  util::TMemoryStream other;
  other.Write(std::string(4096, 'b'));
  raw.SetDiskBufferStream(other);
  EXPECT_EQ(raw.GetDiskBufferString(), std::string(4096, 'b'));
  other.SetSize(10);
  raw.SetDiskBufferStream(other);
  EXPECT_EQ(raw.GetStatusCode(), status::kBufferSizeMismatch);
  // Sizing again to the same length still clears what was put in, text and stream.
  raw.SetSectorCount(8);
  EXPECT_EQ(raw.GetDiskBufferString(), std::string(4096, '\0'));
  EXPECT_EQ(BufferBytes(raw), std::string(4096, '\0'));
  raw.SetDiskBufferString(std::string(4096, 'c'));
  raw.SetSectorNumber(3);
  EXPECT_EQ(raw.GetDiskBufferString(), std::string(4096, '\0'));

  raw.SetClusterCount(4);
  EXPECT_EQ(raw.GetSectorCount(), 0);
  EXPECT_EQ(raw.GetDiskBufferStream().Size(), 4 * 2048);
  raw.SetSectorNumber(2);  // clears the cluster count: the read works in sector mode
  EXPECT_EQ(raw.GetClusterCount(), 0);
  raw.SetSectorCount(1);
  raw.ReadDrive();
  EXPECT_EQ(raw.GetStatusCode(), status::kSuccess);
  EXPECT_EQ(BufferBytes(raw), Dd(1024, 512));

  const std::int64_t total = raw.GetTotalClusterCount();
  raw.SetClusterNumber(total);
  EXPECT_EQ(raw.GetStatusCode(), status::kSuccess);
  raw.SetClusterNumber(total + 1);
  EXPECT_EQ(raw.GetStatusCode(), status::kClusterTooHigh);
  EXPECT_EQ(raw.GetStatusText(), "Cluster number too high.");
  EXPECT_EQ(raw.GetClusterNumber(), total);

  raw.SetSectorCount(0);  // a zero count keeps the buffer size
  EXPECT_EQ(raw.GetDiskBufferStream().Size(), 512);
}

TEST_F(ComponentTest, BadLettersClearTheSelection) {
  TRawDiskAccessComponent raw;
  raw.SetDriveLetter(std::string(1, letter));
  const std::int64_t serial = raw.GetSerialNumber();
  char unused = 0;
  for (char c = 'Z'; c >= 'C' && unused == 0; --c) {
    if (!platform::DriveTable::Instance().Find(c)) unused = c;
  }
  raw.SetDriveLetter(std::string(1, static_cast<char>(unused + 32)) + ":");
  EXPECT_EQ(raw.GetStatusCode(), status::kBadDrive);
  EXPECT_EQ(raw.GetStatusText(), "Bad drive ID or drive not responding.");
  EXPECT_EQ(raw.GetDriveLetter(), std::string(1, '\0'));
  EXPECT_EQ(raw.GetSerialNumber(), serial);  // the previous drive's identity remains
}

TEST_F(ComponentTest, LargeCountsTransferOnlyTheirLow16BitsAndNeverOverrunTheBuffer) {
  TRawDiskAccessComponent raw;
  raw.SetDriveLetter(std::string(1, letter));
  raw.SetSectorNumber(0);
  raw.SetSectorCount(70000);  // 4464 sectors go to the disk; the buffer holds 70000
  EXPECT_EQ(raw.GetDiskBufferStream().Size(), 70000 * 512);
  raw.ReadDrive();
  ASSERT_EQ(raw.GetStatusCode(), status::kSuccess);
  EXPECT_EQ(BufferBytes(raw).substr(0, 4464 * 512), Dd(0, 4464 * 512));
  EXPECT_EQ(BufferBytes(raw).substr(4464 * 512, 512), std::string(512, '\0'));

  // A count set for 512-byte sectors, then a drive with larger sectors: the transfer fails
  // rather than write past the buffer.
  testsupport::FatImageOptions big;
  big.fatBits = 32;
  big.sectorSize = 4096;
  big.sizeKiB = 300000;
  testsupport::FatImage other(dir / "big.img", big);
  const char second = platform::DriveTable::Instance().Attach(other.Path().string());
  raw.SetSectorCount(2);
  raw.SetDriveLetter(std::string(1, second));
  raw.ReadDrive();
  EXPECT_EQ(raw.GetStatusText(), "Read failed. See API Error");
  EXPECT_EQ(raw.GetDiskBufferStream().Size(), 1024);
  platform::DriveTable::Instance().Detach(second);
}

TEST_F(ComponentTest, WriteDriveWritesOnlyThroughTheWritePath) {
  TRawDiskAccessComponent raw;
  raw.SetDriveLetter(std::string(1, letter));
  raw.WriteDrive();
  EXPECT_EQ(raw.GetStatusCode(), status::kNoCount);
  raw.SetSectorNumber(100);
  raw.SetSectorCount(1);
  raw.SetDiskBufferString(std::string(512, 'W'));
  raw.WriteDrive();
  EXPECT_EQ(raw.GetStatusCode(), status::kSuccess);
  EXPECT_EQ(Dd(100 * 512, 512), std::string(512, 'W'));
  const std::int64_t sectors = static_cast<std::int64_t>(std::filesystem::file_size(image->Path()) / 512);
  raw.SetSectorNumber(sectors + 10);
  raw.SetSectorCount(1);
  chmod(image->Path().c_str(), 0400);
  if (getuid() != 0) {
    raw.WriteDrive();
    EXPECT_EQ(raw.GetStatusCode(), status::kWriteFailed);
    EXPECT_EQ(raw.GetStatusText(), "Write failed.");
  }
}

}  // namespace
