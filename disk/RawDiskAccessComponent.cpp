#include "disk/RawDiskAccessComponent.h"

#include <functional>
#include <limits>

#include "platform/DriveQueries.h"
#include "platform/DriveTable.h"
#include "platform/LastError.h"
#include "platform/Volume.h"

namespace disk {

TRawDiskAccessComponent::TRawDiskAccessComponent() = default;

std::string TRawDiskAccessComponent::GetDriveLetter() const { return std::string(1, m_driveLetter); }

std::int32_t TRawDiskAccessComponent::GetLogicalDriveType() const {
  return platform::GetDriveTypeOf(std::string(1, m_driveLetter) + ":\\");
}

void TRawDiskAccessComponent::SetStatus(std::int32_t code, std::string text) {
  m_statusCode = code;
  m_statusText = std::move(text);
}

void TRawDiskAccessComponent::SetSuccess() { SetStatus(status::kSuccess, "Success!"); }

bool TRawDiskAccessComponent::RequireDrive() {
  if (m_driveLetter != 0) return true;
  SetStatus(status::kDriveNotSelected, "Drive not selected first.");
  return false;
}

void TRawDiskAccessComponent::SetDriveLetter(std::string_view value) {
  if (value.empty()) return;
  char letter = value[0];
  if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
  const int type = platform::GetDriveTypeOf(std::string(1, letter) + ":\\");
  if (type == platform::kDriveUnknown || type == platform::kDriveNoRootDir) {
    SetStatus(status::kBadDrive, "Bad drive ID or drive not responding.");
    m_driveLetter = 0;
    m_driveNumber = 0;
    m_volume.reset();
    return;
  }
  m_driveLetter = letter;
  m_driveNumber = platform::DriveNumberOf(letter);
  // Taken before the sizes and identity so that they, and every transfer, use it.
  m_volume = platform::Volume::Choose(letter);
  TRawDiskAccess::RDAFindDiskSizeInformation(std::string(1, letter), m_diskInfo);
  m_mediaId = TRawDiskAccess::RDAGetMediaIdentifier(letter);
  SetSuccess();
}

void TRawDiskAccessComponent::ResizeBuffer(std::int64_t bytes) {
  // The buffer text and stream always change together, both zero-filled.
  // Both are zeroed in place rather than one copied from the other, and the text
  // only when it holds something: a scan sizes the buffer before every transfer.
  if (!m_bufferTextZeroed || m_bufferText.size() != static_cast<std::size_t>(bytes)) {
    m_bufferText.assign(static_cast<std::size_t>(bytes), '\0');
    m_bufferTextZeroed = true;
  }
  m_buffer.SetSize(0);
  m_buffer.SetSize(bytes);
}

void TRawDiskAccessComponent::SetClusterNumber(std::int64_t value) {
  if (!RequireDrive()) return;
  if (value > m_diskInfo.TotalClusters) {
    SetStatus(status::kClusterTooHigh, "Cluster number too high.");
    return;
  }
  m_clusterNumber = value;
  m_sectorNumber = 0;
  m_sectorCount = 0;
  if (m_clusterCount > 0) ResizeBuffer(m_clusterCount * m_diskInfo.ClusterSize);
  SetSuccess();
}

void TRawDiskAccessComponent::SetSectorNumber(std::int64_t value) {
  if (!RequireDrive()) return;
  m_sectorNumber = value;
  m_clusterNumber = 0;
  m_clusterCount = 0;
  if (m_sectorCount > 0) ResizeBuffer(m_sectorCount * m_diskInfo.SectorSize);
  SetSuccess();
}

void TRawDiskAccessComponent::SetClusterCount(std::int64_t value) {
  if (!RequireDrive()) return;
  m_clusterCount = value;
  m_sectorNumber = 0;
  m_sectorCount = 0;
  if (value > 0) ResizeBuffer(value * m_diskInfo.ClusterSize);
  SetSuccess();
}

void TRawDiskAccessComponent::SetSectorCount(std::int64_t value) {
  if (!RequireDrive()) return;
  m_sectorCount = value;
  m_clusterNumber = 0;
  m_clusterCount = 0;
  if (value > 0) ResizeBuffer(value * m_diskInfo.SectorSize);
  SetSuccess();
}

void TRawDiskAccessComponent::SetDiskBufferString(std::string_view value) {
  if (!RequireDrive()) return;
  if (m_buffer.Size() == 0) {
    SetStatus(status::kBufferSizeNotSet, "Buffer size not set first.");
    return;
  }
  if (value.size() != m_bufferText.size()) {
    SetStatus(status::kBufferSizeMismatch, "Buffer size mismatch.");
    return;
  }
  m_bufferText.assign(value);
  m_bufferTextZeroed = false;
  m_buffer.SetPosition(0);
  m_buffer.Write(value);
  m_buffer.SetSize(static_cast<std::int64_t>(value.size()));
  SetSuccess();
}

void TRawDiskAccessComponent::SetDiskBufferStream(const util::TMemoryStream& value) {
  if (!RequireDrive()) return;
  if (m_buffer.Size() == 0) {
    SetStatus(status::kBufferSizeNotSet, "Buffer size not set first.");
    return;
  }
  if (value.Size() != m_buffer.Size()) {
    SetStatus(status::kBufferSizeMismatch, "Buffer size mismatch.");
    return;
  }
  if (&value != &m_buffer) {
    m_buffer.Assign(value.Bytes());
    m_bufferText.assign(value.View());
    m_bufferTextZeroed = false;
  }
  SetSuccess();
}

bool TRawDiskAccessComponent::Transfer(bool write) {
  // Positions go on whole (a negative one cannot be read); counts keep their low 16 bits.
  const auto whole = [](std::int64_t v) { return static_cast<std::uint64_t>(v); };
  const auto low16 = [](std::int64_t v) { return static_cast<std::uint16_t>(static_cast<std::uint64_t>(v)); };
  const std::span<std::byte> memory = m_buffer.MutableBytes();
  if (m_clusterCount > 0) {
    return write ? TRawDiskAccess::RDAWriteClusters(m_driveNumber, whole(m_clusterNumber), low16(m_clusterCount), memory)
                 : TRawDiskAccess::RDAReadClusters(m_driveNumber, whole(m_clusterNumber), low16(m_clusterCount), memory);
  }
  return write ? TRawDiskAccess::RDAWriteSectors(m_driveNumber, whole(m_sectorNumber), low16(m_sectorCount), memory)
               : TRawDiskAccess::RDAReadSectors(m_driveNumber, whole(m_sectorNumber), low16(m_sectorCount), memory);
}

void TRawDiskAccessComponent::ReadDrive() {
  if (m_clusterCount == 0 && m_sectorCount == 0) {
    SetStatus(status::kNoCount, "No cluster or sector count provided.");
    return;
  }
  // The sectors the transfer covers, as it computes them: counts keep their low 16 bits.
  const std::int64_t spc = m_diskInfo.SectorsPerCluster;
  const auto low16 = [](std::int64_t v) { return std::int64_t{static_cast<std::uint16_t>(static_cast<std::uint64_t>(v))}; };
  const bool clusters = m_clusterCount > 0;
  RunRead(clusters ? m_clusterNumber * spc : m_sectorNumber,
          clusters ? low16(m_clusterCount) * spc : low16(m_sectorCount), [this] { return Transfer(false); });
}

void TRawDiskAccessComponent::RunRead(std::int64_t sector, std::int64_t count, const std::function<bool()>& read) {
  SetStatus(status::kReading, "Reading...");
  platform::SetLastError(0);
  if (read()) {
    SetSuccess();
    if (m_unreadable) m_unreadable->Remove(sector, count);
    return;
  }
  const auto error = platform::GetLastError();
  SetStatus(static_cast<std::int32_t>(error), "Read failed. See API Error");
  // A short read at the end of the drive (no error) and a refusal of the whole drive are
  // no unreadable sectors.
  if (m_unreadable && error != platform::kErrorSuccess && error != platform::kErrorAccessDenied) {
    m_unreadable->Add(sector, count);
  }
}

void TRawDiskAccessComponent::ReadSectorsInto(std::int64_t sector, std::int64_t count, std::span<std::byte> into) {
  if (!RequireDrive()) return;
  const std::int64_t bytes = count * m_diskInfo.SectorSize;
  if (count <= 0 || count > 0xFFFF || sector < 0 || static_cast<std::int64_t>(into.size()) < bytes) {
    SetStatus(status::kBufferSizeMismatch, "Buffer size mismatch.");
    return;
  }
  RunRead(sector, count, [&] {
    return TRawDiskAccess::RDAReadSectors(m_driveNumber, static_cast<std::uint64_t>(sector),
                                          static_cast<std::uint16_t>(count), into.first(static_cast<std::size_t>(bytes)));
  });
}

void TRawDiskAccessComponent::WriteDrive() {
  if (m_clusterCount == 0 && m_sectorCount == 0) {
    SetStatus(status::kNoCount, "No cluster or sector count provided.");
    return;
  }
  SetStatus(status::kWriting, "Writing...");
  if (Transfer(true)) {
    SetSuccess();
  } else {
    SetStatus(status::kWriteFailed, "Write failed.");
  }
}

}  // namespace disk
