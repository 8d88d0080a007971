// Formats whose header states the size of the whole file, or the offsets and
// lengths of its last parts: Cabinet, uncompressed Flash, placeable Windows
// metafiles, Sun audio, 7-Zip, SQLite, Fujifilm raw.

#include <algorithm>
#include <string>

#include "lowscan/ends/FileEndWalkers.h"

namespace lowscan::ends {
namespace {

struct Kind {
  std::string_view name;
  std::size_t header;  // bytes read at the start
  // The file's length from the header, 0 when the header is not sound.
  std::int64_t (*size)(const TEndBytes& b);
};

std::int64_t CabSize(const TEndBytes& b) {
  return b.Is(0, "MSCF") && b.Le(4, 4) == 0 && b.Le(8, 4) >= 36 ? b.Le(8, 4) : 0;
}

std::int64_t SwfSize(const TEndBytes& b) { return b.Is(0, "FWS") && b.Le(4, 4) >= 21 ? b.Le(4, 4) : 0; }

// Placeable header (22 bytes), then the metafile header: its size in 16-bit words.
std::int64_t WmfSize(const TEndBytes& b) {
  if (b.Le(0, 4) != 0x9AC6CDD7 || b.Le(22, 2) != 1 || b.Le(24, 2) != 9) return 0;
  const std::int64_t words = b.Le(28, 4);
  return words >= 12 ? 22 + 2 * words : 0;
}

std::int64_t AuSize(const TEndBytes& b) {
  const std::uint32_t data = b.Be(4, 4), size = b.Be(8, 4);
  if (!b.Is(0, ".snd") || data < 24 || size == 0xFFFFFFFF) return 0;
  return std::int64_t{data} + size;
}

// Signature header: the next header's offset (from byte 32) and size.
std::int64_t SevenZipSize(const TEndBytes& b) {
  const std::uint64_t offset = b.Le64(12), size = b.Le64(20);
  if (!b.Is(0, "7z\xBC\xAF\x27\x1C") || size == 0 || offset > (1ull << 40) || size > (1ull << 32)) return 0;
  return static_cast<std::int64_t>(32 + offset + size);
}

// The page size (1 meaning 65536) times the page count, which the header holds
// reliably when its "valid for" number equals the change counter.
std::int64_t SqliteSize(const TEndBytes& b) {
  const std::uint32_t raw = b.Be(16, 2);
  const std::int64_t page = raw == 1 ? 65536 : raw;
  const std::uint32_t pages = b.Be(28, 4);
  if (!b.Is(0, std::string_view("SQLite format 3\0", 16)) || page < 512 || (page & (page - 1)) != 0 || pages == 0 ||
      b.Be(24, 4) != b.Be(92, 4)) {
    return 0;
  }
  return page * pages;
}

// Offsets and lengths (big-endian) of the preview, the metadata and the sensor data.
std::int64_t RafSize(const TEndBytes& b) {
  if (!b.Is(0, "FUJIFILMCCD-RAW ")) return 0;
  std::int64_t end = 0;
  for (std::size_t i = 0; i < 3; ++i) {
    const std::uint32_t offset = b.Be(84 + 8 * i, 4), length = b.Be(88 + 8 * i, 4);
    if (length != 0 && offset < 108) return 0;
    if (length != 0) end = std::max(end, std::int64_t{offset} + length);
  }
  return end;
}

constexpr Kind kKinds[] = {{"cab", 36, CabSize},     {"swf", 8, SwfSize},     {"wmf", 40, WmfSize},
                           {"au", 24, AuSize},       {"7z", 32, SevenZipSize}, {"sqlite", 100, SqliteSize},
                           {"raf", 108, RafSize}};

class DeclaredEnd : public TEndWalker<DeclaredEnd> {
 public:
  explicit DeclaredEnd(const Kind& kind) : m_kind(&kind) {}

 protected:
  void Start() override { Want(0, m_kind->header); }

  void OnBytes(std::int64_t, const Bytes& b) override {
    const std::int64_t size = m_kind->size(b);
    if (size < static_cast<std::int64_t>(m_kind->header)) return Reject();
    SetHeaderParsed();
    Finish(size);
  }

 private:
  const Kind* m_kind;
};

}  // namespace

std::unique_ptr<TFileEnd> DeclaredSize(std::string_view kind) {
  for (const Kind& k : kKinds) {
    if (k.name == kind) return std::make_unique<DeclaredEnd>(k);
  }
  return nullptr;
}

}  // namespace lowscan::ends
