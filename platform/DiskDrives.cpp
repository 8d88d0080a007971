#include "platform/DiskDrives.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <mutex>
#include <tuple>

#include "platform/DiskLayout.h"

namespace platform {
namespace {

struct Medium {
  std::uint64_t device = 0, inode = 0, size = 0;
  std::int64_t modifiedNs = 0;
  auto Key() const { return std::tie(device, inode, size, modifiedNs); }
};

struct Kept {
  Medium medium;
  DiskLayout layout;
};

DiskLayout ReadLayoutOf(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  struct stat st {};
  std::uint64_t bytes = 0;
  std::uint32_t sectorSize = 0;  // an image's: unknown
  if (fstat(fd, &st) == 0) {
    bytes = static_cast<std::uint64_t>(st.st_size);
    if (S_ISBLK(st.st_mode)) {
      int logical = 0;
      if (ioctl(fd, BLKSSZGET, &logical) == 0 && logical > 0) sectorSize = static_cast<std::uint32_t>(logical);
      if (ioctl(fd, BLKGETSIZE64, &bytes) != 0) bytes = 0;
    }
  }
  DiskLayout layout = bytes != 0 ? ReadDiskLayout(fd, bytes, sectorSize) : DiskLayout{};
  ::close(fd);
  return layout;
}

}  // namespace

SplitDisk SplitIntoVolumes(const DriveEntry& whole) {
  SplitDisk split;
  if (whole.devicePath.empty()) {
    split.drives.push_back(whole);
    return split;
  }
  static std::mutex mutex;
  static std::map<std::string, Kept> kept;
  DiskLayout layout;
  {
    Medium now;
    struct stat st {};
    if (::stat(whole.devicePath.c_str(), &st) == 0) {
      now = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(S_ISBLK(st.st_mode) ? st.st_rdev : st.st_ino),
             static_cast<std::uint64_t>(S_ISBLK(st.st_mode) ? 0 : st.st_size),
             static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec};
    }
    std::lock_guard lock(mutex);
    const auto it = kept.find(whole.devicePath);
    // A block device's size is not in stat: a device is read again each time.
    if (it != kept.end() && !S_ISBLK(st.st_mode) && it->second.medium.Key() == now.Key()) {
      layout = it->second.layout;
    } else {
      layout = ReadLayoutOf(whole.devicePath);
      if (!S_ISBLK(st.st_mode)) kept[whole.devicePath] = {now, layout};
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
