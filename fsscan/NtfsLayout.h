#pragma once
// The NTFS structures the Undelete scan reads: FILE record headers with their update sequence fix-ups, attribute walks and run lists. Plain
// decoders over bounded readers; nothing here reads the volume.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "fsscan/FileRecords.h"
#include "platform/NtfsBootSector.h"
#include "util/ByteReader.h"

namespace fsscan::ntfs {

constexpr std::uint32_t kAttrStandardInformation = 0x10;
constexpr std::uint32_t kAttrFileName = 0x30;
constexpr std::uint32_t kAttrData = 0x80;
constexpr std::uint32_t kAttrEnd = 0xFFFFFFFF;

constexpr std::uint16_t kRecordInUse = 0x01;
constexpr std::uint16_t kRecordDirectory = 0x02;

// The record size of the boot sector's clusters-per-record field (the boot sector
// itself is decoded by platform::ParseBootSector).
inline std::uint64_t RecordSizeFromField(std::uint32_t field, std::uint32_t sectorsPerCluster,
                                         std::uint32_t bytesPerSector) {
  return platform::NtfsRecordSizeFromField(field, sectorsPerCluster, bytesPerSector);
}

struct RecordHeader {
  std::uint16_t usaOffset = 0;
  std::uint16_t usaCount = 0;
  std::uint16_t firstAttribute = 0;
  std::uint16_t flags = 0;
  std::uint32_t allocatedSize = 0;
  std::uint64_t baseRecord = 0;  // 0 for a base record, else the file this extension belongs to
  std::uint32_t recordNumber = 0;
};

bool HasFileSignature(const util::ByteReader& record);
RecordHeader ParseRecordHeader(const util::ByteReader& record);

// Every 512 bytes of a record, whatever the sector size, end in a protected word.
constexpr std::uint64_t kFixupStride = 512;

// Writes the update sequence words over the protected words of the record. False, and the
// record left unchanged, when a protected word differs from the sequence number: the record
// was torn or damaged and its bytes are not the ones written. Only words inside the array
// and offsets inside min(record size, allocated size) are used.
bool ApplyFixups(std::span<std::byte> record, const RecordHeader& header);

struct Attribute {
  std::uint32_t type = 0;
  util::ByteReader bytes;  // the whole attribute, header included
  util::ByteReader toRecordEnd;  // from the attribute's start to the record's end, for diagnostics
  bool NonResident() const { return bytes.U8(8) != 0; }
  std::uint8_t NameLength() const { return bytes.U8(9); }
  std::uint16_t Flags() const { return bytes.U16(12); }
  // The value of a resident attribute; std::nullopt when it does not fit the attribute.
  std::optional<util::ByteReader> ResidentValue() const;
};

// Calls `visit` for each attribute from the header's first-attribute offset until the end
// marker. The walk ends at an attribute shorter than a header or running past the record.
void ForEachAttribute(const util::ByteReader& record, const RecordHeader& header,
                      const std::function<void(const Attribute&)>& visit);

// What a FILE record holds beside its file: whether it has unnamed data at all (an empty
// file has, a folder has not), and a record for each named data stream.
struct RecordStreams {
  bool hasData = false;
  std::vector<std::unique_ptr<FileNode>> named;
};

struct Run {
  std::int64_t start = 0;
  std::int64_t length = 0;
  bool sparse = false;
  std::uint64_t headerOffset = 0;  // in the attribute, for diagnostics
};

// Decodes the run list that starts at `offset` of a non-resident attribute. It ends at a
// header byte 0, a size field wider than 8 bytes, or the end of the attribute. Starts are
// relative, the first to cluster 0; a run without offset bytes keeps the previous start.
std::vector<Run> DecodeRunList(const util::ByteReader& attribute, std::uint64_t offset);

}  // namespace fsscan::ntfs
