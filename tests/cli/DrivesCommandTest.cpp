#include <gtest/gtest.h>
#include <sys/statvfs.h>

#include <sstream>

#include "tests/support/Command.h"
#include "tests/support/FatImage.h"
#include "tests/support/FsckFat.h"
#include "tests/support/TempDir.h"
#include "util/SizeText.h"
#include "util/Text.h"

namespace {

std::map<char, std::vector<std::string>> ParseDrives(const std::string& output) {
  std::map<char, std::vector<std::string>> drives;
  std::istringstream lines(output);
  std::string line;
  while (std::getline(lines, line)) {
    std::vector<std::string> fields;
    std::istringstream parts(line);
    std::string field;
    while (std::getline(parts, field, '\t')) fields.push_back(field);
    if (fields.size() == 11 && fields[0].size() == 2) drives[fields[0][0]] = fields;
  }
  return drives;
}

TEST(DrivesCommandTest, ShowsAttachedImagesAsFsckFatSeesThemAndTheRootAsDfDoes) {
  testsupport::TempDir dir;
  testsupport::FatImageOptions fat32;
  fat32.label = "CAMERA";
  fat32.volumeId = 0x5EED1234;
  testsupport::FatImage e(dir / "e.img", fat32);
  testsupport::FatImageOptions fat16;
  fat16.fatBits = 16;
  fat16.label = "STICK";
  fat16.volumeId = 0x00C0FFEE;
  testsupport::FatImage f(dir / "f.img", fat16);
  f.AddFile("/a.txt", std::string(70000, 'a'));

  const auto result = testsupport::RunCommand({testsupport::BuiltProgram("trellmond-cli"), "drives"},
                                              {{"TRELLMOND_DRIVES", "E=" + e.Path().string() + ";F=" + f.Path().string()}});
  ASSERT_EQ(result.exitCode, 0) << result.errors;
  const auto drives = ParseDrives(result.output);
  ASSERT_TRUE(drives.count('E') && drives.count('F') && drives.count('C')) << result.output;

  struct Expect {
    char letter;
    const testsupport::FatImage& image;
    const char *fs, *label, *serial;
  };
  for (const Expect& x : {Expect{'E', e, "FAT32", "CAMERA", "5EED1234"}, Expect{'F', f, "FAT", "STICK", "00C0FFEE"}}) {
    const auto& d = drives.at(x.letter);
    const auto fsck = testsupport::RunFsckFat(x.image.Path().string());
    EXPECT_EQ(d[1], "2");
    EXPECT_EQ(d[2], std::string(x.label) + " (" + x.letter + ":)");
    EXPECT_EQ(d[3], util::GetSizeDescription(static_cast<std::int64_t>(fsck.dataClusters * fsck.bytesPerCluster)));
    EXPECT_EQ(d[5], x.fs);
    EXPECT_EQ(d[6], x.label);
    EXPECT_EQ(d[7], x.serial);
    EXPECT_EQ(d[8], std::to_string(fsck.bytesPerSector));
    EXPECT_EQ(std::stoul(d[8]) * std::stoul(d[9]), fsck.bytesPerCluster);
    EXPECT_EQ(d[10], std::to_string(fsck.dataClusters));
  }
  struct statvfs vfs {};
  ASSERT_EQ(statvfs("/", &vfs), 0);
  const auto& c = drives.at('C');
  EXPECT_EQ(c[3], util::GetSizeDescription(static_cast<std::int64_t>(vfs.f_blocks * vfs.f_frsize)));
  // Free space moves while other programs write: allow one unit of the text's last digit.
  const std::string freeNow = util::GetSizeDescription(static_cast<std::int64_t>(vfs.f_bavail * vfs.f_frsize));
  auto number = [](const std::string& text) {
    std::string digits;
    for (char ch : text) {
      if (std::isdigit(static_cast<unsigned char>(ch))) digits.push_back(ch);
    }
    return std::stoll(digits);
  };
  EXPECT_EQ(c[4].substr(c[4].find(' ')), freeNow.substr(freeNow.find(' ')));
  EXPECT_LE(std::llabs(number(c[4]) - number(freeNow)), 1) << c[4] << " vs " << freeNow;
}

TEST(DrivesCommandTest, HelpAndUsage) {
  const auto help = testsupport::RunCommand({testsupport::BuiltProgram("trellmond-cli"), "--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.output.find("drives"), std::string::npos);
  EXPECT_EQ(testsupport::RunCommand({testsupport::BuiltProgram("trellmond-cli"), "frobnicate"}).exitCode, 1);
  EXPECT_EQ(testsupport::RunCommand({testsupport::BuiltProgram("trellmond-cli")}).exitCode, 1);
}

}  // namespace
