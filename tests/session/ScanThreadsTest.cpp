// Picture checks on worker threads change nothing a user sees: on a camera card
// with photos that decode and photos that do not, the Undelete scan and the Low
// Level quick and thorough scans give the same files, numbers, names, log lines,
// messages and progress, in the same order, as one thread doing everything in
// turn; and a stop during the checks ends the scan at once.

#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "disk/RawDiskAccessComponent.h"
#include "platform/DriveTable.h"
#include "session/ScanSession.h"
#include "tests/lowscan/CatalogueSupport.h"
#include "tests/support/Command.h"
#include "tests/support/FatImage.h"
#include "tests/support/TempDir.h"
#include "util/Text.h"

namespace {

// Everything the front end is told, as text, in order.
class Recorder : public lowscan::IProgressBar {
 public:
  explicit Recorder(session::TScanSession& scan) {
    scan.Low().SetProgress(this);
    scan.Low().SetFreeMemorySource([] { return std::int64_t{1} << 30; });
    scan.OnFileFound = [this](util::TScanType source, const std::string& id, util::TMemoryStream* image,
                              const std::string& name, const std::string& ext, util::TFileType type,
                              std::int64_t size) {
      std::string line = "file " + std::to_string(source) + " " + id + " " + name + " " + ext + " " +
                         std::to_string(type) + " " + std::to_string(size);
      if (image) line += " picture " + std::to_string(std::hash<std::string_view>()(image->View()));
      events.push_back(line);
    };
    scan.OnLog = [this](const std::string& m, const std::string& a) {
      // The Undelete scan logs the machine's free memory, which moves between runs.
      events.push_back("log " + a + " " + std::regex_replace(m, std::regex("[0-9][0-9,.]* MB"), "* MB"));
    };
    scan.OnMessage = [this](const std::string& m, bool visible) {
      events.push_back("message " + m + (visible ? " shown" : " hidden"));
    };
    scan.OnPassStart = [this](std::size_t index, const std::vector<std::string>&) {
      events.push_back("pass " + std::to_string(index));
    };
  }
  void SetRange(int minimum, int maximum) override {
    events.push_back("range " + std::to_string(minimum) + "-" + std::to_string(maximum));
  }
  void SetPosition(int position) override { events.push_back("position " + std::to_string(position)); }
  void SetHint(const std::string& hint, bool shown) override { events.push_back("hint " + hint + (shown ? "" : " off")); }
  void SetBytes(std::int64_t position, std::int64_t total) override {
    events.push_back("bytes " + std::to_string(position) + "/" + std::to_string(total));
  }

  std::vector<std::string> events;
};

class ScanThreadsTest : public testing::Test {
 protected:
  void SetUp() override {
    for (const auto& line : lowscan::testing::CatalogueOverview()) {
      entries.push_back(util::GetField(line, 1, ';') + ";" + util::GetField(line, 4, ';') + ";" +
                        util::GetField(line, 5, ';'));
    }
  }
  void TearDown() override {
    if (letter != 0) platform::DriveTable::Instance().Detach(letter);
  }

  // A card with `photos` photos in DCIM, every fifth cut short so that it does not
  // decode, one file of every sample type beside them, and half of all deleted.
  void MakeCard(int photos) {
    testsupport::FatImage card(dir / "card.img", {.fatBits = 16, .sizeKiB = 32 * 1024, .sectorsPerCluster = 8});
    card.MakeDir("/DCIM");
    card.MakeDir("/Misc");
    std::vector<std::string> pictures;
    for (const auto& s : lowscan::testing::Samples()) {
      if (s.extension == "jpg") pictures.push_back(s.bytes);
    }
    ASSERT_FALSE(pictures.empty());
    std::vector<std::string> gone;
    for (int i = 0; i < photos; ++i) {
      const std::string& photo = pictures[static_cast<std::size_t>(i) % pictures.size()];
      const std::string name = "/DCIM/IMG_" + std::to_string(1000 + i) + ".JPG";
      card.AddFile(name, i % 5 == 3 ? photo.substr(0, photo.size() / 2) : photo);
      if (i % 2 == 1) gone.push_back(name);
    }
    int n = 0;
    for (const auto& s : lowscan::testing::Samples()) {
      const std::string name = "/Misc/" + s.path.filename().string();
      card.AddFile(name, s.bytes);
      if (++n % 2 == 0) gone.push_back(name);
    }
    // Deleted last, so that no later file takes their clusters.
    for (const std::string& name : gone) card.Delete(name);
    letter = platform::DriveTable::Instance().Attach(card.Path().string());
    ASSERT_NE(letter, 0);
  }

  void Reformat() {
    platform::DriveTable::Instance().Detach(letter);
    testsupport::RunOrThrow({"mkfs.fat", "-F", "16", "-s", "8", "-S", "512", "-n", "NEWCARD", (dir / "card.img").string()});
    letter = platform::DriveTable::Instance().Attach((dir / "card.img").string());
  }

  enum class Run { kUndelete, kQuick, kThorough };

  std::vector<std::string> Scan(Run run, std::size_t workers) {
    disk::TRawDiskAccessComponent raw;
    raw.SetDriveLetter(std::string(1, letter));
    session::TScanSession scan;
    scan.SetWorkerThreads(workers);
    scan.SetRaw(&raw);
    scan.OnGetCatalogue = [](std::vector<std::string>& lines) { lines = lowscan::testing::CatalogueDetails(); };
    Recorder recorder(scan);
    scan.Begin(letter);
    if (run == Run::kUndelete) {
      scan.RunUndelete(true, {}, true);
    } else {
      scan.Low().SetUseClusterBoundary(run == Run::kQuick);
      scan.RunLowLevel(entries);
    }
    for (std::size_t i = 0; i < scan.Low().FileList().size(); ++i) {
      const auto& f = *scan.Low().FileList()[i];
      recorder.events.push_back("listed " + f.Name + " " + std::to_string(f.StartPos) + "-" + std::to_string(f.EndPos));
    }
    return recorder.events;
  }

  testsupport::TempDir dir;
  char letter = 0;
  std::vector<std::string> entries;
};

std::size_t Count(const std::vector<std::string>& events, const std::string& start) {
  return static_cast<std::size_t>(std::count_if(events.begin(), events.end(),
                                                [&](const std::string& e) { return e.rfind(start, 0) == 0; }));
}

TEST_F(ScanThreadsTest, WorkersShowWhatOneThreadShows) {
  constexpr int kPhotos = 40;
  MakeCard(kPhotos);
  const std::vector<std::string> undelete = Scan(Run::kUndelete, 0);
  // The deleted photos that decode, each shown with its picture; the cut ones are not shown.
  EXPECT_GE(Count(undelete, "file 0 "), static_cast<std::size_t>(kPhotos / 2 - kPhotos / 10));
  for (const std::size_t workers : {1u, 3u}) EXPECT_EQ(Scan(Run::kUndelete, workers), undelete) << workers;

  Reformat();
  for (const Run run : {Run::kQuick, Run::kThorough}) {
    SCOPED_TRACE(run == Run::kQuick ? "quick" : "thorough");
    const std::vector<std::string> single = Scan(run, 0);
    // Photos that do not decode are refused and give their numbers on.
    EXPECT_GE(Count(single, "listed file_"), static_cast<std::size_t>(kPhotos - kPhotos / 5));
    EXPECT_GT(Count(single, "position "), 3u);
    for (const std::size_t workers : {1u, 3u}) EXPECT_EQ(Scan(run, workers), single) << workers << " workers";
  }
}

TEST_F(ScanThreadsTest, StopDuringPictureChecksEndsTheScanAtOnce) {
  MakeCard(60);
  for (const Run run : {Run::kUndelete, Run::kQuick}) {
    SCOPED_TRACE(run == Run::kUndelete ? "undelete" : "quick");
    if (run == Run::kQuick) Reformat();
    disk::TRawDiskAccessComponent raw;
    raw.SetDriveLetter(std::string(1, letter));
    session::TScanSession scan;
    scan.SetWorkerThreads(2);
    scan.SetRaw(&raw);
    scan.OnGetCatalogue = [](std::vector<std::string>& lines) { lines = lowscan::testing::CatalogueDetails(); };
    // Pictures that take their time, as a camera's raw photo does in the wizard.
    scan.OnPictureKept = [](util::TMemoryStream&, const std::string&) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    };
    std::chrono::steady_clock::time_point stopped;
    int found = 0;
    scan.OnFileFound = [&](util::TScanType, const std::string&, util::TMemoryStream*, const std::string&,
                           const std::string&, util::TFileType, std::int64_t) {
      if (++found == 2) {
        stopped = std::chrono::steady_clock::now();
        scan.Stop();
      }
    };
    scan.Begin(letter);
    if (run == Run::kUndelete) {
      scan.RunUndelete(true, {}, true);
    } else {
      scan.RunLowLevel({"jpg;0;JPG"});
    }
    const auto took = std::chrono::steady_clock::now() - stopped;
    ASSERT_GE(found, 2);
    EXPECT_LT(took, std::chrono::milliseconds(200));
    EXPECT_LT(found, 10) << "the checks still queued were waited for";
  }
}

}  // namespace
