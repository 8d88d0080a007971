// Deleted FAT files whose chains were cleared and whose clusters do not follow one another:
// each such file is read over the clusters nobody else claims, and where that reading and
// the plain one (its first cluster and those after it) differ, a picture's own bytes decide.

#include <algorithm>

#include "fsscan/DeletedChains.h"
#include "fsscan/MekFATScan.h"
#include "online/ActionCodes.h"
#include "util/ByteReader.h"
#include "util/Text.h"

namespace fsscan {

std::vector<bool> TMekFATScan::ClaimedClusters(std::uint8_t fatType) const {
  // Clusters past the FAT's own entries are no file's: the bitmap ends with the table.
  const auto fatBytes = static_cast<std::int64_t>(m_scanFat.size());
  const std::int64_t entries = fatType == kFat12 ? fatBytes * 2 / 3 : fatType == kFat16 ? fatBytes / 2 : fatBytes / 4;
  const std::int64_t lastCluster = std::min(m_raw->GetTotalClusterCount() + 1, entries - 1);
  std::vector<bool> taken(static_cast<std::size_t>(std::max<std::int64_t>(lastCluster + 1, 0)), false);
  const util::ByteReader fat(m_scanFat.data(), m_scanFat.size());
  for (std::int64_t c = 2; c <= lastCluster; ++c) {
    const auto at = static_cast<std::uint64_t>(c);
    std::uint32_t entry = 0;
    switch (fatType) {
      case kFat12: entry = (c & 1) != 0 ? fat.U16(at + at / 2) >> 4 : fat.U16(at + at / 2) & 0x0FFF; break;
      case kFat16: entry = fat.U16(at * 2); break;
      default: entry = fat.U32(at * 4) & 0x0FFFFFFF; break;
    }
    taken[static_cast<std::size_t>(c)] = entry != 0;
  }
  // A deleted directory's clusters are free in the FAT but hold its entries.
  for (const std::int64_t c : m_visitedDirClusters) {
    if (c >= 2 && c <= lastCluster) taken[static_cast<std::size_t>(c)] = true;
  }
  return taken;
}

bool TMekFATScan::ReadingPassesCheck(FileNode& record, const std::vector<ClusterNode>& reading,
                                     const BootRecord& boot) {
  std::vector<ClusterNode> kept = std::move(*record.Clusters);
  record.Clusters = reading;
  util::TMemoryStream stream;
  SaveToStream(record, stream, boot);
  const bool ok = CheckImage(stream, record.Extension);
  record.Clusters = std::move(kept);
  return ok;
}

void TMekFATScan::RebuildFragmentedFiles(const BootRecord& boot) {
  const std::int64_t clusterSize = m_raw->GetDriveClusterSize();
  if (!m_scanFatValid || clusterSize <= 0) return;
  const std::uint8_t fatType = GetFATType(boot);
  // Deleted files whose chain is gone: their first cluster is free.
  std::vector<FileNode*> files;
  std::vector<DeletedChain> chains;
  for (auto& record : m_fileList) {
    if (record->Size <= 0 || !record->Clusters || !IsFreeCluster(fatType, record->FirstCluster)) continue;
    files.push_back(record.get());
    chains.push_back({record->FirstCluster, (record->Size + clusterSize - 1) / clusterSize, record->DateTime});
  }
  if (files.empty()) return;
  Log("FATScan Checkpoint: RebuildFragmentedFiles", online::action::kFatScan);
  const std::vector<bool> taken = ClaimedClusters(fatType);
  const std::int64_t lastCluster = m_raw->GetTotalClusterCount() + 1;
  const auto runsFirst = RebuildDeletedChains(chains, taken, lastCluster, ChainSharing::kRunsFirst);
  const auto turns = RebuildDeletedChains(chains, taken, lastCluster, ChainSharing::kTurns);
  const std::string pictures = util::UpperCase(m_imageFilter);
  std::int64_t rebuilt = 0;
  for (std::size_t k = 0; k < files.size() && !m_terminated; ++k) {
    FileNode& record = *files[k];
    const std::vector<ClusterNode> plain = *record.Clusters;
    std::vector<const std::vector<ClusterNode>*> readings;
    for (const auto* reading : {&runsFirst[k], &turns[k], &plain}) {
      if (!reading->empty() && std::find_if(readings.begin(), readings.end(), [&](const auto* r) {
                                 return *r == *reading;
                               }) == readings.end()) {
        readings.push_back(reading);
      }
    }
    if (readings.size() < 2) continue;  // one reading only: nothing to choose
    // Other files' clusters are stepped over in the order files are written one after the
    // other; the reading in turns is only taken where a picture's bytes show it.
    const std::vector<ClusterNode>* chosen = runsFirst[k].empty() ? &plain : &runsFirst[k];
    const std::string extension = util::UpperCase(record.Extension);
    if (OnImageCheck && !extension.empty() && pictures.find(extension) != std::string::npos) {
      ProcessMessages();
      const auto passing = std::find_if(readings.begin(), readings.end(),
                                        [&](const auto* r) { return ReadingPassesCheck(record, *r, boot); });
      if (passing != readings.end()) chosen = *passing;
    }
    if (*chosen == plain) continue;
    record.Clusters = *chosen;
    record.Rebuilt = true;
    ++rebuilt;
    Log("Rebuilt from " + std::to_string(chosen->size()) + " pieces: " + record.Dir + record.LongName,
        online::action::kFatScan);
  }
  if (rebuilt > 0) Log("Files rebuilt from pieces: " + std::to_string(rebuilt), online::action::kFatScan);
}

}  // namespace fsscan
