// The batches of one Low Level Scan run: marker lists, carvers and reports. The
// first batch reports as the drive is read; later ones report in turn after it,
// numbering their files on from the batch before, as passes run one after
// another would.

#include <algorithm>
#include <cstdint>
#include <map>
#include <stdexcept>
#include <utility>

#include "lowscan/MekLowScan.h"
#include "lowscan/ScanBatch.h"
#include "online/ActionCodes.h"
#include "util/SizeText.h"
#include "util/Text.h"

namespace lowscan {
namespace {

const char kScanProblemText[] =
    "There has been a problem scanning the disk.\n\rPlease ensure that it is connected correctly and click on "
    "\"<< Setup\"";

// Types that share a marker are told apart by the file's structure (an .xlsx
// found by the Word marker, an .odt by the ZIP one): the file is listed under
// the type its structure names, whichever marker found it.
void NameByStructure(FileNode& file, std::string_view shownType) {
  if (shownType.empty() || util::LowerCase(file.Extension) == shownType) return;
  const bool upper = !file.Extension.empty() && file.Extension == util::UpperCase(file.Extension);
  file.Extension = upper ? util::UpperCase(std::string(shownType)) : std::string(shownType);
}

}  // namespace

bool TMekLowScan::ScanDrive() { return ScanDriveBatches({m_lowFileTypes}); }

bool TMekLowScan::ScanDriveBatches(const std::vector<std::vector<std::string>>& typeBatches) {
  std::vector<std::unique_ptr<TScanBatch>> batches;
  bool failed = false;
  m_carvedOrder = m_reportAsCarved && typeBatches.size() > 1;
  for (const auto& types : typeBatches) {
    auto batch = std::make_unique<TScanBatch>();
    batch->types = types;
    // With several batches files are held: a file one batch found inside the
    // structure of a file another found is no file of its own.
    batch->live = typeBatches.size() == 1;
    if ((batch->live || m_carvedOrder) && OnBatchStart) OnBatchStart(this, batches.size(), types);
    m_deferred = batch->live || m_carvedOrder ? nullptr : &batch->deferred;
    m_lowFileTypes = types;
    InitialiseMarkerData();
    m_deferred = nullptr;
    if (m_markerError) {
      failed = true;
      break;
    }
    batch->markers = std::move(m_markers);
    batch->patterns = std::move(m_patterns);
    batches.push_back(std::move(batch));
  }
  const std::string error = m_scanError;
  if (batches.empty()) return !failed;
  m_terminated = false;
  m_readableEnd = -1;
  m_raw->SetDriveLetter(std::string(1, m_drive));
  const std::int64_t sectorSize = m_raw->GetDriveSectorSize();
  m_clusterBase = (GetFirstDataSector() - 2 * std::int64_t{m_raw->GetSectorsPerCluster()}) * sectorSize;
  batches.front()->firstNumber = m_fileCounter;
  // Each worker has a picture in hand and one waiting; 32 MiB of pictures each at most.
  const std::size_t workers = m_workers ? m_workers->Threads() : 1;
  m_inOrder = std::make_unique<util::TInOrder>(m_workers, 2 * workers, std::int64_t{32} * 1024 * 1024 * workers);
  m_inOrder->SetWaitHook(m_processMessages);
  m_inOrder->SetStopped([this] { return m_terminated; });
  try {
    if (sectorSize <= 0) throw std::runtime_error("Drive " + std::string(1, m_drive) + ": has no sector size");
    RunSteps(batches);
    m_inOrder->Drain();
    m_inOrder.reset();
  } catch (const std::exception& e) {
    // Files still being checked are given up with the scan.
    m_inOrder.reset();
    Log(e.what(), online::action::kLowScanReadError);
    util::IPrompt& prompt = m_prompt ? *m_prompt : util::FallbackPrompt();
    prompt.Ask("Trellmond", kScanProblemText, util::PromptButtons::Ok, util::PromptIcon::Error);
  }
  if (m_carvedOrder) {
    ReleaseCarved(batches, 0, true);
    for (std::size_t i = 0; i < batches.size(); ++i) {
      BatchLog(*batches[i], "Ending LowScan. Free Mem: " + util::GetFormatedMemory(FreeMemory()), online::action::kLowScan);
    }
    m_carvedOrder = false;
    m_markers = std::move(batches.back()->markers);
    m_patterns = std::move(batches.back()->patterns);
    m_scanError = error;
    return !failed;
  }
  DropFilesInsideOthers(batches);
  DropSiblingCopies(batches);
  // A stop ends the run: batches after the first would not have started.
  for (std::size_t i = 0; i < batches.size() && (i == 0 || !m_terminated); ++i) {
    // A live batch was announced before the read; the others where their reports begin.
    if (!batches[i]->live && OnBatchStart) OnBatchStart(this, i, batches[i]->types);
    Replay(*batches[i]);
    Log("Ending LowScan. Free Mem: " + util::GetFormatedMemory(FreeMemory()), online::action::kLowScan);
  }
  m_markers = std::move(batches.back()->markers);
  m_patterns = std::move(batches.back()->patterns);
  m_scanError = error;
  return !failed;
}

std::unique_ptr<TCarver> TMekLowScan::MakeCarver(TScanBatch& batch, std::size_t stepBytes) {
  TCarverEvents events;
  events.ProcessMessages = [this] { Pump(); };
  events.FileClosed = [this, &batch](FileNode&& file, int marker, bool atEnd, bool byStructure,
                                     std::string_view shownType) {
    BatchFileClosed(batch, std::move(file), marker, atEnd, byStructure, shownType);
  };
  events.Log = [this, &batch](const std::string& m, const std::string& a) { BatchLog(batch, m, a); };
  events.FreeMemory = [this] { return FreeMemory(); };
  auto carver = std::make_unique<TCarver>(batch.markers, batch.patterns, Alignment(), stepBytes, batch.counter, events);
  if (m_raw->GetTotalSpace() > 0) carver->SetDriveEnd(m_raw->GetTotalSpace());
  return carver;
}

void TMekLowScan::BatchLog(TScanBatch& batch, const std::string& message, std::string_view action) {
  m_deferred = batch.live || m_carvedOrder ? nullptr : &batch.deferred;
  Log(message, action);
  m_deferred = nullptr;
}

void TMekLowScan::BatchFileClosed(TScanBatch& batch, FileNode&& file, int markerIndex, bool atEnd,
                                  bool byStructure, std::string_view shownType) {
  auto closed = std::make_shared<TClosedFile>();
  closed->file = std::move(file);
  closed->marker = markerIndex;
  closed->atEnd = atEnd;
  closed->byStructure = byStructure;
  closed->shownType = shownType;
  closed->opened = batch.counter;
  auto handBack = [this, &batch, closed](bool checked) { HandBack(batch, *closed, checked); };
  if (OnImageCheck && closed->file.Image) {
    const std::int64_t bytes = closed->file.Image->Size();
    m_inOrder->Add([this, closed] { closed->ok = CheckImage(closed->file); }, std::move(handBack), bytes);
  } else {
    InTurn([handBack = std::move(handBack)] { handBack(true); });
  }
}

void TMekLowScan::HandBack(TScanBatch& batch, TClosedFile& closed, bool checked) {
  // A file a stop kept from its check is not reported, as if never found.
  if (!checked) return;
  if (!closed.ok) {
    // A rejected file gives its number to the next one found.
    if (!closed.atEnd) ++batch.rejected;
    return;
  }
  const std::int64_t number = closed.opened - batch.rejected;
  if (batch.live) {
    NameByStructure(closed.file, closed.shownType);
    return ListFile(batch, std::move(closed.file), closed.marker, closed.atEnd, number);
  }
  TDeferredEvent event;
  event.isFile = true;
  event.file = std::move(closed.file);
  event.marker = closed.marker;
  event.atEnd = closed.atEnd;
  event.byStructure = closed.byStructure;
  event.shownType = std::move(closed.shownType);
  event.number = number;
  batch.deferred.push_back(std::move(event));
}

void TMekLowScan::ListFile(TScanBatch& batch, FileNode&& file, int markerIndex, bool atEnd, std::int64_t number) {
  file.Name = CarvedFileName(batch.firstNumber + number, file.Extension);
  m_fileList.push_back(std::make_unique<FileNode>(std::move(file)));
  FileNode& record = *m_fileList.back();
  AddFile(record, batch.markers[static_cast<std::size_t>(markerIndex)].FileType,
          static_cast<std::int64_t>(m_fileList.size()) - 1);
  if (!atEnd && (record.EndPos - record.StartPos) - record.Size > 2) {
    Log("pFile Start:" + std::to_string(record.StartPos) + "<br>" + "pFile End:" + std::to_string(record.EndPos) +
            "<br>" + "pFile Size:" + std::to_string(record.Size),
        online::action::kCarvedFileBounds);
  }
  record.Image.reset();
}

void TMekLowScan::Replay(TScanBatch& batch) {
  if (batch.live) {
    m_fileCounter = batch.firstNumber + batch.counter - batch.rejected;
    return;
  }
  batch.firstNumber = m_fileCounter;
  batch.live = true;
  std::int64_t dropped = 0;
  for (TDeferredEvent& event : batch.deferred) {
    if (event.isFile && event.dropped) {
      ++dropped;
    } else if (event.isFile) {
      NameByStructure(event.file, event.shownType);
      ListFile(batch, std::move(event.file), event.marker, event.atEnd, event.number - dropped);
    } else {
      Log(event.message, event.action);
    }
  }
  batch.deferred.clear();
  m_fileCounter = batch.firstNumber + batch.counter - batch.rejected - dropped;
}

void TMekLowScan::DropFilesInsideOthers(std::vector<std::unique_ptr<TScanBatch>>& batches) {
  // Spans of files whose structure gave their end, by start; a file that starts
  // strictly inside one of them belongs to it.
  std::vector<std::pair<std::int64_t, std::int64_t>> spans;
  for (const auto& batch : batches) {
    for (const TDeferredEvent& e : batch->deferred) {
      if (e.isFile && e.byStructure) spans.emplace_back(e.file.StartPos, e.file.EndPos);
    }
  }
  if (spans.empty()) return;
  std::sort(spans.begin(), spans.end());
  std::vector<std::int64_t> reach(spans.size());
  for (std::size_t i = 0; i < spans.size(); ++i) reach[i] = std::max(i > 0 ? reach[i - 1] : 0, spans[i].second);
  for (auto& batch : batches) {
    for (TDeferredEvent& e : batch->deferred) {
      if (!e.isFile) continue;
      const auto after = std::lower_bound(spans.begin(), spans.end(), std::make_pair(e.file.StartPos, INT64_MIN));
      const auto before = static_cast<std::size_t>(after - spans.begin());
      e.dropped = before > 0 && reach[before - 1] > e.file.StartPos;
    }
  }
}

void TMekLowScan::DropSiblingCopies(std::vector<std::unique_ptr<TScanBatch>>& batches) {
  // Types that share a marker (Word, Excel and PowerPoint files; ZIP and the
  // packages on it; Windows Media sound and video) each carve the same file in
  // their own batch. Where one batch holds it under the type its structure
  // names, the copies under the other types go.
  std::map<std::pair<std::int64_t, std::int64_t>, std::string> claimed;
  const auto told = [](const TDeferredEvent& e) { return e.isFile && e.byStructure && !e.shownType.empty(); };
  for (const auto& batch : batches) {
    for (const TDeferredEvent& e : batch->deferred) {
      if (told(e) && util::LowerCase(e.file.Extension) == e.shownType) claimed[{e.file.StartPos, e.file.EndPos}] = e.shownType;
    }
  }
  if (claimed.empty()) return;
  for (auto& batch : batches) {
    for (TDeferredEvent& e : batch->deferred) {
      if (!told(e) || util::LowerCase(e.file.Extension) == e.shownType) continue;
      const auto owner = claimed.find({e.file.StartPos, e.file.EndPos});
      if (owner != claimed.end() && owner->second == e.shownType) e.dropped = true;
    }
  }
}

}  // namespace lowscan
