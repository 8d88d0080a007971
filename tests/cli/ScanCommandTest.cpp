#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "tests/support/Command.h"
#include "tests/support/FatImage.h"
#include "tests/support/TempDir.h"

namespace {

testsupport::CommandResult Cli(const std::vector<std::string>& args, const std::string& drives = "") {
  std::vector<std::string> argv = {testsupport::BuiltProgram("trellmond-cli")};
  argv.insert(argv.end(), args.begin(), args.end());
  return testsupport::RunCommand(argv, {{"TRELLMOND_DRIVES", drives}});
}

class ScanCommandTest : public testing::Test {
 protected:
  void SetUp() override {
    photo = testsupport::ReadFileBytes(std::filesystem::path(TRELLMOND_SOURCE_DIR) / "tests/data/samples/sample.jpg");
    ASSERT_FALSE(photo.empty());
    image = std::make_unique<testsupport::FatImage>(dir / "card.img");
    image->MakeDir("/DCIM");
    image->AddFile("/DCIM/Beach day.jpg", photo, 1120000000);
    image->AddFile("/DCIM/kept.jpg", photo, 1120000000);
    image->AddFile("/DCIM/broken.jpg", std::string(3000, 'k'), 1120000000);  // not a picture
    image->AddFile("/notes.txt", std::string(2000, 'n'), 1120000000);
    image->Delete("/DCIM/Beach day.jpg");
  }
  std::string photo;
  testsupport::TempDir dir;
  std::unique_ptr<testsupport::FatImage> image;
};

TEST_F(ScanCommandTest, ScansSavesAndReports) {
  const auto out = dir / "out";
  const auto report = dir / "report.json";
  const auto r = Cli({"scan", image->Path().string(), "--undelete", "--out", out.string(), "--report", report.string()});
  ASSERT_EQ(r.exitCode, 0) << r.errors;
  EXPECT_NE(r.output.find("Found 1 files, saved 1 files in "), std::string::npos) << r.output;
  EXPECT_TRUE(testsupport::ReadFileBytes(out / "DCIM" / "Beach day.jpg") == photo);
  const auto json = nlohmann::json::parse(testsupport::ReadFileBytes(report));
  ASSERT_EQ(json.size(), 1u);
  const auto& f = json[0];
  EXPECT_EQ(f["scan"], "Undelete");
  EXPECT_EQ(f["id"], "F0");
  EXPECT_EQ(f["directory"], "\\DCIM\\");
  EXPECT_EQ(f["size"], photo.size());
  EXPECT_EQ(f["firstCluster"], image->Clusters("/DCIM").at(0).first + 1);
  EXPECT_EQ(f["saved"], true);
  EXPECT_EQ(f["outputPath"], (out / "DCIM" / "Beach day.jpg").string());
  EXPECT_TRUE(f["date"].is_string());
  EXPECT_TRUE(f["origin"].is_null());
  EXPECT_NE(f["fullName"].get<std::string>().find(":\\DCIM\\Beach day.jpg"), std::string::npos);

  // Live files too, pictures only; the one that does not decode is dropped by the picture
  // check, but said and counted: the verbose log names it, the summary counts it.
  const auto all = Cli({"scan", image->Path().string(), "--all", "--types", "jpg", "--verbose"});
  EXPECT_EQ(all.exitCode, 0);
  EXPECT_NE(all.output.find("Found 3 files, saved 0 files"), std::string::npos) << all.output;
  EXPECT_NE(all.output.find("; 1 dropped: no decodable picture"), std::string::npos) << all.output;
  EXPECT_NE(all.errors.find("dropped: no decodable picture: \\DCIM\\broken.jpg"), std::string::npos) << all.errors;
  // Saving all of them cannot save the dropped one: the report names it, the exit code says so.
  const auto allOut = dir / "all";
  const auto saveAll = Cli({"scan", image->Path().string(), "--all", "--types", "jpg", "--out", allOut.string(),
                            "--report", report.string()});
  EXPECT_EQ(saveAll.exitCode, 3) << saveAll.errors;
  EXPECT_NE(saveAll.output.find("Found 3 files, saved 2 files"), std::string::npos) << saveAll.output;
  const auto listed = nlohmann::json::parse(testsupport::ReadFileBytes(report));
  ASSERT_EQ(listed.size(), 3u);
  EXPECT_EQ(listed[2]["dropped"], "no decodable picture");
  EXPECT_EQ(listed[2]["saved"], false);
  EXPECT_NE(listed[2]["fullName"].get<std::string>().find(":\\DCIM\\broken.jpg"), std::string::npos);
  EXPECT_TRUE(listed[0]["dropped"].is_null());
}

TEST_F(ScanCommandTest, AQuickFormattedCardsPhotosComeBackBelowLostFolders) {
  image->QuickFormat();
  const auto out = dir / "out";
  const auto report = dir / "report.json";
  const auto dfxml = dir / "report.xml";
  const auto r = Cli({"scan", image->Path().string(), "--out", out.string(), "--report", report.string(), "--dfxml",
                      dfxml.string()});
  // broken.jpg is no picture: dropped, counted and not saved, so the exit code says so.
  ASSERT_EQ(r.exitCode, 3) << r.errors;
  EXPECT_NE(r.output.find("Found 3 files, saved 2 files in "), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("; 1 dropped: no decodable picture"), std::string::npos) << r.output;
  EXPECT_NE(testsupport::ReadFileBytes(dfxml).find("origin>lost folder</"), std::string::npos);
  const auto lost = out / "Lost folders" / "Lost folder 1";
  EXPECT_TRUE(testsupport::ReadFileBytes(lost / "kept.jpg") == photo);
  EXPECT_TRUE(testsupport::ReadFileBytes(lost / "Beach day.jpg") == photo);
  for (const auto& f : nlohmann::json::parse(testsupport::ReadFileBytes(report))) {
    if (!f["dropped"].is_null()) continue;
    EXPECT_EQ(f["origin"], "lost folder");
    EXPECT_EQ(f["directory"], "\\Lost folders\\Lost folder 1\\");
  }
}

TEST_F(ScanCommandTest, RefusesWhatItCannotDo) {
  struct Case {
    const char* what;
    std::vector<std::string> args;
    std::string drives;
    int exitCode;
  };
  const std::string img = image->Path().string();
  std::filesystem::create_directories(dir / "writable");
  const std::vector<Case> cases = {
      {"no source", {"scan"}, "", 1},
      {"unknown option", {"scan", img, "--frobnicate"}, "", 1},
      {"missing value", {"scan", img, "--out"}, "", 1},
      {"missing image", {"scan", (dir / "nothing.img").string()}, "", 2},
      {"letter not in use", {"scan", "Q:"}, "", 2},
      {"output on the scanned drive", {"scan", "R:", "--out", (dir / "writable").string()},
       "R=" + (dir / "writable").string(), 3},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Cli(c.args, c.drives).exitCode, c.exitCode) << c.what;
  }
  const auto help = Cli({"--help"});
  EXPECT_NE(help.output.find("--report FILE"), std::string::npos);
}

}  // namespace
