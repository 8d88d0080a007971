// A whole scan run through the wizard on a 2 GiB FAT32 card image (sparse; a
// few photos in it) against the real service, offscreen: how long the window
// goes without working its event loop while it scans, how the progress bar
// moves, and how long "Stop" takes to end the run when it is pressed during
// the Low Level Scan (the Undelete scan of a card with few files leaves the
// bar alone, so the bar's position is the Low Level Scan's). Prints the figures.
//
//   bench/wizard-stop [SIZE_MIB] [STOP_AFTER_PERCENT]

#include "tests/support/FatImage.h"
#include "tests/support/TempDir.h"
#include "tests/wizard/WizardHarness.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

using testsupport::Control;

namespace {

std::string ReadSample(const char* name) {
  const std::filesystem::path source = TRELLMOND_SOURCE_DIR;
  return testsupport::ReadFileBytes(source / "tests" / "data" / "samples" / name);
}

struct RunFigures {
  double scanSeconds = 0;
  double stopSeconds = -1;  // from the click to the end of the run; -1: not pressed
  qint64 longestGapMs = 0;  // between two turns of the event loop during the run
  int progressSamples = 0;
  int passes = 0;
  int progressMax = 0;
  bool progressMonotonic = true;
};

RunFigures Run(testsupport::WizardHarness& h, int stopAtPermille) {
  RunFigures figures;
  auto window = h.Start();
  Control<QPushButton>(*window, "pb_Setup")->click();
  if (!testsupport::SelectDrive(*window, 'E')) {
    std::fprintf(stderr, "drive E: is not listed\n");
    std::exit(1);
  }
  auto* bar = Control<QProgressBar>(*window, "Progress");
  auto* stop = Control<QPushButton>(*window, "pb_Stop");
  QElapsedTimer sinceTick, sinceStop, run;
  int last = -1, passes = 0;
  QTimer probe;
  probe.setInterval(5);
  QObject::connect(&probe, &QTimer::timeout, [&] {
    if (sinceTick.isValid()) figures.longestGapMs = std::max(figures.longestGapMs, sinceTick.elapsed());
    sinceTick.restart();
    if (stop->isHidden()) return;
    const int value = bar->value();
    ++figures.progressSamples;
    // Each scan starts the bar again from 0.
    if (value < last) {
      ++passes;
      if (value != 0) figures.progressMonotonic = false;
    }
    last = value;
    figures.progressMax = std::max(figures.progressMax, value);
    if (stopAtPermille >= 0 && !sinceStop.isValid() && value >= stopAtPermille) {
      sinceStop.start();
      stop->click();
    }
  });
  run.start();
  probe.start();
  Control<QPushButton>(*window, "pb_Analyse")->click();  // returns when the run has ended
  figures.scanSeconds = run.elapsed() / 1000.0;
  figures.passes = passes + 1;
  if (sinceStop.isValid()) figures.stopSeconds = sinceStop.elapsed() / 1000.0;
  probe.stop();
  window->State().Cancelled = true;
  return figures;
}

void Print(const char* what, const RunFigures& f) {
  std::printf("%-38s run %6.2f s  longest event-loop gap %4lld ms  progress: %d samples, %d bar runs, reached %d/1000, %s",
              what, f.scanSeconds, static_cast<long long>(f.longestGapMs), f.progressSamples, f.passes, f.progressMax,
              f.progressMonotonic ? "never back within a run" : "went back");
  if (f.stopSeconds >= 0) std::printf("  stop took %.3f s", f.stopSeconds);
  std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  // The build folder is the one this program was built in.
  if (qEnvironmentVariableIsEmpty("TRELLMOND_BUILD_DIR")) {
    qputenv("TRELLMOND_BUILD_DIR", (QCoreApplication::applicationDirPath() + QStringLiteral("/..")).toLocal8Bit());
  }
  const int sizeMiB = argc > 1 ? std::atoi(argv[1]) : 2048;
  const int stopPercent = argc > 2 ? std::atoi(argv[2]) : 40;
  testsupport::WizardHarness h;
  h.StartService();
  testsupport::FatImage card(h.dir / "card.img",
                             {.fatBits = 32, .sizeKiB = static_cast<std::uint64_t>(sizeMiB) * 1024, .label = "BIGCARD"});
  card.MakeDir("/DCIM");
  card.AddFile("/DCIM/IMG_0001.JPG", ReadSample("sample.exif.jpg"));
  card.AddFile("/DCIM/IMG_0002.JPG", ReadSample("sample.jpg"));
  card.Delete("/DCIM/IMG_0001.JPG");
  h.SetDrives("E=" + card.Path().string());
  std::printf("card image: %d MiB FAT32, quick scan with the default types\n", sizeMiB);
  // The stopped run first, while the image is not yet in the page cache, so that the scan
  // it stops would have gone on for seconds.
  Print(("stop at " + std::to_string(stopPercent) + "% of the Low Level Scan").c_str(), Run(h, stopPercent * 10));
  Print("whole run", Run(h, -1));
  return 0;
}
