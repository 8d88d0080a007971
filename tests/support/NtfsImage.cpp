#include "tests/support/NtfsImage.h"

#include <sys/xattr.h>

#include <atomic>
#include <fstream>
#include <stdexcept>

#include "tests/support/Command.h"
#include "tests/support/TempDir.h"
#include "util/ByteReader.h"

namespace testsupport {
namespace {

constexpr std::uint32_t kCompressedAttribute = 0x800;
constexpr std::uint32_t kBitmapAttribute = 0xB0;

std::string ReadRange(const std::filesystem::path& path, std::uint64_t offset, std::size_t size) {
  std::ifstream in(path, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(offset));
  std::string bytes(size, '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(size));
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  return bytes;
}

std::string Inside(const std::string& path) { return path.empty() || path[0] != '/' ? "/" + path : path; }

}  // namespace

NtfsImage::NtfsImage(std::filesystem::path path, const NtfsImageOptions& options) : m_path(std::move(path)) {
  std::filesystem::remove(m_path);
  { std::ofstream(m_path, std::ios::binary); }
  std::filesystem::resize_file(m_path, options.sizeMiB * 1024 * 1024);
  m_formatArgs = {"mkntfs", "-F", "-q", "-Q", "-c", std::to_string(options.clusterSize), "-s",
                  std::to_string(options.sectorSize), "-L", options.label, m_path.string()};
  RunOrThrow(m_formatArgs);
  const std::string boot = ReadRange(m_path, 0, 512);
  const util::ByteReader r(boot.data(), boot.size());
  m_clusterSize = std::uint32_t{r.U16(11)} * r.U8(13);
  const std::int8_t perRecord = static_cast<std::int8_t>(r.U8(64));
  m_recordSize = perRecord < 0 ? 1u << -perRecord : perRecord * m_clusterSize;
  m_mftOffset = r.U64(48) * m_clusterSize;
}

void NtfsImage::QuickFormat() { RunOrThrow(m_formatArgs); }

void NtfsImage::AddFile(const std::string& path, const std::string& contents) {
  const std::filesystem::path staging = m_path.string() + ".staging";
  WriteFileBytes(staging, contents);
  RunOrThrow({"ntfscp", "-f", "-q", m_path.string(), staging.string(), Inside(path)});
  std::filesystem::remove(staging);
}

void NtfsImage::AddStream(const std::string& path, const std::string& stream, const std::string& contents) {
  const std::filesystem::path staging = m_path.string() + ".staging";
  WriteFileBytes(staging, contents);
  RunOrThrow({"ntfscp", "-f", "-q", "-N", stream, m_path.string(), staging.string(), Inside(path)});
  std::filesystem::remove(staging);
}

std::uint64_t NtfsImage::RecordNumber(const std::string& path) const {
  const std::string out = RunOrThrow({"ntfsinfo", "-F", Inside(path), m_path.string()});
  const std::string key = "Dumping Inode ";
  const std::size_t at = out.find(key);
  if (at == std::string::npos) throw std::runtime_error("ntfsinfo gave no inode for " + path);
  return std::stoull(out.substr(at + key.size()));
}

std::uint64_t NtfsImage::RecordOffset(std::uint64_t record) const {
  // Test images are small and fresh: their $MFT is one run from its first cluster.
  const std::uint64_t offset = m_mftOffset + record * m_recordSize;
  const std::string header = ReadRange(m_path, offset, 48);
  const util::ByteReader r(header.data(), header.size());
  if (header.substr(0, 4) != "FILE" || r.U32(44) != record) {
    throw std::runtime_error("MFT record " + std::to_string(record) + " is not where expected");
  }
  return offset;
}

std::uint64_t NtfsImage::AttributeOffset(std::uint64_t record, std::uint32_t type) const {
  const std::string bytes = ReadRange(m_path, RecordOffset(record), m_recordSize);
  const util::ByteReader r(bytes.data(), bytes.size());
  for (std::uint64_t at = r.U16(20); r.Has(at, 8);) {
    const std::uint32_t found = r.U32(at);
    const std::uint32_t length = r.U32(at + 4);
    if (found == type) return at;
    if (found == 0xFFFFFFFF || length == 0) break;
    at += length;
  }
  throw std::runtime_error("no attribute " + std::to_string(type) + " in record " + std::to_string(record));
}

void NtfsImage::MarkDeleted(std::uint64_t record) {
  const std::uint64_t at = RecordOffset(record);
  const std::string flags = ReadRange(m_path, at + 22, 1);
  Patch(at + 22, std::string(1, static_cast<char>(flags[0] & ~0x01)));
  // The $MFT's bitmap: resident in record 0 on tiny volumes, else its first run.
  const std::uint64_t bitmap = RecordOffset(0) + AttributeOffset(0, kBitmapAttribute);
  const std::string header = ReadRange(m_path, bitmap, 80);
  const util::ByteReader h(header.data(), header.size());
  std::uint64_t byte = 0;
  if (h.U8(8) == 0) {
    byte = bitmap + h.U16(20) + record / 8;
  } else {
    const std::uint64_t runs = h.U16(32);
    const std::uint8_t runHeader = h.U8(runs);
    const auto lcn = h.ReadSigned(runs + 1 + (runHeader & 0x0F), runHeader >> 4);
    byte = static_cast<std::uint64_t>(lcn.value_or(0)) * m_clusterSize + record / 8;
  }
  const std::string bits = ReadRange(m_path, byte, 1);
  Patch(byte, std::string(1, static_cast<char>(bits[0] & ~(1 << (record % 8)))));
}

void NtfsImage::Patch(std::uint64_t offset, const std::string& bytes) {
  std::fstream f(m_path, std::ios::in | std::ios::out | std::ios::binary);
  f.seekp(static_cast<std::streamoff>(offset));
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool NtfsImage::MountAvailable() {
  static const bool available = [] {
    if (::access("/dev/fuse", R_OK | W_OK) != 0) return false;
    TempDir dir;
    try {
      NtfsImage image(dir / "probe.ntfs", {.sizeMiB = 8});
      NtfsMount mount(image);
      return true;
    } catch (const std::exception&) {
      return false;
    }
  }();
  return available;
}

NtfsMount::NtfsMount(const NtfsImage& image) {
  static std::atomic<int> counter{0};
  m_root = image.Path().string() + ".mnt" + std::to_string(counter++);
  std::filesystem::create_directories(m_root);
  RunOrThrow({"ntfs-3g", "-o", "streams_interface=windows", image.Path().string(), m_root.string()});
}

NtfsMount::~NtfsMount() {
  // ntfs-3g writes everything back before the unmount returns.
  RunCommand({"umount", m_root.string()});
  std::error_code ec;
  std::filesystem::remove(m_root, ec);
}

void NtfsMount::MakeDir(const std::string& path) { std::filesystem::create_directories(m_root / path); }

void NtfsMount::Write(const std::string& path, const std::string& contents) { WriteFileBytes(m_root / path, contents); }

bool NtfsMount::TryWrite(const std::string& path, const std::string& contents) {
  {
    std::ofstream out(m_root / path, std::ios::binary);
    out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
    out.close();
    if (out) return true;
  }
  std::error_code ec;
  std::filesystem::remove(m_root / path, ec);
  return false;
}

void NtfsMount::CompressFolder(const std::string& path) {
  const std::string target = (m_root / path).string();
  unsigned char value[4] = {};
  if (::getxattr(target.c_str(), "system.ntfs_attrib_be", value, sizeof value) != 4) {
    throw std::runtime_error("cannot read the attributes of " + path);
  }
  value[2] |= kCompressedAttribute >> 8;
  if (::setxattr(target.c_str(), "system.ntfs_attrib_be", value, sizeof value, 0) != 0) {
    throw std::runtime_error("cannot compress " + path);
  }
}

void NtfsMount::Remove(const std::string& path) { std::filesystem::remove_all(m_root / path); }

}  // namespace testsupport
