#include "tests/support/ExFatImage.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "tests/support/Command.h"
#include "tests/support/TempDir.h"
#include "util/ByteReader.h"

namespace testsupport {
namespace {

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

// Detaches the loop device and waits until the FUSE daemon has let go of it, so every byte
// it wrote is in the image file.
void Detach(const std::string& loop, const std::filesystem::path& image) {
  RunCommand({"losetup", "-d", loop});
  for (int i = 0; i < 200; ++i) {
    if (Trimmed(RunCommand({"losetup", "-j", image.string()}).output).empty()) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

std::string Attach(const std::filesystem::path& image, const std::filesystem::path& mount) {
  const std::string loop = Trimmed(RunOrThrow({"losetup", "-f", "--show", image.string()}));
  const CommandResult mounted = RunCommand({"mount.exfat-fuse", loop, mount.string()});
  if (mounted.exitCode != 0) {
    Detach(loop, image);
    throw std::runtime_error("mount.exfat-fuse failed: " + mounted.errors);
  }
  return loop;
}

std::string TryTools() {
  if (geteuid() != 0) return "exFAT test images need root (a loop device and a FUSE mount)";
  if (access("/dev/fuse", R_OK | W_OK) != 0) return "exFAT test images need /dev/fuse, which this machine lacks";
  for (const char* tool : {"losetup", "mkfs.exfat", "mount.exfat-fuse"}) {
    if (RunCommand({"sh", "-c", std::string("command -v ") + tool}).exitCode != 0) {
      return std::string("exFAT test images need ") + tool + " (util-linux, exfatprogs, exfat-fuse)";
    }
  }
  TempDir dir;
  try {
    ExFatImageOptions small;
    small.sizeMiB = 4;
    ExFatImage probe(dir / "probe.img", small);
    probe.Close();
  } catch (const std::exception& e) {
    return std::string("exFAT test images cannot be made here (losetup or FUSE refused): ") + e.what();
  }
  return {};
}

}  // namespace

std::string ExFatImage::Unavailable() {
  static const std::string why = TryTools();
  return why;
}

ExFatImage::ExFatImage(std::filesystem::path path, const ExFatImageOptions& options)
    : m_path(std::move(path)), m_mount(m_path.string() + ".mnt") {
  std::filesystem::remove(m_path);
  { std::ofstream(m_path, std::ios::binary); }
  std::filesystem::resize_file(m_path, options.sizeMiB << 20);
  std::vector<std::string> argv = {"mkfs.exfat", "-L", options.label, "-c", options.clusterSize};
  if (!options.boundary.empty()) argv.insert(argv.end(), {"-b", options.boundary});
  argv.push_back(m_path.string());
  RunOrThrow(argv);
  std::filesystem::create_directories(m_mount);
  m_loop = Attach(m_path, m_mount);
}

ExFatImage::~ExFatImage() {
  Close();
  std::error_code ec;
  std::filesystem::remove(m_mount, ec);
}

void ExFatImage::Close() {
  if (m_loop.empty()) return;
  // Right after the mount, or while the kernel still flushes, the mount can be busy for a moment.
  bool unmounted = false;
  for (int i = 0; i < 100 && !unmounted; ++i) {
    unmounted = RunCommand({"umount", m_mount.string()}).exitCode == 0;
    if (!unmounted) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  if (!unmounted) RunCommand({"umount", "-l", m_mount.string()});
  Detach(m_loop, m_path);
  m_loop.clear();
}

void ExFatImage::Reopen() {
  if (m_loop.empty()) m_loop = Attach(m_path, m_mount);
}

std::filesystem::path ExFatImage::Inside(const std::string& path) const { return m_mount / path.substr(1); }

void ExFatImage::MakeDir(const std::string& path) { std::filesystem::create_directories(Inside(path)); }

void ExFatImage::AddFile(const std::string& path, const std::string& contents, std::time_t modified) {
  std::filesystem::create_directories(Inside(path).parent_path());
  WriteFileBytes(Inside(path), contents);
  if (modified != 0) {
    const timespec times[2] = {{modified, 0}, {modified, 0}};
    utimensat(AT_FDCWD, Inside(path).c_str(), times, 0);
  }
}

void ExFatImage::Append(const std::string& path, const std::string& contents) {
  std::ofstream(Inside(path), std::ios::binary | std::ios::app).write(contents.data(),
                                                                      static_cast<std::streamsize>(contents.size()));
}

void ExFatImage::Delete(const std::string& path) { std::filesystem::remove(Inside(path)); }

void ExFatImage::DeleteTree(const std::string& path) { std::filesystem::remove_all(Inside(path)); }

std::uint64_t ExFatImage::FreeClusters() const {
  struct statvfs vfs {};
  if (statvfs(m_mount.c_str(), &vfs) != 0) return 0;
  return vfs.f_bfree;  // exfat-fuse counts in clusters
}

ExFatBytes::ExFatBytes(const std::filesystem::path& image) : bytes(ReadFileBytes(image)), m_path(image) {}

void ExFatBytes::Save() const { WriteFileBytes(m_path, bytes); }

std::uint64_t ExFatBytes::ClusterOffset(std::uint64_t cluster) const {
  const util::ByteReader r(bytes.data(), bytes.size());
  const std::uint64_t sector = std::uint64_t{1} << r.U8(108);
  return (r.U32(88) + ((cluster - 2) << r.U8(109))) * sector;
}

std::uint64_t ExFatBytes::FatOffset() const {
  const util::ByteReader r(bytes.data(), bytes.size());
  return std::uint64_t{r.U32(80)} << r.U8(108);
}

std::uint32_t ExFatBytes::FatEntry(std::uint64_t cluster) const {
  return util::ByteReader(bytes.data(), bytes.size()).U32(FatOffset() + cluster * 4);
}

void ExFatBytes::SetFatEntry(std::uint64_t cluster, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[FatOffset() + cluster * 4 + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::uint64_t ExFatBytes::FindSet(const std::string& name) const {
  std::u16string wide;
  for (std::size_t i = 0; i < name.size();) {  // UTF-8 to UTF-16 for the names tests use
    const auto c = static_cast<unsigned char>(name[i]);
    char32_t cp = c;
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    if (extra > 0) cp = c & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) cp = (cp << 6) | (static_cast<unsigned char>(name[i + k]) & 0x3F);
    i += 1 + extra;
    if (cp >= 0x10000) {
      wide.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      wide.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    } else {
      wide.push_back(static_cast<char16_t>(cp));
    }
  }
  const util::ByteReader r(bytes.data(), bytes.size());
  for (std::uint64_t at = ClusterOffset(2); r.Has(at, 96); at += 32) {
    const std::uint8_t type = r.U8(at);
    if ((type & 0x7F) != 0x05 || r.U8(at + 32 + 3) != wide.size()) continue;
    std::u16string found;
    for (std::uint64_t e = at + 64; found.size() < wide.size() && r.Has(e, 32) && (r.U8(e) & 0x7F) == 0x41; e += 32) {
      for (int c = 0; c < 15 && found.size() < wide.size(); ++c) found.push_back(static_cast<char16_t>(r.U16(e + 2 + 2 * c)));
    }
    if (found == wide) return at;
  }
  throw std::runtime_error("no entry set named " + name);
}

std::uint32_t ExFatBytes::FirstCluster(std::uint64_t set) const {
  return util::ByteReader(bytes.data(), bytes.size()).U32(set + 32 + 20);
}

std::uint8_t ExFatBytes::StreamFlags(std::uint64_t set) const {
  return util::ByteReader(bytes.data(), bytes.size()).U8(set + 32 + 1);
}

void ExFatBytes::FixSetChecksum(std::uint64_t set) {
  const unsigned count = static_cast<unsigned char>(bytes[set + 1]) + 1u;
  std::uint16_t sum = 0;
  for (std::uint64_t i = 0; i < std::uint64_t{count} * 32; ++i) {
    if (i == 2 || i == 3) continue;
    auto byte = static_cast<std::uint8_t>(bytes[set + i]);
    if (i % 32 == 0) byte |= 0x80;  // a deleted set's checksum is the one it had in use
    sum = static_cast<std::uint16_t>(((sum & 1) != 0 ? 0x8000 : 0) + (sum >> 1) + byte);
  }
  bytes[set + 2] = static_cast<char>(sum & 0xFF);
  bytes[set + 3] = static_cast<char>(sum >> 8);
}

}  // namespace testsupport
