// What trellmond-cli says when it cannot do what it was asked: the reason, before any
// scan starts, with an exit code of its own; and how it shows log lines and its help.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>

#include "tests/support/Command.h"
#include "tests/support/FatImage.h"
#include "tests/support/NtfsImage.h"
#include "tests/support/TempDir.h"

namespace {

testsupport::CommandResult Cli(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {testsupport::BuiltProgram("trellmond-cli")};
  argv.insert(argv.end(), args.begin(), args.end());
  return testsupport::RunCommand(argv, {{"TRELLMOND_DRIVES", ""}});
}

class ClearErrorsTest : public testing::Test {
 protected:
  void SetUp() override {
    image = std::make_unique<testsupport::FatImage>(dir / "card.img", testsupport::FatImageOptions{.fatBits = 12});
    image->AddFile("/notes.txt", std::string(3000, 'n'));
    image->Delete("/notes.txt");
    testsupport::WriteFileBytes(dir / "plain.txt", std::string(70000, 'x'));
  }
  testsupport::TempDir dir;
  std::unique_ptr<testsupport::FatImage> image;
};

TEST_F(ClearErrorsTest, RefusalsSayWhyBeforeAnyScan) {
  struct Case {
    const char* what;
    std::vector<std::string> args;
    int exitCode;
    std::string says;
  };
  const std::string img = image->Path().string();
  const std::string plain = (dir / "plain.txt").string();
  // Sources that hold no sectors: none may block the scan (a FIFO without a writer would
  // hold an open or a read forever), and each is named for what it is.
  const std::string fifo = (dir / "pipe").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string socketPath = (dir / "sock").string();
  const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath.c_str());
  ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  const std::string empty = (dir / "empty.img").string();
  testsupport::WriteFileBytes(empty, "");
  // A refused scan leaves no output folder behind.
  const std::string never = (dir / "never").string();
  const std::vector<Case> cases = {
      {"no file system", {"scan", plain, "--out", never}, 5,
       "no FAT, exFAT or NTFS file system found on " + plain + "; try --low"},
      {"a folder", {"scan", dir.Path().string(), "--out", never}, 2, "is a folder, not a drive, image or block device"},
      {"missing image", {"scan", (dir / "nothing.img").string(), "--out", never}, 2,
       "nothing.img: No such file or directory"},
      {"a FIFO", {"scan", fifo, "--out", never}, 2,
       fifo + " is a named pipe (FIFO), not a drive, image or block device: it holds no sectors to scan"},
      {"a socket", {"scan", socketPath, "--out", never}, 2, socketPath + " is a socket, not a drive"},
      {"/dev/null", {"scan", "/dev/null", "--out", never}, 2,
       "/dev/null is a character device, not a drive, image or block device: it holds no sectors to scan"},
      {"an empty file", {"scan", empty, "--out", never}, 2, empty + " is an empty file: it holds no sectors to scan"},
      {"unknown type with an output folder", {"scan", img, "--types", "pgn", "--out", never}, 1, "unknown type pgn"},
      {"unknown undelete type", {"scan", img, "--types", "jpg,pgn"}, 1,
       "unknown type pgn for the Undelete scan; known types: jpg, jpeg, png"},
      {"unknown low type", {"scan", img, "--low", "--types", "foo"}, 1,
       "unknown type foo for the Low Level Scan; known types: jpg, jpeg, png"},
      {"report folder missing", {"scan", img, "--report", (dir / "missing/r.json").string()}, 3,
       "cannot write the report " + (dir / "missing/r.json").string() + ": the folder " +
           (dir / "missing").string() + ": No such file or directory"},
      {"output under a file", {"scan", img, "--out", plain + "/sub"}, 3,
       "cannot create the output folder " + plain + "/sub: Not a directory"},
  };
  for (const Case& c : cases) {
    const auto r = Cli(c.args);
    EXPECT_EQ(r.exitCode, c.exitCode) << c.what << "\n" << r.errors;
    EXPECT_NE(r.errors.find(c.says), std::string::npos) << c.what << "\n" << r.errors;
    EXPECT_EQ(r.errors.find("Scanning"), std::string::npos) << c.what << ": the scan started";
    EXPECT_EQ(r.output.find("Found"), std::string::npos) << c.what;
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
  EXPECT_FALSE(std::filesystem::exists(never));
  ::close(listener);
}

TEST_F(ClearErrorsTest, AReadOnlyOutputFolderIsRefusedWithTheSystemsReason) {
  const std::filesystem::path readOnly = dir / "ro";
  std::filesystem::create_directories(readOnly);
  if (testsupport::RunCommand({"mount", "-t", "tmpfs", "-o", "ro,size=1m", "tmpfs", readOnly.string()}).exitCode != 0) {
    GTEST_SKIP() << "mounting a read-only tmpfs needs root";
  }
  for (const std::filesystem::path& out : {readOnly, readOnly / "sub"}) {
    const auto r = Cli({"scan", image->Path().string(), "--out", out.string()});
    EXPECT_EQ(r.exitCode, 3) << r.errors;
    EXPECT_NE(r.errors.find("output folder " + out.string() + ": Read-only file system"), std::string::npos) << r.errors;
    EXPECT_EQ(r.output.find("Found"), std::string::npos) << r.output;
  }
  testsupport::RunCommand({"umount", readOnly.string()});
}

// Boot sectors no volume can have (small byte edits: no tool writes them): the Undelete
// scan finds no file system, and never takes the medium for one it may not read.
TEST_F(ClearErrorsTest, ImagesThatCannotBeVolumesHoldNoFileSystem) {
  testsupport::NtfsImage ntfs(dir / "huge.ntfs", {.sizeMiB = 8});
  // Total sectors all ones, in the boot sector and in its backup at the volume's end (a whole
  // backup would stand in for the damaged first sector).
  ntfs.Patch(40, std::string(8, '\xFF'));
  ntfs.Patch(std::filesystem::file_size(ntfs.Path()) - 512 + 40, std::string(8, '\xFF'));
  testsupport::FatImage fat(dir / "small-fat.img", testsupport::FatImageOptions{.fatBits = 16});
  const std::string oneSectorFat("\x01\x00", 2);
  std::fstream(fat.Path(), std::ios::in | std::ios::out | std::ios::binary).seekp(22).write(oneSectorFat.data(), 2);
  for (const std::filesystem::path& image : {ntfs.Path(), fat.Path()}) {
    const auto r = Cli({"scan", image.string()});
    EXPECT_EQ(r.exitCode, 5) << image << "\n" << r.errors;
    EXPECT_NE(r.errors.find("no FAT, exFAT or NTFS file system found on " + image.string()), std::string::npos) << r.errors;
    EXPECT_EQ(r.errors.find("Security Warning"), std::string::npos) << r.errors;
  }
}

TEST_F(ClearErrorsTest, VerboseLinesCarryTheirActionAndBreakAtBr) {
  const auto r = Cli({"scan", image->Path().string(), "--verbose"});
  ASSERT_EQ(r.exitCode, 0) << r.errors;
  EXPECT_EQ(r.errors.find("<br>"), std::string::npos) << r.errors;
  EXPECT_EQ(r.errors.find("<BR>"), std::string::npos) << r.errors;
  EXPECT_TRUE(std::regex_search(r.errors, std::regex(R"(\n\[46\] Disk Type: FAT12\n {5}Free Memory: )"))) << r.errors;
}

TEST(CliHelpTest, HelpAndManPageListTheSameOptionsAndExitCodes) {
  const auto help = Cli({"--help"});
  ASSERT_EQ(help.exitCode, 0);
  std::ifstream in(std::filesystem::path(TRELLMOND_SOURCE_DIR) / "cli/trellmond-cli.1");
  const std::string man{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  ASSERT_FALSE(man.empty());
  const std::regex option(R"(--([a-z]+))");
  int options = 0;
  for (std::sregex_iterator it(help.output.begin(), help.output.end(), option), end; it != end; ++it, ++options) {
    EXPECT_NE(man.find("\\-\\-" + (*it)[1].str()), std::string::npos) << (*it)[0] << " missing from the man page";
  }
  EXPECT_GE(options, 10);
  for (int code = 0; code <= 5; ++code) {
    EXPECT_TRUE(std::regex_search(help.output, std::regex("\\n  " + std::to_string(code) + "  \\S"))) << code;
    EXPECT_NE(man.find(".B " + std::to_string(code) + "\n"), std::string::npos) << code;
  }
  EXPECT_NE(help.output.find("5  no FAT, exFAT or NTFS file system found"), std::string::npos);
}

}  // namespace
