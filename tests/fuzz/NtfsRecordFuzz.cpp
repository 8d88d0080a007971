// One MFT FILE record: update-sequence fix-ups, the attribute walk, the run lists of
// non-resident attributes and the record's decoding into a file record and one for
// each named data stream. The first input byte picks the sector size the fix-ups assume.

#include <vector>

#include "disk/RawDiskAccessComponent.h"
#include "fsscan/MekFATScan.h"
#include "fsscan/NtfsLayout.h"
#include "tests/fuzz/FuzzTarget.h"

namespace {

constexpr std::uint32_t kSectorSizes[] = {512, 1024, 2048, 4096, 256, 0};

void WalkAttributes(std::span<std::byte> record) {
  const util::ByteReader reader(record);
  if (!fsscan::ntfs::HasFileSignature(reader)) return;
  const fsscan::ntfs::RecordHeader header = fsscan::ntfs::ParseRecordHeader(reader);
  // The walk goes on over a damaged record too: the decoders must hold on any bytes.
  (void)fsscan::ntfs::ApplyFixups(record, header);
  fsscan::ntfs::ForEachAttribute(reader, header, [](const fsscan::ntfs::Attribute& attribute) {
    (void)attribute.NameLength();
    (void)attribute.Flags();
    if (!attribute.NonResident()) {
      (void)attribute.ResidentValue();
      return;
    }
    // The run list offset as the attribute gives it, and every other start a hostile
    // record could claim.
    (void)fsscan::ntfs::DecodeRunList(attribute.bytes, attribute.bytes.U16(32));
    for (std::uint64_t offset = 0; offset < attribute.bytes.Size() && offset < 96; offset += 8) {
      (void)fsscan::ntfs::DecodeRunList(attribute.bytes, offset);
    }
  });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::uint32_t bytesPerSector = kSectorSizes[data[0] % std::size(kSectorSizes)];
  std::vector<std::byte> record(reinterpret_cast<const std::byte*>(data) + 1,
                                reinterpret_cast<const std::byte*>(data) + size);
  std::vector<std::byte> copy = record;
  WalkAttributes(copy);

  // Decoding needs a scanner; its drive stays unselected, so no cluster is read.
  static disk::TRawDiskAccessComponent raw;
  fsscan::TMekFATScan scanner;
  scanner.SetRAW(&raw);
  fsscan::ntfs::RecordStreams streams;
  (void)scanner.DecodeMFTRecord(record, bytesPerSector, (data[0] & 0x80) != 0, (data[0] & 0x40) != 0 ? &streams : nullptr);
  return 0;
}
