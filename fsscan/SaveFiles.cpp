// Saving the records of the Undelete scan: each ticked file rebuilt from its
// clusters (or resident data) under its directory path in the output folder.

#include <algorithm>
#include <exception>
#include <filesystem>
#include <memory>

#include "fsscan/MekFATScan.h"
#include "fsscan/OutputNames.h"
#include "fsscan/SafeNames.h"
#include "online/ActionCodes.h"
#include "platform/DriveTable.h"
#include "platform/Files.h"
#include "platform/LastError.h"
#include "platform/OutputFile.h"
#include "util/Text.h"

namespace fsscan {
namespace {

constexpr std::int64_t kSaveBlockLimit = 4194304;
constexpr std::int64_t kStreamBlockLimit = 2097152;

// LongName without its last extension, as a file-name change of extension sees it.
std::string WithoutExtension(const std::string& name) {
  const std::size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

// The extension to save under: the name's own spelling when it is the record's extension
// but for case ("photo.jpg" stays .jpg, not .JPG: Windows sees one name, Linux two), or when
// the record's is the short name's cut of it ("plan.docx" stays .docx, not .DOC).
std::string SavedExtension(const std::string& name, const std::string& extension) {
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos && (util::UpperCase(name.substr(dot + 1)) == util::UpperCase(extension) ||
                                   util::IsShortenedExtension(name, extension))) {
    return name.substr(dot + 1);
  }
  return extension;
}

bool PathExists(const std::string& windowsPath) {
  const auto posix = platform::ToPosixPath(windowsPath);
  std::error_code ec;
  return posix && std::filesystem::exists(*posix, ec);
}

// exFAT: a file's bytes past its valid data length were never written; they read as zeros.
bool PastValidData(const FileNode& record, std::int64_t position) {
  return record.ValidSize >= 0 && position >= record.ValidSize;
}

void ZeroPastValidData(const FileNode& record, std::int64_t position, std::byte* block, std::int64_t count) {
  if (record.ValidSize < 0 || position + count <= record.ValidSize) return;
  const std::int64_t from = std::max<std::int64_t>(0, record.ValidSize - position);
  std::fill(block + from, block + count, std::byte{0});
}

}  // namespace

std::int64_t TMekFATScan::SectorOfCluster(std::int64_t cluster, const BootRecord& boot) const {
  const std::int64_t spc = m_raw->GetSectorsPerCluster();
  if (m_raw->GetFileSystem() == "NTFS") return cluster * spc;
  if (m_exFat) return (cluster - 2) * spc + static_cast<std::int64_t>(m_exFat->geometry.firstDataSector);
  return (cluster - 2) * spc + GetFirstDataSector(boot);
}

bool TMekFATScan::CloseSaved(platform::TOutputFile& out, const std::string& name) {
  if (out.Close()) return true;
  Log("Problem closing file: " + name + "<br>" + "API Error: " + std::to_string(platform::GetLastError()), online::action::kError);
  return false;
}

void TMekFATScan::NotifyFileSave(std::int64_t count) {
  if (OnFilesSavedNotify) OnFilesSavedNotify(this, count);
}

std::int64_t TMekFATScan::SaveFilesToDisk(const std::string& outputFolder) {
  m_raw->SetDriveLetter(std::string(1, m_drive));
  Log("Beginning FAT save", online::action::kSaveBegin);
  BootRecord boot{};
  m_exFat.reset();
  if (m_raw->GetFileSystem() == "exFAT") {
    if (!ReadExFatBootRegion()) return 0;
  } else if (m_raw->GetFileSystem() != "NTFS") {
    GetFATBootRecord(boot);
    m_volumeSectors = static_cast<std::int64_t>(GetTotalSectors(boot));
    if (static_cast<std::uint8_t>(boot[13]) != m_raw->GetSectorsPerCluster()) {
      boot[13] = static_cast<std::byte>(m_raw->GetSectorsPerCluster());
    }
    if (!GeometryUsable(boot)) return 0;
  }
  std::int64_t saved = 0;
  m_outputNames.Clear();
  try {
    for (std::size_t i = 0; i < m_fileList.size(); ++i) {
      ProcessMessages();
      FileNode& record = *m_fileList[i];
      if (!record.Save || record.Saved) continue;
      if (i % 10 == 0) Log("Saving files..." + std::to_string(saved), online::action::kSaveProgress);
      std::int64_t freeSpace = -1;
      const char letter = outputFolder.empty() ? 0 : outputFolder[0];
      if ((letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z')) {
        freeSpace = platform::GetDiskFree(platform::DriveNumberOf(letter));
      }
      if (record.Size < freeSpace || freeSpace == -1) {
        try {
          if (SaveToDisk(record, outputFolder, boot)) {
            ++saved;
            record.Saved = true;
            NotifyFileSave(saved);
          }
        } catch (const std::exception& e) {
          Log(e.what(), online::action::kError);
        }
      } else {
        Log("Not enough space. Required / Free : " + std::to_string(record.Size) + " / " + std::to_string(freeSpace),
            online::action::kError);
      }
    }
  } catch (const std::exception& e) {
    Log(e.what(), online::action::kClusterBeyondDrive);
  }
  return saved;
}

OutputNames::Placed TMekFATScan::TargetName(const FileNode& record, const std::string& outputFolder) {
  // A named stream is saved beside its file as "file:stream", the file's name spelt as the
  // file's own record is saved.
  std::string fileName = record.LongName;
  std::string fileExtension = record.Extension;
  std::string streamSuffix;
  if (!record.StreamName.empty() && record.LongName.size() > record.StreamName.size()) {
    fileName = record.LongName.substr(0, record.LongName.size() - record.StreamName.size() - 1);
    const std::size_t dot = fileName.rfind('.');
    fileExtension = dot == std::string::npos ? std::string{} : fileName.substr(dot + 1);
    // Built in place rather than "literal + string": GCC 12 at -O3 reports a false
    // -Wrestrict for the latter (GCC bug 105329).
    streamSuffix = SafeName(record.StreamName);
    streamSuffix.insert(streamSuffix.begin(), ':');
  }
  const std::string saved = SavedExtension(fileName, fileExtension);
  const std::string extension = saved.empty() ? std::string{} : SafeName(saved);
  std::vector<std::string> levels;
  const std::string dir = SafeDirectory(record.Dir);
  for (std::size_t start = 1; start < dir.size();) {
    const std::size_t end = dir.find('\\', start);
    levels.push_back(dir.substr(start, end - start));
    start = end + 1;
  }
  // A name without an extension is saved without a dot ("$MFT", "Makefile").
  const std::string dotExtension = extension.empty() ? std::string{} : "." + extension;
  return m_outputNames.Place(outputFolder, levels, SafeName(WithoutExtension(fileName)), dotExtension + streamSuffix);
}

void TMekFATScan::ReadAroundUnreadable(FileNode& record, std::span<std::byte> block, std::int64_t firstSector) {
  const std::int64_t sectorSize = m_raw->GetDriveSectorSize();
  const std::int64_t clusterBytes = sectorSize * m_raw->GetSectorsPerCluster();
  const auto size = static_cast<std::int64_t>(block.size());
  std::int64_t badFrom = -1;
  const auto logBad = [&](std::int64_t upTo) {
    if (badFrom < 0) return;
    const std::int64_t first = firstSector + badFrom / sectorSize;
    const std::int64_t count = (upTo - badFrom + sectorSize - 1) / sectorSize;
    record.Unreadable.push_back({first, count});
    LogUnreadable("sectors of " + record.Dir + record.LongName + " (zeros in their place; not counted as saved)",
                  first, count);
    badFrom = -1;
  };
  // Whole clusters, as the block asked for them: the file's last one too.
  std::vector<std::byte> cluster(static_cast<std::size_t>(clusterBytes));
  const std::int64_t spc = m_raw->GetSectorsPerCluster();
  for (std::int64_t at = 0; at < size; at += clusterBytes) {
    const std::int64_t want = std::min(clusterBytes, size - at);
    std::byte* into = block.data() + at;
    if (!m_terminated && ReadSectors(cluster.data(), clusterBytes, spc, firstSector + at / sectorSize) >= want) {
      std::copy_n(cluster.data(), want, into);
      logBad(at);
      continue;
    }
    std::fill(into, into + want, std::byte{0});
    if (badFrom < 0) badFrom = at;
  }
  logBad(size);
}

bool TMekFATScan::WriteRuns(FileNode& record, platform::TOutputFile& out, const BootRecord& boot, std::int64_t clustersPerBlock,
                            std::int64_t& written) {
  const std::int64_t spc = m_raw->GetSectorsPerCluster();
  const std::int64_t sectorSize = m_raw->GetDriveSectorSize();
  std::vector<std::byte> buffer(static_cast<std::size_t>(clustersPerBlock * spc * sectorSize));
  std::int64_t remaining = record.Size;
  bool complete = true;
  for (const ClusterNode& run : *record.Clusters) {
    std::int64_t left = run.NumClusters;
    std::int64_t cluster = run.StartCluster;
    while (left > 0 && remaining > 0) {
      ProcessMessages();
      const std::int64_t n = std::min(clustersPerBlock, left);
      const std::int64_t sectors = n * spc;
      const std::int64_t bytes = std::min(sectors * sectorSize, remaining);
      if (run.Sparse) {
        // Never-written clusters stay a hole in the saved file.
        if (!out.SkipZeros(bytes)) {
          Log("Problem writing file. Sparse range / Written(Total): " + std::to_string(bytes) + " / " +
                  std::to_string(written) + "<br>" + "API Error: " + std::to_string(platform::GetLastError()),
              online::action::kLastReadOrWriteError);
          return false;
        }
        written += bytes;
        cluster += n;
        left -= n;
        remaining -= bytes;
        continue;
      }
      const std::int64_t position = record.Size - remaining;
      std::int64_t got = bytes;
      bool whole = true;
      if (PastValidData(record, position)) {
        std::fill(buffer.begin(), buffer.begin() + bytes, std::byte{0});
      } else {
        const std::int64_t first = SectorOfCluster(cluster, boot);
        got = std::max<std::int64_t>(0, ReadSectors(buffer.data(), bytes, sectors, first));
        if (got < bytes) {
          // An unreadable block is read again cluster by cluster: a bad sector costs its
          // cluster, which becomes zeros so later data keeps its place; the file is then
          // not reported as saved.
          complete = false;
          whole = false;
          got = bytes;
          ReadAroundUnreadable(record, std::span(buffer).first(static_cast<std::size_t>(bytes)), first);
        }
        ZeroPastValidData(record, position, buffer.data(), got);
      }
      std::int64_t put = 0;
      if (!out.WriteAll(std::span(buffer).first(static_cast<std::size_t>(bytes)), put)) {
        Log("Problem writing file. Written(Block) / BufferRequested / BufferReturned / Written(Total): " +
                std::to_string(put) + " / " + std::to_string(bytes) + " / " + std::to_string(got) + " / " +
                std::to_string(written + put) + "<br>" + "API Error: " + std::to_string(platform::GetLastError()),
            online::action::kLastReadOrWriteError);
        return false;
      }
      if (whole) written += put;
      cluster += n;
      left -= n;
      remaining -= bytes;
    }
  }
  return complete;
}

bool TMekFATScan::SaveToDisk(FileNode& record, const std::string& outputFolder, const BootRecord& boot) {
  record.Unreadable.clear();
  OutputNames::Placed placed = TargetName(record, outputFolder);
  const std::string folder = placed.path.substr(0, placed.path.rfind('\\'));
  if (!PathExists(folder) && !platform::CreateDirectoryPath(folder)) {
    Log("Problem creating folder: " + folder + "<br>" + "API Error: " + std::to_string(platform::GetLastError()),
        online::action::kError);
    return false;
  }
  if (m_raw->GetDriveSectorSize() == 0 || m_raw->GetSectorsPerCluster() == 0) {
    Log(std::string("Problem with Drive component. Resetting...") + m_drive, online::action::kDriveComponentReset);
    m_raw->SetDriveLetter(std::string(1, m_drive));
  }
  const std::int64_t spc = m_raw->GetSectorsPerCluster();
  const std::int64_t sectorSize = m_raw->GetDriveSectorSize();
  if (sectorSize == 0 || spc == 0) {
    Log("Using artificial Cluster Increment", online::action::kArtificialClusterIncrement);
    return false;  // without a geometry no cluster can be found on the volume
  }
  const std::int64_t blockLimit =
      record.Size < kSaveBlockLimit ? record.Size + m_raw->GetDriveClusterSize() : kSaveBlockLimit;
  const std::int64_t clustersPerBlock = std::max<std::int64_t>(1, blockLimit / sectorSize / spc);

  // A name the index did not know of (another writer, or case folded beyond ASCII) is
  // never replaced: the file takes the next free name.
  auto out = std::make_unique<platform::TOutputFile>(placed.path, platform::TOutputFile::Mode::kNew);
  for (int tries = 0; !out->IsOpen() && platform::GetLastError() == platform::kErrorFileExists && tries < 100; ++tries) {
    placed = TargetName(record, outputFolder);
    out = std::make_unique<platform::TOutputFile>(placed.path, platform::TOutputFile::Mode::kNew);
  }
  const std::string& name = placed.path;
  if (placed.renamed) {
    Log("Saved under another name than on the medium: " + record.Dir + record.LongName + "<br>Saved as: " + name,
        online::action::kSaveProgress);
  }
  if (record.Resident) Log("Resident File: " + name, online::action::kNotEnoughSpace);
  bool result = out->IsOpen();
  std::int64_t written = 0;
  if (!out->IsOpen()) {
    Log("Problem creating file: " + name + "<br>" + "API Error: " + std::to_string(platform::GetLastError()), online::action::kError);
  } else if (record.Resident) {
    if (record.ResidentData &&
        !out->WriteAll({record.ResidentData->Memory(), static_cast<std::size_t>(record.ResidentData->Size())},
                      written)) {
      Log("Write failed Filename: " + name, online::action::kError);
      result = false;
    }
    // A file kept inside its record has its date too.
    if (record.DateTime != 0) out->SetTimes(util::LocalDateTimeToUnix(record.DateTime));
    result = CloseSaved(*out, name) && result;
  } else {
    if (record.CompressionUnit != 0) {
      std::string failure;
      const auto sink = [&](const std::byte* data, std::int64_t count) {
        std::int64_t put = 0;
        const bool ok = out->WriteAll({data, static_cast<std::size_t>(count)}, put);
        written += put;
        return ok;
      };
      if (!ReadCompressedData(record, boot, sink, failure)) {
        Log("Problem decompressing file: " + name + "<br>" + failure, online::action::kError);
        result = false;
      }
    } else if (record.Clusters) {
      result = WriteRuns(record, *out, boot, clustersPerBlock, written);
    }
    if (record.DateTime != 0) out->SetTimes(util::LocalDateTimeToUnix(record.DateTime));
    result = CloseSaved(*out, name) && result;
    // Every byte must be there: a file missing any part is not reported as saved.
    if (written < record.Size) {
      Log("File Size Incorrect. File: " + name + "<br>FileSize / Written " + std::to_string(record.Size) + " / " +
              std::to_string(written),
          online::action::kFileSizeIncorrect);
      result = false;
    }
  }
  if (!result) {
    LogReadInfo();
    LogFileDetails(record);
  } else {
    record.SavedAs = name;
  }
  return result;
}

void TMekFATScan::SaveToStream(const FileNode& record, util::TMemoryStream& stream, const BootRecord& boot) {
  if (record.Resident) {
    if (record.ResidentData) stream.Write(record.ResidentData->Memory(), record.ResidentData->Size());
    return;
  }
  if (record.CompressionUnit != 0) {
    std::string failure;
    const auto sink = [&stream](const std::byte* data, std::int64_t count) { return stream.Write(data, count) == count; };
    if (!ReadCompressedData(record, boot, sink, failure)) {
      Log("GetFileStream. Problem decompressing: " + failure, online::action::kSaveError);
      LogFileDetails(record);
    }
    return;
  }
  const std::int64_t spc = m_raw->GetSectorsPerCluster();
  const std::int64_t sectorSize = m_raw->GetDriveSectorSize();
  if (spc == 0 || sectorSize == 0 || !record.Clusters) return;
  const std::int64_t clustersPerBlock = std::max<std::int64_t>(1, kStreamBlockLimit / sectorSize / spc);
  std::vector<std::byte> buffer(static_cast<std::size_t>(clustersPerBlock * spc * sectorSize));
  std::int64_t remaining = record.Size;
  const std::int64_t volumeSectors = spc * m_raw->GetTotalClusterCount();
  for (const ClusterNode& run : *record.Clusters) {
    try {
      std::int64_t left = run.NumClusters;
      std::int64_t cluster = run.StartCluster;
      while (left > 0 && remaining > 0) {
        ProcessMessages();
        const std::int64_t n = std::min(clustersPerBlock, left);
        const std::int64_t bytes = std::min(n * spc * sectorSize, remaining);
        std::int64_t got = bytes;
        const std::int64_t position = record.Size - remaining;
        if (run.Sparse || PastValidData(record, position)) {
          std::fill(buffer.begin(), buffer.begin() + bytes, std::byte{0});
        } else {
          const std::int64_t sector = SectorOfCluster(cluster, boot);
          if (sector > std::max(volumeSectors, m_volumeSectors)) {
            Log("GetFileStream. Cluster Location larger than drive: " + std::to_string(sector), online::action::kClusterBeyondDrive);
            LogFileDetails(record);
          }
          got = ReadSectors(buffer.data(), bytes, n * spc, sector);
          ZeroPastValidData(record, position, buffer.data(), got);
        }
        if (got > 0) stream.Write(buffer.data(), got);
        cluster += n;
        left -= n;
        remaining -= bytes;
      }
    } catch (const std::exception& e) {
      Log(e.what(), online::action::kSaveError);
      LogFileDetails(record);
    }
  }
}

}  // namespace fsscan
