// The FAT directory walk: the root, then every sub-directory (deleted ones too),
// turning each file entry into a record.

#include <algorithm>
#include <utility>

#include "fsscan/FatNames.h"
#include "fsscan/MekFATScan.h"
#include "online/ActionCodes.h"
#include "util/ByteReader.h"
#include "util/Text.h"

namespace fsscan {
namespace {

constexpr std::uint8_t kAttrLongName = 0x0F;
constexpr std::uint8_t kAttrVolumeLabel = 0x08;
constexpr std::uint8_t kAttrDirectory = 0x10;
constexpr std::uint8_t kDeletedMark = 0xE5;
// The never-twice cluster guard already ends loops; the depth only bounds the recursion.
constexpr std::int64_t kMaxDepth = 255;
// Windows records an all-lower-case 8.3 base name or extension in these bits.
constexpr std::uint8_t kLowerCaseBase = 0x08;
constexpr std::uint8_t kLowerCaseExtension = 0x10;

// Bytes [from, to) of the entry up to the first zero byte, trimmed of blanks.
std::string ShortPart(const util::ByteReader& entry, std::uint64_t from, std::uint64_t to) {
  std::string raw = entry.Text(from, to - from);
  raw = raw.substr(0, raw.find('\0'));
  return util::Trim(raw);
}

// The 8.3 name as text: the deleted mark shows as "x", a stored 0x05 is a real 0xE5.
std::string DecodeShort(std::string part) {
  if (!part.empty() && static_cast<unsigned char>(part[0]) == 0x05) part[0] = static_cast<char>(0xE5);
  else std::replace(part.begin(), part.end(), static_cast<char>(kDeletedMark), 'x');
  return OemToUtf8(part);
}

// 1-based position of the first case-insensitive occurrence, 0 when absent.
std::size_t PositionNoCase(const std::string& text, const std::string& part) {
  const std::size_t at = util::UpperCase(text).find(util::UpperCase(part));
  return at == std::string::npos ? 0 : at + 1;
}

// A sub-directory's name: its long name, else its 8.3 name (lower case when flagged so).
std::string DirectoryName(const util::ByteReader& entry, const std::string& longName) {
  if (!longName.empty()) return longName;
  const std::string name = DecodeShort(ShortPart(entry, 0, 8));
  return (entry.U8(12) & kLowerCaseBase) != 0 ? util::LowerCase(name) : name;
}

util::TDateTime EntryDateTime(const util::ByteReader& entry);

// The record of a file entry, its names as the wizard shows them.
std::unique_ptr<FileNode> MakeFileRecord(const util::ByteReader& entry, const std::string& path,
                                         const std::string& longName) {
  auto record = std::make_unique<FileNode>();
  const std::string base = DecodeShort(ShortPart(entry, 0, 8));
  const std::string ext = DecodeShort(ShortPart(entry, 8, 11));
  record->Dir = path + "\\";
  // A name without an extension has no dot ("README", not "README.").
  const std::string dot = ext.empty() ? "" : ".";
  record->ShortName = base + dot + ext;
  record->Extension = util::UpperCase(ext);
  if (!longName.empty()) {
    record->LongName = longName;
  } else {
    const std::uint8_t caseBits = entry.U8(12);
    record->LongName = ((caseBits & kLowerCaseBase) ? util::LowerCase(base) : base) + dot +
                       ((caseBits & kLowerCaseExtension) ? util::LowerCase(ext) : ext);
  }
  // A name that does not end in the short extension gets it appended, as stored; a long
  // extension the short one was cut from ("docx" for "DOC") is the name's own and stays alone.
  const std::string dotExtension = "." + record->Extension;
  if (!ext.empty() && PositionNoCase(record->LongName, dotExtension) != record->LongName.size() - dotExtension.size() + 1 &&
      !util::IsShortenedExtension(record->LongName, record->Extension)) {
    record->LongName += "." + ext;
  }
  record->FirstCluster = (std::int64_t{entry.U16(20)} << 16) | entry.U16(26);
  record->Size = entry.U32(28);
  record->DateTime = EntryDateTime(entry);
  return record;
}

util::TDateTime EntryDateTime(const util::ByteReader& entry) {
  const std::uint16_t time = entry.U16(22);
  const std::uint16_t date = entry.U16(24);
  return util::EncodeDateTime(1980 + (date >> 9), (date >> 5) & 0x0F, date & 0x1F, time >> 11, (time >> 5) & 0x3F,
                              (time & 0x1F) * 2)
      .value_or(0);
}

}  // namespace

void TMekFATScan::ScanFAT12_FAT16DirectoryEntries(const BootRecord& boot) {
  Log("FATScan Checkpoint: ScanDirectoryEntries", online::action::kFatScan);
  const std::uint8_t type = GetFATType(boot);
  const auto first = static_cast<std::int64_t>(GetFirstRootDirSector(boot));
  ScanDirectoryEntries(boot, "", type, static_cast<std::int64_t>(GetFirstDataSector(boot)) - first, first);
}

void TMekFATScan::ScanFAT32DirectoryEntries(const BootRecord& boot) {
  Log("FATScan Checkpoint: ScanDirectoryEntries", online::action::kFatScan);
  const std::uint8_t type = GetFATType(boot);
  ScanDirectoryClusters(BootFields(boot).rootCluster, boot, type, "");
}

void TMekFATScan::ScanDirectoryClusters(std::uint32_t firstCluster, const BootRecord& boot, std::uint8_t fatType,
                                        const std::string& path) {
  if (!m_scanFatValid) return;
  std::vector<ClusterNode> runs;
  LogChainCut(BuildFileClusterList(m_scanFat, boot, runs, 0, firstCluster), "the folder " + (path.empty() ? "\\" : path));
  LongNameAssembler names;
  const std::int64_t spc = BootFields(boot).sectorsPerCluster;
  const auto firstData = static_cast<std::int64_t>(GetFirstDataSector(boot));
  for (const ClusterNode& run : runs) {
    // Read only clusters this scan has not read as a directory yet, in the longest
    // stretches the run allows.
    std::int64_t start = run.StartCluster;
    const std::int64_t end = run.StartCluster + run.NumClusters;
    while (start < end) {
      if (!m_visitedDirClusters.insert(start).second) {
        ++start;
        continue;
      }
      std::int64_t stop = start + 1;
      while (stop < end && m_visitedDirClusters.insert(stop).second) ++stop;
      const std::int64_t sector = (std::max<std::int64_t>(start, 2) - 2) * spc + firstData;
      ScanDirectoryEntries(boot, path, fatType, (stop - start) * spc, sector, &names);
      start = stop + 1;  // `stop` was either the end or a cluster already read
    }
  }
}

void TMekFATScan::ScanDirectoryEntries(const BootRecord& boot, const std::string& path, std::uint8_t fatType,
                                       std::int64_t sectorCount, std::int64_t startSector,
                                       LongNameAssembler* names) {
  ++m_depth;
  ++m_dirCount;
  // Each read takes at least one cluster not read before, so the volume's cluster count
  // bounds the reads of a scan.
  const std::int64_t maxReads = m_raw->GetTotalClusterCount() + 2;
  if (m_depth <= kMaxDepth && m_dirCount <= maxReads && sectorCount > 0) {
    const std::int64_t bps = BootFields(boot).bytesPerSector;
    std::vector<std::byte> buffer(static_cast<std::size_t>(sectorCount * bps));
    const std::int64_t got =
        ReadSectors(buffer.data(), static_cast<std::int64_t>(buffer.size()), sectorCount, startSector);
    if (got > 0) {
      ExtractDirEntries(buffer.data(), boot, fatType, path, got, names);
    } else {
      LogUnreadable("the directory " + (path.empty() ? std::string("\\") : path), startSector, sectorCount);
    }
  }
  --m_depth;
}

void TMekFATScan::EnterDirectory(const util::ByteReader& entry, std::int64_t firstCluster, const BootRecord& boot,
                                 std::uint8_t fatType, const std::string& path) {
  if (m_depth >= kMaxDepth) {
    if (!m_depthLimitLogged) {
      Log("Directory depth limit of " + std::to_string(kMaxDepth) + " reached; not read: " + path, online::action::kError);
      m_depthLimitLogged = true;
    }
    return;
  }
  // Everything below a deleted directory is gone from the volume, however live its own
  // entries look (Windows may delete only the directory's entry).
  const bool deleted = entry.U8(0) == kDeletedMark || m_inDeletedFolder;
  const bool outerDeleted = std::exchange(m_inDeletedFolder, deleted);
  // A deleted directory's chain was cleared with it; where the FAT still links its first
  // cluster, the chain is someone else's or was never cleared, and the chain is followed.
  if (deleted && IsFreeCluster(fatType, firstCluster)) {
    ScanDeletedDirectory(firstCluster, boot, fatType, path);
  } else if (deleted && !HoldsDotEntries(firstCluster, boot)) {
    // Taken by a file written after the deletion: its data are no directory entries.
  } else {
    ScanDirectoryClusters(static_cast<std::uint32_t>(firstCluster), boot, fatType, path);
  }
  m_inDeletedFolder = outerDeleted;
}

void TMekFATScan::ExtractDirEntries(const std::byte* buffer, const BootRecord& boot, std::uint8_t fatType,
                                    const std::string& path, std::int64_t byteCount, LongNameAssembler* names) {
  const util::ByteReader all(buffer, static_cast<std::size_t>(std::max<std::int64_t>(byteCount, 0)));
  LongNameAssembler ownNames;
  LongNameAssembler& longName = names != nullptr ? *names : ownNames;
  const std::string filter = util::UpperCase(m_filter);
  const bool noFilter = util::Trim(m_filter).empty();
  for (std::uint64_t offset = 0; all.Has(offset, 32); offset += 32) {
    const util::ByteReader entry = *all.Sub(offset, 32);
    const std::uint8_t first = entry.U8(0);
    const std::uint8_t attr = entry.U8(11);
    if (first == 0x00) break;
    if (attr == kAttrLongName) {
      longName.Add(entry);
      continue;
    }
    // A long name belongs to the short entry right after it, whatever that entry is.
    const std::string assembled = longName.NameFor(entry);
    longName.Clear();
    const bool deleted = first == kDeletedMark || m_inDeletedFolder;
    const std::uint32_t size = entry.U32(28);
    const std::int64_t firstCluster = (std::int64_t{entry.U16(20)} << 16) | entry.U16(26);
    if ((attr & kAttrDirectory) != 0) {
      const std::string shortName = ShortPart(entry, 0, 8);
      if (shortName == "." || shortName == "..") continue;
      // A directory's size field is 0, but Windows leaves one in a deleted directory's entry:
      // its first cluster starting as a directory's does is the guard then.
      if (size != 0 && !HoldsDotEntries(firstCluster, boot)) continue;
      if (firstCluster > 0) EnterDirectory(entry, firstCluster, boot, fatType, path + "\\" + DirectoryName(entry, assembled));
      continue;
    }
    if ((attr & kAttrVolumeLabel) != 0 || size == 0) continue;
    if (!deleted && firstCluster >= 2) m_liveFirstClusters.push_back(firstCluster);
    if (m_deletedOnly && !deleted) continue;
    const std::string extension = util::UpperCase(ShortPart(entry, 8, 11));
    if (!noFilter && (extension.empty() || filter.find(extension) == std::string::npos)) continue;

    auto record = MakeFileRecord(entry, path, assembled);
    record->Origin = m_walkOrigin;
    if (firstCluster > m_raw->GetTotalClusterCount()) {
      Log("ExtractDirEntries (E5): <br>Filename: " + record->LongName + "<br>" + "Calculated: " +
              std::to_string(firstCluster) + "<br>" + "Maximum: " + std::to_string(m_raw->GetTotalClusterCount()) +
              "<br>" + "High: " + std::to_string(entry.U16(20)) + "<br>" + "Low: " + std::to_string(entry.U16(26)) +
              "<br>" + "Hex: " + util::StrToHex(all.Text(offset, std::min<std::uint64_t>(50, all.Size() - offset))),
          online::action::kError);
    }
    m_fileList.push_back(std::move(record));
  }
}

}  // namespace fsscan
