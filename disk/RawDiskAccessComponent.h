#pragma once
// TRawDiskAccessComponent: the property-style drive access used by both scanners
// and the front ends. Select a drive, set a position and a count in sectors or
// clusters, call ReadDrive, then take the bytes from DiskBufferStream. Every setter
// and transfer leaves StatusCode/StatusText; nothing throws or shows anything.
// Owned by its user; single-threaded.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "disk/RawDiskAccess.h"
#include "disk/UnreadableSectors.h"
#include "util/MemoryStream.h"

namespace platform {
class Volume;
}

namespace disk {

namespace status {
inline constexpr std::int32_t kReady = 0;
inline constexpr std::int32_t kDriveNotSelected = 1;
inline constexpr std::int32_t kBadDrive = 2;
inline constexpr std::int32_t kClusterTooHigh = 10;
inline constexpr std::int32_t kBufferSizeMismatch = 20;
inline constexpr std::int32_t kBufferSizeNotSet = 21;
inline constexpr std::int32_t kNoCount = 30;
inline constexpr std::int32_t kWriteFailed = 5001;
inline constexpr std::int32_t kReading = 9997;
inline constexpr std::int32_t kWriting = 9998;
inline constexpr std::int32_t kSuccess = 9999;
}  // namespace status

class TRawDiskAccessComponent {
 public:
  TRawDiskAccessComponent();

  std::string GetDriveLetter() const;  // one character; "\0" when none is selected
  void SetDriveLetter(std::string_view value);
  std::int32_t GetLogicalDriveType() const;  // asked anew at every read

  std::int32_t GetDriveClusterSize() const { return m_diskInfo.ClusterSize; }
  std::int32_t GetDriveSectorSize() const { return m_diskInfo.SectorSize; }
  std::int32_t GetSectorsPerCluster() const { return m_diskInfo.SectorsPerCluster; }
  std::int64_t GetTotalClusterCount() const { return m_diskInfo.TotalClusters; }
  std::int64_t GetFreeClusterCount() const { return m_diskInfo.FreeClusters; }
  std::int64_t GetTotalSpace() const { return m_diskInfo.TotalDiskSpace; }
  std::int64_t GetFreeSpace() const { return m_diskInfo.FreeDiskSpace; }
  std::int64_t GetSerialNumber() const { return static_cast<std::int64_t>(m_mediaId.SerialNumber); }
  std::string GetVolumeName() const { return m_mediaId.VolumeName; }
  std::string GetFileSystem() const { return m_mediaId.FileSystem; }

  std::int64_t GetClusterNumber() const { return m_clusterNumber; }
  void SetClusterNumber(std::int64_t value);
  std::int64_t GetSectorNumber() const { return m_sectorNumber; }
  void SetSectorNumber(std::int64_t value);
  std::int64_t GetClusterCount() const { return m_clusterCount; }
  void SetClusterCount(std::int64_t value);
  std::int64_t GetSectorCount() const { return m_sectorCount; }
  void SetSectorCount(std::int64_t value);

  util::TMemoryStream& GetDiskBufferStream() { return m_buffer; }
  void SetDiskBufferStream(const util::TMemoryStream& value);
  const std::string& GetDiskBufferString() const { return m_bufferText; }
  void SetDiskBufferString(std::string_view value);

  std::int32_t GetStatusCode() const { return m_statusCode; }
  const std::string& GetStatusText() const { return m_statusText; }

  void ReadDrive();
  void WriteDrive();
  // Reads `count` sectors from `sector` straight into `into` (which must hold them), leaving
  // position, counts and buffer as they are: for reads of many megabytes in a row, which
  // would otherwise be zero-filled and copied once more each. Status as ReadDrive leaves it.
  void ReadSectorsInto(std::int64_t sector, std::int64_t count, std::span<std::byte> into);

  // Where the sectors of failed reads are gathered (and taken out again when a later read
  // of them succeeds); none by default. Shared by the components of one scan run.
  void SetUnreadableSectors(std::shared_ptr<TUnreadableSectors> list) { m_unreadable = std::move(list); }

 private:
  bool RequireDrive();
  void ResizeBuffer(std::int64_t bytes);
  void SetStatus(std::int32_t code, std::string text);
  void SetSuccess();
  bool Transfer(bool write);
  // The status a read of `count` sectors from `sector` leaves: reading, then success or
  // the system's error.
  void RunRead(std::int64_t sector, std::int64_t count, const std::function<bool()>& read);

  char m_driveLetter = 0;
  std::uint8_t m_driveNumber = 0;
  // The selected drive's volume, opened (or taken over, when still the same medium) at
  // selection and held for the transfers: they neither reopen nor probe it.
  std::shared_ptr<const platform::Volume> m_volume;
  TDiskSizeInformation m_diskInfo;
  TMediaIdentifier m_mediaId;
  std::int64_t m_clusterNumber = 0;
  std::int64_t m_sectorNumber = 0;
  std::int64_t m_clusterCount = 0;
  std::int64_t m_sectorCount = 0;
  util::TMemoryStream m_buffer;
  std::string m_bufferText;
  bool m_bufferTextZeroed = true;  // m_bufferText holds only zero bytes
  std::int32_t m_statusCode = status::kReady;
  std::string m_statusText = "Ready.";
  std::shared_ptr<TUnreadableSectors> m_unreadable;
};

}  // namespace disk
