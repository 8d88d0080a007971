// A card image with a partition table scanned as it was acquired three ways: a
// raw image, an Expert Witness image (ewfacquire) and a raw image split into
// numbered parts. Each gives the same files found, the same saved bytes and the
// same DFXML report, which the schema accepts.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <regex>

#include "tests/cli/Cards.h"
#include "tests/support/Command.h"
#include "tests/support/ImageContainers.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;

std::map<std::string, std::string> Tree(const fs::path& root) {
  std::map<std::string, std::string> files;
  if (!fs::exists(root)) return files;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (e.is_regular_file()) files[fs::relative(e.path(), root).string()] = testsupport::Sha256Of(e.path());
  }
  return files;
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

void AddPhotos(testsupport::FatImage& card) {
  const fs::path samples = fs::path(TRELLMOND_SOURCE_DIR) / "tests/data/samples";
  card.AddFile("/DCIM/kept.jpg", testsupport::ReadFileBytes(samples / "sample.jpg"), 1120000000);
  card.AddFile("/notes.txt", clicards::Payload(300000, 4), 1120000000);
  card.Delete("/notes.txt");
  card.AddFile("/DCIM/shot.png", testsupport::ReadFileBytes(samples / "sample.png"));
  card.Delete("/DCIM/shot.png");
}

struct Scan {
  int exitCode = -1;
  std::string errors;
  std::map<std::string, std::string> saved;  // relative path -> SHA-256
  std::string report;                        // the JSON report, the output folder named OUT
  std::string files;                         // the DFXML report's fileobjects, likewise
  std::string imageFilename;
};

class ImageContainersTest : public testing::TestWithParam<std::vector<std::string>> {
 protected:
  static void SetUpTestSuite() {
    if (!testsupport::ExpertWitnessUnavailable().empty()) return;
    s_dir = new testsupport::TempDir;
    // A camera card behind an MBR, with live and deleted photos besides the file in two pieces.
    const fs::path raw = clicards::InPartition(clicards::FragmentedFatCard(s_dir->Path(), AddPhotos),
                                               s_dir->Path() / "disk.img", "c");
    s_forms = {raw, testsupport::MakeExpertWitness(raw, s_dir->Path() / "card", 8 << 20),
               testsupport::MakeSplitRaw(raw, s_dir->Path() / "card", 10 << 20)};
  }
  static void TearDownTestSuite() {
    delete s_dir;
    s_dir = nullptr;
  }
  void SetUp() override {
    if (s_dir == nullptr) GTEST_SKIP() << testsupport::ExpertWitnessUnavailable();
  }

  static Scan Run(const fs::path& source, const std::vector<std::string>& options) {
    const fs::path work = s_dir->Path() / ("scan-" + source.filename().string());
    fs::remove_all(work);
    fs::create_directories(work);
    const fs::path out = work / "out", report = work / "report.json", dfxml = work / "report.xml";
    std::vector<std::string> argv = {testsupport::BuiltProgram("trellmond-cli"), "scan", source.string()};
    argv.insert(argv.end(), options.begin(), options.end());
    for (const fs::path& more : {fs::path("--out"), out, fs::path("--report"), report, fs::path("--dfxml"), dfxml}) {
      argv.push_back(more.string());
    }
    const auto run = testsupport::RunCommand(argv);
    Scan scan;
    scan.exitCode = run.exitCode;
    scan.errors = run.errors;
    if (run.exitCode != 0) return scan;
    scan.saved = Tree(out);
    scan.report = Replaced(testsupport::ReadFileBytes(report), out.string(), "OUT");
    const auto valid = testsupport::RunCommand(
        {"xmllint", "--noout", "--schema", TRELLMOND_SOURCE_DIR "/tests/data/dfxml/dfxml.xsd", dfxml.string()});
    EXPECT_EQ(valid.exitCode, 0) << valid.errors;
    const std::string xml = testsupport::ReadFileBytes(dfxml);
    std::smatch image;
    if (std::regex_search(xml, image, std::regex("<image_filename>([^<]*)</image_filename>"))) {
      scan.imageFilename = image[1];
    }
    const std::size_t first = xml.find("<fileobject>");
    scan.files = first == std::string::npos ? std::string{} : Replaced(xml.substr(first), out.string(), "OUT");
    return scan;
  }

  static testsupport::TempDir* s_dir;
  static std::vector<fs::path> s_forms;  // raw, Expert Witness, split raw
};

testsupport::TempDir* ImageContainersTest::s_dir = nullptr;
std::vector<fs::path> ImageContainersTest::s_forms;

TEST_P(ImageContainersTest, EveryFormGivesTheSameFilesAndReport) {
  const std::string sourceHashes[] = {testsupport::Sha256Of(s_forms[1]), testsupport::Sha256Of(s_forms[2])};
  const Scan raw = Run(s_forms[0], GetParam());
  ASSERT_EQ(raw.exitCode, 0) << raw.errors;
  ASSERT_GE(raw.saved.size(), 3u);
  EXPECT_NE(raw.files.find("<byte_run"), std::string::npos);
  for (const fs::path& form : {s_forms[1], s_forms[2]}) {
    SCOPED_TRACE(form.filename().string());
    const Scan other = Run(form, GetParam());
    ASSERT_EQ(other.exitCode, 0) << other.errors;
    EXPECT_EQ(other.saved, raw.saved);
    EXPECT_EQ(other.report, raw.report);
    // The byte runs are offsets on the medium the image holds: the raw image's
    // own.
    EXPECT_EQ(other.files, raw.files);
    EXPECT_EQ(other.imageFilename, form.string());
  }
  EXPECT_EQ(testsupport::Sha256Of(s_forms[1]), sourceHashes[0]);
  EXPECT_EQ(testsupport::Sha256Of(s_forms[2]), sourceHashes[1]);
}

INSTANTIATE_TEST_SUITE_P(Scans, ImageContainersTest,
                         testing::Values(std::vector<std::string>{"--partition", "1", "--undelete", "--all"},
                                         std::vector<std::string>{"--partition", "0", "--low", "--types", "jpg,png"}),
                         [](const auto& info) { return info.index == 0 ? "undelete" : "low_level_whole_disk"; });

// `image` of an evidence image gives the raw medium it holds, not the
// container's bytes.
TEST_F(ImageContainersTest, ACopyOfAnEvidenceImageIsTheRawImage) {
  const std::string raw = testsupport::Sha256Of(s_forms[0]);
  for (const fs::path& form : {s_forms[1], s_forms[2]}) {
    const fs::path copy = s_dir->Path() / ("copy-of-" + form.filename().string());
    const auto run =
        testsupport::RunCommand({testsupport::BuiltProgram("trellmond-cli"), "image", form.string(), copy.string()});
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_EQ(testsupport::Sha256Of(copy), raw) << form;
  }
}

TEST_F(ImageContainersTest, AnImageWithAPartMissingIsRefusedWithAReason) {
  const fs::path dir = s_dir->Path() / "incomplete";
  fs::create_directories(dir);
  const fs::path e01 = testsupport::MakeExpertWitness(s_forms[0], dir / "card", 2 << 20, false);
  fs::remove(dir / "card.E03");
  const fs::path split = testsupport::MakeSplitRaw(s_forms[0], dir / "card", 4 << 20);
  fs::remove(dir / "card.004");
  const std::pair<fs::path, std::string> cases[] = {
      {e01, "a segment of the Expert Witness image is missing or damaged"},
      {split, "part card.004 of the split image is missing"},
  };
  for (const auto& [source, reason] : cases) {
    const auto run = testsupport::RunCommand({testsupport::BuiltProgram("trellmond-cli"), "scan", source.string(),
                                              "--undelete", "--out", (dir / "out").string()});
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.errors.find("cannot open the source " + source.string() + ": " + reason), std::string::npos)
        << run.errors;
    EXPECT_FALSE(fs::exists(dir / "out"));
  }
}

}  // namespace
