#include "platform/ImageSource.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>

#include "platform/EwfImage.h"
#include "platform/LastError.h"
#include "platform/ReadFaults.h"

namespace platform {
namespace {

constexpr std::uint64_t kProbeWindow = 1ull << 20;
// More parts than any imager writes (a terabyte in 100 MiB parts is 10000).
constexpr std::uint64_t kMaxParts = 100000;

// "card." and the number's digits of "card.001"; empty digits when the name
// ends otherwise.
struct PartName {
  std::string stem;
  std::size_t width = 0;
  std::uint64_t number = 0;
  std::string Of(std::uint64_t n) const {
    std::string digits = std::to_string(n);
    if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
    return stem + digits;
  }
};

std::optional<PartName> NumberedPart(const std::string& path) {
  const std::size_t dot = path.find_last_of("./");
  if (dot == std::string::npos || path[dot] != '.') return std::nullopt;
  const std::string digits = path.substr(dot + 1);
  if (digits.size() < 3 || digits.size() > 5 ||
      !std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isdigit(c) != 0; })) {
    return std::nullopt;
  }
  return PartName{path.substr(0, dot + 1), digits.size(), std::stoull(digits)};
}

// The first segment's names imagers give: card.E01, card.Ex01, card.L01, card.Lx01, card.s01.
bool ExpertWitnessName(const std::string& path) {
  const std::size_t dot = path.find_last_of("./");
  if (dot == std::string::npos || path[dot] != '.') return false;
  std::string extension = path.substr(dot + 1);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension == "e01" || extension == "ex01" || extension == "l01" || extension == "lx01" || extension == "s01";
}

bool IsFile(const std::string& path, std::uint64_t* size = nullptr) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  if (size != nullptr) *size = static_cast<std::uint64_t>(st.st_size);
  return true;
}

// The parts read one after the other as one medium. One part is open at a time:
// reads go through an image mostly in order, and a large image may have more
// parts than descriptors.
class SplitRawImage final : public ImageSource {
 public:
  SplitRawImage(std::vector<std::string> parts, std::vector<std::uint64_t> starts, std::uint64_t size)
      : ImageSource(size), m_parts(std::move(parts)), m_starts(std::move(starts)) {}
  ~SplitRawImage() override {
    if (m_fd >= 0) ::close(m_fd);
  }

  std::int64_t ReadAt(std::uint64_t offset, std::span<std::byte> out) const override {
    std::lock_guard lock(m_mutex);
    std::size_t done = 0;
    while (done < out.size() && offset + done < Size()) {
      const std::uint64_t at = offset + done;
      const std::size_t part =
          static_cast<std::size_t>(std::upper_bound(m_starts.begin(), m_starts.end(), at) - m_starts.begin()) - 1;
      const std::uint64_t partEnd = part + 1 < m_starts.size() ? m_starts[part + 1] : Size();
      if (!OpenPart(part)) return -1;
      const std::uint64_t want = std::min<std::uint64_t>(out.size() - done, partEnd - at);
      const long got = ReadFaults::PRead(m_fd, out.data() + done, want, at - m_starts[part]);
      if (got < 0) {
        if (errno == EINTR) continue;
        SetLastErrorFromErrno(errno);
        return -1;
      }
      if (got == 0) break;  // a part cut short since it was opened
      done += static_cast<std::size_t>(got);
    }
    return static_cast<std::int64_t>(done);
  }

 private:
  bool OpenPart(std::size_t part) const {
    if (m_fd >= 0 && m_open == part) return true;
    if (m_fd >= 0) ::close(m_fd);
    m_fd = ::open(m_parts[part].c_str(), O_RDONLY | O_CLOEXEC);
    m_open = part;
    if (m_fd < 0) SetLastErrorFromErrno(errno);
    return m_fd >= 0;
  }

  std::vector<std::string> m_parts;
  std::vector<std::uint64_t> m_starts;  // each part's first byte on the medium
  mutable std::mutex m_mutex;
  mutable int m_fd = -1;
  mutable std::size_t m_open = 0;
};

std::shared_ptr<const ImageSource> OpenSplitRaw(const std::string& path) {
  const auto name = NumberedPart(path);
  if (!name) {
    SetLastErrorFromErrno(errno = EINVAL);
    return nullptr;
  }
  std::vector<std::string> parts;
  std::vector<std::uint64_t> starts;
  std::uint64_t size = 0, partSize = 0;
  // A set numbered from .000, chosen by its .001.
  std::uint64_t n = name->number == 1 && IsFile(name->Of(0)) ? 0 : name->number;
  const std::uint64_t first = n;
  for (; n < first + kMaxParts && IsFile(name->Of(n), &partSize); ++n) {
    parts.push_back(name->Of(n));
    starts.push_back(size);
    size += partSize;
  }
  // A part missing between others would shift every byte after it: refused, not
  // read short.
  if (parts.empty() || IsFile(name->Of(n + 1)) || IsFile(name->Of(n + 2))) {
    SetLastErrorFromErrno(errno = ENOENT);
    return nullptr;
  }
  // Every part must be readable now, not halfway through a scan.
  for (const std::string& part : parts) {
    if (::access(part.c_str(), R_OK) != 0) {
      SetLastErrorFromErrno(errno);
      return nullptr;
    }
  }
  return std::make_shared<SplitRawImage>(std::move(parts), std::move(starts), size);
}

}  // namespace

ImageSource::~ImageSource() {
  if (m_probeFd >= 0) ::close(m_probeFd);
}

ImageSource::Kind ImageSource::KindOf(const std::string& path) {
  if (!IsFile(path)) return Kind::Plain;
  // The name first: a plain image's first sectors are not read for a signature (a failing
  // card's first sectors may take seconds each).
  if (ExpertWitnessName(path) && IsExpertWitness(path)) return Kind::ExpertWitness;
  const auto name = NumberedPart(path);
  if (name && name->number <= 1 &&
      (IsFile(name->Of(name->number + 1)) || (name->number == 1 && IsFile(name->Of(0))))) {
    return Kind::SplitRaw;
  }
  return Kind::Plain;
}

std::shared_ptr<const ImageSource> ImageSource::Open(const std::string& path) {
  switch (KindOf(path)) {
    case Kind::ExpertWitness:
      return OpenExpertWitness(path);
    case Kind::SplitRaw:
      return OpenSplitRaw(path);
    case Kind::Plain:
      break;
  }
  SetLastErrorFromErrno(errno = EINVAL);
  return nullptr;
}

std::string ImageSource::Problem(const std::string& path) {
  const Kind kind = KindOf(path);
  if (kind == Kind::Plain || Open(path)) return {};
  if (kind == Kind::ExpertWitness) return "a segment of the Expert Witness image is missing or damaged";
  const auto name = NumberedPart(path);
  const std::uint64_t first = name->number == 1 && IsFile(name->Of(0)) ? 0 : name->number;
  for (std::uint64_t n = first; n < first + kMaxParts; ++n) {
    const std::string part = name->Of(n);
    if (!IsFile(part)) {
      return "part " + std::filesystem::path(part).filename().string() + " of the split image is missing";
    }
    if (::access(part.c_str(), R_OK) != 0) return "part " + part + ": " + std::strerror(errno);
  }
  return {};
}

int ImageSource::ProbeFd(std::uint64_t offset, std::uint64_t length) const {
  std::lock_guard lock(m_probeMutex);
  if (m_probeFd < 0) {
    m_probeFd = memfd_create("trellmond-probe", MFD_CLOEXEC);
    if (m_probeFd < 0 || ftruncate(m_probeFd, static_cast<off_t>(m_size)) != 0) return -1;
  }
  offset = std::min(offset, m_size);
  length = length == 0 ? m_size - offset : std::min(length, m_size - offset);
  CopyForProbe(offset, std::min(length, kProbeWindow));
  if (length > kProbeWindow) CopyForProbe(offset + length - kProbeWindow, kProbeWindow);
  return m_probeFd;
}

void ImageSource::CopyForProbe(std::uint64_t offset, std::uint64_t length) const {
  const std::uint64_t end = offset + length;
  for (const auto& [begin, until] : m_copied) {
    if (begin <= offset && end <= until) return;
  }
  std::vector<std::byte> bytes(static_cast<std::size_t>(length));
  const std::int64_t got = ReadAt(offset, bytes);
  if (got <= 0) return;
  std::size_t done = 0;
  while (done < static_cast<std::size_t>(got)) {
    const ssize_t put =
        pwrite(m_probeFd, bytes.data() + done, static_cast<std::size_t>(got) - done, static_cast<off_t>(offset + done));
    if (put <= 0) return;
    done += static_cast<std::size_t>(put);
  }
  m_copied.emplace_back(offset, end);
}

}  // namespace platform
