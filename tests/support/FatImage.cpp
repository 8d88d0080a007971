#include "tests/support/FatImage.h"

#include <sys/stat.h>
#include <utime.h>

#include <cstring>
#include <stdexcept>

#include "tests/support/Command.h"
#include "tests/support/TempDir.h"
#include "util/ByteReader.h"

namespace testsupport {

std::map<std::string, std::string> MtoolsEnvironment() {
  return {{"MTOOLS_SKIP_CHECK", "1"}, {"LC_ALL", "C.UTF-8"}, {"MTOOLSRC", "/dev/null"}};
}

FatImage::FatImage(std::filesystem::path path, const FatImageOptions& options) : m_path(std::move(path)) {
  std::uint64_t sizeKiB = options.sizeKiB;
  if (sizeKiB == 0) sizeKiB = options.fatBits == 12 ? 2048 : options.fatBits == 16 ? 16384 : 40960;
  std::vector<std::string> argv = {"mkfs.fat", "-F", std::to_string(options.fatBits), "-S",
                                   std::to_string(options.sectorSize), "-n", options.label, "-i"};
  char id[16];
  std::snprintf(id, sizeof id, "%08X", options.volumeId);
  argv.push_back(id);
  if (options.sectorsPerCluster > 0) {
    argv.push_back("-s");
    argv.push_back(std::to_string(options.sectorsPerCluster));
  }
  m_formatArgs = argv;
  m_formatArgs.push_back(m_path.string());
  argv.push_back("-C");
  argv.push_back(m_path.string());
  argv.push_back(std::to_string(sizeKiB));
  std::filesystem::remove(m_path);
  RunOrThrow(argv);
}

void FatImage::QuickFormat() { RunOrThrow(m_formatArgs); }

std::string FatImage::Target(const std::string& path) const { return "::" + path; }

void FatImage::MakeDir(const std::string& path) {
  RunOrThrow({"mmd", "-i", m_path.string(), Target(path)}, MtoolsEnvironment());
}

void FatImage::AddFile(const std::string& path, const std::string& contents, std::time_t modified) {
  const std::filesystem::path staging = m_path.string() + ".staging";
  WriteFileBytes(staging, contents);
  if (modified != 0) {
    utimbuf times{modified, modified};
    utime(staging.c_str(), &times);
  }
  RunOrThrow({"mcopy", "-o", "-m", "-i", m_path.string(), staging.string(), Target(path)}, MtoolsEnvironment());
  std::filesystem::remove(staging);
}

void FatImage::Delete(const std::string& path) {
  RunOrThrow({"mdel", "-i", m_path.string(), Target(path)}, MtoolsEnvironment());
}

void FatImage::DeleteTree(const std::string& path) {
  RunOrThrow({"mdeltree", "-i", m_path.string(), Target(path)}, MtoolsEnvironment());
}

void FatImage::SetAttributes(const std::string& path, const std::string& flags) {
  RunOrThrow({"mattrib", "-i", m_path.string(), flags, Target(path)}, MtoolsEnvironment());
}

void FatImage::ForgetNextFreeCluster() {
  std::string bytes = ReadFileBytes(m_path);
  const util::ByteReader r(bytes.data(), bytes.size());
  if (r.U16(22) != 0) return;  // not FAT32: no hint
  const std::uint64_t at = std::uint64_t{r.U16(48)} * r.U16(11) + 492;
  if (at + 4 > bytes.size()) return;
  std::memset(bytes.data() + at, 0xFF, 4);
  WriteFileBytes(m_path, bytes);
}

std::string FatImage::Listing() const {
  return RunOrThrow({"mdir", "-i", m_path.string(), "-/", "-a", "::/"}, MtoolsEnvironment());
}

std::vector<std::pair<std::uint32_t, std::uint32_t>> FatImage::Clusters(const std::string& path) const {
  const std::string out = RunOrThrow({"mshowfat", "-i", m_path.string(), Target(path)}, MtoolsEnvironment());
  std::vector<std::pair<std::uint32_t, std::uint32_t>> ranges;
  for (std::size_t at = out.find('<'); at != std::string::npos; at = out.find('<', at + 1)) {
    const std::size_t end = out.find('>', at);
    const std::string range = out.substr(at + 1, end - at - 1);
    const std::size_t dash = range.find('-');
    const auto first = static_cast<std::uint32_t>(std::stoul(range.substr(0, dash)));
    const auto last = dash == std::string::npos ? first : static_cast<std::uint32_t>(std::stoul(range.substr(dash + 1)));
    ranges.emplace_back(first, last);
  }
  return ranges;
}

std::uint64_t FatImage::ClusterOffset(std::uint32_t cluster) const {
  const std::string boot = ReadFileBytes(m_path, 512);
  const util::ByteReader r(boot.data(), boot.size());
  const std::uint64_t bps = r.U16(11), spc = r.U8(13), reserved = r.U16(14), fats = r.U8(16);
  const std::uint64_t rootEntries = r.U16(17);
  const std::uint64_t fatSize = r.U16(22) != 0 ? r.U16(22) : r.U32(36);
  const std::uint64_t rootSectors = (rootEntries * 32 + bps - 1) / bps;
  const std::uint64_t firstData = reserved + fats * fatSize + rootSectors;
  return (firstData + (cluster - 2) * spc) * bps;
}

}  // namespace testsupport
