// Whole scans through the drive layer: raw images built from the committed
// samples, attached as drives, scanned quick and thorough, then saved.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "CatalogueSupport.h"
#include "lowscan/imagecheck/ImageCheck.h"
#include "lowscan/MekLowScan.h"
#include "platform/DriveTable.h"
#include "tests/support/ScanWorkers.h"
#include "tests/support/TempDir.h"
#include "util/Text.h"

namespace lowscan {
namespace {

struct Placed {
  std::string sample;   // file name under tests/data/samples
  std::int64_t offset;  // where it starts in the image
};

class LowScanDrive : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const auto& s : testing::Samples()) m_samples[s.path.filename().string()] = s;
    for (const auto& line : testing::CatalogueOverview()) {
      m_selection[util::GetField(line, 1, ';')] =
          util::GetField(line, 1, ';') + ";" + util::GetField(line, 4, ';') + ";" + util::GetField(line, 5, ';');
    }
    std::filesystem::create_directories(m_dir / "out");
    m_outLetter = platform::DriveTable::Instance().Attach((m_dir / "out").string());
    ASSERT_NE(m_outLetter, 0);
  }

  // Random bytes of `size` with the samples laid over them.
  std::string BuildImage(std::int64_t size, const std::vector<Placed>& placed, unsigned seed) {
    std::mt19937 random(seed);
    std::string image(static_cast<std::size_t>(size), '\0');
    for (char& c : image) c = static_cast<char>(random() & 0xFF);
    for (const auto& p : placed) image.replace(static_cast<std::size_t>(p.offset), Bytes(p.sample).size(), Bytes(p.sample));
    testsupport::WriteFileBytes(m_dir / "card.img", image);
    m_imageLetter = platform::DriveTable::Instance().Attach((m_dir / "card.img").string());
    EXPECT_NE(m_imageLetter, 0);
    return image;
  }

  const std::string& Bytes(const std::string& sample) { return m_samples.at(sample).bytes; }
  static std::string TypeOf(const std::string& sample) { return sample.substr(sample.rfind('.') + 1); }

  void Prepare(TMekLowScan& scan, const std::vector<Placed>& placed, bool quick) {
    scan.SetDrive(m_imageLetter);
    scan.SetUseClusterBoundary(quick);
    std::vector<std::string> types;
    for (const auto& p : placed) {
      const std::string entry = m_selection.at(TypeOf(p.sample));
      if (std::find(types.begin(), types.end(), entry) == types.end()) types.push_back(entry);
    }
    scan.SetLowFileTypes(types);
    scan.OnGetFileData = [](TMekLowScan*, std::vector<std::string>& data) { data = testing::CatalogueDetails(); };
    scan.SetWorkers(testsupport::ScanWorkers());
    scan.OnImageCheck = [](TMekLowScan* sender, util::TMemoryStream& image, const std::string& type, bool& ok) {
      imagecheck::LowScanImageCheck(sender, image, type, ok);
    };
    scan.OnLogNotify = [this](TMekLowScan*, const std::string& m, const std::string& a) { m_logs.push_back(a + " " + m); };
  }

  static bool HasFooter(const std::string& type) {
    for (const auto& line : testing::CatalogueDetails()) {
      if (util::GetField(line, 1, ';') == type && util::GetField(line, 5, ';') == "1") return true;
    }
    return false;
  }

  // Every placed sample was found where it lies, named in order, with the right
  // end; saving writes exactly the carved bytes.
  void ExpectFoundAndSaved(TMekLowScan& scan, const std::string& image, const std::vector<Placed>& placed) {
    const auto& files = scan.FileList();
    ASSERT_EQ(files.size(), placed.size());
    std::map<std::string, int> counter;
    for (std::size_t i = 0; i < placed.size(); ++i) {
      SCOPED_TRACE(placed[i].sample);
      const FileNode& f = *files[i];
      const std::string& bytes = Bytes(placed[i].sample);
      EXPECT_EQ(f.StartPos, placed[i].offset);
      EXPECT_EQ(f.Name, "file_" + std::to_string(i + 1) + "." + TypeOf(placed[i].sample));
      const std::int64_t nextStart = i + 1 < placed.size() ? placed[i + 1].offset : static_cast<std::int64_t>(image.size());
      if (HasFooter(TypeOf(placed[i].sample))) {
        EXPECT_EQ(f.EndPos, placed[i].offset + static_cast<std::int64_t>(bytes.size()));
      } else {
        EXPECT_LE(f.EndPos, nextStart);
        EXPECT_GE(f.EndPos, placed[i].offset + static_cast<std::int64_t>(bytes.size()));
      }
    }
    const std::string folder = std::string(1, m_outLetter) + ":\\out" + std::to_string(++m_runs);
    std::filesystem::create_directories(m_dir / "out" / ("out" + std::to_string(m_runs)));
    EXPECT_EQ(scan.SaveFileList(folder), static_cast<std::int64_t>(placed.size()));
    for (std::size_t i = 0; i < placed.size(); ++i) {
      const FileNode& f = *files[i];
      EXPECT_TRUE(f.Saved);
      const std::string saved =
          testsupport::ReadFileBytes(m_dir / "out" / ("out" + std::to_string(m_runs)) / f.Name);
      EXPECT_EQ(saved.size(), static_cast<std::size_t>(f.EndPos - f.StartPos)) << f.Name;
      EXPECT_TRUE(saved == image.substr(static_cast<std::size_t>(f.StartPos), saved.size())) << f.Name;
      EXPECT_TRUE(saved.compare(0, Bytes(placed[i].sample).size(), Bytes(placed[i].sample)) == 0) << f.Name;
    }
  }

  testsupport::TempDir m_temp;
  std::filesystem::path m_dir = m_temp.Path();
  std::map<std::string, testing::Sample> m_samples;
  std::map<std::string, std::string> m_selection;
  std::vector<std::string> m_logs;
  char m_imageLetter = 0;
  char m_outLetter = 0;
  int m_runs = 0;
};

constexpr std::int64_t kMiB = 1024 * 1024;

TEST_F(LowScanDrive, QuickScanFindsFilesAtSectorStartsAcrossReadStepsAndSavesThem) {
  const std::vector<Placed> placed = {
      {"sample.jpg", 0},                      // a file at the very start of the drive
      {"sample.png", 8192},
      {"sample.docx", 64 * 1024},
      {"sample.exif.jpg", 96 * 1024},
      {"sample.pdf", 200 * 1024},
      {"sample.zip", 4 * kMiB - 4096},        // runs into the second read step
      {"sample.png", 4 * kMiB + 512},
      {"sample.gif", 8 * kMiB + 4096},
      {"sample.bmp", 9 * kMiB},               // the last file: ends at its header's size
  };
  const std::string image = BuildImage(9 * kMiB + 64 * 1024, placed, 3);
  const std::string before = testsupport::Sha256Of(m_dir / "card.img");
  TMekLowScan scan;
  Prepare(scan, placed, true);
  ASSERT_TRUE(scan.ScanDrive());
  ExpectFoundAndSaved(scan, image, placed);
  EXPECT_EQ(scan.FileList().back()->EndPos, 9 * kMiB + static_cast<std::int64_t>(Bytes("sample.bmp").size()));
  EXPECT_EQ(testsupport::Sha256Of(m_dir / "card.img"), before);
}

TEST_F(LowScanDrive, ThoroughScanFindsUnalignedAndBackToBackFiles) {
  const auto pdf = static_cast<std::int64_t>(Bytes("sample.pdf").size());
  const auto png = static_cast<std::int64_t>(Bytes("sample.png").size());
  const std::vector<Placed> placed = {
      {"sample.pdf", 3},
      {"sample.jpg", 3 + pdf},                // right behind the PDF's footer
      {"sample.png", 50001},
      {"sample.vcf", 50001 + png},            // right behind the PNG's end
      {"sample.docx", 4 * kMiB - 2},          // its marker spans two read steps
      {"sample.gif", 4 * kMiB + 70001},
  };
  const std::string image = BuildImage(5 * kMiB, placed, 5);
  TMekLowScan scan;
  Prepare(scan, placed, false);
  ASSERT_TRUE(scan.ScanDrive());
  ExpectFoundAndSaved(scan, image, placed);
}

TEST_F(LowScanDrive, RejectedPictureGivesItsNumberToTheNextFile) {
  const std::vector<Placed> placed = {{"sample.jpg", 0}, {"sample.jpg", 8192}, {"sample.jpg", 16384}};
  std::string image = BuildImage(64 * 1024, placed, 9);
  TMekLowScan scan;
  Prepare(scan, placed, true);
  std::vector<std::string> reported;
  int checks = 0;
  scan.SetWorkers(nullptr);  // "the second" is the second check made: one at a time
  scan.OnImageCheck = [&](TMekLowScan*, util::TMemoryStream&, const std::string&, bool& ok) {
    ok = ++checks != 2;  // the second file is refused
  };
  scan.OnFileNotify = [&](TMekLowScan*, util::TScanType source, const std::string& id, util::TMemoryStream* picture,
                          const std::string& name, const std::string&, util::TFileType type, std::int64_t size) {
    EXPECT_EQ(source, util::stLowScan);
    EXPECT_EQ(type, util::ftImage);
    EXPECT_NE(picture, nullptr);
    reported.push_back(id + ":" + name + ":" + std::to_string(size));
  };
  ASSERT_TRUE(scan.ScanDrive());
  EXPECT_EQ(reported, (std::vector<std::string>{"0:file_1.jpg:650", "1:file_2.jpg:650"}));
  EXPECT_EQ(scan.FileList()[1]->StartPos, 16384);
  EXPECT_EQ(scan.GetTypesFound(), "JPG:2");
}

TEST_F(LowScanDrive, BadMarkerTextStopsTheScanBeforeReading) {
  const std::vector<Placed> placed = {{"sample.jpg", 0}};
  BuildImage(64 * 1024, placed, 1);
  TMekLowScan scan;
  Prepare(scan, placed, true);
  scan.OnGetFileData = [](TMekLowScan*, std::vector<std::string>& data) { data = {"jpg;0;FFZ8;;0;0;0;0;Y"}; };
  EXPECT_FALSE(scan.ScanDrive());
  EXPECT_NE(scan.ScanError().find("FFZ8"), std::string::npos);
  EXPECT_TRUE(scan.FileList().empty());
  EXPECT_TRUE(m_logs.empty());
}

}  // namespace
}  // namespace lowscan
