#include "fsscan/ExFatEntries.h"

#include <cmath>

#include "fsscan/FatNames.h"

namespace fsscan::exfat {
namespace {

constexpr std::uint64_t kEntryBytes = 32;
// Days from 1 January 1601 (Windows file times) to 30 December 1899 (date-time values).
constexpr double kFileTimeEpochDays = 109205.0;
constexpr double kFileTimeUnitsPerDay = 864000000000.0;

// The entry type without its in-use bit, when the entry is of the set's state.
bool IsSecondary(std::uint8_t type, std::uint8_t code, bool deleted) {
  return type == (deleted ? code : static_cast<std::uint8_t>(code | kInUse));
}

std::string LabelOf(const util::ByteReader& entry) {
  const unsigned count = std::min<unsigned>(entry.U8(1), 11);
  std::u16string text;
  for (unsigned i = 0; i < count; ++i) text.push_back(static_cast<char16_t>(entry.U16(2 + 2 * i)));
  return Utf16ToUtf8(text);
}

// The set that starts at `offset`, or why it is not one.
std::optional<EntrySet> DecodeSet(const util::ByteReader& bytes, std::uint64_t offset, std::string& reason) {
  const std::uint8_t type = bytes.U8(offset);
  const bool deleted = (type & kInUse) == 0;
  const unsigned secondaries = bytes.U8(offset + 1);
  // A stream extension and at least one name entry follow every file entry.
  if (secondaries < 2) {
    reason = "fewer than two secondary entries";
    return std::nullopt;
  }
  const unsigned count = secondaries + 1;
  const auto set = bytes.Sub(offset, std::uint64_t{count} * kEntryBytes);
  if (!set) {
    reason = "the set runs past the end of the directory";
    return std::nullopt;
  }
  for (unsigned i = 1; i < count; ++i) {
    // Secondary entries carry bit 6; in a deleted set every entry lost its in-use bit.
    const std::uint8_t t = set->U8(std::uint64_t{i} * kEntryBytes);
    if ((t & 0x40) == 0 || ((t & kInUse) == 0) != deleted) {
      reason = "entry " + std::to_string(i) + " does not belong to the set";
      return std::nullopt;
    }
  }
  if (SetChecksum(*set, count, deleted) != set->U16(2)) {
    reason = "set checksum mismatch";
    return std::nullopt;
  }
  const util::ByteReader stream = *set->Sub(kEntryBytes, kEntryBytes);
  if (!IsSecondary(stream.U8(0), kStreamEntry, deleted)) {
    reason = "no stream extension after the file entry";
    return std::nullopt;
  }
  EntrySet e;
  e.offset = offset;
  e.entries = count;
  e.deleted = deleted;
  e.attributes = set->U16(4);
  e.modified = TimestampToDateTime(set->U32(12), set->U8(21), set->U8(23));
  e.streamFlags = stream.U8(1);
  const unsigned nameLength = stream.U8(3);
  e.validDataLength = stream.U64(8);
  e.firstCluster = stream.U32(20);
  e.dataLength = stream.U64(24);
  // The name entries follow the stream extension; the name is as long as its length says,
  // as far as they hold it.
  std::u16string name;
  for (unsigned i = 2; i < count && name.size() < nameLength; ++i) {
    const util::ByteReader entry = *set->Sub(std::uint64_t{i} * kEntryBytes, kEntryBytes);
    if (!IsSecondary(entry.U8(0), kNameEntry, deleted)) break;
    for (unsigned c = 0; c < kNameUnitsPerEntry && name.size() < nameLength; ++c) {
      name.push_back(static_cast<char16_t>(entry.U16(2 + 2 * c)));
    }
  }
  e.nameCut = name.size() < nameLength;
  if (const auto end = name.find(u'\0'); end != std::u16string::npos) name.resize(end);
  if (name.empty()) {
    reason = "no name";
    return std::nullopt;
  }
  e.name = Utf16ToUtf8(name);
  return e;
}

}  // namespace

std::uint16_t SetChecksum(const util::ByteReader& set, unsigned count, bool asInUse) {
  std::uint16_t sum = 0;
  const std::uint64_t length = std::min<std::uint64_t>(std::uint64_t{count} * kEntryBytes, set.Size());
  for (std::uint64_t i = 0; i < length; ++i) {
    if (i == 2 || i == 3) continue;
    std::uint8_t byte = set.U8(i);
    if (asInUse && i % kEntryBytes == 0) byte |= kInUse;
    sum = static_cast<std::uint16_t>(((sum & 1) != 0 ? 0x8000 : 0) + (sum >> 1) + byte);
  }
  return sum;
}

util::TDateTime TimestampToDateTime(std::uint32_t stamp, std::uint8_t tenMs, std::uint8_t utcOffset) {
  const int ms = tenMs < 200 ? tenMs * 10 : 0;
  const auto stored = util::EncodeDateTime(1980 + static_cast<int>(stamp >> 25), (stamp >> 21) & 0x0F,
                                           (stamp >> 16) & 0x1F, (stamp >> 11) & 0x1F, (stamp >> 5) & 0x3F,
                                           static_cast<int>(stamp & 0x1F) * 2 + ms / 1000, ms % 1000);
  if (!stored) return 0;
  // Without a valid offset the time is the writer's local time, kept as stored, as FAT's is.
  if ((utcOffset & 0x80) == 0) return *stored;
  // Seven-bit two's complement count of quarter hours east of UTC.
  const int quarters = (utcOffset & 0x40) != 0 ? static_cast<int>(utcOffset & 0x7F) - 128 : utcOffset & 0x7F;
  const double utc = *stored - quarters * 15.0 / 1440.0;
  if (utc + kFileTimeEpochDays < 0) return 0;
  return util::MyFileTimeToDateTime(static_cast<std::uint64_t>(std::llround((utc + kFileTimeEpochDays) * kFileTimeUnitsPerDay)));
}

Directory ParseDirectory(const util::ByteReader& bytes) {
  Directory dir;
  for (std::uint64_t offset = 0; bytes.Has(offset, kEntryBytes);) {
    const std::uint8_t type = bytes.U8(offset);
    if (type == 0x00) break;  // end of directory: nothing was ever written past it
    if ((type & 0x7F) == kFileEntry) {
      std::string reason;
      if (auto set = DecodeSet(bytes, offset, reason)) {
        offset += std::uint64_t{set->entries} * kEntryBytes;
        dir.sets.push_back(std::move(*set));
        continue;
      }
      // The entries after a rejected file entry are looked at on their own: a set written
      // later over part of this one starts among them.
      dir.rejected.push_back({offset, reason});
    } else if (type == kLabelEntry) {
      dir.label = LabelOf(*bytes.Sub(offset, kEntryBytes));
    } else if (type == kBitmapEntry) {
      dir.bitmaps.push_back({bytes.U8(offset + 1), bytes.U32(offset + 20), bytes.U64(offset + 24)});
    }
    offset += kEntryBytes;
  }
  return dir;
}

}  // namespace fsscan::exfat
