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

}  // namespace fsscan
