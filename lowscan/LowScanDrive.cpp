// ScanDrive: the read loop of the Low Level Scan around the carver.

#include <algorithm>
#include <cmath>
#include <exception>
#include <stdexcept>

#include "lowscan/Carver.h"
#include "lowscan/MekLowScan.h"
#include "lowscan/ScanBatch.h"
#include "lowscan/StepReader.h"
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
  Pump();

  // With workers the drive is read a step ahead; the reader alone uses the drive component meanwhile.
  const auto read = [this, perStep](std::int64_t sector, std::span<std::byte> into) {
    return ReadStep(sector, perStep, into);
  };
  TStepReader reader(read, m_workers != nullptr, perStep, lastSector, *batches.front()->carver);
  std::int64_t steps = 0;
  for (std::int64_t sector = 0; sector <= lastSector && !m_terminated; sector += perStep) {
    NotifyUpdateMessage("Low Level Scan...", true);
    Pump();
    // One read serves every batch: it lands in the first batch's buffer.
    const TStepRead step = reader.Take(sector);
    ++steps;
    NotifyUpdateMessage("", false);
    if (steps % kCheckpointSteps == 0) {
      for (auto& batch : batches) {
        BatchLog(*batch, "LowScan Checkpoint: Scanned " + std::to_string(steps * perStep) + " of " +
                             std::to_string(lastSector) + " sectors",
                 online::action::kFatScan);
      }
    }
    if (step.status == kAccessDenied) {
      InTurn([this] {
        Log("Security Screen Shown", online::action::kBootRecordRead);
        (m_prompt ? *m_prompt : util::FallbackPrompt()).SecurityWarning();
      });
      m_terminated = true;
    } else if (step.status != disk::status::kSuccess && step.status != 0) {
      if (sector < total / sectorSize) {
        for (auto& batch : batches) {
          BatchLog(*batch, " Error Reading Drive during Lowscan. API Last Error: " + std::to_string(step.status) +
                               "  " + step.statusText,
                   online::action::kLowScanReadError);
        }
      }
    } else if (step.got > 0 && !m_terminated) {
      ProcessStep(batches, sector * sectorSize, step.got);
    }
    ShowProgress(sector + perStep, lastSector, total, sectorSize);
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
  if (m_carvedOrder) {
    // Judged on what the files closed so far show, once their checks are back.
    InTurn([this, &batches, readEnd = driveOffset + got, openFrom = OpenFrom(batches)] {
      ReleaseCarvedFrom(batches, readEnd, openFrom, false);
    });
  }
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

void TMekLowScan::ShowProgress(std::int64_t sector, std::int64_t lastSector, std::int64_t total,
                               std::int64_t sectorSize) {
  if (!m_progress) return;
  InTurn([this, sector, lastSector, total, sectorSize] {
    m_progress->SetBytes(std::min(sector * sectorSize, total), total);
    m_progress->SetPosition(lastSector > 0 ? static_cast<int>(std::min<std::int64_t>(100, sector * 100 / lastSector))
                                           : 100);
    m_progress->SetHint("Scanned: " + util::GetSizeDescription(sector * sectorSize), true);
  });
}

TStepRead TMekLowScan::ReadStep(std::int64_t sector, std::int64_t perStep, std::span<std::byte> into) {
  TStepRead step;
  step.got = ReadSectors(into, sector, perStep);
  step.status = m_raw->GetStatusCode();
  if (step.status != disk::status::kSuccess) step.statusText = m_raw->GetStatusText();
  // A short read without a system error: the drive ends inside this step.
  if (step.status == 0) step.got = ReadLeadingSectors(into, sector, perStep);
  return step;
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
