#pragma once
// Where a carved file ends, read from its own structure: one walker per format
// (JPEG segments, PNG chunks, ZIP records, ...), fed the file's bytes in order,
// piece by piece as the read steps bring them. A walker never asks for a byte it
// was not given, so it cannot read past the drive or the type's size limit, and
// every walk advances through the file, so it ends. Walkers are small values:
// Clone() copies one to look ahead without disturbing it. Owned by the carver
// (one per open file) or by any caller that wants a file's end from its bytes.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace lowscan::ends {

enum class TEndVerdict : std::uint8_t {
  kWalking,    // more bytes wanted
  kEnd,        // End() is the file's length
  kBadHeader,  // the bytes at the header are no file of this type
  kLost,       // the structure broke off or takes a form not followed: the marker rules decide
};

// Checked reading of the bytes a walker asked for: out-of-range reads give 0.
class TEndBytes {
 public:
  explicit TEndBytes(std::span<const unsigned char> bytes) : m_bytes(bytes) {}
  std::size_t Size() const { return m_bytes.size(); }
  const unsigned char* Data() const { return m_bytes.data(); }
  unsigned U8(std::size_t at) const { return at < m_bytes.size() ? m_bytes[at] : 0; }
  std::uint32_t Le(std::size_t at, unsigned width) const;
  std::uint32_t Be(std::size_t at, unsigned width) const;
  std::uint64_t Le64(std::size_t at) const;
  std::uint64_t Be64(std::size_t at) const;
  bool Is(std::size_t at, std::string_view text) const;
  // The length of the line ending (CR LF, LF or CR) at `at`; 0 when there is none.
  std::size_t LineEnd(std::size_t at) const;

 private:
  std::span<const unsigned char> m_bytes;
};

class TFileEnd {
 public:
  virtual ~TFileEnd() = default;

  // The file's next bytes, without gaps, from its first byte on.
  TEndVerdict Feed(std::string_view bytes);
  TEndVerdict Verdict() const { return m_verdict; }
  // With kEnd: the file's length in bytes.
  std::int64_t End() const { return m_end; }
  std::int64_t Fed() const { return m_fed; }
  // Bytes the structure read so far spans: a header found before this offset
  // lies inside the file.
  std::int64_t CoveredTo() const { return m_covered; }
  // An end that holds unless more of the structure follows (a PDF's last %%EOF).
  std::optional<std::int64_t> TentativeEnd() const { return m_tentative; }
  // The header itself was read and is sound: later faults are kLost.
  bool HeaderParsed() const { return m_headerParsed; }
  // Where catalogue types share a marker, the one the structure shows the file to
  // be (a Word, Excel or PowerPoint document; the package a ZIP archive holds;
  // sound or video in Windows Media), as its extension; empty while untold.
  std::string_view ShownType() const { return m_shownType; }
  // Nothing of the file may lie at or beyond this length (size limit, end of the drive).
  void SetLimit(std::int64_t limit) { m_limit = limit; }

  virtual std::unique_ptr<TFileEnd> Clone() const = 0;

 protected:
  using Bytes = TEndBytes;
  // The first request; called before the first bytes are handed over.
  virtual void Start() = 0;
  // The bytes asked for, beginning at file offset `at`.
  virtual void OnBytes(std::int64_t at, const Bytes& bytes) = 0;

  // Exactly `length` bytes at `at` are wanted next (`at` at or behind the last request).
  void Want(std::int64_t at, std::size_t length);
  // Whatever bytes follow `at`, in pieces; the walker consumes each piece whole by
  // asking again, so a scan never holds bytes back.
  void ScanFrom(std::int64_t at);
  void Finish(std::int64_t end);
  // A text's end: `end`, and the line ending (CR LF, LF or CR) right behind it.
  void FinishBehindLineEnd(std::int64_t end);
  void Tentative(std::int64_t end) { m_tentative = end; }
  void SetHeaderParsed() { m_headerParsed = true; }
  // `type`: text that outlives the walker (a literal).
  void SetShownType(std::string_view type) { m_shownType = type; }
  void Reject() { m_verdict = m_headerParsed ? TEndVerdict::kLost : TEndVerdict::kBadHeader; }
  void Lose() { m_verdict = TEndVerdict::kLost; }
  std::int64_t Limit() const { return m_limit; }

 private:
  struct Request {
    std::int64_t at = 0;
    std::size_t length = 0;  // 0: a scan
  };
  bool Deliver(std::string_view piece, std::int64_t base);
  void Call(std::int64_t at, std::span<const unsigned char> bytes);

  TEndVerdict m_verdict = TEndVerdict::kWalking;
  bool m_started = false;
  bool m_headerParsed = false;
  bool m_requested = false;
  bool m_endAhead = false;  // Finish() named an end not yet fed
  bool m_lineEnd = false;   // the bytes asked for may hold the line ending behind an end
  int m_stalls = 0;
  Request m_request;
  std::basic_string<unsigned char> m_pending;  // a request's bytes split across pieces
  std::basic_string<unsigned char> m_tail;     // the last bytes fed
  std::int64_t m_tailAt = 0;
  std::int64_t m_fed = 0;
  std::int64_t m_end = 0;
  std::int64_t m_covered = 0;
  std::int64_t m_limit = INT64_MAX;
  std::optional<std::int64_t> m_tentative;
  std::string_view m_shownType;
};

// The copyable part every walker shares.
template <typename Derived>
class TEndWalker : public TFileEnd {
 public:
  std::unique_ptr<TFileEnd> Clone() const override {
    return std::make_unique<Derived>(static_cast<const Derived&>(*this));
  }
};

// The walker for a catalogue extension (case-insensitive), or none for types
// whose structure is not followed. `limit` as for SetLimit (0: none).
std::unique_ptr<TFileEnd> MakeFileEnd(std::string_view extension, std::int64_t limit);

// The whole walk over `bytes` in one piece: the verdict, and the length with kEnd.
TEndVerdict WalkFileEnd(std::string_view extension, std::string_view bytes, std::int64_t& end);

}  // namespace lowscan::ends
