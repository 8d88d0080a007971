#include "lowscan/ends/PictureEnd.h"

#include "util/ByteReader.h"
#include "util/Text.h"

namespace lowscan::ends {
namespace {

unsigned At(std::string_view bytes, std::size_t pos) { return static_cast<unsigned char>(bytes[pos]); }

}  // namespace

TPictureEnd::TPictureEnd(std::string_view extension) {
  const std::string kind = util::LowerCase(extension);
  if (kind == "jpg" || kind == "jpeg") m_kind = Kind::kJpeg;
  if (kind == "bmp") m_kind = Kind::kBitmap;
}

std::optional<std::int64_t> TPictureEnd::Feed(std::string_view bytes) {
  if (m_end || m_state == State::kGaveUp) return m_end;
  if (m_kind == Kind::kJpeg) return FeedJpeg(bytes);
  if (m_kind == Kind::kBitmap && bytes.size() >= 6) {
    const std::uint32_t size = util::ByteReader(bytes.data(), bytes.size()).U32(2);
    if (size >= 26) m_end = size;
    else m_state = State::kGaveUp;
  }
  return m_end;
}

std::optional<std::int64_t> TPictureEnd::FeedJpeg(std::string_view bytes) {
  while (m_state == State::kSegments || m_state == State::kEntropy) {
    if (m_state == State::kEntropy) {
      // Entropy-coded data: 0xFF 0x00 is a data byte, 0xFF 0xD0-0xD7 a restart,
      // 0xFF 0xFF fill; any other 0xFF pair is the next marker.
      while (m_pos + 1 < bytes.size()) {
        if (At(bytes, m_pos) != 0xFF) {
          ++m_pos;
          continue;
        }
        const unsigned next = At(bytes, m_pos + 1);
        if (next == 0x00 || (next >= 0xD0 && next <= 0xD7) || next == 0xFF) {
          m_pos += next == 0xFF ? 1 : 2;
          continue;
        }
        m_state = State::kSegments;
        break;
      }
      if (m_state == State::kEntropy) return m_end;
    }
    if (m_pos + 1 >= bytes.size()) return m_end;
    if (At(bytes, m_pos) != 0xFF) {
      m_state = State::kGaveUp;
      return m_end;
    }
    const unsigned marker = At(bytes, m_pos + 1);
    if (marker == 0xFF) {
      ++m_pos;  // fill byte before a marker
      continue;
    }
    if (marker == 0xD9) {
      m_end = static_cast<std::int64_t>(m_pos + 2);
      m_state = State::kDone;
      return m_end;
    }
    if ((marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) {
      m_pos += 2;
      continue;
    }
    if (m_pos + 3 >= bytes.size()) return m_end;
    const std::size_t length = (At(bytes, m_pos + 2) << 8) | At(bytes, m_pos + 3);
    if (length < 2) {
      m_state = State::kGaveUp;
      return m_end;
    }
    m_pos += 2 + length;
    if (marker == 0xDA) m_state = State::kEntropy;
  }
  return m_end;
}

}  // namespace lowscan::ends
