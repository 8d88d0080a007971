#include "platform/OutputFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "platform/DriveTable.h"
#include "platform/LastError.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;

class OutputFileTest : public testing::Test {
 protected:
  void SetUp() override {
    letter = platform::DriveTable::Instance().Attach(dir.Path().string());
    ASSERT_NE(letter, 0);
  }
  void TearDown() override { platform::DriveTable::Instance().Detach(letter); }
  std::string Path(const std::string& name) const { return std::string(1, letter) + ":\\" + name; }

  testsupport::TempDir dir;
  char letter = 0;
};

std::span<const std::byte> Bytes(const std::string& text) { return std::as_bytes(std::span(text)); }

TEST_F(OutputFileTest, HolesKeepTheirPlaceAndTakeNoSpace) {
  constexpr std::int64_t kHole = 4 << 20;
  testsupport::WriteFileBytes(dir / "f.bin", std::string(20 << 20, 'o'));  // replaced, not overwritten in place
  platform::TOutputFile out(Path("f.bin"));
  ASSERT_TRUE(out.IsOpen());
  std::int64_t written = 0;
  ASSERT_TRUE(out.WriteAll(Bytes("head"), written));
  EXPECT_EQ(written, 4);
  ASSERT_TRUE(out.SkipZeros(kHole));
  ASSERT_TRUE(out.WriteAll(Bytes("middle"), written));
  ASSERT_TRUE(out.SkipZeros(kHole));  // a file that ends in a hole still has its length
  ASSERT_TRUE(out.Close());
  EXPECT_TRUE(out.Close()) << "a second close has nothing to do";

  const std::string expected = "head" + std::string(kHole, '\0') + "middle" + std::string(kHole, '\0');
  EXPECT_EQ(testsupport::ReadFileBytes(dir / "f.bin"), expected);
  struct stat st {};
  ASSERT_EQ(::stat((dir / "f.bin").c_str(), &st), 0);
  EXPECT_LT(st.st_blocks * 512, kHole) << "the skipped ranges were written out";
}

TEST_F(OutputFileTest, TimesAreSet) {
  platform::TOutputFile out(Path("dated.txt"));
  std::int64_t written = 0;
  ASSERT_TRUE(out.WriteAll(Bytes("x"), written));
  ASSERT_TRUE(out.SetTimes(1262347200));  // 2010-01-01 12:00 UTC
  ASSERT_TRUE(out.Close());
  struct stat st {};
  ASSERT_EQ(::stat((dir / "dated.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, 1262347200);
  EXPECT_EQ(st.st_atime, 1262347200);
}

TEST_F(OutputFileTest, FailuresAreReportedWithTheirError) {
  platform::TOutputFile missing(Path("no\\such\\folder\\f.bin"));
  EXPECT_FALSE(missing.IsOpen());
  EXPECT_EQ(platform::GetLastError(), platform::kErrorNotReady);
  std::int64_t written = -1;
  EXPECT_FALSE(missing.WriteAll(Bytes("data"), written));
  EXPECT_EQ(written, 0);
  EXPECT_FALSE(missing.SkipZeros(10));
  EXPECT_FALSE(missing.SetTimes(0));

  // A device that is always full: the write fails as a full disk would.
  fs::create_symlink("/dev/full", dir / "full.bin");
  platform::TOutputFile full(Path("full.bin"));
  ASSERT_TRUE(full.IsOpen());
  EXPECT_FALSE(full.WriteAll(Bytes(std::string(70000, 'z')), written));
  EXPECT_EQ(written, 0);
  EXPECT_EQ(platform::GetLastError(), platform::kErrorDiskFull);
}

}  // namespace
