// ScanDrive: the read loop of the Low Level Scan around the carver.

#include <algorithm>
#include <cmath>
#include <exception>
#include <stdexcept>

#include "lowscan/Carver.h"
#include "lowscan/MekLowScan.h"
#include "util/SizeText.h"

namespace lowscan {
namespace {

constexpr std::int32_t kAccessDenied = 5;
constexpr std::int64_t kCheckpointSteps = 1024;

const char kScanProblemText[] =
    "There has been a problem scanning the disk.\n\rPlease ensure that it is connected correctly and click on "
    "\"<< Setup\"";

}  // namespace

bool TMekLowScan::ScanDrive() {
  InitialiseMarkerData();
  if (m_markerError) return false;
  m_terminated = false;
  m_readableEnd = -1;
  m_raw->SetDriveLetter(std::string(1, m_drive));
  const std::int64_t sectorSize = m_raw->GetDriveSectorSize();
  m_clusterBase = (GetFirstDataSector() - 2 * std::int64_t{m_raw->GetSectorsPerCluster()}) * sectorSize;
  try {
    if (sectorSize <= 0) throw std::runtime_error("Drive " + std::string(1, m_drive) + ": has no sector size");
    RunSteps();
  } catch (const std::exception& error) {
    Log(error.what(), "-10");
    util::IPrompt& prompt = m_prompt ? *m_prompt : util::FallbackPrompt();
    prompt.Ask("Trellmond", kScanProblemText, util::PromptButtons::Ok, util::PromptIcon::Error);
  }
  Log("Ending LowScan. Free Mem: " + util::GetFormatedMemory(FreeMemory()), "45");
  return true;
}

void TMekLowScan::RunSteps() {
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
  Log(" Beginning LowScan.<br>Free Mem: " + util::GetFormatedMemory(FreeMemory()) +
          "<br>Buffer:" + util::GetSizeDescription(stepBytes) + "<BR>Use Cluster Boundaries: " +
          (m_useClusterBoundary ? "1" : "0"),
      "45");

  TCarverEvents events;
  events.ProcessMessages = m_processMessages;
  events.FileClosed = [this](FileNode&& file, int marker, bool atEnd) { FileClosed(std::move(file), marker, atEnd); };
  events.Log = [this](const std::string& m, const std::string& a) { Log(m, a); };
  events.FreeMemory = [this] { return FreeMemory(); };
  TCarver carver(m_markers, m_patterns, Alignment(), static_cast<std::size_t>(stepBytes), m_fileCounter, events);
  if (total > 0) carver.SetDriveEnd(total);
  if (m_processMessages) m_processMessages();
  raw.SetSectorCount(perStep);

  std::int64_t steps = 0;
  for (std::int64_t sector = 0; sector <= lastSector && !m_terminated; sector += perStep) {
    NotifyUpdateMessage("Low Level Scan...", true);
    if (m_processMessages) m_processMessages();
    const std::span<std::byte> chunk = carver.ChunkBuffer();
    std::int64_t got = ReadSectors(chunk, sector, perStep);
    ++steps;
    NotifyUpdateMessage("", false);
    if (steps % kCheckpointSteps == 0) {
      Log("LowScan Checkpoint: Scanned " + std::to_string(steps * perStep) + " of " + std::to_string(lastSector) +
              " sectors",
          "46");
    }
    const std::int32_t status = raw.GetStatusCode();
    if (status == disk::status::kSuccess) {
      if (got > 0 && !m_terminated) carver.ProcessChunk(sector * sectorSize, static_cast<std::size_t>(got));
    } else if (status == kAccessDenied) {
      Log("Security Screen Shown", "47");
      (m_prompt ? *m_prompt : util::FallbackPrompt()).SecurityWarning();
      m_terminated = true;
    } else if (status != 0) {
      if (sector < total / sectorSize) {
        Log(" Error Reading Drive during Lowscan. API Last Error: " + std::to_string(status) + "  " +
                raw.GetStatusText(),
            "-10");
      }
    } else {
      // A short read without a system error: the drive ends inside this step.
      got = ReadLeadingSectors(chunk, sector, perStep);
      if (got > 0 && !m_terminated) carver.ProcessChunk(sector * sectorSize, static_cast<std::size_t>(got));
    }
    ShowProgress(sector + perStep, lastSector);
  }
  carver.Finish();
}

TAlignment TMekLowScan::Alignment() {
  TAlignment alignment;
  alignment.Quick = m_useClusterBoundary;
  alignment.ClusterBase = m_clusterBase;
  alignment.ClusterSize = m_raw->GetDriveClusterSize();
  if (alignment.Quick && alignment.ClusterSize <= 0) {
    // Without a cluster size every file still starts on a sector.
    Log("LowScan: no cluster size for drive " + std::string(1, m_drive) + ":, headers taken at sector starts", "-25");
    alignment.ClusterSize = m_raw->GetDriveSectorSize();
  }
  return alignment;
}

void TMekLowScan::ShowProgress(std::int64_t sector, std::int64_t lastSector) {
  if (!m_progress) return;
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
