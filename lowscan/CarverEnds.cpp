// The carver's use of file structures: a file ends where its structure ends, a
// header hit that does not parse or lies inside the open file's structure opens
// no file, and a file cut by the marker rules keeps the end its structure showed.

#include <algorithm>

#include "lowscan/Carver.h"

namespace lowscan {

bool TCarver::Walking() const {
  return m_open && m_open->End && m_open->End->Verdict() == ends::TEndVerdict::kWalking;
}

std::int64_t TCarver::LimitAt(const TMarkerData& marker, std::int64_t start) const {
  const std::int64_t toDriveEnd = m_driveEnd - start;
  return marker.MaxSize > 0 ? std::min(marker.MaxSize, toDriveEnd) : toDriveEnd;
}

void TCarver::CloseAtStructureEnd() {
  OpenFile open = std::move(*m_open);
  m_open.reset();
  m_cut = false;
  FileNode& file = open.Node;
  file.EndPos = file.StartPos + open.End->End();
  file.Size = open.End->End();
  if (file.Image && file.Image->Size() > file.Size) file.Image->SetSize(file.Size);
  if (m_events.FileClosed) m_events.FileClosed(std::move(file), open.Marker, false, true, open.End->ShownType());
}

void TCarver::ApplyTentativeEnd(FileNode& file, const OpenFile& open) const {
  if (!open.End || open.End->Verdict() == ends::TEndVerdict::kEnd) return;
  const std::optional<std::int64_t> tentative = open.End->TentativeEnd();
  if (!tentative || file.StartPos + *tentative >= file.EndPos) return;
  file.EndPos = file.StartPos + *tentative;
  file.Size = std::min(file.Size, *tentative);
}

bool TCarver::EndFoundAhead(FileNode& file, const OpenFile& open, std::int64_t splitPos) {
  // The walk itself still waits for bytes behind the split (a continuation, the
  // next frame's header), which the look ahead had.
  if (!open.End || open.End->Verdict() != ends::TEndVerdict::kWalking || open.CoveredUntil < 0 ||
      open.CoveredUntil > splitPos - file.StartPos) {
    return false;
  }
  file.EndPos = file.StartPos + open.CoveredUntil;
  file.Size = open.CoveredUntil;
  return true;
}

bool TCarver::Dropped(const TMarkerData& marker, std::string_view text, std::size_t split, std::int64_t splitPos) {
  if (std::unique_ptr<ends::TFileEnd> probe = ends::MakeFileEnd(marker.Extension, LimitAt(marker, splitPos))) {
    // The header's own structure, as far as this read step holds it.
    constexpr std::size_t kSlice = 4096;
    for (std::size_t at = split;
         at < text.size() && probe->Verdict() == ends::TEndVerdict::kWalking && !probe->HeaderParsed(); at += kSlice) {
      probe->Feed(text.substr(at, kSlice));
    }
    if (probe->Verdict() == ends::TEndVerdict::kBadHeader) return true;
  }
  return Walking() && Covered(text, split, splitPos);
}

bool TCarver::Covered(std::string_view text, std::size_t split, std::int64_t splitPos) {
  const ends::TFileEnd& end = *m_open->End;
  const std::int64_t at = splitPos - m_open->Node.StartPos;
  if (at < end.CoveredTo() || at < m_open->CoveredUntil) return true;
  // A look ahead through the rest of the read step, on a copy of the walk: the hit
  // is inside when the structure goes on past it.
  const std::unique_ptr<ends::TFileEnd> ahead = end.Clone();
  ahead->Feed(text.substr(split));
  if (ahead->Verdict() == ends::TEndVerdict::kEnd) {
    m_open->CoveredUntil = ahead->End();
    return ahead->End() > at;
  }
  // Behind an end the structure already showed, a new file may well begin.
  if (ahead->Verdict() != ends::TEndVerdict::kWalking || end.TentativeEnd()) return false;
  const std::optional<std::int64_t> tentative = ahead->TentativeEnd();
  return ahead->CoveredTo() > at || (tentative && *tentative > at);
}

}  // namespace lowscan
