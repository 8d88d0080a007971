// TIFF and the camera raw formats built on it (CR2, ORF, RW2): the file ends
// behind the furthest of its directories, their out-of-line values, strips,
// tiles and embedded previews. Directories may point anywhere; they are read in
// offset order as the bytes come, and a pointer back into bytes already passed
// is not followed (writers put such data before the directory that names it).

#include <algorithm>
#include <vector>

#include "lowscan/ends/FileEndWalkers.h"

namespace lowscan::ends {
namespace {

constexpr unsigned kMaxDirectories = 256;
constexpr unsigned kMaxEntries = 4096;
constexpr unsigned kMaxArray = 65536;

unsigned TypeSize(unsigned type) {
  switch (type) {
    case 1: case 2: case 6: case 7: return 1;
    case 3: case 8: return 2;
    case 4: case 9: case 11: case 13: return 4;
    case 5: case 10: case 12: return 8;
    default: return 0;
  }
}

// Offsets and sizes of strips, tiles or a preview: the file holds each pair's bytes.
struct Extents {
  std::vector<std::uint64_t> offsets, sizes;
  bool haveOffsets = false, haveSizes = false;
};

struct Item {
  std::int64_t at = 0;
  enum Kind : std::uint8_t { kCount, kDirectory, kArray } kind = kCount;
  std::uint32_t count = 0;  // entries, or array elements
  std::uint16_t type = 0;   // array element type
  int pair = -1;            // index into m_extents, or -1: an array of directory offsets
  bool sizes = false;       // the array holds the sizes of its pair
};

class TiffEnd : public TEndWalker<TiffEnd> {
 protected:
  void Start() override { Want(0, 8); }

  void OnBytes(std::int64_t at, const Bytes& b) override {
    if (!m_headerRead) return OnHeader(b);
    const Item item = m_current;
    if (item.kind == Item::kCount) {
      const std::uint32_t n = U(b, 0, 2);
      if (n == 0 || n > kMaxEntries || (m_directories == 1 && n > 1000)) return Reject();
      Push({at + 2, Item::kDirectory, n, 0, -1, false});
      Extend(at + 2 + 12 * std::int64_t{n} + 4);
    } else if (item.kind == Item::kDirectory) {
      OnDirectory(b, item.count);
    } else {
      OnArray(b, item);
    }
    Next();
  }

 private:
  std::uint32_t U(const Bytes& b, std::size_t at, unsigned width) const {
    return m_bigEndian ? b.Be(at, width) : b.Le(at, width);
  }

  void OnHeader(const Bytes& b) {
    m_headerRead = true;
    m_bigEndian = b.Is(0, "MM");
    if (!m_bigEndian && !b.Is(0, "II")) return Reject();
    const std::uint32_t magic = U(b, 2, 2), first = U(b, 4, 4);
    if ((magic != 42 && magic != 0x4F52 && magic != 0x55) || first < 8 || first >= Limit()) return Reject();
    AddDirectory(first);
    Next();
  }

  void AddDirectory(std::int64_t at) {
    if (at < 8 || m_directories >= kMaxDirectories) return;
    ++m_directories;
    Push({at, Item::kCount, 0, 0, -1, false});
  }

  void Push(const Item& item) {
    m_items.push_back(item);
    std::push_heap(m_items.begin(), m_items.end(), [](const Item& a, const Item& b) { return a.at > b.at; });
  }

  void Extend(std::int64_t end) { m_extent = std::max(m_extent, end); }

  // The next item at or behind the walk's place; the end when none is left.
  void Next() {
    const auto later = [](const Item& a, const Item& b) { return a.at > b.at; };
    while (!m_items.empty()) {
      std::pop_heap(m_items.begin(), m_items.end(), later);
      const Item item = m_items.back();
      m_items.pop_back();
      if (item.at <= m_at) continue;
      m_at = item.at;
      m_current = item;
      const std::size_t length = item.kind == Item::kCount       ? 2
                                 : item.kind == Item::kDirectory ? 12 * std::size_t{item.count} + 4
                                                                 : std::size_t{item.count} * TypeSize(item.type);
      return Want(item.at, length);
    }
    for (const Extents& e : m_extents) {
      if (!e.haveOffsets || !e.haveSizes) continue;
      for (std::size_t i = 0; i < e.offsets.size() && i < e.sizes.size(); ++i) Extend(e.offsets[i] + e.sizes[i]);
    }
    SetHeaderParsed();
    Finish(m_extent);
  }

  void OnDirectory(const Bytes& b, std::uint32_t count) {
    SetHeaderParsed();
    ++m_directoryNumber;
    for (std::uint32_t i = 0; i < count; ++i) OnEntry(b, 12 * std::size_t{i});
    const std::uint32_t next = U(b, 12 * std::size_t{count}, 4);
    if (next != 0) AddDirectory(next);
  }

  void OnEntry(const Bytes& b, std::size_t e) {
    const unsigned tag = U(b, e, 2), type = U(b, e + 2, 2);
    const std::uint32_t count = U(b, e + 4, 4);
    const unsigned size = TypeSize(type);
    if (size == 0 || count == 0 || count > Limit() / size) return;
    const std::uint64_t bytes = std::uint64_t{count} * size;
    const bool inline_ = bytes <= 4;
    const std::uint32_t valueAt = U(b, e + 8, 4);
    if (!inline_) Extend(std::int64_t{valueAt} + static_cast<std::int64_t>(bytes));
    const bool pointer = tag == 330 || tag == 34665 || tag == 34853 || tag == 40965;
    const bool offsets = tag == 273 || tag == 324 || tag == 513;
    const bool sizes = tag == 279 || tag == 325 || tag == 514;
    if (!pointer && !offsets && !sizes) return;
    if (type != 3 && type != 4 && type != 13) return;
    if (inline_) {
      std::vector<std::uint64_t> values;
      for (std::uint32_t i = 0; i < count; ++i) values.push_back(U(b, e + 8 + i * size, size));
      if (pointer) {
        for (const std::uint64_t v : values) AddDirectory(static_cast<std::int64_t>(v));
      } else {
        Store(PairFor(tag), sizes, std::move(values));
      }
      return;
    }
    if (count > kMaxArray) return;
    Push({valueAt, Item::kArray, count, static_cast<std::uint16_t>(type), pointer ? -1 : PairFor(tag), sizes});
  }

  int PairFor(unsigned tag) {
    const unsigned group = tag == 273 || tag == 279 ? 0 : tag == 324 || tag == 325 ? 1 : 2;
    // Each directory starts new pairs; a pair waits for its other half.
    const unsigned key = m_directoryNumber * 3 + group;
    for (std::size_t i = 0; i < m_pairKeys.size(); ++i) {
      if (m_pairKeys[i] == key) return static_cast<int>(i);
    }
    m_pairKeys.push_back(key);
    m_extents.emplace_back();
    return static_cast<int>(m_extents.size()) - 1;
  }

  void Store(int pair, bool sizes, std::vector<std::uint64_t> values) {
    Extents& e = m_extents[static_cast<std::size_t>(pair)];
    (sizes ? e.sizes : e.offsets) = std::move(values);
    (sizes ? e.haveSizes : e.haveOffsets) = true;
  }

  void OnArray(const Bytes& b, const Item& item) {
    const unsigned size = TypeSize(item.type);
    std::vector<std::uint64_t> values;
    values.reserve(item.count);
    for (std::uint32_t i = 0; i < item.count; ++i) values.push_back(U(b, std::size_t{i} * size, size));
    if (item.pair < 0) {
      for (const std::uint64_t v : values) AddDirectory(static_cast<std::int64_t>(v));
    } else {
      Store(item.pair, item.sizes, std::move(values));
    }
  }

  bool m_headerRead = false;
  bool m_bigEndian = false;
  unsigned m_directories = 0;       // found
  unsigned m_directoryNumber = 0;   // read
  std::vector<Item> m_items;  // a heap, nearest first
  Item m_current;
  std::int64_t m_at = 0;
  std::int64_t m_extent = 8;
  std::vector<Extents> m_extents;
  std::vector<unsigned> m_pairKeys;
};

}  // namespace

std::unique_ptr<TFileEnd> Tiff() { return std::make_unique<TiffEnd>(); }

}  // namespace lowscan::ends
