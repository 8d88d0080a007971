// The names a save gives: same-named files beside each other and beside the user's own
// files, folders whose name a file has, names and paths longer than Linux takes.

#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include "tests/fsscan/ScanFixture.h"

namespace {

void WriteText(const std::filesystem::path& path, const std::string& text) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

class SavedNamesTest : public testing::Test {
 protected:
  void SetUp() override {
    testsupport::FatImageOptions options;
    options.sizeKiB = 40960;
    image = std::make_unique<testsupport::FatImage>(dir / "card.img", options);
  }
  testsupport::TempDir dir;
  std::unique_ptr<testsupport::FatImage> image;
  fsscantest::OutputDrive out;
};

TEST_F(SavedNamesTest, SameNamedDeletedFilesEachGetANumberBesideTheUsersOwnFiles) {
  // A deleted short name loses its first letter: thirty files that differed only there all
  // come back as "xOV_0001.MOV", as a dash camera's reused names do.
  const std::string firsts = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123";
  std::set<std::string> wanted;
  image->MakeDir("/DCIM");
  for (std::size_t i = 0; i < firsts.size(); ++i) {
    const std::string contents = fsscantest::Payload(700 + i, static_cast<unsigned>(i));
    image->AddFile("/DCIM/" + std::string(1, firsts[i]) + "OV_0001.MOV", contents);
    wanted.insert(contents);
  }
  for (const char c : firsts) image->Delete("/DCIM/" + std::string(1, c) + "OV_0001.MOV");
  // The user's own files in the output folder keep their names and bytes.
  WriteText(out.Posix("Back/DCIM/xOV_0001.MOV"), "mine");
  WriteText(out.Posix("Back/DCIM/xOV_0001_2.MOV"), "mine too");

  fsscantest::ScannerHarness harness(image->Path());
  harness.Scan(true);
  ASSERT_EQ(harness.scanner.GetFoundNumber(), static_cast<std::int64_t>(firsts.size())) << harness.Names();
  EXPECT_EQ(harness.scanner.SaveFilesToDisk(out.Folder("Back")), static_cast<std::int64_t>(firsts.size()));
  const auto files = fsscantest::FilesUnder(out.Posix("Back"));
  EXPECT_EQ(files.at("DCIM/xOV_0001.MOV"), "mine");
  EXPECT_EQ(files.at("DCIM/xOV_0001_2.MOV"), "mine too");
  std::set<std::string> saved;
  for (const auto& [name, contents] : files) {
    if (contents.rfind("mine", 0) != 0) saved.insert(contents);
  }
  EXPECT_TRUE(saved == wanted);
  EXPECT_EQ(files.size(), firsts.size() + 2);
  EXPECT_TRUE(files.contains("DCIM/xOV_0001_1.MOV"));
  EXPECT_TRUE(files.contains("DCIM/xOV_0001_31.MOV"));
}

TEST_F(SavedNamesTest, AFolderWhoseNameAFileHasGetsANumberedNameAndKeepsEveryFile) {
  image->MakeDir("/Photos");
  image->MakeDir("/Photos/Trip");
  image->AddFile("/Photos/a.txt", "first");
  image->AddFile("/Photos/b.txt", "second");
  image->AddFile("/Photos/Trip/c.txt", "third");
  WriteText(out.Posix("Back/Photos"), "the user's file called Photos");
  WriteText(out.Posix("Back/Photos_1"), "and one called Photos_1");

  fsscantest::ScannerHarness harness(image->Path());
  harness.Scan(false);
  EXPECT_EQ(harness.scanner.SaveFilesToDisk(out.Folder("Back")), 3);
  const auto files = fsscantest::FilesUnder(out.Posix("Back"));
  ASSERT_EQ(files.size(), 5U) << [&] {
    std::string names;
    for (const auto& [name, contents] : files) names += name + "\n";
    return names;
  }();
  EXPECT_EQ(files.at("Photos"), "the user's file called Photos");
  // "Photos_1" is taken too: the folder takes the next free number.
  EXPECT_EQ(files.at("Photos_1"), "and one called Photos_1");
  EXPECT_EQ(files.at("Photos_2/a.txt"), "first");
  EXPECT_EQ(files.at("Photos_2/b.txt"), "second");
  EXPECT_EQ(files.at("Photos_2/Trip/c.txt"), "third");
  EXPECT_TRUE(harness.Logged("Saved under another name than on the medium: \\Photos\\a.txt"));
}

TEST_F(SavedNamesTest, NamesAndPathsBeyondLinuxLimitsAreSavedShortenedAndApart) {
  // 259 bytes of UTF-8 (132 characters, well inside FAT's 255): two names alike until the
  // letter before the extension.
  std::string accents;
  for (int i = 0; i < 127; ++i) accents += "\xC3\xA9";
  image->AddFile("/" + accents + "a.txt", "long a");
  image->AddFile("/" + accents + "b.txt", "long b");
  // 25 folders of 200 characters: over 5,000 bytes of path.
  std::string deep;
  for (int i = 1; i <= 25; ++i) {
    deep += "/" + std::string(200, 'd') + std::to_string(i);
    image->MakeDir(deep);
  }
  image->AddFile(deep + "/deep.txt", "at the bottom");

  fsscantest::ScannerHarness harness(image->Path());
  harness.Scan(false);
  ASSERT_EQ(harness.scanner.SaveFilesToDisk(out.Folder("Back")), 3) << harness.Names();
  std::map<std::string, std::filesystem::path> byContents;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(out.Posix("Back"))) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    byContents[std::string(std::istreambuf_iterator<char>(in), {})] = entry.path();
  }
  ASSERT_EQ(byContents.size(), 3U);
  for (const auto& [contents, path] : byContents) {
    EXPECT_LE(path.filename().string().size(), 255U) << contents;
    EXPECT_LE(path.string().size(), 4095U) << contents;
    EXPECT_EQ(path.extension(), ".txt") << contents;
  }
  // The start of each long name is kept.
  EXPECT_EQ(byContents.at("long a").filename().string().rfind(accents.substr(0, 200), 0), 0U);
  EXPECT_TRUE(harness.Logged("Saved under another name than on the medium: \\" + accents + "a.txt"));
  EXPECT_TRUE(harness.Logged("Saved under another name than on the medium: \\" + std::string(200, 'd') + "1\\"));
  // The deep file keeps as many of its folders as fit, in order.
  const std::string deepPath = byContents.at("at the bottom").string();
  EXPECT_NE(deepPath.find(std::string(200, 'd') + "1/" + std::string(200, 'd') + "2/"), std::string::npos);
}

}  // namespace
