// The scan session on real card images: a thorough Low Level Scan in several
// passes shows its files as they are carved and a stop keeps them all; the
// Undelete scan checks pictures while images are shown; each run gives its
// statistics record and its log lines.

#include "session/ScanSession.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "disk/RawDiskAccessComponent.h"
#include "platform/DriveTable.h"
#include "tests/lowscan/CatalogueSupport.h"
#include "tests/support/FatImage.h"
#include "tests/support/TempDir.h"

namespace {

std::string Sample(const std::string& name) {
  for (const auto& s : lowscan::testing::Samples()) {
    if (s.path.filename() == name) return s.bytes;
  }
  ADD_FAILURE() << "no sample " << name;
  return {};
}

// The bytes read so far, as the read loop reports them.
struct ReadProgress : lowscan::IProgressBar {
  void SetRange(int, int) override {}
  void SetPosition(int) override {}
  void SetHint(const std::string&, bool) override {}
  void SetBytes(std::int64_t position, std::int64_t) override { read = position; }
  std::int64_t read = 0;
};

struct Found {
  std::string name;
  std::int64_t readBefore;  // bytes of the drive read when it was reported
};

class ScanSessionTest : public testing::Test {
 protected:
  void TearDown() override {
    if (letter != 0) platform::DriveTable::Instance().Detach(letter);
  }
  testsupport::TempDir dir;
  char letter = 0;
};

TEST_F(ScanSessionTest, ThoroughPassesShowFilesAsCarvedAndStopKeepsAll) {
  // A 32 MiB card of noise: a photo and a document near its start, both again near its end.
  constexpr std::size_t kSize = 32 << 20;
  std::string image(kSize, '\0');
  std::mt19937 random(7);
  for (char& c : image) c = static_cast<char>(random() & 0xFF);
  const std::string jpg = Sample("sample.jpg"), pdf = Sample("sample.pdf");
  image.replace(4096 + 3, jpg.size(), jpg);
  image.replace(200000 + 11, pdf.size(), pdf);
  image.replace(kSize - (3 << 20) + 5, jpg.size(), jpg);
  image.replace(kSize - (2 << 20) + 7, pdf.size(), pdf);
  testsupport::WriteFileBytes(dir / "card.img", image);
  letter = platform::DriveTable::Instance().Attach((dir / "card.img").string());
  ASSERT_NE(letter, 0);

  disk::TRawDiskAccessComponent raw;
  session::TScanSession scan;
  scan.SetRaw(&raw);
  raw.SetDriveLetter(std::string(1, letter));
  scan.Low().SetUseClusterBoundary(false);
  ReadProgress progress;
  scan.Low().SetProgress(&progress);
  scan.OnGetCatalogue = [](std::vector<std::string>& lines) { lines = lowscan::testing::CatalogueDetails(); };
  std::vector<std::vector<std::string>> passes;
  scan.OnPassStart = [&](std::size_t, const std::vector<std::string>& pass) { passes.push_back(pass); };
  std::vector<std::string> logs;
  scan.OnLog = [&](const std::string& m, const std::string& a) { logs.push_back(a + " " + m); };
  std::vector<Found> found;
  scan.OnFileFound = [&](util::TScanType source, const std::string&, util::TMemoryStream*, const std::string& name,
                         const std::string&, util::TFileType, std::int64_t) {
    EXPECT_EQ(source, util::stLowScan);
    found.push_back({name, progress.read});
    scan.Stop();  // the first file shown: the user has seen enough
  };
  std::vector<online::StatisticsRecord> records;
  scan.OnStatistics = [&](const online::StatisticsRecord& r) { records.push_back(r); };

  scan.Begin(letter);
  // jpg's key lies inside tif's: two passes, jpg in the second.
  const session::TScanFigures figures = scan.RunLowLevel({"jpg;0;JPG", "tif;0;JPG-TIF", "pdf;2;PDF"});
  ASSERT_TRUE(figures.started) << figures.error;
  ASSERT_EQ(passes.size(), 2u);
  EXPECT_EQ(passes[1], std::vector<std::string>{"jpg;0;JPG"});
  ASSERT_FALSE(found.empty());
  EXPECT_LT(found.front().readBefore, static_cast<std::int64_t>(kSize) / 2) << "shown only after the read";

  // The photo of the second pass and the document of the first, found before the stop, stay.
  std::set<std::string> types;
  for (const Found& f : found) types.insert(f.name.substr(f.name.rfind('.') + 1));
  EXPECT_EQ(types, (std::set<std::string>{"jpg", "pdf"}));
  EXPECT_EQ(found.size(), 2u) << "the copies near the end lie behind the stop";
  EXPECT_EQ(scan.Low().FileList().size(), found.size());
  EXPECT_TRUE(figures.cancelled);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].scantype, "L-Scan");
  EXPECT_EQ(records[0].number, std::to_string(found.size()));
  EXPECT_EQ(records[0].cancelled, "1");
  EXPECT_EQ(std::count_if(logs.begin(), logs.end(),
                          [](const std::string& l) { return l.rfind("45 Performing LowScan with: ", 0) == 0; }),
            2);
}

TEST_F(ScanSessionTest, UndeleteChecksPicturesWhileImagesAreShown) {
  testsupport::FatImage card(dir / "card.img", {.fatBits = 16});
  const std::string jpg = Sample("sample.jpg");
  const std::string broken = jpg.substr(0, jpg.size() / 2);  // cut short: it does not decode
  card.AddFile("/Good photo.jpg", jpg);
  card.AddFile("/Bad photo.jpg", broken);
  card.AddFile("/Notes on it.txt", "not a picture");
  for (const char* name : {"/Good photo.jpg", "/Bad photo.jpg", "/Notes on it.txt"}) card.Delete(name);
  letter = platform::DriveTable::Instance().Attach(card.Path().string());
  ASSERT_NE(letter, 0);

  for (const bool show : {true, false}) {
    SCOPED_TRACE(show ? "images shown" : "images not shown");
    disk::TRawDiskAccessComponent raw;
    raw.SetDriveLetter(std::string(1, letter));
    session::TScanSession scan;
    scan.SetRaw(&raw);
    scan.SetShowImages(show);
    std::set<std::string> names;
    scan.OnFileFound = [&](util::TScanType, const std::string&, util::TMemoryStream*, const std::string& name,
                           const std::string&, util::TFileType, std::int64_t) {
      names.insert(name.substr(name.rfind('\\') + 1));
    };
    std::vector<std::string> logs;
    scan.OnLog = [&](const std::string& m, const std::string& a) { logs.push_back(a + " " + m); };
    std::vector<online::StatisticsRecord> records;
    scan.OnStatistics = [&](const online::StatisticsRecord& r) { records.push_back(r); };
    scan.Begin(letter);
    const session::TScanFigures figures = scan.RunUndelete(true, {}, true);
    const std::set<std::string> expected =
        show ? std::set<std::string>{"Good photo.jpg", "Notes on it.txt"}
             : std::set<std::string>{"Good photo.jpg", "Bad photo.jpg", "Notes on it.txt"};
    EXPECT_EQ(names, expected);
    EXPECT_EQ(figures.found, static_cast<std::int64_t>(expected.size()));
    EXPECT_FALSE(figures.cancelled);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].scantype, "F-Scan");
    EXPECT_EQ(records[0].number, std::to_string(expected.size()));
    EXPECT_EQ(records[0].cancelled, "0");
    EXPECT_NE(std::find(logs.begin(), logs.end(),
                        std::string("46 Performing FATScan with: <BR>Show Images: ") + (show ? "1" : "0")),
              logs.end());
  }
}

}  // namespace
