// The record list of the Undelete scan: counters, selection, type summary,
// freeing and the diagnostic dumps.

#include <algorithm>
#include <charconv>

#include "fsscan/MekFATScan.h"
#include "online/ActionCodes.h"
#include "util/Text.h"

namespace fsscan {
namespace {

std::string Bool01(bool value) { return value ? "1" : "0"; }

// A list item as a delimited text would write it: quoted when it holds a blank or a quote.
std::string QuotedItem(const std::string& item) {
  const bool needsQuotes = std::any_of(item.begin(), item.end(), [](char c) {
    return static_cast<unsigned char>(c) <= 32 || c == '"';
  });
  if (!needsQuotes) return item;
  std::string out = "\"";
  for (char c : item) {
    out.push_back(c);
    if (c == '"') out.push_back('"');
  }
  return out + "\"";
}

}  // namespace

TMekFATScan::TMekFATScan() = default;

TMekFATScan::~TMekFATScan() {
  m_fileList.clear();
  m_dirTree.Clear();
}

void TMekFATScan::Log(const std::string& message, std::string_view action) {
  if (OnLogNotify) OnLogNotify(this, message, std::string(action));
}

void TMekFATScan::NotifyUpdateMessage(const std::string& message, bool visible) {
  if (OnUpdateMessageNotify) OnUpdateMessageNotify(this, message, visible);
}

void TMekFATScan::ProcessMessages() {
  if (m_processMessages) m_processMessages();
}

void TMekFATScan::DeletePrevious() {
  DeleteFileList();
  m_liveFirstClusters.clear();
  m_droppedPictures.clear();
  Log("FATScan Checkpoint: DeleteBTree", online::action::kFatScan);
  DeleteBTree();
}

std::int64_t TMekFATScan::GetFoundNumber() const { return static_cast<std::int64_t>(m_fileList.size()); }

std::int64_t TMekFATScan::GetNumber(bool saved) const {
  return std::count_if(m_fileList.begin(), m_fileList.end(), [saved](const auto& r) {
    return saved ? r->Saved : (r->Save && !r->Saved);
  });
}

std::int64_t TMekFATScan::GetSaveSize(std::uint8_t mode) const {
  std::int64_t total = 0;
  for (const auto& r : m_fileList) {
    if ((mode == 0 && r->Saved) || (mode == 1 && r->Save && !r->Saved)) total += r->Size;
  }
  return total;
}

void TMekFATScan::SetSaveFlag(bool value, std::int64_t index) {
  if (index >= 0 && index < GetFoundNumber()) m_fileList[static_cast<std::size_t>(index)]->Save = value;
}

void TMekFATScan::SetAllSaveFlags(bool value) {
  for (auto& r : m_fileList) r->Save = value;
}

std::string TMekFATScan::GetTypes(bool selected) const {
  std::vector<std::pair<std::string, std::int64_t>> items;  // in order of first appearance
  std::unordered_map<std::string, std::size_t> index;
  for (const auto& r : m_fileList) {
    if (selected && !r->Save) continue;
    const std::string extension = util::UpperCase(r->Extension);
    const auto [it, added] = index.try_emplace(extension, items.size());
    if (added) {
      items.emplace_back(extension, 1);
    } else {
      ++items[it->second].second;
    }
  }
  std::string text;
  for (const auto& [extension, count] : items) {
    if (!text.empty()) text += ' ';
    text += QuotedItem(extension + ":" + std::to_string(count));
  }
  return util::UpperCase(text);
}

void TMekFATScan::DeleteFileList() {
  NotifyUpdateMessage("Removing previous scan results...", true);
  while (!m_fileList.empty()) {
    ProcessMessages();
    m_fileList.pop_back();
  }
}

void TMekFATScan::RemoveRecordsIf(const std::function<bool(const FileNode&)>& drop) {
  // One pass keeps the survivors in order, however many records go.
  m_fileList.erase(std::remove_if(m_fileList.begin(), m_fileList.end(), [&](const auto& r) { return drop(*r); }),
                   m_fileList.end());
}

void TMekFATScan::DebugFilelist() {
  if (m_debugMemo == nullptr) return;
  const std::size_t last = std::min<std::size_t>(m_fileList.size(), 2001);
  for (std::size_t i = 0; i < last; ++i) {
    const FileNode& r = *m_fileList[i];
    auto& memo = *m_debugMemo;
    memo.push_back(std::string(53, '-'));
    memo.push_back("ID:           " + std::to_string(i));
    memo.push_back("MFT:          " + std::to_string(r.MFT));
    memo.push_back("Dir:          " + r.Dir);
    memo.push_back("ParentDir:    " + std::to_string(r.ParentDir));
    memo.push_back("Shortname:    " + r.ShortName);
    memo.push_back("LongName:     " + r.LongName);
    memo.push_back("Extension     " + r.Extension);
    memo.push_back("Size:         " + std::to_string(r.Size));
    memo.push_back("Save:         " + Bool01(r.Save));
    memo.push_back("Resident:     " + Bool01(r.Resident));
    memo.push_back("FirstCluster: " + std::to_string(r.FirstCluster));
    if (!r.Clusters) continue;
    for (const ClusterNode& run : *r.Clusters) {
      memo.push_back("       FirstCluster: " + std::to_string(run.StartCluster));
      memo.push_back("         # Clusters: " + std::to_string(run.NumClusters));
      memo.push_back("             Sparse: " + Bool01(run.Sparse));
      memo.push_back("                Hex: " + run.Hex);
    }
  }
}

void TMekFATScan::LogFileDetails(const FileNode& r) {
  using util::Trim;
  std::string text = "Problem saving file:<br>Dir:            " + Trim(r.Dir) + "<br>" +
                     "ParentDir:      " + std::to_string(r.ParentDir) + "<br>" +
                     "Shortname:      " + Trim(r.ShortName) + "<br>" +
                     "LongName:       " + Trim(r.LongName) + "<br>" +
                     "Extension       " + Trim(r.Extension) + "<br>" +
                     "Size:           " + std::to_string(r.Size) + "<br>" +
                     "Save:           " + Bool01(r.Save) + "<br>" +
                     "Resident:       " + Bool01(r.Resident) + "<br>" +
                     "InitialCluster: " + std::to_string(r.FirstCluster) + "<br><br>";
  if (r.Clusters) {
    for (const ClusterNode& run : *r.Clusters) {
      text += " StartCluster: " + std::to_string(run.StartCluster) + "<br>" +
              " No. Clusters: " + std::to_string(run.NumClusters) + "<br>" +
              "       Sparse: " + Bool01(run.Sparse) + "<br>" +
              "          Hex: " + Trim(run.Hex) + "<br><br>";
    }
  }
  Log(text, online::action::kError);
}

void TMekFATScan::LogReadInfo() {
  const util::TReadInfo& info = util::GlobalReadInfo();
  Log("Last Read Information:<br>Drive:           " + info.Drive + "<br>" +
          "StartSector:           " + std::to_string(info.StartSector) + "<br>" +
          "NumSectors:       " + std::to_string(info.NumSectors) + "<br>" +
          "Status:         " + std::to_string(info.Status) + "<br>" +
          "Count:           " + std::to_string(info.Count) + "<br>",
      online::action::kLastReadOrWriteError);
}

}  // namespace fsscan
