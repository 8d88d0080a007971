#pragma once
// The cutting part of the Low Level Scan: takes the drive's bytes read step by
// read step, runs the search steps over each (with the 32-byte carry-over
// between steps), opens a file at every accepted header and closes it at the
// next accepted marker, its footer, its size limit or the end of the drive.
// Closed files go to the owner through FileClosed; the owner checks and lists
// them. Memory: one read step plus the carry-over, plus the bytes of the open
// file when its type keeps an image. Owned by one ScanDrive call.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "lowscan/ends/FileEnd.h"
#include "lowscan/FileNode.h"
#include "lowscan/MarkerData.h"
#include "lowscan/MarkerSearch.h"
#include "lowscan/ends/PictureEnd.h"
#include "util/LargeBuffer.h"
#include "util/Prompt.h"

namespace lowscan {

struct TCarverEvents {
  util::ProcessMessagesFn ProcessMessages;
  // A file was closed: during the scan (atEnd false) or when the drive ended;
  // byStructure when its own structure gave the end, and `shownType` what the
  // structure showed it to be (ends::TFileEnd::ShownType), if anything.
  std::function<void(FileNode&& file, int markerIndex, bool atEnd, bool byStructure, std::string_view shownType)>
      FileClosed;
  MarkerLogFn Log;
  std::function<std::int64_t()> FreeMemory;  // for the "-20" line; may be empty
};

class TCarver {
 public:
  TCarver(const std::vector<TMarkerData>& markers, const std::vector<TPattern>& patterns,
          const TAlignment& alignment, std::size_t stepBytes, std::int64_t& fileCounter, TCarverEvents events);

  // Where the next read step's bytes go (at most stepBytes).
  std::span<std::byte> ChunkBuffer();
  // A second buffer for reading ahead, its chunk part, and the swap that makes a
  // filled one the carver's own (the carry-over moves with it). NewBuffer and
  // ChunkOf may be called from another thread.
  util::TLargeBuffer NewBuffer() const { return util::TLargeBuffer(m_carryCap + m_stepBytes); }
  std::span<std::byte> ChunkOf(util::TLargeBuffer& buffer) const {
    return buffer.Bytes().subspan(m_carryCap, m_stepBytes);
  }
  void SwapBuffer(util::TLargeBuffer& filled);
  // Searches `got` bytes of ChunkBuffer(), read from drive offset `driveOffset`.
  void ProcessChunk(std::int64_t driveOffset, std::size_t got);
  // The drive has ended: the open file, if any, ends at the last byte read.
  void Finish();
  // Where the file being carved starts, if one is open.
  std::optional<std::int64_t> OpenStart() const {
    return m_open ? std::optional<std::int64_t>(m_open->Node.StartPos) : std::nullopt;
  }
  // Drive offset at which the drive ends: no file's structure may reach beyond it.
  void SetDriveEnd(std::int64_t end) { m_driveEnd = end; }

 private:
  struct OpenFile {
    FileNode Node;
    int Marker = -1;
    std::optional<ends::TPictureEnd> PictureEnd;  // for kept images
    std::unique_ptr<ends::TFileEnd> End;          // its structure, for types that record their end
    std::int64_t CoveredUntil = -1;               // file offset a look ahead found the structure to reach
  };
  bool Walking() const;
  std::int64_t LimitAt(const TMarkerData& marker, std::int64_t start) const;
  // A header hit that is no new file: its own header does not parse, or it lies
  // inside the structure of the file that is open.
  bool Dropped(const TMarkerData& marker, std::string_view text, std::size_t split, std::int64_t splitPos);
  bool Covered(std::string_view text, std::size_t split, std::int64_t splitPos);
  void CloseAtStructureEnd();
  void ApplyTentativeEnd(FileNode& file, const OpenFile& open) const;
  // A file cut at `splitPos` whose structure, looked ahead, ends there or before:
  // it ends with its structure.
  static bool EndFoundAhead(FileNode& file, const OpenFile& open, std::int64_t splitPos);
  std::string CurrentExtension() const;
  void AddToOpenFile(std::string_view bytes);
  void CloseInScan(std::int64_t splitPos);
  void Open(int marker, std::int64_t splitPos);
  void KeepCarry(std::string_view text, std::size_t from);

  const std::vector<TMarkerData>& m_markers;
  TMarkerSearch m_search;
  TAlignment m_alignment;
  std::int64_t& m_fileCounter;
  TCarverEvents m_events;

  std::size_t m_carryCap = 32;
  std::size_t m_stepBytes;
  util::TLargeBuffer m_buffer;  // [carry-over | read step]
  std::size_t m_carryLen = 0;
  std::int64_t m_dataEnd = 0;       // drive offset just after the last byte taken in
  std::int64_t m_skipEnd = 0;       // markers starting below this offset are not searched
  std::int64_t m_driveEnd = INT64_MAX;
  int m_lastIndex = -1;
  bool m_cut = false;
  std::optional<OpenFile> m_open;
};

}  // namespace lowscan
