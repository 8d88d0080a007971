// NTFS run lists: where the clusters of a non-resident attribute lie.

#include "fsscan/NtfsLayout.h"

namespace fsscan::ntfs {

std::vector<Run> DecodeRunList(const util::ByteReader& attribute, std::uint64_t offset) {
  std::vector<Run> runs;
  // Starts are added with wrap-around so that a hostile offset cannot overflow; values
  // outside the volume are reported by the caller, not hidden here.
  std::uint64_t start = 0;
  while (attribute.Has(offset, 1)) {
    const std::uint8_t header = attribute.U8(offset);
    if (header == 0) break;
    const unsigned lengthBytes = header & 0x0F;
    const unsigned offsetBytes = header >> 4;
    if (lengthBytes == 0 || lengthBytes > 8 || offsetBytes > 8) break;
    const auto length = attribute.ReadUnsigned(offset + 1, lengthBytes);
    if (!length) break;
    Run run;
    run.headerOffset = offset;
    run.length = static_cast<std::int64_t>(*length);
    if (offsetBytes == 0) {
      run.sparse = true;
    } else {
      const auto delta = attribute.ReadSigned(offset + 1 + lengthBytes, offsetBytes);
      if (!delta) break;
      start += static_cast<std::uint64_t>(*delta);
    }
    run.start = static_cast<std::int64_t>(start);
    runs.push_back(run);
    offset += 1 + lengthBytes + offsetBytes;
  }
  return runs;
}

}  // namespace fsscan::ntfs
