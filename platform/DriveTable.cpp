#include "platform/DriveTable.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>

#include "platform/DiskDrives.h"
#include "platform/MountInfo.h"
#include "platform/DriveQueries.h"
#include "util/Text.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

bool IsHiddenSystemMount(const std::string& mountPoint) {
  for (const char* prefix : {"/proc", "/sys", "/dev", "/run"}) {
    const std::string p = prefix;
    if (mountPoint == p || mountPoint.rfind(p + "/", 0) == 0) {
      return !(mountPoint.rfind("/run/media/", 0) == 0);
    }
  }
  return false;
}

int TypeOfBlockDevice(const BlockDeviceFacts& facts) {
  if (facts.name.rfind("sr", 0) == 0) return kDriveCdRom;
  if (facts.name.rfind("zram", 0) == 0 || facts.name.rfind("ram", 0) == 0) return kDriveRamDisk;
  return facts.removable ? kDriveRemovable : kDriveFixed;
}

int TypeOfMount(const MountRecord& mount, const std::string& sysBlockRoot) {
  if (IsNetworkFileSystem(mount.fsType)) return kDriveRemote;
  if (IsRamFileSystem(mount.fsType)) return kDriveRamDisk;
  if (IsOpticalFileSystem(mount.fsType)) return kDriveCdRom;
  if (mount.source.rfind("/dev/", 0) == 0) {
    const BlockDeviceFacts facts = BlockDeviceOf(mount.source, sysBlockRoot);
    if (!facts.name.empty()) return TypeOfBlockDevice(facts);
  }
  return kDriveFixed;
}

const MountRecord* MountOfDevice(const std::vector<MountRecord>& mounts, std::uint32_t major, std::uint32_t minor) {
  const MountRecord* best = nullptr;
  for (const auto& m : mounts) {
    if (m.major == major && m.minor == minor && (best == nullptr || m.mountPoint.size() < best->mountPoint.size())) {
      best = &m;
    }
  }
  return best;
}

DriveEntry EntryForPath(char letter, const std::string& path, const std::vector<MountRecord>& mounts,
                        const std::string& sysBlockRoot) {
  DriveEntry entry;
  entry.letter = letter;
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return entry;  // unknown type: selecting it fails
  if (S_ISREG(st.st_mode)) {
    entry.type = kDriveRemovable;
    entry.devicePath = path;
    entry.isImage = true;
  } else if (S_ISDIR(st.st_mode)) {
    entry.type = kDriveFixed;
    entry.mountRoot = path;
  } else if (S_ISBLK(st.st_mode)) {
    entry.devicePath = path;
    const BlockDeviceFacts facts = BlockDeviceOf(path, sysBlockRoot);
    entry.type = facts.name.empty() ? kDriveFixed : TypeOfBlockDevice(facts);
    if (const MountRecord* m = MountOfDevice(mounts, facts.major, facts.minor)) {
      entry.mountRoot = m->mountPoint;
      entry.fsType = m->fsType;
      entry.mountSource = m->source;
    }
  }
  return entry;
}

bool IsDirectory(const std::string& path) {
  std::error_code ec;
  return fs::is_directory(path, ec);
}

char NextFreeLetter(const std::set<char>& used, char from = 'C') {
  for (char c = from; c <= 'Z'; ++c) {
    if (used.count(c) == 0) return c;
  }
  return 0;
}

DriveEntry EntryForMount(char letter, const MountRecord& mount, const std::string& sysBlockRoot) {
  DriveEntry entry;
  entry.letter = letter;
  entry.type = TypeOfMount(mount, sysBlockRoot);
  entry.mountRoot = mount.mountPoint;
  entry.mountSource = mount.source;
  entry.fsType = mount.fsType;
  if (mount.source.rfind("/dev/", 0) == 0) entry.devicePath = mount.source;
  return entry;
}

// Mounted file systems a user would see as drives: one per device, in device order.
std::vector<const MountRecord*> VisibleMounts(const std::vector<MountRecord>& mounts,
                                              const std::function<bool(const std::string&)>& isDirectory) {
  std::vector<const MountRecord*> visible;
  std::set<std::pair<std::uint32_t, std::uint32_t>> devices;
  for (const auto& m : mounts) {
    if (m.mountPoint == "/" || IsHiddenSystemMount(m.mountPoint)) continue;
    const bool blockBacked = m.source.rfind("/dev/", 0) == 0 && m.major != 0;
    // RAM disks a user mounted (/mnt/x, /media/user/x), not deeper system plumbing.
    const auto depth = std::count(m.mountPoint.begin(), m.mountPoint.end(), '/');
    const bool ramUnderMedia = IsRamFileSystem(m.fsType) && depth <= 3 &&
                               (m.mountPoint.rfind("/mnt/", 0) == 0 || m.mountPoint.rfind("/media/", 0) == 0);
    if (!blockBacked && !IsNetworkFileSystem(m.fsType) && !ramUnderMedia) continue;
    if (isDirectory ? !isDirectory(m.mountPoint) : !IsDirectory(m.mountPoint)) continue;
    visible.push_back(&m);
  }
  std::stable_sort(visible.begin(), visible.end(), [](const MountRecord* a, const MountRecord* b) {
    return std::tie(a->major, a->minor, a->mountPoint) < std::tie(b->major, b->minor, b->mountPoint);
  });
  std::vector<const MountRecord*> unique;
  for (const MountRecord* m : visible) {
    if (devices.insert({m->major, m->minor}).second) unique.push_back(m);
  }
  return unique;
}

}  // namespace

DriveSources DriveSources::FromSystem() {
  DriveSources sources;
  const char* drives = std::getenv("TRELLMOND_DRIVES");
  sources.drivesVariable = drives ? drives : "";
  sources.mountInfo = ReadTextFile("/proc/self/mountinfo");
  sources.swaps = ReadTextFile("/proc/swaps");
  return sources;
}

DriveTable& DriveTable::Instance() {
  static DriveTable table;
  return table;
}

void DriveTable::Rebuild() { Build(DriveSources::FromSystem()); }

void DriveTable::Build(const DriveSources& sources) {
  const std::vector<MountRecord> mounts = ParseMountInfo(sources.mountInfo);
  std::vector<DriveEntry> entries;
  std::set<char> used;
  std::set<std::pair<std::uint32_t, std::uint32_t>> claimed;
  auto add = [&](DriveEntry entry) {
    used.insert(entry.letter);
    entries.push_back(std::move(entry));
  };
  {
    std::lock_guard lock(m_mutex);
    for (const auto& a : m_attached) add(a);
  }
  // Named letters are claimed before a named disk's further volumes take the next free ones.
  std::vector<std::pair<char, std::string>> named;
  std::string_view rest = sources.drivesVariable;
  while (!rest.empty()) {
    const std::size_t sep = rest.find(';');
    const std::string item = util::Trim(rest.substr(0, sep));
    rest = sep == std::string_view::npos ? std::string_view{} : rest.substr(sep + 1);
    if (item.size() < 3 || item[1] != '=') continue;
    const char letter = util::UpperCase(item.substr(0, 1))[0];
    if (letter < 'A' || letter > 'Z' || used.count(letter) != 0) continue;
    used.insert(letter);
    named.emplace_back(letter, util::Trim(item.substr(2)));
  }
  std::map<std::string, std::vector<std::string>> notes;
  for (const auto& [letter, path] : named) {
    SplitDisk split = SplitIntoVolumes(EntryForPath(letter, path, mounts, sources.sysBlockRoot));
    if (!split.notes.empty()) notes[split.drives.front().devicePath] = split.notes;
    for (std::size_t i = 0; i < split.drives.size(); ++i) {
      const char c = i == 0 ? letter : NextFreeLetter(used, letter);
      if (c == 0) break;
      split.drives[i].letter = c;
      add(std::move(split.drives[i]));
    }
  }
  for (const auto& m : mounts) {
    if (m.mountPoint != "/") continue;
    if (const char c = NextFreeLetter(used)) add(EntryForMount(c, m, sources.sysBlockRoot));
    claimed.insert({m.major, m.minor});
    break;
  }
  for (const MountRecord* m : VisibleMounts(mounts, sources.isDirectory)) {
    if (!claimed.insert({m->major, m->minor}).second) continue;
    const char c = NextFreeLetter(used, 'D');
    if (c == 0) break;
    add(EntryForMount(c, *m, sources.sysBlockRoot));
  }
  for (const auto& m : mounts) claimed.insert({m.major, m.minor});
  for (const BlockDeviceFacts& dev : ListBlockDevices(sources.sysBlockRoot)) {
    const std::string node = "/dev/" + dev.name;
    if (dev.sizeBytes < 65536 || dev.hasPartitions || claimed.count({dev.major, dev.minor}) != 0) continue;
    if (dev.name.rfind("loop", 0) == 0 && dev.sizeBytes == 0) continue;
    if (dev.name.rfind("zram", 0) == 0 || dev.name.rfind("ram", 0) == 0) continue;
    if (sources.swaps.find(node + " ") != std::string::npos || sources.swaps.find(node + "\t") != std::string::npos) {
      continue;
    }
    const char c = NextFreeLetter(used, 'D');
    if (c == 0) break;
    DriveEntry entry;
    entry.letter = c;
    entry.type = TypeOfBlockDevice(dev);
    entry.devicePath = node;
    add(std::move(entry));
  }
  std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.letter < b.letter; });
  std::lock_guard lock(m_mutex);
  m_entries = std::move(entries);
  for (auto& [path, lines] : notes) m_notes[path] = std::move(lines);
  m_built = true;
}

void DriveTable::EnsureBuilt() const {
  bool built = false;
  {
    std::lock_guard lock(m_mutex);
    built = m_built;
  }
  if (!built) const_cast<DriveTable*>(this)->Rebuild();
}

std::optional<DriveEntry> DriveTable::Find(char letter) const {
  EnsureBuilt();
  const char upper = util::UpperCase(std::string(1, letter))[0];
  std::lock_guard lock(m_mutex);
  for (const auto& e : m_entries) {
    if (e.letter == upper) return e;
  }
  return std::nullopt;
}

std::vector<DriveEntry> DriveTable::Entries() const {
  EnsureBuilt();
  std::lock_guard lock(m_mutex);
  return m_entries;
}

char DriveTable::Attach(const std::string& path) {
  std::error_code ec;
  const fs::path absolute = fs::absolute(path, ec);
  if (ec || !fs::exists(absolute, ec)) return 0;
  std::set<char> used;
  for (const auto& e : Entries()) {
    if (e.devicePath == absolute.string() && e.devicePath.size() > 0) return e.letter;
    if (e.devicePath.empty() && e.mountRoot == absolute.string()) return e.letter;
    used.insert(e.letter);
  }
  const char letter = NextFreeLetter(used);
  if (letter == 0) return 0;
  const std::vector<MountRecord> mounts = ParseMountInfo(ReadTextFile("/proc/self/mountinfo"));
  SplitDisk split = SplitIntoVolumes(EntryForPath(letter, absolute.string(), mounts, "/sys/class/block"));
  if (!split.notes.empty()) {
    std::lock_guard lock(m_mutex);
    m_notes[absolute.string()] = split.notes;
  }
  used.insert(letter);
  for (std::size_t i = 0; i < split.drives.size(); ++i) {
    const char c = i == 0 ? letter : NextFreeLetter(used, letter);
    if (c == 0) break;
    used.insert(c);
    AttachAs(c, std::move(split.drives[i]));
  }
  return letter;
}

std::vector<std::string> DriveTable::DiskNotes(const std::string& diskPath) const {
  std::lock_guard lock(m_mutex);
  const auto it = m_notes.find(diskPath);
  return it == m_notes.end() ? std::vector<std::string>{} : it->second;
}

void DriveTable::AttachAs(char letter, DriveEntry entry) {
  entry.letter = letter;
  EnsureBuilt();
  std::lock_guard lock(m_mutex);
  auto drop = [letter](const DriveEntry& e) { return e.letter == letter; };
  m_attached.erase(std::remove_if(m_attached.begin(), m_attached.end(), drop), m_attached.end());
  m_entries.erase(std::remove_if(m_entries.begin(), m_entries.end(), drop), m_entries.end());
  m_attached.push_back(entry);
  m_entries.push_back(entry);
  std::sort(m_entries.begin(), m_entries.end(), [](const auto& a, const auto& b) { return a.letter < b.letter; });
}

void DriveTable::Detach(char letter) {
  std::lock_guard lock(m_mutex);
  auto drop = [letter](const DriveEntry& e) { return e.letter == letter; };
  m_attached.erase(std::remove_if(m_attached.begin(), m_attached.end(), drop), m_attached.end());
  m_entries.erase(std::remove_if(m_entries.begin(), m_entries.end(), drop), m_entries.end());
}

std::uint8_t DriveNumberOf(char letter) {
  if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
  return letter >= 'A' && letter <= 'Z' ? static_cast<std::uint8_t>(letter - 'A' + 1) : 0;
}

std::optional<std::string> ToPosixPath(std::string_view windowsPath) {
  if (windowsPath.size() < 2 || windowsPath[1] != ':') return std::nullopt;
  const auto drive = DriveTable::Instance().Find(windowsPath[0]);
  if (!drive || drive->mountRoot.empty()) return std::nullopt;
  std::string result = drive->mountRoot;
  std::string_view rest = windowsPath.substr(2);
  while (!rest.empty()) {
    const std::size_t sep = rest.find_first_of("\\/");
    const std::string_view part = rest.substr(0, sep);
    rest = sep == std::string_view::npos ? std::string_view{} : rest.substr(sep + 1);
    if (part.empty() || part == ".") continue;
    if (part == "..") return std::nullopt;  // a drive-letter path never climbs out of its drive
    if (result.back() != '/') result.push_back('/');
    result.append(part);
  }
  return result;
}

std::optional<std::string> ToWindowsPath(std::string_view posixPath) {
  std::error_code ec;
  const fs::path full = fs::weakly_canonical(fs::absolute(fs::path(posixPath), ec), ec);
  if (ec) return std::nullopt;
  const DriveEntry* best = nullptr;
  fs::path bestRoot;
  const auto entries = DriveTable::Instance().Entries();
  for (const auto& e : entries) {
    if (e.mountRoot.empty()) continue;
    const fs::path root = fs::weakly_canonical(e.mountRoot, ec);
    const auto mismatch = std::mismatch(root.begin(), root.end(), full.begin(), full.end());
    const bool under = mismatch.first == root.end();
    if (under && (best == nullptr || root.string().size() > bestRoot.string().size())) {
      best = &e;
      bestRoot = root;
    }
  }
  if (best == nullptr) return std::nullopt;
  std::string result(1, best->letter);
  result += ":\\";
  const fs::path relative = full.lexically_relative(bestRoot);
  bool first = true;
  for (const auto& part : relative) {
    if (part == "." || part.empty()) continue;
    if (!first) result += '\\';
    result += part.string();
    first = false;
  }
  return result;
}

std::string DriveDisplayName(char letter) {
  const auto drive = DriveTable::Instance().Find(letter);
  const std::string suffix = std::string(" (") + static_cast<char>(letter & ~0x20) + ":)";
  VolumeInformation info;
  const std::string root = std::string(1, letter) + ":\\";
  // A volume found only by its boot sectors, and the whole disk beside its volumes, say so first.
  if (drive && !drive->name.empty()) return drive->name + suffix;
  if (drive && GetVolumeInformation(root, info) && !info.label.empty()) return info.label + suffix;
  switch (drive ? drive->type : kDriveNoRootDir) {
    case kDriveRemovable: return "Removable Disk" + suffix;
    case kDriveFixed: return "Local Disk" + suffix;
    case kDriveRemote: return "Network Drive" + suffix;
    case kDriveCdRom: return "CD Drive" + suffix;
    case kDriveRamDisk: return "RAM Disk" + suffix;
    default: return "Drive" + suffix;
  }
}

}  // namespace platform
