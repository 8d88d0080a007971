#include "platform/DeviceWatch.h"

#include <fcntl.h>
#include <libudev.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>

#include "platform/DriveTable.h"
#include "util/Text.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

// Cheap enough to ask every second: no boot sector, no free-cluster count.
bool MediumPresent(const DriveEntry& entry) {
  if (!entry.mountRoot.empty()) {
    struct statvfs vfs {};
    return statvfs(entry.mountRoot.c_str(), &vfs) == 0;
  }
  if (entry.devicePath.empty()) return false;
  const int fd = ::open(entry.devicePath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return errno == EACCES || errno == EPERM;  // there, but not ours to read
  const off_t end = ::lseek(fd, 0, SEEK_END);
  ::close(fd);
  return end > 0;
}

// The folders of the images TRELLMOND_DRIVES names (whether they exist yet or not)
// and of the images attached since.
std::vector<std::string> ImageFolders() {
  std::vector<std::string> folders;
  auto add = [&](const std::string& file) {
    std::error_code ec;
    std::string folder = fs::absolute(fs::path(file), ec).parent_path().string();
    if (ec || folder.empty()) return;
    if (std::find(folders.begin(), folders.end(), folder) == folders.end()) folders.push_back(std::move(folder));
  };
  const char* variable = std::getenv("TRELLMOND_DRIVES");
  std::string_view rest = variable != nullptr ? variable : "";
  while (!rest.empty()) {
    const std::size_t sep = rest.find(';');
    const std::string item = util::Trim(rest.substr(0, sep));
    rest = sep == std::string_view::npos ? std::string_view{} : rest.substr(sep + 1);
    if (item.size() >= 3 && item[1] == '=') add(util::Trim(item.substr(2)));
  }
  for (const DriveEntry& e : DriveTable::Instance().Entries()) {
    if (e.isImage) add(e.devicePath);
  }
  return folders;
}

}  // namespace

std::vector<DriveState> SnapshotDrives() {
  DriveTable::Instance().Rebuild();
  std::vector<DriveState> drives;
  for (const DriveEntry& e : DriveTable::Instance().Entries()) {
    if (e.type == kDriveUnknown || e.type == kDriveNoRootDir) continue;
    drives.push_back({e.letter, e.type, MediumPresent(e)});
  }
  return drives;
}

std::vector<DriveChange> CompareDrives(const std::vector<DriveState>& before, const std::vector<DriveState>& after) {
  auto find = [](const std::vector<DriveState>& list, char letter) -> const DriveState* {
    for (const auto& d : list) {
      if (d.letter == letter) return &d;
    }
    return nullptr;
  };
  std::vector<DriveChange> changes;
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    const DriveState* old = find(before, letter);
    const DriveState* now = find(after, letter);
    const std::string path = std::string(1, letter) + ":\\";
    if (old == nullptr && now != nullptr) {
      changes.push_back({kShcneDriveAdd, path});
    } else if (old != nullptr && now == nullptr) {
      changes.push_back({kShcneDriveRemoved, path});
    } else if (old != nullptr && now != nullptr && old->hasMedium != now->hasMedium) {
      changes.push_back({now->hasMedium ? kShcneMediaInserted : kShcneMediaRemoved, path});
    } else if (old != nullptr && now != nullptr && old->type != now->type) {
      // Another device under the same letter: gone, then come.
      changes.push_back({kShcneDriveRemoved, path});
      changes.push_back({kShcneDriveAdd, path});
    }
  }
  return changes;
}

DeviceWatch::DeviceWatch() = default;
DeviceWatch::~DeviceWatch() { Close(); }

bool DeviceWatch::Open() {
  Close();
  m_udev = udev_new();
  if (m_udev != nullptr) {
    m_udevMonitor = udev_monitor_new_from_netlink(m_udev, "udev");
    if (m_udevMonitor != nullptr &&
        (udev_monitor_filter_add_match_subsystem_devtype(m_udevMonitor, "block", nullptr) < 0 ||
         udev_monitor_enable_receiving(m_udevMonitor) < 0)) {
      udev_monitor_unref(m_udevMonitor);
      m_udevMonitor = nullptr;
    }
    if (m_udevMonitor != nullptr) m_sources.push_back({udev_monitor_get_fd(m_udevMonitor), Readiness::Input});
  }
  // The kernel marks the mount table with an exceptional condition whenever a mount changes.
  m_mountFd = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
  if (m_mountFd >= 0) m_sources.push_back({m_mountFd, Readiness::Exception});
  m_inotifyFd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (m_inotifyFd >= 0) {
    m_sources.push_back({m_inotifyFd, Readiness::Input});
    WatchImageFolders();
  }
  return !m_sources.empty();
}

void DeviceWatch::Close() {
  if (m_udevMonitor != nullptr) udev_monitor_unref(m_udevMonitor);
  if (m_udev != nullptr) udev_unref(m_udev);
  m_udevMonitor = nullptr;
  m_udev = nullptr;
  if (m_mountFd >= 0) ::close(m_mountFd);
  if (m_inotifyFd >= 0) ::close(m_inotifyFd);
  m_mountFd = m_inotifyFd = -1;
  m_watchedFolders.clear();
  m_sources.clear();
}

void DeviceWatch::WatchImageFolders() {
  if (m_inotifyFd < 0) return;
  constexpr std::uint32_t kMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_CLOSE_WRITE | IN_ATTRIB;
  for (const std::string& folder : ImageFolders()) {
    if (std::find(m_watchedFolders.begin(), m_watchedFolders.end(), folder) != m_watchedFolders.end()) continue;
    if (inotify_add_watch(m_inotifyFd, folder.c_str(), kMask) >= 0) m_watchedFolders.push_back(folder);
  }
}

void DeviceWatch::Drain(int fd) {
  if (m_udevMonitor != nullptr && fd == udev_monitor_get_fd(m_udevMonitor)) {
    // At most a burst's worth; the rest comes with the next notification.
    for (int i = 0; i < 64; ++i) {
      udev_device* device = udev_monitor_receive_device(m_udevMonitor);
      if (device == nullptr) break;
      udev_device_unref(device);
    }
  } else if (fd == m_mountFd) {
    // Reading the table to its end clears the condition until the next change.
    std::array<char, 4096> buffer{};
    ::lseek(m_mountFd, 0, SEEK_SET);
    for (int i = 0; i < 1024 && ::read(m_mountFd, buffer.data(), buffer.size()) > 0; ++i) {
    }
  } else if (fd == m_inotifyFd) {
    alignas(inotify_event) std::array<char, 4096> buffer{};
    for (int i = 0; i < 64 && ::read(m_inotifyFd, buffer.data(), buffer.size()) > 0; ++i) {
    }
    WatchImageFolders();
  }
}

bool DeviceEventsByPolling() {
  const char* mode = std::getenv("TRELLMOND_DEVICE_EVENTS");
  return mode != nullptr && std::string_view(mode) == "poll";
}

}  // namespace platform
