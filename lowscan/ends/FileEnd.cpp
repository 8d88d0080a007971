#include "lowscan/ends/FileEnd.h"

#include <algorithm>
#include <cstring>

namespace lowscan::ends {
namespace {

// Walkers read headers, tables and directories, never whole payloads.
constexpr std::size_t kLargestRequest = 1 << 20;
// Bytes of the previous piece kept for a request that starts just before a new one.
constexpr std::size_t kTail = 16;
constexpr int kStalls = 8;

}  // namespace

std::uint32_t TEndBytes::Le(std::size_t at, unsigned width) const {
  std::uint32_t value = 0;
  for (unsigned i = width; i-- > 0;) value = (value << 8) | U8(at + i);
  return value;
}

std::uint32_t TEndBytes::Be(std::size_t at, unsigned width) const {
  std::uint32_t value = 0;
  for (unsigned i = 0; i < width; ++i) value = (value << 8) | U8(at + i);
  return value;
}

std::uint64_t TEndBytes::Le64(std::size_t at) const {
  return Le(at, 4) | (std::uint64_t{Le(at + 4, 4)} << 32);
}

std::uint64_t TEndBytes::Be64(std::size_t at) const {
  return (std::uint64_t{Be(at, 4)} << 32) | Be(at + 4, 4);
}

bool TEndBytes::Is(std::size_t at, std::string_view text) const {
  return at <= m_bytes.size() && text.size() <= m_bytes.size() - at &&
         std::memcmp(m_bytes.data() + at, text.data(), text.size()) == 0;
}

std::size_t TEndBytes::LineEnd(std::size_t at) const {
  if (at >= m_bytes.size()) return 0;
  if (m_bytes[at] == '\r') return at + 1 < m_bytes.size() && m_bytes[at + 1] == '\n' ? 2 : 1;
  return m_bytes[at] == '\n' ? 1 : 0;
}

void TFileEnd::Want(std::int64_t at, std::size_t length) {
  m_requested = true;
  if (length == 0 || length > kLargestRequest || at < 0 || at > m_limit ||
      static_cast<std::int64_t>(length) > m_limit - at) {
    Lose();
    return;
  }
  m_request = {at, length};
  m_covered = std::max(m_covered, at);
}

void TFileEnd::ScanFrom(std::int64_t at) {
  m_requested = true;
  // A scan may wait at the limit: no byte comes, and the marker rules end the file.
  if (at < 0 || at > m_limit) {
    Lose();
    return;
  }
  // Scanned bytes are not structure: they cover nothing.
  m_request = {at, 0};
}

void TFileEnd::Finish(std::int64_t end) {
  m_requested = true;
  if (end <= 0 || end > m_limit) {
    Lose();
    return;
  }
  m_end = end;
  m_covered = std::max(m_covered, end);
  // An end the header states may lie ahead: the file ends once its bytes are in.
  if (end <= m_fed) {
    m_verdict = TEndVerdict::kEnd;
  } else {
    m_endAhead = true;
  }
}

void TFileEnd::FinishBehindLineEnd(std::int64_t end) {
  if (end >= m_limit) return Finish(end);
  Want(end, static_cast<std::size_t>(std::min<std::int64_t>(2, m_limit - end)));
  m_lineEnd = true;
}

void TFileEnd::Call(std::int64_t at, std::span<const unsigned char> bytes) {
  if (m_lineEnd) {
    m_lineEnd = false;
    return Finish(at + static_cast<std::int64_t>(TEndBytes(bytes).LineEnd(0)));
  }
  const Request before = m_request;
  m_requested = false;
  OnBytes(at, TEndBytes(bytes));
  if (m_verdict != TEndVerdict::kWalking) return;
  // Every call must move the walk on, or it could turn on one place for ever; a
  // few calls at one offset (a marker, then its length) are allowed.
  if (m_request.at > before.at) {
    m_stalls = 0;
  } else if (m_request.at < before.at || ++m_stalls > kStalls) {
    Lose();
  }
  if (!m_requested) Lose();
}

bool TFileEnd::Deliver(std::string_view piece, std::int64_t base) {
  const auto* data = reinterpret_cast<const unsigned char*>(piece.data());
  const std::int64_t at = m_request.at;
  if (m_pending.empty() && at < base && at >= m_tailAt) {
    // A request that begins in the last bytes of the previous piece.
    const auto tail = static_cast<std::size_t>(at - m_tailAt);
    if (m_request.length == 0) {
      const std::basic_string<unsigned char> bytes = m_tail.substr(tail);
      Call(at, {bytes.data(), bytes.size()});
      return true;
    }
    m_pending = m_tail.substr(tail, m_request.length);
    if (m_pending.size() == m_request.length) {
      const std::basic_string<unsigned char> bytes = std::move(m_pending);
      m_pending.clear();
      Call(at, {bytes.data(), bytes.size()});
      return true;
    }
  }
  if (m_request.length == 0) {
    if (at < base) {
      Lose();  // a scan consumes whole pieces; bytes behind it are gone
      return false;
    }
    Call(at, {data + (at - base), static_cast<std::size_t>(m_fed - at)});
    return true;
  }
  const std::int64_t end = at + static_cast<std::int64_t>(m_request.length);
  if (m_pending.empty() && at >= base && end <= m_fed) {
    Call(at, {data + (at - base), m_request.length});
    return true;
  }
  const std::int64_t from = at + static_cast<std::int64_t>(m_pending.size());
  if (from < base) {
    Lose();
    return false;
  }
  const std::int64_t to = std::min(end, m_fed);
  m_pending.append(data + (from - base), static_cast<std::size_t>(to - from));
  if (to < end) return false;
  const std::basic_string<unsigned char> bytes = std::move(m_pending);
  m_pending.clear();
  Call(at, {bytes.data(), bytes.size()});
  return true;
}

TEndVerdict TFileEnd::Feed(std::string_view bytes) {
  if (!m_started) {
    m_started = true;
    m_requested = false;
    Start();
    if (!m_requested && m_verdict == TEndVerdict::kWalking) Lose();
  }
  const std::int64_t base = m_fed;
  m_fed += static_cast<std::int64_t>(bytes.size());
  if (m_endAhead) {
    if (m_fed >= m_end) m_verdict = TEndVerdict::kEnd;
    return m_verdict;
  }
  while (m_verdict == TEndVerdict::kWalking && !m_endAhead && m_request.at < m_fed) {
    if (!Deliver(bytes, base)) break;
  }
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  m_tail.append(data + bytes.size() - std::min(bytes.size(), kTail), std::min(bytes.size(), kTail));
  if (m_tail.size() > kTail) m_tail.erase(0, m_tail.size() - kTail);
  m_tailAt = m_fed - static_cast<std::int64_t>(m_tail.size());
  return m_verdict;
}

TEndVerdict WalkFileEnd(std::string_view extension, std::string_view bytes, std::int64_t& end) {
  const std::unique_ptr<TFileEnd> walker = MakeFileEnd(extension, static_cast<std::int64_t>(bytes.size()));
  if (!walker) return TEndVerdict::kLost;
  const TEndVerdict verdict = walker->Feed(bytes);
  end = verdict == TEndVerdict::kEnd ? walker->End() : 0;
  return verdict;
}

}  // namespace lowscan::ends
