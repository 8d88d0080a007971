// Carved copies of files the user already has: the Low Level Scan reads the
// whole drive, so it finds again every file the Undelete scan listed and every
// file still on the drive. Such a copy is marked in the trees and left
// unticked, so each lost file is saved once, under its own name.

#include "wizard/Main.h"

#include "wizard/ResultTreeStore.h"
#include "wizard/ResultTrees.h"

#include <charconv>

namespace wizard {

void Tfrm_Main::NoteUndeleteStarts() {
  m_twins.Clear();
  Raw.SetDriveLetter(std::string(1, ScannedMedia.Drive));
  const lowscan::TClusterLayout layout{FATScan.GetFirstDataSector(ScannedMedia.Drive), Raw.GetSectorsPerCluster(),
                                       Raw.GetDriveSectorSize()};
  for (const auto& record : FATScan.FileList()) {
    // A file kept inside its MFT record has no cluster of its own to be carved from.
    if (record->Resident) continue;
    std::int64_t first = record->FirstCluster;
    if (record->Clusters && !record->Clusters->empty() && !record->Clusters->front().Sparse) {
      first = record->Clusters->front().StartCluster;
    }
    m_twins.AddUndeleteStart(lowscan::ClusterByteOffset(layout, first));
  }
  for (const std::int64_t cluster : FATScan.LiveFirstClusters()) {
    m_twins.AddLiveStart(lowscan::ClusterByteOffset(layout, cluster));
  }
}

void Tfrm_Main::MarkCarvedTwin(const std::string& sID) {
  std::size_t index = 0;
  if (std::from_chars(sID.data(), sID.data() + sID.size(), index).ec != std::errc() ||
      index >= LowScan.FileList().size()) {
    return;
  }
  switch (m_twins.Match(LowScan.FileList()[index]->StartPos)) {
    case lowscan::TCarvedTwin::kFoundByUndelete:
      m_trees->Store().MarkFile("L" + sID, "also found by the Undelete scan");
      break;
    case lowscan::TCarvedTwin::kStillOnDrive:
      m_trees->Store().MarkFile("L" + sID, "still on the drive");
      break;
    case lowscan::TCarvedTwin::kNone: break;
  }
}

}  // namespace wizard
