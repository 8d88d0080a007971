// Feeds reported files into the wizard's three result trees the way a scan run does
// (one event-loop turn per file, as the Undelete scanner lets the window work between
// files), then times "Select All / None" off and on and unticking and ticking the
// largest folder. Prints seconds and peak memory for 25,000, 50,000 and 100,000 files
// (or the counts given as arguments): wall seconds, and processor seconds for adding, which
// other work on a shared machine does not inflate. Runs on the offscreen platform unless
// another is set; REFRESH_MS sets the trees' least refresh interval (0: every event-loop turn).

#include "lowscan/imagecheck/ImageCheck.h"
#include "wizard/ResultTrees.h"

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QTreeView>

#include <cstdio>
#include <ctime>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

namespace {

struct FileType {
  const char* extension;
  util::TFileType category;
};
constexpr FileType kTypes[20] = {
    {"jpg", util::ftImage},    {"bmp", util::ftImage},    {"gif", util::ftImage},    {"png", util::ftImage},
    {"tif", util::ftImage},    {"psd", util::ftImage},    {"wmf", util::ftImage},    {"emf", util::ftImage},
    {"avi", util::ftMedia},    {"mov", util::ftMedia},    {"mpg", util::ftMedia},    {"mp3", util::ftMedia},
    {"wav", util::ftMedia},    {"wma", util::ftMedia},    {"doc", util::ftBusiness}, {"xls", util::ftBusiness},
    {"ppt", util::ftBusiness}, {"pdf", util::ftBusiness}, {"zip", util::ftBusiness}, {"txt", util::ftBusiness}};
constexpr const char* kLargestFolder = "DCIM\\100CANON";

// What the scanners and the file-type table do with the trees' callbacks, at their cost:
// totals count the selected files the way GetSelectedNumber does, by walking the list.
struct Scanners {
  std::vector<char> save[2];
  std::int64_t typeUpdates = 0;
  std::int64_t selected = 0;
  bool scanning = false;

  void Bind(wizard::ResultTreeEvents& events) {
    events.SetSaveFlag = [this](util::TScanType scanner, std::int64_t index, bool value) {
      auto& flags = save[scanner];
      if (index >= 0 && static_cast<std::size_t>(index) < flags.size()) flags[static_cast<std::size_t>(index)] = value;
    };
    events.SetAllSaveFlags = [this](util::TScanType scanner, bool value) {
      std::fill(save[scanner].begin(), save[scanner].end(), value);
    };
    events.UpdateFileTypesTable = [this](const std::string&, int) { ++typeUpdates; };
    events.UpdateClickStatus = [this](bool) {
      if (scanning) return;
      selected = 0;
      for (const auto& flags : save) selected += std::count(flags.begin(), flags.end(), 1);
    };
    events.Scanning = [this] { return scanning; };
  }
};

// What the picture check hands on for a 640 × 480 photograph: its 175 × 131 bitmap at 16 bits per pixel.
util::TMemoryStream PictureCheckBitmap() {
  QImage picture(640, 480, QImage::Format_RGB32);
  for (int y = 0; y < picture.height(); ++y) {
    for (int x = 0; x < picture.width(); ++x) picture.setPixel(x, y, qRgb(x & 0xff, y & 0xff, (x * y) & 0xff));
  }
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  picture.save(&buffer, "JPG");
  util::TMemoryStream stream;
  stream.Assign(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
  if (!lowscan::imagecheck::CheckImageData(stream, "jpg")) std::fprintf(stderr, "the picture check refused the photograph\n");
  return stream;
}

std::uint64_t Mix(std::uint64_t x) {
  x ^= x >> 33;
  x *= 0xff51afd7ed558ccdULL;
  x ^= x >> 33;
  return x;
}

// Folder of file `i`: one in ten in the largest folder, the rest over n / 50 folders of depth 2 to 4.
std::string FolderOf(std::uint64_t i, std::uint64_t files) {
  if (i % 10 == 0) return std::string(kLargestFolder) + "\\";
  const std::uint64_t folder = Mix(i) % std::max<std::uint64_t>(1, files / 50);
  switch (folder % 3) {
    case 0:
      return "DCIM\\" + std::to_string(101 + folder % 40) + "CANON\\";
    case 1:
      return "Documents\\Project " + std::to_string(folder % 97) + "\\Part " + std::to_string(folder) + "\\";
    default:
      return "Music\\Artist " + std::to_string(folder % 53) + "\\Album " + std::to_string(folder) + "\\Disc " +
             std::to_string(folder % 2 + 1) + "\\";
  }
}

// Sizes spread over every band, some beyond 4 GiB.
std::int64_t SizeOf(std::uint64_t i) {
  const std::uint64_t r = Mix(i * 7919 + 1);
  return static_cast<std::int64_t>((std::uint64_t{1} << (r % 34)) + (r >> 40) % 1000);
}

void ResetPeakMemory() { std::ofstream("/proc/self/clear_refs") << "5"; }

long PeakKiB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

double Seconds(const QElapsedTimer& timer) { return static_cast<double>(timer.nsecsElapsed()) / 1e9; }

// Processor time of this process, which other work on a shared machine does not inflate.
double CpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

struct Figures {
  double addCpu = 0;
  double add = 0, selectNone = 0, selectAll = 0, untickFolder = 0, tickFolder = 0;
  long peakKiB = 0;
};

Figures Run(wizard::ResultTrees& trees, Scanners& scanners, std::uint64_t files, const util::TMemoryStream& bitmap) {
  Figures figures;
  trees.ClearResults();
  scanners.save[0].clear();
  scanners.save[1].clear();
  QApplication::processEvents();
  ResetPeakMemory();

  QElapsedTimer timer;
  timer.start();
  const double cpuStart = CpuSeconds();
  scanners.scanning = true;
  trees.AddRootFolders();
  trees.SetImageHintCount(0);
  for (std::uint64_t i = 0; i < files; ++i) {
    const bool carved = i % 5 == 4;
    const bool picture = i % 20 == 0;
    const FileType& type = picture ? kTypes[0] : kTypes[Mix(i + 3) % 20];
    const util::TScanType source = carved ? util::stLowScan : util::stFATScan;
    auto& flags = scanners.save[source];
    const std::string index = std::to_string(flags.size());
    flags.push_back(1);
    const std::string name = carved ? "file_" + index + "." + type.extension
                                    : "E:\\" + FolderOf(i, files) + "IMG_" + std::to_string(i) + "." + type.extension;
    trees.AddTreeEntry(source, (carved ? "L" : "F") + index, name, type.extension,
                       carved ? "LowScan\\" : "Undelete\\", SizeOf(i), picture ? &bitmap : nullptr,
                       carved ? type.category : util::ftBusiness);
    trees.ExpandAllSoon();
    QApplication::processEvents();
  }
  scanners.scanning = false;
  trees.SortTypeTree();
  trees.CollapseTree(wizard::TreeKind::Size);
  trees.ExpandTree(wizard::TreeKind::Size);
  trees.ExpandAll();
  QApplication::processEvents();
  figures.add = Seconds(timer);
  figures.addCpu = CpuSeconds() - cpuStart;

  auto timed = [&](auto&& step) {
    QElapsedTimer t;
    t.start();
    step();
    QApplication::processEvents();
    return Seconds(t);
  };
  figures.selectNone = timed([&] { trees.SelectAll(false); });
  figures.selectAll = timed([&] { trees.SelectAll(true); });
  wizard::ResultTreeModel* model = trees.Model(wizard::TreeKind::Path);
  const QModelIndex largest =
      model->IndexOf(trees.Store().FindDirectoryNode(wizard::TreeKind::Path, std::string("Undelete\\") + kLargestFolder + "\\"));
  figures.untickFolder = timed([&] { model->setData(largest, Qt::Unchecked, Qt::CheckStateRole); });
  figures.tickFolder = timed([&] { model->setData(largest, Qt::Checked, Qt::CheckStateRole); });
  figures.peakKiB = PeakKiB();
  return figures;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  std::vector<std::uint64_t> counts;
  for (int i = 1; i < argc; ++i) counts.push_back(std::stoull(argv[i]));
  if (counts.empty()) counts = {25000, 50000, 100000};

  wizard::ResultTrees trees;
  Scanners scanners;
  scanners.Bind(trees.Events());
  trees.SetMaxImageHints(std::numeric_limits<std::int64_t>::max());
  if (const char* ms = std::getenv("REFRESH_MS")) trees.SetRefreshInterval(std::atoi(ms));
  trees.resize(1000, 700);
  trees.show();
  const util::TMemoryStream bitmap = PictureCheckBitmap();
  std::string load;
  std::getline(std::ifstream("/proc/loadavg"), load);
  std::printf("load average %s; baseline peak memory %.1f MiB; thumbnail bitmap %lld bytes, every copy kept\n",
              load.substr(0, load.find(' ')).c_str(), PeakKiB() / 1024.0, static_cast<long long>(bitmap.Size()));
  std::printf("%8s %9s %9s %12s %12s %14s %12s %10s\n", "files", "add s", "add cpu s", "select none", "select all", "untick folder",
              "tick folder", "peak MiB");
  double lastAdd = 0;
  std::uint64_t lastCount = 0;
  for (std::uint64_t count : counts) {
    const Figures f = Run(trees, scanners, count, bitmap);
    std::printf("%8llu %9.3f %9.3f %12.3f %12.3f %14.3f %12.3f %10.1f", static_cast<unsigned long long>(count), f.add,
                f.addCpu, f.selectNone, f.selectAll, f.untickFolder, f.tickFolder, f.peakKiB / 1024.0);
    if (lastCount > 0) {
      std::printf("   add time x%.2f for files x%.2f", f.add / lastAdd,
                  static_cast<double>(count) / static_cast<double>(lastCount));
    }
    std::printf("\n");
    std::fflush(stdout);
    lastAdd = f.add;
    lastCount = count;
  }
  return 0;
}
