#pragma once
// Names in FAT directory entries: long-name pieces (UTF-16), 8.3 names in the
// OEM code page (437), the checksum that ties a long name to its short entry.

#include <cstdint>
#include <string>
#include <string_view>

#include "util/ByteReader.h"

namespace fsscan {

// The up to 13 characters of one long-name entry, ending at U+0000, without the
// U+FFFF padding.
std::u16string LongNamePiece(const util::ByteReader& entry);
// UTF-16 to UTF-8; unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);
// OEM code page 437 to UTF-8.
std::string OemToUtf8(std::string_view text);
// The checksum of the 11 name bytes of a short entry, as long-name entries carry it.
std::uint8_t ShortNameChecksum(const util::ByteReader& entry);

// The long name gathered from the long-name entries before a short entry. One assembler
// lives for a whole directory, so a set split across two clusters or runs of the
// directory's chain comes together.
class LongNameAssembler {
 public:
  void Clear() { *this = {}; }
  // Adds one long-name entry. Pieces are stored last first, so each goes in front.
  void Add(const util::ByteReader& entry);
  // The name for the short entry that follows, if it belongs to it; empty otherwise.
  std::string NameFor(const util::ByteReader& shortEntry) const;
  // Deleted pieces gathered and still waiting for their short entry.
  bool AwaitsDeletedShortEntry() const { return m_active && m_deleted && !m_text.empty(); }
  std::uint8_t Checksum() const { return m_checksum; }
  // Whether a deleted short entry is the one the gathered name was made for: its lost first
  // byte is the upper-cased first character of the long name, as Windows and mtools derive
  // 8.3 names, and with it the checksum must match.
  bool ChecksumMatchesDeleted(const util::ByteReader& shortEntry) const;

 private:
  std::u16string m_text;
  std::uint8_t m_checksum = 0;
  bool m_deleted = false;
  bool m_active = false;
};

}  // namespace fsscan
