#pragma once
// Where a kept picture ends, found while its bytes are collected: a JPEG at its
// end-of-image marker (walking the segments, so a thumbnail's marker inside the
// Exif block does not count), a bitmap at the size its header gives. The picture
// check decodes no further, so the carver keeps no more than this for it; the
// carved file itself still runs to its split point.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lowscan::ends {

class TPictureEnd {
 public:
  explicit TPictureEnd(std::string_view extension);

  // `bytes` are all the picture's bytes so far (growing between calls). The end,
  // once known; nothing while unknown or for types it does not follow.
  std::optional<std::int64_t> Feed(std::string_view bytes);

 private:
  enum class Kind { kNone, kJpeg, kBitmap };
  enum class State { kSegments, kEntropy, kDone, kGaveUp };
  std::optional<std::int64_t> FeedJpeg(std::string_view bytes);

  Kind m_kind = Kind::kNone;
  State m_state = State::kSegments;
  std::size_t m_pos = 2;  // behind the start-of-image marker
  std::optional<std::int64_t> m_end;
};

}  // namespace lowscan::ends
