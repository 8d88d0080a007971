#pragma once
// The drive table: what drive letters mean on this machine. Letters named in
// TRELLMOND_DRIVES come first (for example "E=/data/card.img;F=/dev/sdc1;G=/srv/out");
// then C: is the file system holding "/", further mounted local file systems take
// D:, E:, ... by device, then unmounted partitions and removable disks. Process-wide,
// rebuilt on demand. Image files are removable drives that can be scanned but not
// written; a folder named in TRELLMOND_DRIVES is a fixed drive that can be written
// but not scanned.

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Windows drive types.
enum DriveType : int {
  kDriveUnknown = 0,
  kDriveNoRootDir = 1,
  kDriveRemovable = 2,
  kDriveFixed = 3,
  kDriveRemote = 4,
  kDriveCdRom = 5,
  kDriveRamDisk = 6,
};

struct DriveEntry {
  char letter = 0;
  int type = kDriveUnknown;
  std::string devicePath;   // what sector reads open: partition, whole disk or image; may be empty
  std::string mountRoot;    // where the volume's files are; empty when not mounted
  std::string mountSource;  // the mount's source ("//server/share" for a cifs share)
  std::string fsType;       // the kernel's name of the mounted file system, if mounted
  bool isImage = false;
  // A volume inside a whole disk or image: where it begins and how long it is (0: to the end).
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
  // The disk a partition or lost volume was found in, as named; empty for a drive of its own.
  std::string diskPath;
  int partition = 0;  // 1, 2, ... among the volumes of diskPath; 0 for the whole disk
  std::string name;   // shown when the volume has no label: "Lost partition 1", "Whole disk"
  std::string evidence;  // how a lost volume was found, with its offset
};

// What the table is built from; the defaults read this machine.
struct DriveSources {
  std::string drivesVariable;  // TRELLMOND_DRIVES
  std::string mountInfo;       // /proc/self/mountinfo
  std::string sysBlockRoot = "/sys/class/block";
  std::string swaps;           // /proc/swaps
  // Whether a mount point is a folder (single files can be bind-mounted too).
  std::function<bool(const std::string&)> isDirectory;
  static DriveSources FromSystem();
};

class DriveTable {
 public:
  static DriveTable& Instance();

  // Reads the machine again (TRELLMOND_DRIVES, mounts, block devices). Attached letters stay.
  void Rebuild();
  void Build(const DriveSources& sources);

  std::optional<DriveEntry> Find(char letter) const;
  std::vector<DriveEntry> Entries() const;

  // Attaches an image, block device or folder to the first free letter from C:
  // (or reuses the letter it already has); 0 when none is free or the path does not exist.
  char Attach(const std::string& path);
  // Attaches an entry to a given letter, replacing what was there.
  void AttachAs(char letter, DriveEntry entry);
  void Detach(char letter);
  // What reading a named or attached disk's layout refused, cut or found, for the log.
  std::vector<std::string> DiskNotes(const std::string& diskPath) const;

 private:
  mutable std::mutex m_mutex;
  std::vector<DriveEntry> m_entries;   // sorted by letter
  std::vector<DriveEntry> m_attached;  // survive rebuilds
  std::map<std::string, std::vector<std::string>> m_notes;  // by disk path
  bool m_built = false;
  void EnsureBuilt() const;
};

// The drive number of a letter (either case): 1 for A, 2 for B, ... 26 for Z; 0 for
// anything that is no drive letter.
std::uint8_t DriveNumberOf(char letter);

// Drive-letter paths <-> POSIX paths, through the drive table.
// "E:\Out\DCIM" -> "<mount root of E:>/Out/DCIM"; std::nullopt when E: has no mount root.
std::optional<std::string> ToPosixPath(std::string_view windowsPath);
// The drive-letter form of a POSIX path (the drive whose mount root holds it, longest match).
std::optional<std::string> ToWindowsPath(std::string_view posixPath);

// The shell's display name: "<label> (E:)", or "Local Disk (C:)", "Removable Disk (E:)", ...
std::string DriveDisplayName(char letter);

}  // namespace platform
