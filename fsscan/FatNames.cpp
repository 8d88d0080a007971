#include "fsscan/FatNames.h"

#include <array>
#include <cctype>

namespace fsscan {
namespace {

constexpr std::uint8_t kDeletedEntry = 0xE5;

// Code page 437, bytes 0x80-0xFF.
constexpr char16_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE,
    0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6,
    0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA,
    0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C,
    0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320,
    0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0};

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

}  // namespace

std::u16string LongNamePiece(const util::ByteReader& entry) {
  static constexpr int kOffsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
  std::u16string piece;
  for (int offset : kOffsets) {
    const char16_t c = entry.U16(static_cast<std::uint64_t>(offset));
    if (c == 0x0000) break;
    if (c == 0xFFFF) continue;
    piece.push_back(c);
  }
  return piece;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    AppendUtf8(out, c);
  }
  return out;
}

std::string OemToUtf8(std::string_view text) {
  std::string out;
  for (char ch : text) {
    const auto byte = static_cast<unsigned char>(ch);
    AppendUtf8(out, byte < 0x80 ? byte : kCp437High[byte - 0x80]);
  }
  return out;
}

std::uint8_t ShortNameChecksum(const util::ByteReader& entry) {
  std::uint8_t sum = 0;
  for (std::uint64_t i = 0; i < 11; ++i) {
    sum = static_cast<std::uint8_t>(((sum & 1) << 7) + (sum >> 1) + entry.U8(i));
  }
  return sum;
}

void LongNameAssembler::Add(const util::ByteReader& entry) {
  const bool isDeleted = entry.U8(0) == kDeletedEntry;
  const std::uint8_t sum = entry.U8(13);
  // A live set starts at its flagged last piece; a deleted set is a run of deleted
  // entries with one checksum (their sequence bytes are gone).
  const bool startsNewSet = isDeleted ? (!m_active || !m_deleted || m_checksum != sum)
                                      : ((entry.U8(0) & 0x40) != 0 || !m_active || m_deleted || m_checksum != sum);
  if (startsNewSet) {
    Clear();
    m_active = true;
    m_deleted = isDeleted;
    m_checksum = sum;
  }
  m_text.insert(0, LongNamePiece(entry));
}

std::string LongNameAssembler::NameFor(const util::ByteReader& shortEntry) const {
  if (!m_active || m_text.empty()) return {};
  const bool isDeleted = shortEntry.U8(0) == kDeletedEntry;
  if (isDeleted != m_deleted) return {};
  // A live short entry proves the tie with its checksum; a deleted one has lost the
  // first byte the checksum covers, so the run's own checksum has to do.
  if (!isDeleted && ShortNameChecksum(shortEntry) != m_checksum) return {};
  return Utf16ToUtf8(m_text);
}

bool LongNameAssembler::ChecksumMatchesDeleted(const util::ByteReader& shortEntry) const {
  if (!AwaitsDeletedShortEntry() || !shortEntry.Has(0, 11)) return false;
  const char16_t first = m_text.front();
  if (first <= 0x20 || first >= 0x7F || first == u'.') return false;
  std::array<std::byte, 11> name{};
  for (std::uint64_t i = 0; i < name.size(); ++i) name[i] = static_cast<std::byte>(shortEntry.U8(i));
  const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(first)));
  name[0] = static_cast<std::byte>(upper);
  return ShortNameChecksum(util::ByteReader(name.data(), name.size())) == m_checksum;
}

}  // namespace fsscan
