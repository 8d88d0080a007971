// NTFS boot sector geometry, FILE record headers, fix-ups and attribute walks.

#include <algorithm>
#include <bit>

#include "fsscan/NtfsLayout.h"

namespace fsscan::ntfs {

bool HasFileSignature(const util::ByteReader& record) { return record.Text(0, 4) == "FILE"; }

RecordHeader ParseRecordHeader(const util::ByteReader& record) {
  RecordHeader h;
  h.usaOffset = record.U16(4);
  h.usaCount = record.U16(6);
  h.firstAttribute = record.U16(20);
  h.flags = record.U16(22);
  h.allocatedSize = record.U32(28);
  h.baseRecord = record.U64(32);
  h.recordNumber = record.U32(44);
  return h;
}

bool ApplyFixups(std::span<std::byte> record, const RecordHeader& header) {
  const std::uint64_t limit = std::min<std::uint64_t>(record.size(), header.allocatedSize);
  const util::ByteReader reader(record);
  // The first word of the array is the sequence number; the protected words follow it, one
  // per 512 bytes whatever the sector size. Every protected word is checked before any is
  // replaced, so a torn record is left as read.
  const auto inRecord = [&](std::uint64_t i) {
    return reader.Has(header.usaOffset + 2 * i, 2) && i * kFixupStride <= limit;
  };
  if (header.usaCount == 0 || !reader.Has(header.usaOffset, 2)) return true;
  const std::uint16_t sequence = reader.U16(header.usaOffset);
  for (std::uint64_t i = 1; i < header.usaCount && inRecord(i); ++i) {
    if (reader.U16(i * kFixupStride - 2) != sequence) return false;
  }
  for (std::uint64_t i = 1; i < header.usaCount && inRecord(i); ++i) {
    const std::uint64_t from = header.usaOffset + 2 * i;
    const std::uint64_t to = i * kFixupStride - 2;
    record[to] = record[from];
    record[to + 1] = record[from + 1];
  }
  return true;
}

std::optional<util::ByteReader> Attribute::ResidentValue() const {
  return bytes.Sub(bytes.U16(20), bytes.U32(16));
}

void ForEachAttribute(const util::ByteReader& record, const RecordHeader& header,
                      const std::function<void(const Attribute&)>& visit) {
  const std::uint64_t limit = std::min<std::uint64_t>(record.Size(), header.allocatedSize);
  const auto inRecord = record.Sub(0, limit);
  if (!inRecord) return;
  // Every attribute is at least a resident header long, so the walk advances each step.
  constexpr std::uint32_t kMinAttribute = 24;
  std::uint64_t offset = header.firstAttribute;
  while (inRecord->Has(offset, 4)) {
    const std::uint32_t type = inRecord->U32(offset);
    if (type == kAttrEnd) break;
    const auto length = inRecord->ReadU32LE(offset + 4);
    if (!length || *length < kMinAttribute || !inRecord->Has(offset, *length)) break;
    visit(Attribute{type, *inRecord->Sub(offset, *length), *inRecord->Sub(offset, limit - offset)});
    offset += *length;
  }
}

}  // namespace fsscan::ntfs
