#include "platform/Volume.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <fstream>
#include <map>
#include <vector>

#include "platform/BlkidProbe.h"
#include "platform/BootBackups.h"
#include "platform/DriveTable.h"
#include "platform/ExFatBootSector.h"
#include "platform/FatBootSector.h"
#include "platform/ImageSource.h"
#include "platform/LastError.h"
#include "platform/SourceFiles.h"
#include "platform/TimedRead.h"
#include "util/ByteReader.h"
#include "util/RescueMap.h"

namespace platform {
namespace {

constexpr std::size_t kFirstBytes = 4096;
constexpr std::uint64_t kMaxFatBytesToCount = 64ull << 20;
constexpr std::size_t kMaxMapBytes = 64u << 20;

struct Chosen {
  std::weak_ptr<const Volume> volume;
};

struct Registry {
  std::mutex mutex;
  std::map<char, Chosen> byLetter;
};

Registry& Volumes() {
  static Registry registry;
  return registry;
}

char Upper(char letter) { return letter >= 'a' && letter <= 'z' ? static_cast<char>(letter - 'a' + 'A') : letter; }

std::int64_t ModifiedNs(const struct stat& st) {
  return static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
}

std::atomic<std::int64_t> g_readTimeoutMs{Volume::kDefaultReadTimeout.count()};

// Bytes at `offset` as they are now, within the read time limit; the probe reads past any
// registered read fault, as the system's own probe of a medium does.
std::string ReadBytesAt(const std::shared_ptr<const SharedDescriptor>& fd, std::uint64_t offset, std::uint64_t count) {
  std::string bytes(static_cast<std::size_t>(count), '\0');
  const auto read = ReadWithin(fd, offset, std::as_writable_bytes(std::span(bytes)), Volume::ReadTimeout(), false);
  bytes.resize(read.outcome == ReadOutcome::kDone ? read.bytes : 0);
  return bytes;
}

std::string ReadFirstBytes(const std::shared_ptr<const SharedDescriptor>& fd, std::uint64_t offset,
                           std::uint64_t size) {
  std::string bytes = ReadBytesAt(fd, offset, std::min<std::uint64_t>(kFirstBytes, size));
  // A bad or stalling sector just after the boot sector must not hide the boot sector.
  if (bytes.size() < 512) bytes = ReadBytesAt(fd, offset, std::min<std::uint64_t>(512, size));
  return bytes;
}

}  // namespace

std::shared_ptr<const Volume> Volume::Open(const std::string& path, std::uint64_t offset, std::uint64_t length) {
  if (path.empty()) {
    SetLastError(kErrorNotReady);
    return nullptr;
  }
  const int fd = OpenSourceFile(path);
  if (fd < 0) {
    SetLastErrorFromErrno(errno);
    return nullptr;
  }
  std::shared_ptr<Volume> volume(new Volume);
  auto descriptor = std::make_shared<SharedDescriptor>(fd);
  volume->m_descriptor = descriptor;  // closes the descriptor on every way out
  volume->m_fd = fd;
  volume->m_path = path;
  struct stat st {};
  if (fstat(fd, &st) != 0) {
    SetLastErrorFromErrno(errno);
    return nullptr;
  }
  std::uint64_t deviceBytes = static_cast<std::uint64_t>(st.st_size);
  if (ImageSource::KindOf(path) != ImageSource::Kind::Plain) {
    volume->m_image = ImageSource::Open(path);
    if (!volume->m_image) return nullptr;
    descriptor->SetImage(volume->m_image);
    deviceBytes = volume->m_image->Size();
  } else if (S_ISBLK(st.st_mode)) {
    volume->m_blockDevice = true;
    int sectorSize = 0;
    if (ioctl(fd, BLKSSZGET, &sectorSize) == 0 && sectorSize > 0) {
      volume->m_logicalSectorSize = static_cast<std::uint32_t>(sectorSize);
    }
    std::uint64_t size = 0;
    deviceBytes = ioctl(fd, BLKGETSIZE64, &size) == 0 ? size : 0;
  }
  volume->m_offset = std::min(offset, deviceBytes);
  volume->m_size = deviceBytes - volume->m_offset;
  if (length != 0) {
    volume->m_size = std::min(volume->m_size, length);
    volume->m_bounded = true;
  }
  if (S_ISREG(st.st_mode) && !volume->m_image) volume->TakeRescueMap(static_cast<std::uint64_t>(st.st_size));
  volume->m_device = st.st_dev;
  volume->m_inode = st.st_ino;
  volume->m_rdev = st.st_rdev;
  volume->m_modifiedNs = ModifiedNs(st);
  volume->m_firstBytes = ReadFirstBytes(volume->m_descriptor, volume->m_offset, volume->m_size);
  if (volume->m_firstBytes.size() >= 512) {
    DeviceLimits limits;
    if (volume->m_blockDevice) limits.logicalSectorSize = volume->m_logicalSectorSize;
    volume->m_boot = ParseBootSector(std::as_bytes(std::span(volume->m_firstBytes)), limits);
    // exFAT seals its boot region with a checksum and keeps a backup of it: a main region
    // whose checksum fails gives way to a backup whose checksum holds.
    if (volume->m_boot && volume->m_boot->kind == VolumeKind::ExFat) {
      const std::string region = ReadBytesAt(volume->m_descriptor, volume->m_offset,
                                             std::min<std::uint64_t>(kExFatBootRegionsBytes, volume->m_size));
      if (const auto decoded = DecodeExFatBootRegion(std::as_bytes(std::span(region)), limits)) {
        volume->m_boot = decoded->geometry;
      }
    }
    if (!volume->m_boot) volume->TakeBackupBoot(limits);
  }
  return volume;
}

void Volume::TakeRescueMap(std::uint64_t fileSize) {
  const std::string mapPath = m_path + ".map";
  std::ifstream in(mapPath, std::ios::binary);
  if (!in) return;
  // A map is text of a few lines per bad area; one far larger is no map of ours.
  std::string text(kMaxMapBytes + 1, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(in.gcount()));
  std::string error;
  const auto map = text.size() > kMaxMapBytes ? std::nullopt : util::RescueMap::Parse(text, fileSize, error);
  if (!map) return;
  for (const auto& area : map->Areas()) {
    if (area.status == '+' || area.size == 0) continue;
    if (!m_notRescued.empty() && m_notRescued.back().end == area.pos) {
      m_notRescued.back().end += area.size;
    } else {
      m_notRescued.push_back({area.pos, area.pos + area.size});
    }
  }
  m_mapPath = mapPath;
}

bool Volume::TouchesNotRescued(std::uint64_t begin, std::uint64_t end) const {
  const auto after = std::upper_bound(m_notRescued.begin(), m_notRescued.end(), begin,
                                      [](std::uint64_t at, const Range& r) { return at < r.end; });
  return after != m_notRescued.end() && after->begin < end;
}

void Volume::TakeBackupBoot(const DeviceLimits& limits) {
  const ReadBytes read = [this](std::uint64_t at, std::span<std::byte> out) { return ReadAt(at, out); };
  const auto found = LocateBootSector(read, m_size, limits);
  if (!found || found->bytes == 0) return;
  // Read as if the first sectors were whole again: the copy stands in for them.
  std::vector<std::byte> copy(static_cast<std::size_t>(found->bytes));
  if (ReadAt(found->at, copy) != static_cast<std::int64_t>(copy.size())) return;
  m_boot = found->geometry;
  m_bootFrom = found->what;
  m_firstSectors = std::move(copy);
}

Volume::~Volume() = default;

void Volume::SetReadTimeout(std::chrono::milliseconds limit) { g_readTimeoutMs = limit.count(); }

std::chrono::milliseconds Volume::ReadTimeout() { return std::chrono::milliseconds(g_readTimeoutMs.load()); }

bool Volume::StillSameMedium(const std::string& path) const {
  struct stat st {};
  if (path != m_path || ::stat(path.c_str(), &st) != 0) return false;
  if (st.st_dev != m_device || st.st_ino != m_inode || st.st_rdev != m_rdev) return false;
  // An evidence image holds a medium of its own size; its files' modification times tell.
  std::uint64_t deviceBytes = m_image ? m_image->Size() : static_cast<std::uint64_t>(st.st_size);
  if (m_blockDevice) {
    std::uint64_t size = 0;
    if (ioctl(m_fd, BLKGETSIZE64, &size) != 0) return false;
    deviceBytes = size;
  } else if (ModifiedNs(st) != m_modifiedNs) {
    return false;  // an image file written since: its modification time tells
  }
  const bool sameSize = m_bounded ? deviceBytes >= m_offset + m_size : deviceBytes == m_offset + m_size;
  if (!sameSize) return false;
  // A card swapped in its reader keeps the device node (and often the size): its first
  // sectors tell.
  return !m_blockDevice || ReadFirstBytes(m_descriptor, m_offset, m_size) == m_firstBytes;
}

std::shared_ptr<const Volume> Volume::Choose(char letter) {
  letter = Upper(letter);
  const auto drive = DriveTable::Instance().Find(letter);
  if (!drive || drive->devicePath.empty()) {
    SetLastError(kErrorNotReady);
    return nullptr;
  }
  Registry& r = Volumes();
  std::lock_guard lock(r.mutex);
  Chosen& chosen = r.byLetter[letter];
  if (auto held = chosen.volume.lock(); held && held->m_offset == drive->offset && held->StillSameMedium(drive->devicePath)) {
    return held;
  }
  auto volume = Open(drive->devicePath, drive->offset, drive->length);
  chosen.volume = volume;
  return volume;
}

std::shared_ptr<const Volume> Volume::Held(char letter) {
  letter = Upper(letter);
  const auto drive = DriveTable::Instance().Find(letter);
  {
    Registry& r = Volumes();
    std::lock_guard lock(r.mutex);
    const auto it = r.byLetter.find(letter);
    if (it != r.byLetter.end()) {
      if (auto held = it->second.volume.lock(); held && drive && held->Path() == drive->devicePath && held->Offset() == drive->offset) {
        return held;
      }
    }
  }
  return Choose(letter);
}

std::int64_t Volume::ReadAt(std::uint64_t offset, std::span<std::byte> out) const {
  std::size_t want = out.size();
  if (m_bounded) want = offset >= m_size ? 0 : static_cast<std::size_t>(std::min<std::uint64_t>(want, m_size - offset));
  // What a rescue copy could not read is not data: the image holds zeros there.
  if (want > 0 && TouchesNotRescued(m_offset + offset, m_offset + offset + want)) {
    SetLastErrorFromErrno(EIO);
    return -1;
  }
  // A read the medium does not answer in time is given up and counts as failed: a scan
  // goes on past a stuck sector as past a bad one.
  const TimedReadResult read = ReadWithin(m_descriptor, m_offset + offset, out.first(want), ReadTimeout());
  if (read.outcome != ReadOutcome::kDone) {
    SetLastErrorFromErrno(read.error);
    return -1;
  }
  const std::size_t done = read.bytes;
  if (offset < m_firstSectors.size() && done > 0) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(done, m_firstSectors.size() - offset));
    std::copy_n(m_firstSectors.begin() + static_cast<std::ptrdiff_t>(offset), n, out.begin());
  }
  return static_cast<std::int64_t>(done);
}

std::uint64_t Volume::FreeClusters() const {
  std::lock_guard lock(m_lazyMutex);
  if (m_freeClusters) return *m_freeClusters;
  m_freeClusters = 0;
  if (m_boot && m_boot->kind == VolumeKind::ExFat) {
    m_freeClusters = FreeExFatClusters();
    return *m_freeClusters;
  }
  if (!m_boot || !m_boot->IsFat()) return 0;
  const BootGeometry& g = *m_boot;
  const std::uint64_t fatBytes = g.fatSectors * g.bytesPerSector;
  const std::uint64_t fatOffset = g.fatStartSector * g.bytesPerSector;
  // FAT32 keeps the count in its FS information sector, as the system reports it; only
  // without a usable one is the table counted.
  if (g.kind == VolumeKind::Fat32 && g.fsInfoSector != 0) {
    std::vector<std::byte> sector(g.bytesPerSector);
    if (ReadAt(std::uint64_t{g.fsInfoSector} * g.bytesPerSector, sector) == static_cast<std::int64_t>(sector.size())) {
      if (const auto hint = FatFreeClusterHint(util::ByteReader(sector), g.dataClusters)) {
        m_freeClusters = *hint;
        return *hint;
      }
    }
  }
  if (fatBytes > kMaxFatBytesToCount) return 0;  // not cheaply known
  // A boot sector may claim a table larger than the device behind it: nothing to count.
  if (fatOffset > m_size || fatBytes > m_size - fatOffset) return 0;
  std::vector<std::byte> fat(static_cast<std::size_t>(fatBytes));
  const std::int64_t got = ReadAt(fatOffset, fat);
  if (got <= 0) return 0;
  fat.resize(static_cast<std::size_t>(got));
  m_freeClusters = CountFreeFatClusters(fat, g.kind, g.dataClusters);
  return *m_freeClusters;
}

std::uint64_t Volume::FreeExFatClusters() const {
  const BootGeometry& g = *m_boot;
  const std::uint64_t clusterBytes = g.ClusterBytes();
  const auto clusterOffset = [&](std::uint64_t cluster) {
    return (g.firstDataSector + (cluster - 2) * g.sectorsPerCluster) * g.bytesPerSector;
  };
  // The bitmap's entry is among the root directory's first; the bitmap itself is written in
  // one stretch when the card is formatted.
  std::vector<std::byte> root(static_cast<std::size_t>(std::min<std::uint64_t>(clusterBytes, 65536)));
  if (ReadAt(clusterOffset(g.rootCluster), root) != static_cast<std::int64_t>(root.size())) return 0;
  // The first bitmap: a second one is transaction-safe exFAT's, which no card carries.
  const auto place = FindExFatBitmap(root, 0);
  const std::uint64_t bytes = (g.dataClusters + 7) / 8;
  if (!place || place->firstCluster < 2 || place->firstCluster > g.dataClusters + 1 || place->length < bytes ||
      bytes > kMaxFatBytesToCount) {
    return 0;
  }
  const std::uint64_t offset = clusterOffset(place->firstCluster);
  if (offset > m_size || bytes > m_size - offset) return 0;
  std::vector<std::byte> bitmap(static_cast<std::size_t>(bytes));
  const std::int64_t got = ReadAt(offset, bitmap);
  if (got != static_cast<std::int64_t>(bytes)) return 0;
  return CountFreeExFatClusters(bitmap, g.dataClusters);
}

const Volume::Probe& Volume::Probed() const {
  std::lock_guard lock(m_lazyMutex);
  if (m_probe) return *m_probe;
  m_probe.emplace();
  const int fd = m_image ? m_image->ProbeFd(m_offset, m_size) : m_fd;
  const SuperblockProbe probe = ProbeSuperblocks(fd, m_offset, m_bounded || m_image ? m_size : 0);
  *m_probe = {probe.type, probe.label, probe.uuid};
  return *m_probe;
}

}  // namespace platform
