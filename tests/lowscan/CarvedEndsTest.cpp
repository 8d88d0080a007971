// Whole Low Level Scans over raw images of the committed samples: files end where
// their structure ends, so every sample comes back byte for byte wherever it lies
// (cluster starts, odd offsets, back to back, inside another file), nothing else
// is carved, and the batches of a thorough scan, carved from one read, give what
// separate passes give.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "CatalogueSupport.h"
#include "lowscan/ends/FileEnd.h"
#include "lowscan/imagecheck/ImageCheck.h"
#include "lowscan/MekLowScan.h"
#include "lowscan/ScanPasses.h"
#include "platform/DriveTable.h"
#include "tests/support/ScanWorkers.h"
#include "tests/support/TempDir.h"
#include "util/Text.h"

namespace lowscan {
namespace {

void PutLe(std::string& s, std::uint32_t v, int width) {
  for (int i = 0; i < width; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A JPEG whose Exif block holds a JPEG thumbnail, as cameras write it.
std::string PhotoWithThumbnail(const std::string& photo, const std::string& thumbnail) {
  std::string tiff = std::string("II*\0", 4);
  PutLe(tiff, 8, 4);
  PutLe(tiff, 0, 2);  // an empty IFD0 would be refused: one entry, the orientation
  tiff.resize(8);
  PutLe(tiff, 1, 2);
  PutLe(tiff, 0x0112, 2), PutLe(tiff, 3, 2), PutLe(tiff, 1, 4), PutLe(tiff, 1, 4);
  PutLe(tiff, 26, 4);  // IFD1
  PutLe(tiff, 2, 2);
  PutLe(tiff, 0x0201, 2), PutLe(tiff, 4, 2), PutLe(tiff, 1, 4), PutLe(tiff, 56, 4);
  PutLe(tiff, 0x0202, 2), PutLe(tiff, 4, 2), PutLe(tiff, 1, 4), PutLe(tiff, static_cast<std::uint32_t>(thumbnail.size()), 4);
  PutLe(tiff, 0, 4);
  tiff += thumbnail;
  const std::string app1 = std::string("Exif\0\0", 6) + tiff;
  std::string out = photo.substr(0, 2) + "\xFF\xE1";
  out += static_cast<char>((app1.size() + 2) >> 8);
  out += static_cast<char>((app1.size() + 2) & 0xFF);
  return out + app1 + photo.substr(2);
}

// A ZIP archive storing `member` uncompressed.
std::string StoredZip(const std::string& member) {
  const std::string name = "picture.png";
  std::string zip = "PK\x03\x04";
  PutLe(zip, 10, 2), PutLe(zip, 0, 2), PutLe(zip, 0, 2), PutLe(zip, 0, 4), PutLe(zip, 0, 4);
  PutLe(zip, static_cast<std::uint32_t>(member.size()), 4), PutLe(zip, static_cast<std::uint32_t>(member.size()), 4);
  PutLe(zip, static_cast<std::uint32_t>(name.size()), 2), PutLe(zip, 0, 2);
  zip += name + member;
  const auto central = static_cast<std::uint32_t>(zip.size());
  zip += "PK\x01\x02";
  PutLe(zip, 10, 2), PutLe(zip, 10, 2), PutLe(zip, 0, 2), PutLe(zip, 0, 2), PutLe(zip, 0, 4), PutLe(zip, 0, 4);
  PutLe(zip, static_cast<std::uint32_t>(member.size()), 4), PutLe(zip, static_cast<std::uint32_t>(member.size()), 4);
  PutLe(zip, static_cast<std::uint32_t>(name.size()), 2), PutLe(zip, 0, 2), PutLe(zip, 0, 2), PutLe(zip, 0, 2);
  PutLe(zip, 0, 2), PutLe(zip, 0, 4), PutLe(zip, 0, 4);
  zip += name;
  const auto centralSize = static_cast<std::uint32_t>(zip.size()) - central;
  zip += std::string("PK\x05\x06", 4);
  PutLe(zip, 0, 4), PutLe(zip, 1, 2), PutLe(zip, 1, 2), PutLe(zip, centralSize, 4), PutLe(zip, central, 4);
  PutLe(zip, 0, 2);
  return zip;
}

struct Placed {
  std::string name;
  std::string bytes;
  std::int64_t offset;
};

class CarvedEnds : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const auto& line : testing::CatalogueOverview()) {
      const std::string ext = util::GetField(line, 1, ';');
      m_types.push_back(ext + ";" + util::GetField(line, 4, ';') + ";" + util::GetField(line, 5, ';'));
    }
    for (const auto& line : testing::CatalogueDetails()) {
      if (util::GetField(line, 5, ';') == "1") m_footers.insert(util::GetField(line, 1, ';'));
    }
  }

  // The samples whose end is recorded: by their structure, or by a footer.
  std::vector<testing::Sample> EndedSamples() const {
    std::vector<testing::Sample> out;
    for (const auto& s : testing::Samples()) {
      if (ends::MakeFileEnd(s.extension, 0) || m_footers.count(s.extension)) out.push_back(s);
    }
    return out;
  }

  char Attach(const std::vector<Placed>& placed, std::int64_t size, unsigned seed) {
    std::mt19937 random(seed);
    m_image.assign(static_cast<std::size_t>(size), '\0');
    for (char& c : m_image) c = static_cast<char>(random() & 0xFF);
    for (const auto& p : placed) m_image.replace(static_cast<std::size_t>(p.offset), p.bytes.size(), p.bytes);
    const auto path = m_temp.Path() / ("image" + std::to_string(++m_images) + ".img");
    testsupport::WriteFileBytes(path, m_image);
    const char letter = platform::DriveTable::Instance().Attach(path.string());
    m_letters.push_back(letter);
    return letter;
  }

  // The drive table has 26 letters for every test of the program.
  void TearDown() override {
    for (const char letter : m_letters) platform::DriveTable::Instance().Detach(letter);
  }

  void Prepare(TMekLowScan& scan, char letter, bool quick) {
    scan.SetDrive(letter);
    scan.SetUseClusterBoundary(quick);
    scan.SetFreeMemorySource([] { return std::int64_t{1} << 30; });
    scan.OnGetFileData = [](TMekLowScan*, std::vector<std::string>& data) { data = testing::CatalogueDetails(); };
    scan.SetWorkers(testsupport::ScanWorkers());
    scan.OnImageCheck = [](TMekLowScan* sender, util::TMemoryStream& image, const std::string& type, bool& ok) {
      imagecheck::LowScanImageCheck(sender, image, type, ok);
    };
  }

  // Every placed file came back whole, and nothing else did. Types that share a
  // marker (Word, Excel and PowerPoint files; the Office Open XML packages) are
  // searched in different batches, and each carves the file as its own.
  void ExpectExactly(const TMekLowScan& scan, const std::vector<Placed>& placed) {
    std::set<std::pair<std::int64_t, std::string>> wanted, carved;
    for (const auto& p : placed) wanted.emplace(p.offset, p.bytes);
    for (const auto& f : scan.FileList()) {
      const std::pair<std::int64_t, std::string> file(
          f->StartPos, m_image.substr(static_cast<std::size_t>(f->StartPos),
                                      static_cast<std::size_t>(f->EndPos - f->StartPos)));
      EXPECT_TRUE(wanted.count(file)) << "false file " << f->Name << " at " << f->StartPos;
      carved.insert(file);
    }
    for (const auto& p : placed) EXPECT_TRUE(carved.count({p.offset, p.bytes})) << p.name << " at " << p.offset;
  }

  std::vector<std::vector<std::string>> Passes(bool quick) const { return MakeScanPasses(m_types, quick); }

  testsupport::TempDir m_temp;
  std::vector<std::string> m_types;
  std::set<std::string> m_footers;
  std::string m_image;
  int m_images = 0;
  std::vector<char> m_letters;
};

constexpr std::int64_t kMiB = 1024 * 1024;

TEST_F(CarvedEnds, ThoroughScanBringsBackEverySampleWholeAtOddOffsetsAndBackToBack) {
  std::vector<Placed> placed;
  std::int64_t at = 3;
  int n = 0;
  for (const auto& s : EndedSamples()) {
    placed.push_back({s.path.filename().string(), s.bytes, at});
    // Every third file right behind the one before; the others after random bytes.
    at += static_cast<std::int64_t>(s.bytes.size()) + (++n % 3 == 0 ? 0 : 1000 + 37 * n);
  }
  const char letter = Attach(placed, at + 3 * kMiB, 5);
  TMekLowScan scan;
  Prepare(scan, letter, false);
  ASSERT_TRUE(scan.ScanDriveBatches(Passes(false)));
  ExpectExactly(scan, placed);
}

TEST_F(CarvedEnds, QuickScanBringsBackEverySampleAtClusterStarts) {
  std::vector<Placed> placed;
  std::int64_t at = 0;
  for (const auto& s : EndedSamples()) {
    placed.push_back({s.path.filename().string(), s.bytes, at});
    at += (static_cast<std::int64_t>(s.bytes.size()) / 4096 + 2) * 4096;
  }
  const char letter = Attach(placed, at + kMiB, 9);
  TMekLowScan scan;
  Prepare(scan, letter, true);
  ASSERT_TRUE(scan.ScanDriveBatches(Passes(true)));
  ExpectExactly(scan, placed);
}

// The thumbnail inside a photo's Exif block, the Exif TIFF itself and a PNG
// stored in a ZIP lie inside the files that hold them: no file of their own.
TEST_F(CarvedEnds, FilesInsideOtherFilesAreNoFilesOfTheirOwn) {
  std::string jpg, jpeg, png;
  for (const auto& s : testing::Samples()) {
    const std::string name = s.path.filename().string();
    if (name == "sample.jpg") jpg = s.bytes;
    if (name == "sample.jpeg") jpeg = s.bytes;
    if (name == "sample.png") png = s.bytes;
  }
  const std::vector<Placed> placed = {{"photo", PhotoWithThumbnail(jpg, jpeg), 4096},
                                      {"zip", StoredZip(png), 64 * 1024 + 77},
                                      {"exif", testing::Samples().front().bytes, 0}};
  std::vector<Placed> used(placed.begin(), placed.begin() + 2);
  for (const bool quick : {false, true}) {
    SCOPED_TRACE(quick ? "quick" : "thorough");
    const char letter = Attach(used, kMiB, 3);
    TMekLowScan scan;
    Prepare(scan, letter, quick);
    ASSERT_TRUE(scan.ScanDriveBatches(Passes(quick)));
    if (quick) {
      // The ZIP does not begin a cluster: only the photo is found.
      ASSERT_EQ(scan.FileList().size(), 1u);
      EXPECT_EQ(scan.FileList()[0]->EndPos - scan.FileList()[0]->StartPos,
                static_cast<std::int64_t>(used[0].bytes.size()));
    } else {
      ExpectExactly(scan, used);
    }
  }
}

// Samples that hold no file of another type (as raw photos hold previews) and
// that no type sharing their marker carves too (as Excel carves a Word file):
// the one read drops nothing that separate passes would keep.
TEST_F(CarvedEnds, OneReadForAllBatchesGivesWhatSeparatePassesGive) {
  const std::set<std::string> plain = {"sample.png", "sample.gif", "sample.bmp", "sample.pdf",  "sample.zip",
                                       "sample.wav", "sample.mp3", "sample.ogg", "sample.mp4",  "sample.jpg",
                                       "sample.7z",  "sample.ico", "sample.html", "sample.gz", "sample.flac"};
  std::vector<Placed> placed;
  std::int64_t at = 512;
  for (const auto& s : testing::Samples()) {
    if (!plain.count(s.path.filename().string())) continue;
    placed.push_back({s.path.filename().string(), s.bytes, at});
    at += static_cast<std::int64_t>(s.bytes.size()) + 3001;
  }
  const char letter = Attach(placed, at + 5 * kMiB, 17);
  const auto passes = Passes(false);
  ASSERT_GT(passes.size(), 2u);
  std::vector<std::string> separate, joined;
  const auto record = [](TMekLowScan& scan, std::vector<std::string>& events) {
    scan.OnLogNotify = [&](TMekLowScan*, const std::string& m, const std::string& a) { events.push_back(a + " " + m); };
    scan.OnFileNotify = [&](TMekLowScan*, util::TScanType, const std::string& id, util::TMemoryStream*,
                            const std::string& name, const std::string&, util::TFileType, std::int64_t size) {
      events.push_back("file " + id + " " + name + " " + std::to_string(size));
    };
    scan.OnBatchStart = [&](TMekLowScan*, std::size_t, const std::vector<std::string>& types) {
      events.push_back("batch of " + std::to_string(types.size()) + " from " + types.front());
    };
  };
  TMekLowScan one;
  Prepare(one, letter, false);
  record(one, separate);
  one.DeletePrevious();
  for (const auto& pass : passes) {
    one.SetLowFileTypes(pass);
    ASSERT_TRUE(one.ScanDrive());
  }
  TMekLowScan all;
  Prepare(all, letter, false);
  record(all, joined);
  all.DeletePrevious();
  ASSERT_TRUE(all.ScanDriveBatches(passes));
  EXPECT_EQ(joined, separate);
  ASSERT_EQ(all.FileList().size(), one.FileList().size());
  for (std::size_t i = 0; i < all.FileList().size(); ++i) {
    EXPECT_EQ(all.FileList()[i]->Name, one.FileList()[i]->Name);
    EXPECT_EQ(all.FileList()[i]->StartPos, one.FileList()[i]->StartPos);
    EXPECT_EQ(all.FileList()[i]->EndPos, one.FileList()[i]->EndPos);
  }
  EXPECT_EQ(all.FileCounter(), one.FileCounter());
}

// An AVI ends where no further RIFF form follows, which its walk learns only from
// the bytes behind it: here the header of the next file, which cuts the AVI
// there. Its end is still its structure's, and the frames inside it (JPEGs,
// found by another batch) are no files of their own.
TEST_F(CarvedEnds, AFileCutRightAtItsStructuresEndStillHoldsWhatIsInsideIt) {
  std::string avi, bmp;
  for (const auto& s : testing::Samples()) {
    if (s.path.filename() == "sample.avi") avi = s.bytes;
    if (s.path.filename() == "sample.bmp") bmp = s.bytes;
  }
  const std::int64_t at = 8192 + 77;
  const std::vector<Placed> placed = {{"avi", avi, at}, {"bmp", bmp, at + static_cast<std::int64_t>(avi.size())}};
  const char letter = Attach(placed, kMiB, 29);
  TMekLowScan scan;
  Prepare(scan, letter, false);
  ASSERT_TRUE(scan.ScanDriveBatches(Passes(false)));
  ExpectExactly(scan, placed);
}

// Word, Excel and PowerPoint files, the ZIP packages and Windows Media share
// their markers, so each such file is carved in the batch of every type of its
// family; its structure says which it is, and only that copy is kept.
TEST_F(CarvedEnds, AFileOfATypeSharingItsMarkerIsKeptOnceUnderItsOwnType) {
  const std::set<std::string> family = {"doc",  "xls", "ppt", "docx", "xlsx", "pptx", "odt",
                                        "ods",  "epub", "jar", "zip", "wma",  "wmv"};
  std::vector<Placed> placed;
  std::int64_t at = 4096;
  for (const auto& s : testing::Samples()) {
    if (!family.count(s.extension)) continue;
    placed.push_back({s.extension, s.bytes, at});
    at += static_cast<std::int64_t>(s.bytes.size()) + 777;
  }
  ASSERT_EQ(placed.size(), family.size());
  const char letter = Attach(placed, at + kMiB, 23);
  TMekLowScan scan;
  Prepare(scan, letter, false);
  ASSERT_TRUE(scan.ScanDriveBatches(Passes(false)));
  ExpectExactly(scan, placed);
  for (const auto& p : placed) {
    std::vector<std::string> kept;
    for (const auto& f : scan.FileList()) {
      if (f->StartPos == p.offset) kept.push_back(f->Extension);
    }
    EXPECT_EQ(kept, std::vector<std::string>{p.name}) << "at " << p.offset;
  }
}

// A quick scan searches every type in one batch, so the first marker of a
// family finds the file; it is still listed under the type its structure names
// (an .xlsx is no "file_1.docx", an .odt no "file_2.zip").
TEST_F(CarvedEnds, AQuickScanNamesAFileOfASharedMarkerByItsStructure) {
  const std::set<std::string> family = {"doc", "xls", "ppt", "docx", "xlsx", "pptx", "odt", "ods", "epub", "jar"};
  std::vector<Placed> placed;
  std::int64_t at = 0;
  for (const auto& s : testing::Samples()) {
    if (!family.count(s.extension)) continue;
    placed.push_back({s.extension, s.bytes, at});
    at += (static_cast<std::int64_t>(s.bytes.size()) / 4096 + 2) * 4096;
  }
  ASSERT_EQ(placed.size(), family.size());
  const char letter = Attach(placed, at + kMiB, 31);
  TMekLowScan scan;
  Prepare(scan, letter, true);
  ASSERT_TRUE(scan.ScanDriveBatches(Passes(true)));
  ExpectExactly(scan, placed);
  for (const auto& p : placed) {
    std::vector<std::string> kept;
    for (const auto& f : scan.FileList()) {
      if (f->StartPos != p.offset) continue;
      kept.push_back(f->Extension);
      EXPECT_TRUE(f->Name.ends_with("." + p.name)) << f->Name;
    }
    EXPECT_EQ(kept, std::vector<std::string>{p.name}) << "at " << p.offset;
  }
}

struct Damage {
  const char* name;
  std::size_t keep;  // bytes of the photo kept
  bool atDriveEnd;   // the drive ends inside the photo
};

class CarvedEndsDamage : public CarvedEnds, public ::testing::WithParamInterface<Damage> {};

// A photo cut off inside its picture data: its structure never ends, so the old
// rule stands: it runs to the next header (here a PNG) or the end of the drive,
// never beyond.
TEST_P(CarvedEndsDamage, ACutFileFallsBackToTheNextHeaderOrTheDrivesEnd) {
  const Damage& d = GetParam();
  std::string jpg, png;
  for (const auto& s : testing::Samples()) {
    if (s.path.filename() == "sample.exif.jpg") jpg = s.bytes;
    if (s.path.filename() == "sample.png") png = s.bytes;
  }
  const std::string cut = jpg.substr(0, d.keep);
  std::vector<Placed> placed = {{"cut", cut, 8192}};
  if (!d.atDriveEnd) placed.push_back({"png", png, 8192 + 4096});
  const std::int64_t size = d.atDriveEnd ? 8192 + static_cast<std::int64_t>(cut.size()) : 64 * 1024;
  const char letter = Attach(placed, size, 21);
  TMekLowScan scan;
  Prepare(scan, letter, false);
  scan.OnImageCheck = nullptr;  // a cut picture would not decode; its end is what is tested
  ASSERT_TRUE(scan.ScanDriveBatches({{"jpg;0;JPG", "png;0;PNG"}}));
  ASSERT_GE(scan.FileList().size(), 1u);
  const FileNode& photo = *scan.FileList()[0];
  EXPECT_EQ(photo.StartPos, 8192);
  // The drive ends with its last whole sector.
  EXPECT_EQ(photo.EndPos, d.atDriveEnd ? size / 512 * 512 : 8192 + 4096);
  if (!d.atDriveEnd) {
    ASSERT_EQ(scan.FileList().size(), 2u);
    EXPECT_EQ(scan.FileList()[1]->EndPos - scan.FileList()[1]->StartPos, static_cast<std::int64_t>(png.size()));
  }
}

INSTANTIATE_TEST_SUITE_P(Cuts, CarvedEndsDamage,
                         ::testing::Values(Damage{"InPictureDataBeforeAPng", 700, false},
                                           Damage{"InExifBlockBeforeAPng", 300, false},
                                           Damage{"InPictureDataAtTheDrivesEnd", 700, true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace lowscan
