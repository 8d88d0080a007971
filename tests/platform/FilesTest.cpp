#include "platform/Files.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "platform/DriveTable.h"
#include "platform/UserFolders.h"
#include "tests/support/TempDir.h"
#include "util/Prompt.h"

namespace {

namespace fs = std::filesystem;

// Remembers every box it was asked to show.
class RecordingPrompt : public util::DefaultPrompt {
 public:
  util::PromptAnswer Ask(std::string_view caption, std::string_view text, util::PromptButtons buttons,
                         util::PromptIcon icon) override {
    texts.emplace_back(text);
    return util::DefaultPrompt::Ask(caption, text, buttons, icon);
  }
  std::vector<std::string> texts;
};

class FilesTest : public testing::Test {
 protected:
  void SetUp() override {
    letter = platform::DriveTable::Instance().Attach(dir.Path().string());
    ASSERT_NE(letter, 0);
    drive = std::string(1, letter) + ":";
  }
  void TearDown() override { platform::DriveTable::Instance().Detach(letter); }

  testsupport::TempDir dir;
  char letter = 0;
  std::string drive;
};

TEST_F(FilesTest, CreateDirectoryPathCreatesEveryLevelAndStopsAtTheFirstFailure) {
  EXPECT_TRUE(platform::CreateDirectoryPath(drive + "\\a\\b\\"));
  EXPECT_TRUE(fs::is_directory(dir / "a" / "b"));
  EXPECT_TRUE(platform::CreateDirectoryPath(drive + "\\a\\b"));  // already there
  testsupport::WriteFileBytes(dir / "file", "x");
  EXPECT_FALSE(platform::CreateDirectoryPath(drive + "\\file\\c\\d"));
  EXPECT_FALSE(fs::exists(dir / "file" / "c"));
  // A doubled backslash ends the walk at the empty level.
  EXPECT_TRUE(platform::CreateDirectoryPath(drive + "\\x\\\\y"));
  EXPECT_TRUE(fs::is_directory(dir / "x"));
  EXPECT_FALSE(fs::exists(dir / "y"));
}

TEST_F(FilesTest, FileLocationProbesWithoutHarmingTheUsersFiles) {
  RecordingPrompt prompt;
  testsupport::WriteFileBytes(dir / "tmp.dat", "mine");
  EXPECT_TRUE(platform::FileLocation(drive + "\\", prompt));
  EXPECT_EQ(testsupport::ReadFileBytes(dir / "tmp.dat"), "mine");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
  EXPECT_TRUE(prompt.texts.empty());
  EXPECT_FALSE(platform::FileLocation(drive + "\\missing", prompt));
  ASSERT_EQ(prompt.texts.size(), 1u);
  EXPECT_EQ(prompt.texts[0], "Cannot write to: " + drive +
                                 "\\missing\\.\r\nYou must select a folder that can be written to.");
}

TEST_F(FilesTest, FileCreateWideReplacesAnExistingFile) {
  testsupport::WriteFileBytes(dir / "f.bin", "old contents");
  const int fd = platform::FileCreateWide(drive + "\\f.bin");
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, "new", 3), 3);
  close(fd);
  EXPECT_EQ(testsupport::ReadFileBytes(dir / "f.bin"), "new");
  EXPECT_LT(platform::FileCreateWide(drive + "\\no\\such\\folder\\f.bin"), 0);
}

TEST_F(FilesTest, FileFinderSearchesDepthFirst) {
  fs::create_directories(dir / "Cookies" / "Deep");
  fs::create_directories(dir / ".hidden");
  testsupport::WriteFileBytes(dir / "Cookies" / "anna@example[1].txt", "");
  testsupport::WriteFileBytes(dir / "Cookies" / "Deep" / "cookies.txt", "");
  testsupport::WriteFileBytes(dir / ".hidden" / "cookies.txt", "");
  testsupport::WriteFileBytes(dir / "COOKIES.TXT", "");
  std::vector<std::string> found;
  platform::FileFinder(drive + "\\*.*", "cookies.txt", found, true);
  EXPECT_EQ(found, (std::vector<std::string>{drive + "\\COOKIES.TXT", drive + "\\Cookies\\Deep\\cookies.txt"}));
  found.clear();
  platform::FileFinder(drive + "\\*.*", "example", found, false);
  EXPECT_EQ(found, (std::vector<std::string>{drive + "\\Cookies\\anna@example[1].txt"}));
  found.clear();
  platform::FileFinder(drive + "\\*.*", "Example", found, false);  // callers pass lower case
  EXPECT_TRUE(found.empty());
  platform::FileFinder(drive + "\\nowhere\\*.*", "x", found, false);
  EXPECT_TRUE(found.empty());
}

TEST_F(FilesTest, DiskSizesAndVersions) {
  EXPECT_GT(platform::GetDiskSize(static_cast<std::uint8_t>(letter - 64)), 0);
  EXPECT_GE(platform::GetDiskFree(static_cast<std::uint8_t>(letter - 64)), 0);
  EXPECT_EQ(platform::GetDiskSize(27), -1);
  char unused = 0;
  for (char c = 'Z'; c >= 'C' && unused == 0; --c) {
    if (!platform::DriveTable::Instance().Find(c)) unused = c;
  }
  ASSERT_NE(unused, 0);
  EXPECT_EQ(platform::GetDiskSize(static_cast<std::uint8_t>(unused - 64)), -1);
  EXPECT_EQ(platform::GetDiskFree(static_cast<std::uint8_t>(unused - 64)), -1);

  const std::string self = platform::OwnExecutablePath();
  EXPECT_EQ(platform::GetFmtFileVersion(self, "%d.%d.%d.%d"), TRELLMOND_TEST_VERSION);
  EXPECT_EQ(platform::GetFmtFileVersion(self, "v %d.%d %s %%"), "v 1.0 %s %");
  EXPECT_EQ(platform::GetFmtFileVersion("/bin/true", "%d.%d"), "");
  EXPECT_EQ(platform::GetFmtFileVersion("/no/such/program", "%d.%d"), "");
}

TEST_F(FilesTest, UserFoldersAreDriveLetterPaths) {
  setenv("XDG_DATA_HOME", dir.Path().c_str(), 1);
  EXPECT_EQ(platform::GetUserDirectory(platform::ufAppData), drive + "\\");
  EXPECT_EQ(platform::GetUserDirectory(platform::ufCookies), "");  // no such folder yet
  fs::create_directories(dir / "Pelmora" / "Cookies");
  EXPECT_EQ(platform::GetUserDirectory(platform::ufCookies), drive + "\\Pelmora\\Cookies");
  unsetenv("XDG_DATA_HOME");
  EXPECT_FALSE(platform::GetUserDirectory(platform::ufPersonal).empty());
  const std::string temp = platform::GetWindowsTempDir();
  EXPECT_EQ(temp.substr(1, 2), ":\\");
  EXPECT_EQ(temp.back(), '\\');
}

}  // namespace
