#include "lowscan/Carver.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "online/ActionCodes.h"
#include "util/SizeText.h"

namespace lowscan {
namespace {

constexpr std::size_t kCarryOver = 32;
constexpr std::int64_t kSkippedPrefix = 5;

}  // namespace

TCarver::TCarver(const std::vector<TMarkerData>& markers, const std::vector<TPattern>& patterns,
                 const TAlignment& alignment, std::size_t stepBytes, std::int64_t& fileCounter,
                 TCarverEvents events)
    : m_markers(markers),
      m_search(markers, patterns),
      m_alignment(alignment),
      m_fileCounter(fileCounter),
      m_events(std::move(events)),
      m_stepBytes(stepBytes) {
  // The carry-over must hold a marker cut by the end of a read step and, for a
  // footer whose file ends some bytes behind it, the footer with those bytes.
  m_carryCap = std::max(kCarryOver, m_search.LongestMarker());
  for (const TMarkerData& m : markers) {
    if (m.IsFooter && m.Offset > 0) {
      m_carryCap = std::max(m_carryCap, static_cast<std::size_t>(m.Offset) + m.Marker.size());
    }
  }
  m_buffer = util::TLargeBuffer(m_carryCap + m_stepBytes);
}

std::span<std::byte> TCarver::ChunkBuffer() { return m_buffer.Bytes().subspan(m_carryCap, m_stepBytes); }

void TCarver::SwapBuffer(util::TLargeBuffer& filled) {
  const std::size_t from = m_carryCap - m_carryLen;
  std::memcpy(filled.data() + from, m_buffer.data() + from, m_carryLen);
  std::swap(m_buffer, filled);
}

std::string TCarver::CurrentExtension() const {
  // While the open file's structure is followed, it decides the end: footers wait.
  if (m_lastIndex < 0 || Walking()) return std::string();
  return m_markers[m_lastIndex].Extension;
}

void TCarver::AddToOpenFile(std::string_view bytes) {
  if (!m_open) return;
  bool ended = false;
  if (Walking()) {
    const std::int64_t before = m_open->End->Fed();
    if (m_open->End->Feed(bytes) == ends::TEndVerdict::kEnd) {
      // The structure ends inside these bytes; the rest belongs to no file.
      bytes = bytes.substr(0, static_cast<std::size_t>(std::max<std::int64_t>(0, m_open->End->End() - before)));
      ended = true;
    }
  }
  const TMarkerData& marker = m_markers[m_open->Marker];
  FileNode& file = m_open->Node;
  if (marker.MaxSize > 0 && !m_cut && file.Size > marker.MaxSize) m_cut = true;
  if (marker.KeepImage && !m_cut && file.Image) {
    try {
      // Bytes behind a picture's own end are never decoded: they are not kept.
      const std::optional<std::int64_t> end = m_open->PictureEnd->Feed(file.Image->View());
      if (!end || file.Image->Size() < *end) {
        file.Image->Write(bytes.data(), static_cast<std::int64_t>(bytes.size()));
        const std::optional<std::int64_t> found = m_open->PictureEnd->Feed(file.Image->View());
        if (found && file.Image->Size() > *found) file.Image->SetSize(*found);
      }
    } catch (const std::bad_alloc& error) {
      if (m_events.Log) {
        const std::int64_t freeMemory = m_events.FreeMemory ? m_events.FreeMemory() : 0;
        m_events.Log(std::string(error.what()) + "<br>Type: " + marker.Extension +
                         "<br>Size: " + util::GetFormatedMemory(file.Image->Size()) +
                         "<br>Free Mem: " + util::GetFormatedMemory(freeMemory),
                     std::string(online::action::kLowScanMemoryError));
      }
      m_cut = true;
    }
  }
  if (!m_cut) file.Size += static_cast<std::int64_t>(bytes.size());
  if (ended) CloseAtStructureEnd();
}

void TCarver::CloseInScan(std::int64_t splitPos) {
  if (!m_open) return;
  OpenFile open = std::move(*m_open);
  m_open.reset();
  const TMarkerData& marker = m_markers[open.Marker];
  FileNode& file = open.Node;
  const bool byStructure = EndFoundAhead(file, open, splitPos);
  if (!byStructure) {
    // The file's bytes run up to the split point itself: its last byte is the one
    // just before the next marker's split.
    file.EndPos = splitPos;
    if (marker.MaxSize > 0 && file.Size > marker.MaxSize) {
      file.Size = marker.MaxSize;
      file.EndPos = file.StartPos + marker.MaxSize;
    }
    ApplyTentativeEnd(file, open);
  }
  if (file.Image && file.Image->Size() > file.EndPos - file.StartPos) file.Image->SetSize(file.EndPos - file.StartPos);
  const std::string_view shownType = byStructure ? open.End->ShownType() : std::string_view();
  if (m_events.FileClosed) m_events.FileClosed(std::move(file), open.Marker, false, byStructure, shownType);
}

void TCarver::Open(int marker, std::int64_t splitPos) {
  const TMarkerData& entry = m_markers[marker];
  ++m_fileCounter;
  OpenFile open;
  open.Marker = marker;
  open.Node.Name = CarvedFileName(m_fileCounter, entry.Extension);
  open.Node.Extension = entry.Extension;
  if (entry.KeepImage) {
    open.Node.Image = std::make_unique<util::TMemoryStream>();
    open.PictureEnd.emplace(entry.Extension);
  }
  open.Node.StartPos = splitPos;
  open.End = ends::MakeFileEnd(entry.Extension, LimitAt(entry, splitPos));
  m_open = std::move(open);
}

void TCarver::KeepCarry(std::string_view text, std::size_t from) {
  const std::size_t length = text.size() - from;
  std::memmove(m_buffer.data() + (m_carryCap - length), text.data() + from, length);
  m_carryLen = length;
}

void TCarver::ProcessChunk(std::int64_t driveOffset, std::size_t got) {
  got = std::min(got, m_stepBytes);
  const auto* base = reinterpret_cast<const char*>(m_buffer.data()) + (m_carryCap - m_carryLen);
  const std::string_view text(base, m_carryLen + got);
  const std::int64_t textPos = driveOffset - static_cast<std::int64_t>(m_carryLen);
  m_dataEnd = driveOffset + static_cast<std::int64_t>(got);
  m_search.BeginText(text, textPos, m_alignment);

  std::size_t start = 0;       // the current search text is text[start, end)
  std::size_t searchFrom = 0;  // behind header hits that opened no file
  while (start < text.size()) {
    if (m_events.ProcessMessages) m_events.ProcessMessages();
    const std::int64_t skip = std::clamp<std::int64_t>(m_skipEnd - (textPos + static_cast<std::int64_t>(start)), 0,
                                                       static_cast<std::int64_t>(text.size() - start));
    TMarkerHit hit = m_search.Next(std::max(start + static_cast<std::size_t>(skip), searchFrom), CurrentExtension());
    std::size_t split = text.size();
    if (hit.Index >= 0) {
      const TMarkerData& marker = m_markers[hit.Index];
      const auto at = static_cast<std::int64_t>(hit.Pos);
      const std::int64_t cut = marker.IsFooter ? at + marker.Offset : at - marker.Offset;
      if (cut > static_cast<std::int64_t>(text.size())) {
        // The footer's file goes on past this read step: take it up again with
        // the next step, the footer travelling in the carry-over.
        hit.Index = -1;
        split = std::min(hit.Pos, text.size() - std::min(text.size() - start, m_carryCap));
      } else {
        split = static_cast<std::size_t>(std::max<std::int64_t>(cut, static_cast<std::int64_t>(start)));
      }
    }
    if (hit.Index < 0) {
      const std::size_t carryFrom =
          split < text.size() ? std::max(split, start) : text.size() - std::min(kCarryOver, text.size() - start);
      AddToOpenFile(text.substr(start, carryFrom - start));
      if (m_cut) CloseInScan(textPos + static_cast<std::int64_t>(carryFrom));
      m_cut = false;
      KeepCarry(text, carryFrom);
      return;
    }
    const std::int64_t splitPos = textPos + static_cast<std::int64_t>(split);
    AddToOpenFile(text.substr(start, split - start));
    start = split;
    if (!m_markers[hit.Index].IsFooter && Dropped(m_markers[hit.Index], text, split, splitPos)) {
      searchFrom = hit.Pos + 1;
      continue;
    }
    CloseInScan(splitPos);
    m_cut = false;
    m_lastIndex = hit.Index;
    if (!m_markers[hit.Index].IsFooter) Open(hit.Index, splitPos);
    // Keep the marker just accepted from being found again right behind its split.
    const std::int64_t markerPos = textPos + static_cast<std::int64_t>(hit.Pos);
    m_skipEnd = markerPos >= splitPos ? splitPos + kSkippedPrefix : splitPos;
    start = split;
  }
  m_carryLen = 0;
}

void TCarver::Finish() {
  if (!m_open) return;
  const auto* base = reinterpret_cast<const char*>(m_buffer.data()) + (m_carryCap - m_carryLen);
  AddToOpenFile(std::string_view(base, m_carryLen));
  m_carryLen = 0;
  if (!m_open) return;
  OpenFile open = std::move(*m_open);
  m_open.reset();
  const TMarkerData& marker = m_markers[open.Marker];
  FileNode& file = open.Node;
  file.EndPos = m_dataEnd;
  if (marker.MaxSize > 0 && file.EndPos - file.StartPos > marker.MaxSize) {
    file.Size = marker.MaxSize;
    file.EndPos = file.StartPos + marker.MaxSize;
  }
  ApplyTentativeEnd(file, open);
  if (file.Image && file.Image->Size() > file.EndPos - file.StartPos) file.Image->SetSize(file.EndPos - file.StartPos);
  if (m_events.FileClosed) m_events.FileClosed(std::move(file), open.Marker, true, false, {});
}

}  // namespace lowscan
