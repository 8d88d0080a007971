// ScanDrive: the read loop of the Low Level Scan around the carver.

#include <algorithm>
#include <cmath>
#include <exception>
#include <stdexcept>

#include "lowscan/Carver.h"
#include "lowscan/MekLowScan.h"
#include "lowscan/ScanBatch.h"
#include "online/ActionCodes.h"
#include "util/SizeText.h"

namespace lowscan {
namespace {

constexpr std::int32_t kAccessDenied = 5;
constexpr std::int64_t kCheckpointSteps = 1024;

}  // namespace

void TMekLowScan::RunSteps(std::vector<std::unique_ptr<TScanBatch>>& batches) {
  disk::TRawDiskAccessComponent& raw = *m_raw;
  const std::int64_t sectorSize = raw.GetDriveSectorSize();
  const std::int64_t total = raw.GetTotalSpace();
  const auto lastSector = static_cast<std::int64_t>(std::trunc(static_cast<double>(total) * 1.05 / sectorSize));
  const std::int64_t perStep = kStepBytes / sectorSize;
  const std::int64_t stepBytes = perStep * sectorSize;
  if (m_progress) {
    m_progress->SetRange(0, 100);
    m_progress->SetPosition(0);
    m_progress->SetHint("", true);
  }
  for (auto& batch : batches) {
    BatchLog(*batch, " Beginning LowScan.<br>Free Mem: " + util::GetFormatedMemory(FreeMemory()) +
                         "<br>Buffer:" + util::GetSizeDescription(stepBytes) + "<BR>Use Cluster Boundaries: " +
                         (m_useClusterBoundary ? "1" : "0"),
             online::action::kLowScan);
    batch->carver = MakeCarver(*batch, static_cast<std::size_t>(stepBytes));
  }
  if (m_processMessages) m_processMessages();

  std::int64_t steps = 0;
  for (std::int64_t sector = 0; sector <= lastSector && !m_terminated; sector += perStep) {
    NotifyUpdateMessage("Low Level Scan...", true);
    if (m_processMessages) m_processMessages();
    // One read serves every batch: it lands in the first batch's buffer.
    const std::span<std::byte> chunk = batches.front()->carver->ChunkBuffer();
    std::int64_t got = ReadSectors(chunk, sector, perStep);
    ++steps;
    NotifyUpdateMessage("", false);
    if (steps % kCheckpointSteps == 0) {
      for (auto& batch : batches) {
        BatchLog(*batch, "LowScan Checkpoint: Scanned " + std::to_string(steps * perStep) + " of " +
                             std::to_string(lastSector) + " sectors",
                 online::action::kFatScan);
      }
    }
    const std::int32_t status = raw.GetStatusCode();
    if (status == disk::status::kSuccess) {
      if (got > 0 && !m_terminated) ProcessStep(batches, sector * sectorSize, got);
    } else if (status == kAccessDenied) {
      Log("Security Screen Shown", online::action::kBootRecordRead);
      (m_prompt ? *m_prompt : util::FallbackPrompt()).SecurityWarning();
      m_terminated = true;
    } else if (status != 0) {
      if (sector < total / sectorSize) {
        for (auto& batch : batches) {
          BatchLog(*batch, " Error Reading Drive during Lowscan. API Last Error: " + std::to_string(status) + "  " +
                               raw.GetStatusText(),
                   online::action::kLowScanReadError);
        }
      }
    } else {
      // A short read without a system error: the drive ends inside this step.
      got = ReadLeadingSectors(chunk, sector, perStep);
      if (got > 0 && !m_terminated) ProcessStep(batches, sector * sectorSize, got);
    }
    ShowProgress(sector + perStep, lastSector);
  }
  for (auto& batch : batches) batch->carver->Finish();
}

void TMekLowScan::ProcessStep(std::vector<std::unique_ptr<TScanBatch>>& batches, std::int64_t driveOffset,
                              std::int64_t got) {
  const std::span<std::byte> read = batches.front()->carver->ChunkBuffer();
  for (std::size_t i = 0; i < batches.size(); ++i) {
    TCarver& carver = *batches[i]->carver;
    if (i > 0) std::copy_n(read.data(), got, carver.ChunkBuffer().data());
    carver.ProcessChunk(driveOffset, static_cast<std::size_t>(got));
  }
  if (m_carvedOrder) ReleaseCarved(batches, driveOffset + got, false);
}

TAlignment TMekLowScan::Alignment() {
  TAlignment alignment;
  alignment.Quick = m_useClusterBoundary;
  alignment.ClusterBase = m_clusterBase;
  alignment.ClusterSize = m_raw->GetDriveClusterSize();
  if (alignment.Quick && alignment.ClusterSize <= 0) {
    // Without a cluster size every file still starts on a sector.
    Log("LowScan: no cluster size for drive " + std::string(1, m_drive) + ":, headers taken at sector starts", online::action::kLowScanError);
    alignment.ClusterSize = m_raw->GetDriveSectorSize();
  }
  return alignment;
}

void TMekLowScan::ShowProgress(std::int64_t sector, std::int64_t lastSector) {
  if (!m_progress) return;
  const std::int64_t total = m_raw->GetTotalSpace();
  m_progress->SetBytes(std::min(sector * m_raw->GetDriveSectorSize(), total), total);
  m_progress->SetPosition(lastSector > 0 ? static_cast<int>(std::min<std::int64_t>(100, sector * 100 / lastSector)) : 100);
  m_progress->SetHint("Scanned: " + util::GetSizeDescription(sector * m_raw->GetDriveSectorSize()), true);
}

std::int64_t TMekLowScan::ReadLeadingSectors(std::span<std::byte> buffer, std::int64_t sector, std::int64_t count) {
  if (m_readableEnd >= 0 && sector >= m_readableEnd) return 0;
  const std::int64_t sectorSize = m_raw->GetDriveSectorSize();
  std::int64_t done = 0;
  std::int64_t piece = count / 2;
  while (piece > 0 && done < count) {
    piece = std::min(piece, count - done);
    const auto part = buffer.subspan(static_cast<std::size_t>(done * sectorSize),
                                     static_cast<std::size_t>(piece * sectorSize));
    ReadSectors(part, sector + done, piece);
    if (m_raw->GetStatusCode() == disk::status::kSuccess) {
      done += piece;
    } else {
      piece /= 2;
    }
  }
  if (done < count) m_readableEnd = sector + done;
  return done * sectorSize;
}

}  // namespace lowscan
