#include "platform/DiskDrives.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <mutex>
#include <utility>

#include "platform/DiskLayout.h"
#include "platform/ImageSource.h"
#include "platform/SourceFiles.h"

namespace platform {
namespace {

// What tells that a medium is unchanged since its layout was read: an image's size and
// modification time; a device's size and first sectors (a card swapped in its reader).
struct Medium {
  std::uint64_t device = 0, node = 0, size = 0;
  std::int64_t modifiedNs = 0;
  std::string firstBytes;
  bool operator==(const Medium&) const = default;
};

// A card reader's random reads are slow: a device's search for lost volumes is held to
// the first gigabytes, an image's covers far more.
constexpr LostSearchLimits kDeviceLimits{.mebibyteSteps = 1u << 13, .cylinderSteps = 1u << 12};

class Opened {
 public:
  explicit Opened(const std::string& path) : m_fd(OpenSourceFile(path)) {}
  ~Opened() {
    if (m_fd >= 0) ::close(m_fd);
  }
  Opened(const Opened&) = delete;
  Opened& operator=(const Opened&) = delete;
  int Fd() const { return m_fd; }

 private:
  int m_fd;
};

}  // namespace

SplitDisk SplitIntoVolumes(const DriveEntry& whole) {
  SplitDisk split;
  const Opened file(whole.devicePath);
  struct stat st {};
  if (whole.devicePath.empty() || file.Fd() < 0 || fstat(file.Fd(), &st) != 0) {
    split.drives.push_back(whole);
    return split;
  }
  const bool device = S_ISBLK(st.st_mode);
  Medium now{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(device ? st.st_rdev : st.st_ino),
             static_cast<std::uint64_t>(st.st_size), 0, {}};
  std::uint32_t sectorSize = 0;  // an image's: unknown
  if (device) {
    int logical = 0;
    if (ioctl(file.Fd(), BLKSSZGET, &logical) == 0 && logical > 0) sectorSize = static_cast<std::uint32_t>(logical);
    if (ioctl(file.Fd(), BLKGETSIZE64, &now.size) != 0) now.size = 0;
    now.firstBytes.resize(4096);
    const ssize_t got = pread(file.Fd(), now.firstBytes.data(), now.firstBytes.size(), 0);
    now.firstBytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  } else {
    now.modifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
  }
  // An Expert Witness or split raw image: the medium it holds, not its first file.
  std::shared_ptr<const ImageSource> image;
  if (!device && ImageSource::KindOf(whole.devicePath) != ImageSource::Kind::Plain) {
    image = ImageSource::Open(whole.devicePath);
    if (!image) {
      split.drives.push_back(whole);
      return split;
    }
    now.size = image->Size();
  }
  static std::mutex mutex;
  static std::map<std::string, std::pair<Medium, DiskLayout>> kept;
  DiskLayout layout;
  {
    std::lock_guard lock(mutex);
    const auto it = kept.find(whole.devicePath);
    if (it != kept.end() && it->second.first == now) {
      layout = it->second.second;
    } else {
      const LostSearchLimits limits = device ? kDeviceLimits : LostSearchLimits{};
      if (image) {
        const MediumReader medium{[&](std::uint64_t at, std::span<std::byte> out) { return image->ReadAt(at, out); },
                                  [&](std::uint64_t at, std::uint64_t length) { return image->ProbeFd(at, length); }};
        layout = ReadDiskLayout(medium, now.size, 0, limits);
      } else if (now.size != 0) {
        layout = ReadDiskLayout(file.Fd(), now.size, sectorSize, limits);
      }
      kept[whole.devicePath] = {now, layout};
    }
  }
  split.notes = layout.notes;
  if (layout.volumes.empty()) {
    split.drives.push_back(whole);
    return split;
  }
  int number = 0, lost = 0;
  for (const DiskSlice& slice : layout.volumes) {
    DriveEntry entry = whole;
    entry.letter = 0;
    entry.mountRoot.clear();
    entry.fsType.clear();
    entry.offset = slice.offset;
    entry.length = slice.length;
    entry.diskPath = whole.devicePath;
    entry.partition = ++number;
    if (slice.lost) entry.name = "Lost partition " + std::to_string(++lost);
    entry.evidence = slice.evidence;
    split.drives.push_back(std::move(entry));
  }
  DriveEntry disk = whole;
  disk.letter = 0;
  disk.diskPath = whole.devicePath;
  disk.name = "Whole disk";
  split.drives.push_back(std::move(disk));
  return split;
}

}  // namespace platform
