// Low Level Scan throughput: the quick and the thorough scan of a page-cached
// image with the catalogue's default types, next to `dd bs=4M` reading the same
// image. Usage: lowscan_throughput [IMAGE] (default: a 256 MiB random image with
// samples laid in, made in a temporary folder).

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "lowscan/imagecheck/ImageCheck.h"
#include "lowscan/MekLowScan.h"
#include "lowscan/ScanPasses.h"
#include "platform/DriveTable.h"
#include "util/Text.h"

namespace {

std::vector<std::string> Lines(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

std::filesystem::path MakeImage(const std::filesystem::path& dir, std::int64_t size) {
  const auto path = dir / "bench.img";
  std::ofstream out(path, std::ios::binary);
  std::mt19937_64 random(42);
  std::vector<std::uint64_t> block(1 << 17);
  std::vector<std::string> samples;
  for (const auto& e : std::filesystem::directory_iterator(std::filesystem::path(TRELLMOND_SOURCE_DIR) / "tests/data/samples")) {
    std::ifstream in(e.path(), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    samples.push_back(s.str());
  }
  for (std::int64_t written = 0, n = 0; written < size; written += 1 << 20, ++n) {
    for (auto& w : block) w = random();
    std::string chunk(reinterpret_cast<const char*>(block.data()), 1 << 20);
    const std::string& sample = samples[static_cast<std::size_t>(n) % samples.size()];
    chunk.replace(4096, sample.size(), sample);  // one real file per MiB, at a sector start
    out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
  }
  return path;
}

double Seconds(const std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double ScanMBs(char letter, bool quick, std::int64_t bytes, std::size_t& files) {
  const auto catalogue = Lines(std::filesystem::path(TRELLMOND_SOURCE_DIR) / "service/data/catalogue/details.txt");
  std::vector<std::string> defaults;
  for (const auto& line : Lines(std::filesystem::path(TRELLMOND_SOURCE_DIR) / "service/data/catalogue/overview-low.txt")) {
    if (util::GetField(line, 3, ';') == "1") {
      defaults.push_back(util::GetField(line, 1, ';') + ";" + util::GetField(line, 4, ';') + ";" +
                         util::GetField(line, 5, ';'));
    }
  }
  lowscan::TMekLowScan scan;
  scan.SetDrive(letter);
  scan.SetUseClusterBoundary(quick);
  scan.OnGetFileData = [&](lowscan::TMekLowScan*, std::vector<std::string>& data) { data = catalogue; };
  scan.OnImageCheck = [](lowscan::TMekLowScan* s, util::TMemoryStream& image, const std::string& type, bool& ok) {
    lowscan::imagecheck::LowScanImageCheck(s, image, type, ok);
  };
  const auto passes = lowscan::MakeScanPasses(defaults, quick);
  const auto start = std::chrono::steady_clock::now();
  for (const auto& pass : passes) {
    scan.SetLowFileTypes(pass);
    scan.ScanDrive();
  }
  const double seconds = Seconds(start);
  files = scan.FileList().size();
  // Each thorough pass reads the whole image: throughput per byte of the drive per pass.
  return static_cast<double>(bytes) * static_cast<double>(passes.size()) / 1e6 / seconds;
}

}  // namespace

int main(int argc, char** argv) {
  const auto temp = std::filesystem::temp_directory_path() / ("lowscan-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(temp);
  const std::filesystem::path image = argc > 1 ? std::filesystem::path(argv[1]) : MakeImage(temp, 256LL << 20);
  const auto bytes = static_cast<std::int64_t>(std::filesystem::file_size(image));
  const char letter = platform::DriveTable::Instance().Attach(image.string());
  const std::string dd = "dd if='" + image.string() + "' of=/dev/null bs=4M 2>/dev/null";
  std::system(dd.c_str());  // into the page cache
  auto start = std::chrono::steady_clock::now();
  std::system(dd.c_str());
  const double ddMBs = static_cast<double>(bytes) / 1e6 / Seconds(start);
  std::size_t quickFiles = 0, thoroughFiles = 0;
  const double quick = ScanMBs(letter, true, bytes, quickFiles);
  const double thorough = ScanMBs(letter, false, bytes, thoroughFiles);
  std::printf("image: %s, %.0f MB (page-cached)\n", image.c_str(), static_cast<double>(bytes) / 1e6);
  std::printf("dd bs=4M read:          %8.0f MB/s\n", ddMBs);
  std::printf("Low Level quick scan:   %8.0f MB/s  (%.2f x dd)  %zu files\n", quick, quick / ddMBs, quickFiles);
  std::printf("Low Level thorough:     %8.0f MB/s  (%.2f x dd)  %zu files, per pass over the drive\n", thorough,
              thorough / ddMBs, thoroughFiles);
  std::filesystem::remove_all(temp);
  return 0;
}
