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

void ApplyFixups(std::span<std::byte> record, const RecordHeader& header, std::uint32_t bytesPerSector) {
  if (bytesPerSector < 2) return;
  const std::uint64_t limit = std::min<std::uint64_t>(record.size(), header.allocatedSize);
  const util::ByteReader reader(record);
  // The first word of the array is the sequence number; the sector words follow it.
  for (std::uint64_t i = 1; i < header.usaCount; ++i) {
    const std::uint64_t from = header.usaOffset + 2 * i;
    const std::uint64_t to = i * bytesPerSector - 2;
    if (!reader.Has(from, 2) || to + 2 > limit) break;
    record[to] = record[from];
    record[to + 1] = record[from + 1];
  }
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
