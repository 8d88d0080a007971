#pragma once
// exFAT directory entries: the entry sets that describe files and folders (a file entry,
// its stream extension, its name entries), live or deleted, checked by their set
// checksum; and the entries of the root directory that describe the volume (label,
// allocation bitmap). Pure decoding of a directory's bytes; nothing is read here.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "util/ByteReader.h"
#include "util/DateTime.h"

namespace fsscan::exfat {

constexpr std::uint8_t kInUse = 0x80;
constexpr std::uint8_t kFileEntry = 0x05;      // 0x85 in use
constexpr std::uint8_t kStreamEntry = 0x40;    // 0xC0 in use
constexpr std::uint8_t kNameEntry = 0x41;      // 0xC1 in use
constexpr std::uint8_t kBitmapEntry = 0x81;
constexpr std::uint8_t kLabelEntry = 0x83;
constexpr std::uint16_t kAttrDirectory = 0x10;
constexpr std::uint8_t kNoFatChain = 0x02;
// The longest name: 255 UTF-16 units in 17 name entries of 15.
constexpr unsigned kMaxNameLength = 255;
constexpr unsigned kNameUnitsPerEntry = 15;

// One file or folder as its entry set describes it.
struct EntrySet {
  std::uint64_t offset = 0;  // byte offset of the file entry in the directory
  unsigned entries = 0;      // entries the set takes, the file entry included
  bool deleted = false;      // the in-use bit was cleared on deletion
  std::uint16_t attributes = 0;
  util::TDateTime modified = 0;  // local time; 0 when not a valid date
  std::uint8_t streamFlags = 0;
  std::uint32_t firstCluster = 0;
  std::uint64_t dataLength = 0;
  std::uint64_t validDataLength = 0;
  std::string name;          // UTF-8
  bool nameCut = false;      // the name length claims more than its name entries hold

  bool IsDirectory() const { return (attributes & kAttrDirectory) != 0; }
  bool NoFatChain() const { return (streamFlags & kNoFatChain) != 0; }
};

// A file entry that does not make a usable set, and why.
struct RejectedSet {
  std::uint64_t offset = 0;
  std::string reason;
};

struct BitmapEntry {
  std::uint8_t flags = 0;  // bit 0: which of two bitmaps (transaction-safe exFAT)
  std::uint32_t firstCluster = 0;
  std::uint64_t dataLength = 0;
};

struct Directory {
  std::vector<EntrySet> sets;
  std::vector<RejectedSet> rejected;
  std::optional<std::string> label;  // root directory only
  std::vector<BitmapEntry> bitmaps;  // root directory only
};

// Decodes every entry set in a directory's bytes, up to the end-of-directory mark. A
// deleted set's checksum is taken with the in-use bits it had.
Directory ParseDirectory(const util::ByteReader& bytes);

// The set checksum of `count` entries starting at `set` (the file entry's own checksum field
// left out); with `asInUse`, the in-use bit of each entry type counts as set.
std::uint16_t SetChecksum(const util::ByteReader& set, unsigned count, bool asInUse);

// A timestamp with its 10 ms increment and UTC offset byte, as local time of this machine;
// 0 for an impossible date.
util::TDateTime TimestampToDateTime(std::uint32_t stamp, std::uint8_t tenMs, std::uint8_t utcOffset);

}  // namespace fsscan::exfat
