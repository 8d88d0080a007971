// OLE2 compound documents (Word, Excel, PowerPoint 97-2003): the sector size and
// the FAT sectors come from the header (and the DIFAT chain for large files); the
// file ends behind the highest sector the FAT marks as used. The directory's first
// sector names the document's streams.

#include <algorithm>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "lowscan/ends/FileEndWalkers.h"

namespace lowscan::ends {
namespace {

constexpr std::uint32_t kFree = 0xFFFFFFFF;
constexpr std::uint32_t kLastRegular = 0xFFFFFFFA;
constexpr std::uint32_t kMaxFatSectors = 1 << 16;
constexpr std::uint32_t kDirectory = 0xFFFFFFFE;  // the sector queued is the directory's first

struct Sector {
  std::uint32_t number;
  std::uint32_t fatIndex;  // which FAT sector it is, kFree for a DIFAT sector, or kDirectory
};

class Ole2End : public TEndWalker<Ole2End> {
 protected:
  void Start() override { Want(0, 512); }

  void OnBytes(std::int64_t at, const Bytes& b) override {
    if (at == 0) return OnHeader(b);
    const Sector sector = m_queue.front();
    m_queue.erase(m_queue.begin());
    const std::uint32_t perSector = m_sectorSize / 4;
    if (sector.fatIndex == kDirectory) {
      Tell(b);
    } else if (sector.fatIndex == kFree) {
      // A DIFAT sector: FAT sector numbers, the last entry chains to the next one.
      for (std::uint32_t i = 0; i + 1 < perSector; ++i) AddFat(b.Le(4 * std::size_t{i}, 4));
      const std::uint32_t next = b.Le(4 * std::size_t{perSector - 1}, 4);
      AddDifat(next);
    } else {
      for (std::uint32_t i = perSector; i-- > 0;) {
        if (b.Le(4 * std::size_t{i}, 4) == kFree) continue;
        m_highest = std::max<std::int64_t>(m_highest, std::int64_t{sector.fatIndex} * perSector + i);
        break;
      }
    }
    Next();
  }

 private:
  void OnHeader(const Bytes& b) {
    const unsigned shift = b.Le(30, 2);
    const std::uint32_t fatSectors = b.Le(44, 4);
    if (!b.Is(0, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1") || (shift != 9 && shift != 12) || b.Le(28, 2) != 0xFFFE ||
        fatSectors == 0 || fatSectors > kMaxFatSectors) {
      return Reject();
    }
    SetHeaderParsed();
    m_sectorSize = 1u << shift;
    m_difatLeft = b.Le(72, 4);
    for (std::uint32_t i = 0; i < 109; ++i) AddFat(b.Le(76 + 4 * std::size_t{i}, 4));
    const std::uint32_t difat = b.Le(68, 4);
    AddDifat(difat);
    const std::uint32_t directory = b.Le(48, 4);
    if (directory <= kLastRegular) Add({directory, kDirectory});
    Next();
  }

  // The document's main stream, named in the directory's first sector, tells a
  // Word, Excel or PowerPoint file.
  void Tell(const Bytes& b) {
    constexpr std::pair<std::string_view, std::string_view> kStreams[] = {
        {"WordDocument", "doc"}, {"Workbook", "xls"}, {"Book", "xls"}, {"PowerPoint Document", "ppt"}};
    for (std::size_t entry = 0; entry + 128 <= b.Size(); entry += 128) {
      const std::size_t length = b.Le(entry + 64, 2);
      if (b.U8(entry + 66) != 2 || length < 2 || length > 64) continue;  // streams only
      std::string name;
      for (std::size_t i = 0; i + 2 < length; i += 2) {
        name += static_cast<char>(b.Le(entry + i, 2) < 0x80 ? b.U8(entry + i) : '?');
      }
      for (const auto& [stream, kind] : kStreams) {
        if (name == stream) return SetShownType(kind);
      }
    }
  }

  void AddDifat(std::uint32_t number) {
    if (number > kLastRegular || m_difatLeft == 0) return;
    --m_difatLeft;
    Add({number, kFree});
  }

  void AddFat(std::uint32_t number) {
    if (number > kLastRegular || m_fatCount >= kMaxFatSectors) return;
    Add({number, m_fatCount++});
  }

  void Add(const Sector& sector) {
    const auto place = std::lower_bound(m_queue.begin(), m_queue.end(), sector,
                                        [](const Sector& a, const Sector& b) { return a.number < b.number; });
    m_queue.insert(place, sector);
  }

  std::int64_t Offset(std::uint32_t number) const { return (std::int64_t{number} + 1) * m_sectorSize; }

  void Next() {
    // Sectors behind the walk's place were passed over: the FAT cannot be read whole.
    if (!m_queue.empty()) {
      const std::int64_t at = Offset(m_queue.front().number);
      if (at <= m_at) return Lose();
      m_at = at;
      return Want(at, m_sectorSize);
    }
    Finish(Offset(static_cast<std::uint32_t>(m_highest)) + m_sectorSize);
  }

  std::uint32_t m_sectorSize = 512;
  std::uint32_t m_difatLeft = 0;
  std::uint32_t m_fatCount = 0;
  std::vector<Sector> m_queue;  // by sector number
  std::int64_t m_at = 0;
  std::int64_t m_highest = 0;
};

}  // namespace

std::unique_ptr<TFileEnd> Ole2() { return std::make_unique<Ole2End>(); }

}  // namespace lowscan::ends
