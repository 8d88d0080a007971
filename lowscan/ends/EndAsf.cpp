// Windows Media (ASF): top-level objects, each a GUID and a 64-bit size: the
// header, the data and the index objects; the file ends where no known one follows.
// The header's stream properties tell Windows Media Video from Audio.

#include <algorithm>
#include <array>

#include "lowscan/ends/FileEndWalkers.h"

namespace lowscan::ends {
namespace {

// First four bytes of the top-level object GUIDs: header, data, simple index,
// index, media object index, timecode index.
constexpr std::array<std::uint32_t, 6> kTopLevel = {0x3026B275, 0x3626B275, 0x90080033,
                                                    0xD329E2D6, 0xF803B1FE, 0xD03FB73C};

// The header's stream properties objects, read this far, tell sound from video.
constexpr std::int64_t kHeaderLook = 1 << 16;
constexpr std::uint32_t kStreamProperties = 0xB7DC0791, kAudio = 0xF8699E40, kVideo = 0xBC19EFC0;

class AsfEnd : public TEndWalker<AsfEnd> {
 protected:
  void Start() override { Want(0, 24); }

  void OnBytes(std::int64_t at, const Bytes& b) override {
    if (m_next > 0) return OnHeaderObjects(b);
    const std::uint32_t head = b.Be(0, 4);
    bool known = false;
    for (const std::uint32_t k : kTopLevel) known = known || k == head;
    if (at == 0 && head != kTopLevel[0]) return Reject();
    if (!known) return Finish(at);
    const std::uint64_t size = b.Le64(16);
    if (size < 24 || size > static_cast<std::uint64_t>(Limit() - at)) return Reject();
    SetHeaderParsed();
    const std::int64_t next = at + static_cast<std::int64_t>(size);
    if (at == 0 && size > 30) {
      // Behind the header's GUID, size, object count and two reserved bytes.
      m_next = next;
      return Want(30, static_cast<std::size_t>(std::min(next, kHeaderLook) - 30));
    }
    ObjectAt(next);
  }

 private:
  void OnHeaderObjects(const Bytes& b) {
    bool audio = false, video = false;
    for (std::size_t at = 0; at + 40 <= b.Size();) {
      if (b.Le(at, 4) == kStreamProperties) {
        audio = audio || b.Le(at + 24, 4) == kAudio;
        video = video || b.Le(at + 24, 4) == kVideo;
      }
      const std::uint64_t size = b.Le64(at + 16);
      if (size < 24 || size > b.Size() - at) break;
      at += static_cast<std::size_t>(size);
    }
    if (video) SetShownType("wmv");
    else if (audio) SetShownType("wma");
    const std::int64_t next = m_next;
    m_next = 0;
    ObjectAt(next);
  }

  void ObjectAt(std::int64_t next) {
    if (next + 24 > Limit()) return Finish(next);
    Want(next, 24);
  }

  std::int64_t m_next = 0;  // behind the header object, while its objects are read
};

}  // namespace

std::unique_ptr<TFileEnd> Asf() { return std::make_unique<AsfEnd>(); }

}  // namespace lowscan::ends
