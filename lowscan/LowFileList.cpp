// The carved-file list: selection, counts, the type summary and detail log lines.

#include <string>
#include <vector>

#include "lowscan/MekLowScan.h"
#include "online/ActionCodes.h"
#include "util/Text.h"

namespace lowscan {
namespace {

// One item of a space-separated list, quoted when it holds a blank, a control
// character or a double quote.
std::string QuoteItem(const std::string& item) {
  bool quote = false;
  for (const char c : item) {
    if (static_cast<unsigned char>(c) <= 32 || c == '"') quote = true;
  }
  if (!quote) return item;
  std::string out = "\"";
  for (const char c : item) {
    out += c;
    if (c == '"') out += '"';
  }
  return out + "\"";
}

}  // namespace

void TMekLowScan::DeleteFileList() {
  while (!m_fileList.empty()) m_fileList.pop_back();
}

void TMekLowScan::DeletePrevious() {
  DeleteFileList();
  m_fileCounter = 0;
}

void TMekLowScan::SetSaveFlag(bool value, std::int64_t index) {
  if (index >= 0 && index < static_cast<std::int64_t>(m_fileList.size())) m_fileList[index]->Save = value;
}

void TMekLowScan::SetAllSaveFlags(bool value) {
  for (auto& file : m_fileList) file->Save = value;
}

std::int64_t TMekLowScan::GetSaveSize(std::uint8_t mode) const {
  std::int64_t sum = 0;
  for (const auto& file : m_fileList) {
    const bool counted = mode == 0 ? file->Saved : mode == 1 ? (file->Save && !file->Saved) : false;
    if (counted) sum += file->EndPos - file->StartPos;
  }
  return sum;
}

std::int64_t TMekLowScan::GetNumber(bool saved) const {
  std::int64_t count = 0;
  for (const auto& file : m_fileList) {
    if (saved ? file->Saved : (file->Save && !file->Saved)) ++count;
  }
  return count;
}

std::string TMekLowScan::GetTypes(bool selected) const {
  std::vector<std::pair<std::string, std::int64_t>> items;
  for (const auto& file : m_fileList) {
    if (selected && !file->Save) continue;
    bool found = false;
    for (auto& item : items) {
      if (item.first == file->Extension) {
        ++item.second;
        found = true;
        break;
      }
    }
    if (!found) items.emplace_back(file->Extension, 1);
  }
  std::string text;
  for (const auto& [extension, count] : items) {
    if (!text.empty()) text += ' ';
    text += QuoteItem(extension + ":" + std::to_string(count));
  }
  return util::UpperCase(text);
}

void TMekLowScan::NotifyFileSave(std::int64_t count) {
  if (OnFilesSavedNotify) OnFilesSavedNotify(this, count);
}

void TMekLowScan::LogFileDetails(const FileNode& file) {
  Log("Problem saving file:<br>Name:           " + util::Trim(file.Name) + "<br>" +
          "StartPos:       " + std::to_string(file.StartPos) + "<br>" + "EndPos:         " +
          std::to_string(file.EndPos) + "<br>" + "Size:           " + std::to_string(file.Size) + "<br>" +
          "Save:           " + (file.Save ? "1" : "0") + "<br>",
      online::action::kError);
}

void TMekLowScan::LogReadInfo() {
  const util::TReadInfo& info = util::GlobalReadInfo();
  Log("Last Read Information:<br>Drive:           " + info.Drive + "<br>" + "StartSector:           " +
          std::to_string(info.StartSector) + "<br>" + "NumSectors:       " + std::to_string(info.NumSectors) +
          "<br>" + "Status:         " + std::to_string(info.Status) + "<br>" + "Count:           " +
          std::to_string(info.Count) + "<br>",
      online::action::kLastReadOrWriteError);
}

}  // namespace lowscan
