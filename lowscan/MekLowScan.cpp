#include "lowscan/MekLowScan.h"

#include "lowscan/ScanBatch.h"
#include "platform/LastError.h"
#include "platform/SystemInfo.h"

#include <algorithm>

namespace lowscan {
namespace {

constexpr int kReadAttempts = 3;

}  // namespace

TMekLowScan::TMekLowScan() : m_raw(std::make_unique<disk::TRawDiskAccessComponent>()) {}

TMekLowScan::~TMekLowScan() { DeleteFileList(); }

void TMekLowScan::Log(const std::string& message, std::string_view action) {
  if (m_inOrder) {
    m_inOrder->Then([this, deferred = m_deferred, message, action = std::string(action)] {
      LogNow(deferred, message, action);
    });
    return;
  }
  LogNow(m_deferred, message, std::string(action));
}

void TMekLowScan::LogNow(std::vector<TDeferredEvent>* deferred, const std::string& message,
                         const std::string& action) {
  if (deferred) {
    TDeferredEvent line;
    line.message = message;
    line.action = action;
    deferred->push_back(std::move(line));
    return;
  }
  if (OnLogNotify) OnLogNotify(this, message, action);
}

void TMekLowScan::NotifyUpdateMessage(const std::string& text, bool visible) {
  InTurn([this, text, visible] {
    if (OnUpdateMessageNotify) OnUpdateMessageNotify(this, text, visible);
  });
}

void TMekLowScan::InTurn(std::function<void()> action) {
  if (m_inOrder) {
    m_inOrder->Then(std::move(action));
  } else {
    action();
  }
}

void TMekLowScan::Pump() {
  if (m_inOrder) m_inOrder->Collect();
  if (m_processMessages) m_processMessages();
}

std::int64_t TMekLowScan::FreeMemory() const {
  if (m_freeMemory) return m_freeMemory();
  return static_cast<std::int64_t>(platform::ReadMemoryStatus().availableBytes);
}

std::int64_t TMekLowScan::GetFirstDataSector() {
  std::int64_t sector = 0;
  if (OnGetFirstDataSector) OnGetFirstDataSector(this, std::string(1, m_drive), sector);
  return sector;
}

void TMekLowScan::InitialiseMarkerData() {
  std::vector<std::string> catalogue;
  if (OnGetFileData) OnGetFileData(this, catalogue);
  TMarkerPreparation prepared =
      PrepareMarkers(catalogue, m_lowFileTypes, [this](const std::string& m, const std::string& a) { Log(m, a); });
  m_markers = std::move(prepared.Markers);
  m_patterns = std::move(prepared.Patterns);
  m_markerError = prepared.HexError;
  m_scanError = prepared.ErrorText;
}

bool TMekLowScan::CheckImage(FileNode& file) {
  if (!OnImageCheck || !file.Image) return true;
  bool ok = true;
  file.Image->SetPosition(0);
  OnImageCheck(this, *file.Image, file.Extension, ok);
  return ok;
}

void TMekLowScan::AddFile(FileNode& file, util::TFileType type, std::int64_t index) {
  if (!OnFileNotify) return;
  if (file.Image) file.Image->SetPosition(0);
  OnFileNotify(this, util::stLowScan, std::to_string(index), file.Image.get(), file.Name, file.Extension, type,
               file.EndPos - file.StartPos);
}

std::int64_t TMekLowScan::ReadSectors(std::span<std::byte> buffer, std::int64_t startSector, std::int64_t sectorCount) {
  // Straight into the caller's buffer: through the component's own buffer each 4 MiB step
  // would be zero-filled twice and copied once more.
  disk::TRawDiskAccessComponent& raw = *m_raw;
  const std::int64_t sectorSize = raw.GetDriveSectorSize();
  const std::int64_t count =
      sectorSize > 0 ? std::min<std::int64_t>(sectorCount, static_cast<std::int64_t>(buffer.size()) / sectorSize) : 0;
  std::int64_t copied = 0;
  for (int attempt = 0; attempt < kReadAttempts && count > 0; ++attempt) {
    raw.ReadSectorsInto(startSector, count, buffer);
    const std::int32_t status = raw.GetStatusCode();
    if (status != disk::status::kSuccess && status != 0) {
      // A read the medium did not answer in time is not asked again in this pass: a
      // stuck sector would cost the wait once more for every attempt.
      if (status == static_cast<std::int32_t>(platform::kErrorSemTimeout)) break;
      if (attempt + 1 < kReadAttempts) raw.SetDriveLetter(std::string(1, m_drive));
      continue;
    }
    copied = count * sectorSize;
    break;
  }
  RecordRead(startSector, sectorCount, copied);
  return copied;
}

void TMekLowScan::RecordRead(std::int64_t startSector, std::int64_t sectorCount, std::int64_t copied) {
  util::TReadInfo& info = util::GlobalReadInfo();
  info.Drive = m_raw->GetDriveLetter();
  info.StartSector = startSector;
  info.NumSectors = sectorCount;
  info.Status = m_raw->GetStatusCode();
  info.Count = static_cast<std::int32_t>(copied);
}

}  // namespace lowscan
