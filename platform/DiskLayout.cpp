#include "platform/DiskLayout.h"

#include <blkid/blkid.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <memory>
#include <optional>
#include <type_traits>

#include "platform/BlkidProbe.h"
#include "platform/BootBackups.h"
#include "platform/BootSector.h"

namespace platform {
namespace {

// More than any real disk carries (GPT's usual array holds 128): the rest is cut.
constexpr int kMaxPartitions = 256;
constexpr std::uint64_t kMebibyte = 1ull << 20;
constexpr std::uint64_t kBlkidSector = 512;  // blkid counts partitions in 512-byte units

using ProbePtr = std::unique_ptr<std::remove_pointer_t<blkid_probe>, decltype(&blkid_free_probe)>;

std::string Bytes(std::uint64_t at) { return "byte " + std::to_string(at); }

ReadBytes DeviceReader(int fd, std::uint64_t deviceBytes) {
  return [fd, deviceBytes](std::uint64_t at, std::span<std::byte> out) -> std::int64_t {
    if (at >= deviceBytes) return 0;
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), deviceBytes - at));
    std::size_t done = 0;
    while (done < want) {
      const ssize_t got = pread(fd, out.data() + done, want - done, static_cast<off_t>(at + done));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
      done += static_cast<std::size_t>(got);
    }
    return static_cast<std::int64_t>(done);
  };
}

ReadBytes From(const ReadBytes& device, std::uint64_t start) {
  return [device, start](std::uint64_t at, std::span<std::byte> out) { return device(start + at, out); };
}

struct TableEntry {
  int number = 0;
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
};

struct Table {
  std::string type;
  std::vector<TableEntry> entries;
  std::vector<std::uint64_t> extended;  // where each extended partition begins
  std::uint32_t sectorSize = 512;
  bool cut = false;
};

// libblkid stops quietly where the chain of logical partitions turns back on itself; the
// chain is followed here too (bounded) so that the log says where it was cut.
void NoteChainLoop(const ReadBytes& device, std::uint64_t extended, std::uint32_t sectorSize,
                   std::vector<std::string>& notes) {
  std::vector<std::uint64_t> seen;
  std::uint64_t at = extended;
  while (seen.size() < static_cast<std::size_t>(kMaxPartitions)) {
    if (std::find(seen.begin(), seen.end(), at) != seen.end()) {
      notes.push_back("the chain of logical partitions loops back to " + Bytes(at) + ": cut there");
      return;
    }
    seen.push_back(at);
    std::array<std::byte, 512> sector{};
    if (device(at, sector) != 512 || sector[510] != std::byte{0x55} || sector[511] != std::byte{0xAA}) return;
    const auto type = std::to_integer<unsigned>(sector[446 + 16 + 4]);
    std::uint64_t next = 0;
    for (int i = 3; i >= 0; --i) next = (next << 8) | std::to_integer<unsigned>(sector[446 + 16 + 8 + i]);
    if (type != 0x05 && type != 0x0F && type != 0x85) return;
    at = extended + next * sectorSize;
  }
  notes.push_back("the chain of logical partitions is longer than " + std::to_string(kMaxPartitions) + ": cut");
}

// The sectors of the chain of logical partitions the first sector's table leads to (bounded,
// a loop ends it): where libblkid reads beyond a medium's first and last mebibyte.
std::vector<std::uint64_t> LogicalTableSectors(const ReadBytes& device, std::uint32_t sectorSize) {
  std::vector<std::uint64_t> sectors;
  std::array<std::byte, 512> sector{};
  if (device(0, sector) != 512 || sector[510] != std::byte{0x55} || sector[511] != std::byte{0xAA}) return sectors;
  const auto field = [&](std::size_t at) {
    std::uint64_t value = 0;
    for (int i = 3; i >= 0; --i) {
      value = (value << 8) | std::to_integer<unsigned>(sector[at + static_cast<std::size_t>(i)]);
    }
    return value;
  };
  const auto extendedType = [](unsigned type) { return type == 0x05 || type == 0x0F || type == 0x85; };
  for (std::size_t entry = 0; entry < 4; ++entry) {
    const std::size_t at = 446 + 16 * entry;
    if (!extendedType(std::to_integer<unsigned>(sector[at + 4]))) continue;
    const std::uint64_t extended = field(at + 8) * sectorSize;
    std::uint64_t next = extended;
    std::array<std::byte, 512> primary = sector;
    while (sectors.size() < static_cast<std::size_t>(kMaxPartitions) &&
           std::find(sectors.begin(), sectors.end(), next) == sectors.end()) {
      sectors.push_back(next);
      if (device(next, sector) != 512 || sector[510] != std::byte{0x55} || sector[511] != std::byte{0xAA}) break;
      if (!extendedType(std::to_integer<unsigned>(sector[446 + 16 + 4]))) break;
      next = extended + field(446 + 16 + 8) * sectorSize;
    }
    sector = primary;
  }
  return sectors;
}

// The partitions blkid reads at one sector size; extended containers left out.
Table ProbeTable(const MediumReader& medium, std::uint64_t deviceBytes, std::uint32_t sectorSize) {
  Table table;
  table.sectorSize = sectorSize;
  for (const std::uint64_t at : LogicalTableSectors(medium.read, sectorSize)) medium.probeFd(at, sectorSize);
  const int fd = medium.probeFd(0, deviceBytes);
  ProbePtr probe(blkid_new_probe(), &blkid_free_probe);
  if (fd < 0 || !probe || blkid_probe_set_device(probe.get(), fd, 0, static_cast<blkid_loff_t>(deviceBytes)) != 0) {
    return table;
  }
  blkid_probe_set_sectorsize(probe.get(), sectorSize);
  blkid_probe_enable_superblocks(probe.get(), 0);
  blkid_probe_enable_partitions(probe.get(), 1);
  // The GPT's backup header stands in for a damaged primary one.
  blkid_probe_set_partitions_flags(probe.get(), BLKID_PARTS_FORCE_GPT);
  if (blkid_do_fullprobe(probe.get()) != 0) return table;
  blkid_partlist list = blkid_probe_get_partitions(probe.get());
  if (list == nullptr) return table;
  if (blkid_parttable root = blkid_partlist_get_table(list)) {
    const char* type = blkid_parttable_get_type(root);
    table.type = type ? type : "";
  }
  const int count = blkid_partlist_numof_partitions(list);
  for (int i = 0; i < count; ++i) {
    if (static_cast<int>(table.entries.size()) >= kMaxPartitions) {
      table.cut = true;
      break;
    }
    blkid_partition part = blkid_partlist_get_partition(list, i);
    if (part == nullptr) continue;
    const blkid_loff_t start = blkid_partition_get_start(part);
    if (blkid_partition_is_extended(part)) {
      if (start > 0) table.extended.push_back(static_cast<std::uint64_t>(start) * kBlkidSector);
      continue;
    }
    const blkid_loff_t size = blkid_partition_get_size(part);
    if (start < 0 || size <= 0) continue;
    table.entries.push_back({blkid_partition_get_partno(part), static_cast<std::uint64_t>(start) * kBlkidSector,
                             static_cast<std::uint64_t>(size) * kBlkidSector});
  }
  return table;
}

bool Overlaps(const DiskSlice& a, std::uint64_t offset, std::uint64_t length) {
  return offset < a.offset + a.length && a.offset < offset + length;
}

std::optional<FoundBoot> VolumeAt(const ReadBytes& device, std::uint64_t offset) {
  return LocateBootSector(From(device, offset), 0);
}

// The search for volumes by their boot sectors in [from, to) of the device.
class LostSearch {
 public:
  LostSearch(const ReadBytes& device, std::uint64_t deviceBytes, std::uint32_t sectorSize,
             const LostSearchLimits& limits, DiskLayout& layout)
      : m_device(device), m_deviceBytes(deviceBytes), m_sector(sectorSize), m_limits(limits), m_layout(layout) {}

  void Gap(std::uint64_t from, std::uint64_t to) {
    const std::uint64_t cylinder = 63ull * m_sector;
    std::uint64_t nextMebibyte = (from + kMebibyte - 1) / kMebibyte * kMebibyte;
    std::uint64_t nextCylinder = (from + cylinder - 1) / cylinder * cylinder;
    std::uint64_t floor = from;  // nothing found may begin before: the end of the last find
    for (;;) {
      const bool mebibyteLeft = m_mebibyteSteps < m_limits.mebibyteSteps;
      const bool cylinderLeft = m_cylinderSteps < m_limits.cylinderSteps;
      if (!mebibyteLeft && !cylinderLeft) {
        Cut(std::min(nextMebibyte, nextCylinder), to);
        return;
      }
      const std::uint64_t at = !cylinderLeft   ? nextMebibyte
                               : !mebibyteLeft ? nextCylinder
                                               : std::min(nextMebibyte, nextCylinder);
      if (at >= to) break;
      if (at == nextMebibyte) {
        ++m_mebibyteSteps;
        nextMebibyte += kMebibyte;
        // A volume whose first sectors are gone may still end here with its NTFS backup.
        LookBehind(at, floor);
      }
      if (at == nextCylinder) {
        ++m_cylinderSteps;
        nextCylinder += cylinder;
      }
      if (at < floor) continue;
      if (const auto found = VolumeAt(m_device, at)) {
        const std::uint64_t end = Add(at, *found, found->what + " at " + Bytes(at + found->at), to);
        if (end > at) {
          floor = end;
          nextMebibyte = std::max(nextMebibyte, (end + kMebibyte - 1) / kMebibyte * kMebibyte);
          nextCylinder = std::max(nextCylinder, (end + cylinder - 1) / cylinder * cylinder);
        }
      }
    }
    LookBehind(to, floor);
  }

 private:
  void LookBehind(std::uint64_t boundary, std::uint64_t floor) {
    for (const std::uint64_t size : {std::uint64_t{512}, std::uint64_t{4096}}) {
      if (boundary < size + floor || size < m_sector) continue;
      const std::uint64_t backup = boundary - size;
      if (const auto found = NtfsBackupAt(m_device, backup, floor)) {
        const std::uint64_t start = backup - found->at;
        if (!VolumeAt(m_device, start)) Add(start, *found, found->what + " at " + Bytes(backup), m_deviceBytes);
        return;
      }
    }
  }

  // Records the volume unless it overlaps one already listed; returns where it ends.
  std::uint64_t Add(std::uint64_t start, const FoundBoot& found, const std::string& evidence, std::uint64_t limit) {
    std::uint64_t length = found.VolumeBytes();
    if (length == 0) return start;
    for (const DiskSlice& known : m_layout.volumes) {
      if (Overlaps(known, start, length)) return start;
    }
    if (start + length > m_deviceBytes || start + length > limit) {
      const std::uint64_t end = std::min(m_deviceBytes, std::max(limit, start));
      m_layout.notes.push_back("lost volume at " + Bytes(start) + " claims " + std::to_string(length) +
                               " bytes; cut at " + Bytes(end));
      length = end - start;
    }
    DiskSlice slice;
    slice.offset = start;
    slice.length = length;
    slice.lost = true;
    slice.evidence = evidence;
    m_layout.notes.push_back("lost partition at " + Bytes(start) + " (" + std::to_string(length) +
                             " bytes): " + evidence);
    m_layout.volumes.push_back(std::move(slice));
    return start + length;
  }

  void Cut(std::uint64_t at, std::uint64_t to) {
    if (m_cutNoted || at >= to) return;
    m_cutNoted = true;
    m_layout.notes.push_back("search for lost partitions stopped at " + Bytes(at) + ": " +
                             std::to_string(m_mebibyteSteps + m_cylinderSteps) + " boot sector places looked at");
  }

  const ReadBytes& m_device;
  std::uint64_t m_deviceBytes;
  std::uint64_t m_sector;
  LostSearchLimits m_limits;
  DiskLayout& m_layout;
  std::uint64_t m_mebibyteSteps = 0;
  std::uint64_t m_cylinderSteps = 0;
  bool m_cutNoted = false;
};

// The table's entries checked against the device and each other, in table order.
void AcceptEntries(const Table& table, const MediumReader& medium, std::uint64_t deviceBytes, DiskLayout& layout,
                   std::vector<DiskSlice>& claimed) {
  const ReadBytes& device = medium.read;
  for (const std::uint64_t extended : table.extended) NoteChainLoop(device, extended, table.sectorSize, layout.notes);
  if (table.cut) {
    layout.notes.push_back("partition table lists more than " + std::to_string(kMaxPartitions) +
                           " partitions: the rest is left out");
  }
  for (const TableEntry& e : table.entries) {
    const std::string which = "partition " + std::to_string(e.number);
    if (e.offset >= deviceBytes) {
      layout.notes.push_back(which + " begins at " + Bytes(e.offset) + ", beyond the device's end: refused");
      continue;
    }
    DiskSlice slice;
    slice.offset = e.offset;
    slice.length = e.length;
    slice.tableNumber = e.number;
    if (e.length > deviceBytes - e.offset) {
      slice.length = deviceBytes - e.offset;
      layout.notes.push_back(which + " runs past the device's end: cut to " + std::to_string(slice.length) + " bytes");
    }
    const auto other = std::find_if(claimed.begin(), claimed.end(),
                                    [&](const DiskSlice& c) { return Overlaps(c, slice.offset, slice.length); });
    if (other != claimed.end()) {
      layout.notes.push_back(which + " overlaps partition " + std::to_string(other->tableNumber) + ": refused");
      continue;
    }
    claimed.push_back(slice);
    const bool known =
        VolumeAt(device, slice.offset) || LocateBootSector(From(device, slice.offset), slice.length) ||
        !ProbeSuperblocks(medium.probeFd(slice.offset, slice.length), slice.offset, slice.length).type.empty();
    if (!known) {
      layout.notes.push_back(which + " holds no file system known here");
      continue;
    }
    layout.volumes.push_back(slice);
  }
}

}  // namespace

bool HoldsVolume(int fd, std::uint64_t offset, std::uint64_t length) {
  const ReadBytes device = DeviceReader(fd, offset + length);
  return LocateBootSector(From(device, offset), length).has_value() ||
         !ProbeSuperblocks(fd, offset, length).type.empty();
}

DiskLayout ReadDiskLayout(int fd, std::uint64_t deviceBytes, std::uint32_t sectorSize,
                          const LostSearchLimits& limits) {
  return ReadDiskLayout(MediumReader{DeviceReader(fd, deviceBytes), [fd](std::uint64_t, std::uint64_t) { return fd; }},
                        deviceBytes, sectorSize, limits);
}

DiskLayout ReadDiskLayout(const MediumReader& medium, std::uint64_t deviceBytes, std::uint32_t sectorSize,
                          const LostSearchLimits& limits) {
  DiskLayout layout;
  if (deviceBytes < 4096) return layout;
  const ReadBytes& device = medium.read;
  Table table = ProbeTable(medium, deviceBytes, sectorSize != 0 ? sectorSize : 512);
  // An image file has no sector size of its own: a table of a 4096-byte-sector disk
  // shows only when read at that size.
  if (sectorSize == 0 && table.entries.empty()) {
    Table wide = ProbeTable(medium, deviceBytes, 4096);
    if (!wide.entries.empty()) {
      table = std::move(wide);
      sectorSize = 4096;
    }
  }
  if (sectorSize == 0) sectorSize = 512;
  layout.tableType = table.entries.empty() ? std::string{} : table.type;
  std::vector<DiskSlice> claimed;
  if (!table.entries.empty()) {
    AcceptEntries(table, medium, deviceBytes, layout, claimed);
  } else if (LocateBootSector(device, deviceBytes)) {
    return layout;  // a bare volume: the device is the volume
  }
  // The space no partition with a volume covers, searched for volumes by their boot sectors.
  std::vector<DiskSlice> covered = layout.volumes;
  std::sort(covered.begin(), covered.end(), [](const auto& a, const auto& b) { return a.offset < b.offset; });
  LostSearch search(device, deviceBytes, sectorSize, limits, layout);
  std::uint64_t from = sectorSize;  // the table's own sector
  for (const DiskSlice& c : covered) {
    if (c.offset > from) search.Gap(from, c.offset);
    from = std::max(from, c.offset + c.length);
  }
  if (from < deviceBytes) search.Gap(from, deviceBytes);
  // A volume known only by the backup at its end is found after what lies behind its start.
  const auto lost = std::find_if(layout.volumes.begin(), layout.volumes.end(), [](const DiskSlice& v) { return v.lost; });
  std::sort(lost, layout.volumes.end(), [](const DiskSlice& a, const DiskSlice& b) { return a.offset < b.offset; });
  return layout;
}

}  // namespace platform
