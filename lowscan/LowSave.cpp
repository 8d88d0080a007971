// Saving carved files: each ticked record's byte range is read from the scanned
// drive again and written to "file_N.ext" in the output folder.

#include <algorithm>
#include <filesystem>
#include <vector>

#include "lowscan/MekLowScan.h"
#include "online/ActionCodes.h"
#include "platform/DriveTable.h"
#include "platform/Files.h"
#include "platform/LastError.h"
#include "platform/OutputFile.h"
#include "util/Text.h"

namespace lowscan {
namespace {

constexpr std::int64_t kSaveBuffer = 4194304;

// The record's name as one path component: separators, drive colons and control
// characters from a catalogue extension must not lead the file out of its folder.
std::string SafeComponent(const std::string& name) {
  std::string out = name;
  for (char& c : out) {
    if (c == '/' || c == '\\' || c == ':' || static_cast<unsigned char>(c) < 32) c = '_';
  }
  return out;
}

}  // namespace

std::int64_t TMekLowScan::SaveFileList(const std::string& folder) {
  std::int64_t saved = 0;
  m_raw->SetDriveLetter(std::string(1, m_drive));
  Log("Beginning Low Save of scanned drive: " + m_raw->GetDriveLetter(), online::action::kSaveBegin);
  for (auto& record : m_fileList) {
    if (m_processMessages) m_processMessages();
    if (!record->Save || record->Saved) continue;
    try {
      SaveOne(*record, folder, saved);
    } catch (const std::exception& error) {
      Log(error.what(), online::action::kLastReadOrWriteError);
    }
  }
  return saved;
}

void TMekLowScan::SaveOne(FileNode& file, const std::string& folder, std::int64_t& saved) {
  const std::string path = util::TidyFilename(folder + "\\" + SafeComponent(file.Name));
  const std::optional<std::string> posix = platform::ToPosixPath(path);
  std::error_code ec;
  if (!m_overwriteFiles && posix && std::filesystem::exists(*posix, ec)) {
    util::IPrompt& prompt = m_prompt ? *m_prompt : util::FallbackPrompt();
    const util::PromptAnswer answer = prompt.Ask("Confirm", "File: " + path + " already exists. Overwrite?",
                                                 util::PromptButtons::YesNoYesToAll, util::PromptIcon::Question);
    m_overwriteFiles = answer == util::PromptAnswer::YesToAll;
    if (answer != util::PromptAnswer::Yes && answer != util::PromptAnswer::YesToAll) {
      Log("File: " + path + " was NOT overwritten", online::action::kNotOverwritten);
      return;
    }
    std::filesystem::remove(*posix, ec);
  }
  std::int64_t freeSpace = -1;
  const char first = folder.empty() ? '\0' : folder[0];
  if ((first >= 'A' && first <= 'Z') || (first >= 'a' && first <= 'z')) {
    freeSpace = platform::GetDiskFree(platform::DriveNumberOf(first));
  }
  if (freeSpace != -1 && file.Size >= freeSpace) {
    Log("Not enough space. Required / Free : " + std::to_string(file.Size) + " / " + std::to_string(freeSpace), online::action::kError);
    return;
  }
  if (saved % 10 == 0) Log("Saving files..." + std::to_string(saved), online::action::kSaveBegin);
  platform::TOutputFile out(path);
  if (!out.IsOpen()) {
    Log("Problem creating file: " + path + "<br>" + "API Error: " + std::to_string(platform::GetLastError()), online::action::kError);
    return;
  }
  ++saved;
  std::int64_t written = 0;
  bool error = !CopyRange(file, out, path, written);
  if (!out.Close()) {
    Log("Problem closing file: " + path + "<br>" + "API Error: " + std::to_string(platform::GetLastError()), online::action::kError);
    error = true;
  }
  const std::int64_t span = file.EndPos - file.StartPos;
  if (static_cast<double>(span) * 0.75 > static_cast<double>(written)) {
    Log("File Size Incorrect. File: " + path + "<br>Scan / Actual: " + std::to_string(span) + " / " +
            std::to_string(written),
        online::action::kError);
    error = true;
  }
  if (error) {
    --saved;
    LogReadInfo();
    LogFileDetails(file);
    Log("File Save Error detected for: " + path, online::action::kError);
  } else {
    file.Saved = true;
  }
  NotifyFileSave(saved);
}

bool TMekLowScan::CopyRange(FileNode& file, platform::TOutputFile& out, const std::string& path,
                            std::int64_t& written) {
  const std::int64_t sectorSize = m_raw->GetDriveSectorSize();
  if (sectorSize <= 0) return false;
  const std::int64_t span = file.EndPos - file.StartPos;
  const std::int64_t bufferSize = span < kSaveBuffer ? span + sectorSize : kSaveBuffer;
  const std::int64_t perRead = std::max<std::int64_t>(1, bufferSize / sectorSize);
  const std::int64_t endSector = file.EndPos / sectorSize + 1;
  std::int64_t current = file.StartPos / sectorSize;
  std::int64_t got = 1;
  // One buffer for every file of the save run.
  if (m_copyBuffer.size() < static_cast<std::size_t>(perRead * sectorSize)) {
    m_copyBuffer = util::TLargeBuffer(static_cast<std::size_t>(std::max(perRead * sectorSize, kSaveBuffer)));
  }
  const std::span<std::byte> buffer = m_copyBuffer.Bytes();
  try {
    // The whole span is copied: the saved length is EndPos - StartPos.
    while (written < span && got > 0 && current < endSector) {
      const std::int64_t chunk = current * sectorSize;
      const std::int64_t n = std::min(perRead, endSector - current);
      got = ReadSectors(buffer.first(static_cast<std::size_t>(n * sectorSize)), current, n);
      // Short of the drive's end: only the sectors that are there count.
      if (got > 0 && m_raw->GetStatusCode() != disk::status::kSuccess) {
        got = ReadLeadingSectors(buffer, current, n);
      }
      if (got > 0) {
        if (m_processMessages) m_processMessages();
        const std::int64_t from = std::max(file.StartPos, chunk) - chunk;
        const std::int64_t to = std::min(file.EndPos, chunk + got) - chunk;
        if (to > from) {
          std::int64_t put = 0;
          const bool whole = out.WriteAll(buffer.subspan(static_cast<std::size_t>(from),
                                                         static_cast<std::size_t>(to - from)),
                                          put);
          written += put;
          if (!whole) {
            Log("Problem writing file. Wrote / Expected to write / Total Written: " + std::to_string(put) + " / " +
                    std::to_string(to - from) + " / " + std::to_string(written) + "<br>" +
                    "API Error: " + std::to_string(platform::GetLastError()),
                online::action::kError);
          }
        }
      } else if (file.EndPos == chunk) {
        Log("Problem reading drive (iCount = 0)", online::action::kError);
        return false;
      } else {
        Log("Cannot read a block of " + path + " (not counted as saved)<br>Sectors: " + std::to_string(current) +
                " - " + std::to_string(current + n - 1),
            online::action::kError);
      }
      current += got / sectorSize;
    }
  } catch (const std::exception& error) {
    Log(error.what(), online::action::kError);
    return false;
  }
  return true;
}

}  // namespace lowscan
