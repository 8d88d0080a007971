#pragma once
// Device events: what changed in the drive table between two looks at it, and
// the sources that say when to look again (libudev's block subsystem, changes of
// /proc/self/mountinfo, and the folders holding the images that TRELLMOND_DRIVES
// names, so that creating or removing such an image attaches or detaches its
// drive). The GUI's change notifier polls these descriptors; when none can be
// opened it looks again every second instead.

#include <cstdint>
#include <string>
#include <vector>

struct udev;
struct udev_monitor;

namespace platform {

// The shell's change-event codes for drives and media.
inline constexpr std::uint32_t kShcneMediaInserted = 0x20;
inline constexpr std::uint32_t kShcneMediaRemoved = 0x40;
inline constexpr std::uint32_t kShcneDriveRemoved = 0x80;
inline constexpr std::uint32_t kShcneDriveAdd = 0x100;

// One drive as the notifier compares it: present with a root, and whether a medium can be read.
struct DriveState {
  char letter = 0;
  int type = 0;
  bool hasMedium = false;
  bool operator==(const DriveState&) const = default;
};

struct DriveChange {
  std::uint32_t code = 0;
  std::string path;  // "E:\"
  bool operator==(const DriveChange&) const = default;
};

// Rebuilds the drive table and returns the drives it now holds (types 0 and 1 left out).
std::vector<DriveState> SnapshotDrives();
// The events that lead from one snapshot to the next, in letter order.
std::vector<DriveChange> CompareDrives(const std::vector<DriveState>& before, const std::vector<DriveState>& after);

// Where the events come from. Each source is a descriptor to watch for input
// (or, for the mount table, for an exception); Drain() consumes what is pending.
class DeviceWatch {
 public:
  enum class Readiness { Input, Exception };
  struct Source {
    int fd = -1;
    Readiness readiness = Readiness::Input;
  };

  DeviceWatch();
  ~DeviceWatch();
  DeviceWatch(const DeviceWatch&) = delete;
  DeviceWatch& operator=(const DeviceWatch&) = delete;

  // Opens the sources; false when none could be opened (the caller polls).
  bool Open();
  void Close();
  const std::vector<Source>& Sources() const { return m_sources; }
  bool HasUdev() const { return m_udevMonitor != nullptr; }
  // Reads and discards what is pending on one source; watches again any image
  // folder that appeared since.
  void Drain(int fd);

 private:
  void WatchImageFolders();

  ::udev* m_udev = nullptr;
  ::udev_monitor* m_udevMonitor = nullptr;
  int m_mountFd = -1;
  int m_inotifyFd = -1;
  std::vector<std::string> m_watchedFolders;
  std::vector<Source> m_sources;
};

// "poll" in TRELLMOND_DEVICE_EVENTS forces the one-second look instead of the sources.
bool DeviceEventsByPolling();

}  // namespace platform
