#include "cli/ScanSource.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "cli/Commands.h"
#include "platform/DriveQueries.h"
#include "platform/DriveTable.h"
#include "platform/ImageSource.h"
#include "platform/SourceFiles.h"
#include "util/SizeText.h"
#include "util/Text.h"

namespace cli {
namespace {

std::string SystemText(int error) { return std::strerror(error); }

bool LooksLikeLetter(const std::string& source) {
  return (source.size() == 1 || (source.size() <= 3 && source[1] == ':')) &&
         std::isalpha(static_cast<unsigned char>(source[0])) && (source.size() < 3 || source[2] == '\\');
}

OpenedSource Refuse(const std::string& error, int exitCode = kExitSourceUnreadable) {
  return {0, exitCode, error, {}, {}, {}};
}

const char* kFolderSource = " is a folder, not a drive, image or block device: it holds no sectors to scan";

std::string VolumeLine(const platform::DriveEntry& e) {
  platform::VolumeInformation info;
  const std::string root = std::string(1, e.letter) + ":\\";
  platform::GetVolumeInformation(root, info);
  std::string line = "  --partition ";
  line.append(std::to_string(e.partition)).append("  ").append(1, e.letter).append(":  ");
  if (e.partition == 0) return line.append("the whole disk (for the Low Level Scan of all of it)");
  line.append(info.fileSystem.empty() ? "RAW" : info.fileSystem).append("  ");
  if (!info.label.empty()) line.append(1, '"').append(info.label).append("\"  ");
  if (!e.name.empty()) line.append(e.name).append("  ");
  line.append(util::GetSizeDescription(static_cast<std::int64_t>(e.length)));
  return line.append(" at byte ").append(std::to_string(e.offset));
}

// The letter of the disk's volume to scan; 0 with `why` set when the choice is the user's.
char ChooseVolume(const std::string& disk, const std::string& source, const std::string& partition, char attached,
                  std::string& why) {
  std::vector<platform::DriveEntry> volumes;
  const platform::DriveEntry* whole = nullptr;
  const auto entries = platform::DriveTable::Instance().Entries();
  for (const auto& e : entries) {
    if (e.diskPath != disk) continue;
    if (e.partition == 0) {
      whole = &e;
    } else {
      volumes.push_back(e);
    }
  }
  if (volumes.empty()) {
    if (partition.empty() || partition == "0" || partition == "1") return attached;
    why = source + " holds one volume and no partition table: --partition " + partition + " does not apply";
    return 0;
  }
  if (partition.empty() && volumes.size() == 1) return volumes.front().letter;
  const int chosen = partition.empty() ? -1 : std::stoi(partition);
  if (chosen == 0 && whole != nullptr) return whole->letter;
  if (chosen >= 1 && static_cast<std::size_t>(chosen) <= volumes.size()) return volumes[chosen - 1].letter;
  why = source + " holds " + std::to_string(volumes.size()) + " volumes; choose one with --partition N:";
  for (const auto& e : volumes) why.append(1, '\n').append(VolumeLine(e));
  if (whole != nullptr) why.append(1, '\n').append(VolumeLine(*whole));
  return 0;
}

}  // namespace

OpenedSource OpenSource(const std::string& source, const std::string& partition) {
  if (LooksLikeLetter(source)) {
    const char letter = util::UpperCase(source.substr(0, 1))[0];
    const auto entry = platform::DriveTable::Instance().Find(letter);
    if (!entry) return Refuse("drive " + std::string(1, letter) + ": is not in the drive table (see: trellmond-cli drives)");
    if (entry->devicePath.empty()) {
      return {letter, 0, {}, std::string(1, letter) + ": (" + entry->mountRoot + ")" + kFolderSource, {}, {}};
    }
    if (!partition.empty()) return Refuse("--partition chooses among the volumes of an image or device path", kExitUsage);
    return {letter, 0, {}, {}, {}, {}};
  }
  struct stat st {};
  if (::stat(source.c_str(), &st) != 0) return Refuse("cannot open the source " + source + ": " + SystemText(errno));
  if (S_ISDIR(st.st_mode)) return Refuse(source + kFolderSource);
  if (const std::string why = platform::SourceKindRefusal(source); !why.empty()) return Refuse(why);
  char letter = platform::DriveTable::Instance().Attach(source);
  if (letter == 0) return Refuse("cannot attach the source " + source + ": no drive letter is free");
  std::error_code ec;
  const std::string disk = std::filesystem::absolute(source, ec).string();
  std::string why;
  letter = ChooseVolume(disk, source, partition, letter, why);
  if (letter == 0) return Refuse(why, kExitUsage);
  auto volume = platform::Volume::Choose(letter);
  if (!volume) {
    const int error = errno;
    platform::DriveTable::Instance().Detach(letter);
    const std::string problem = platform::ImageSource::Problem(disk);
    return Refuse("cannot open the source " + source + ": " + (problem.empty() ? SystemText(error) : problem));
  }
  return {letter, 0, {}, {}, std::move(volume), platform::DriveTable::Instance().DiskNotes(disk)};
}

bool CheckReportPath(const std::string& path, std::string& why) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path report = fs::absolute(path, ec);
  if (fs::is_directory(report, ec)) {
    why = path + " is a folder";
    return false;
  }
  const fs::path folder = report.parent_path();
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0) {
    why = "the folder " + folder.string() + ": " + SystemText(errno);
    return false;
  }
  if (!S_ISDIR(st.st_mode)) {
    why = folder.string() + " is not a folder";
    return false;
  }
  const bool existed = fs::exists(report, ec);
  const int fd = ::open(report.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    why = SystemText(errno);
    return false;
  }
  ::close(fd);
  if (!existed) fs::remove(report, ec);
  return true;
}

}  // namespace cli
