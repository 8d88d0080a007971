// Saving carved files and the list operations around it, on an attached image.

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "CatalogueSupport.h"
#include "lowscan/MekLowScan.h"
#include "platform/DriveTable.h"
#include "tests/support/TempDir.h"

namespace lowscan {
namespace {

class ScriptedPrompt : public util::DefaultPrompt {
 public:
  util::PromptAnswer Ask(std::string_view, std::string_view text, util::PromptButtons buttons,
                         util::PromptIcon) override {
    questions.emplace_back(text);
    EXPECT_EQ(buttons, util::PromptButtons::YesNoYesToAll);
    const util::PromptAnswer answer = answers.empty() ? util::PromptAnswer::No : answers.front();
    if (!answers.empty()) answers.erase(answers.begin());
    return answer;
  }
  std::vector<util::PromptAnswer> answers;
  std::vector<std::string> questions;
};

class LowSave : public ::testing::Test {
 protected:
  void SetUp() override {
    std::mt19937 random(8);
    std::string image(1024 * 1024, '\0');
    for (char& c : image) c = static_cast<char>(random() & 0xFF);
    for (const auto& s : testing::Samples()) {
      const std::string name = s.path.filename().string();
      if (name == "sample.jpg") image.replace(0, s.bytes.size(), s.bytes), image.replace(65536, s.bytes.size(), s.bytes);
      if (name == "sample.png") image.replace(32768, s.bytes.size(), s.bytes);
    }
    testsupport::WriteFileBytes(m_temp.Path() / "card.img", image);
    m_letter = platform::DriveTable::Instance().Attach((m_temp.Path() / "card.img").string());
    std::filesystem::create_directories(m_temp.Path() / "out");
    m_out = platform::DriveTable::Instance().Attach((m_temp.Path() / "out").string());
  }

  void Scan(TMekLowScan& scan, std::vector<std::string>& logs) {
    scan.SetDrive(m_letter);
    scan.SetLowFileTypes({"jpg;0;JPG", "png;0;PNG"});
    scan.OnGetFileData = [](TMekLowScan*, std::vector<std::string>& data) { data = testing::CatalogueDetails(); };
    scan.OnLogNotify = [&](TMekLowScan*, const std::string& m, const std::string& a) { logs.push_back(a + " " + m); };
    ASSERT_TRUE(scan.ScanDrive());
    ASSERT_EQ(scan.GetFoundNumber(), 3);
  }

  std::string Folder() const { return std::string(1, m_out) + ":\\\\"; }  // a drive root with a doubled backslash

  testsupport::TempDir m_temp;
  char m_letter = 0;
  char m_out = 0;
};

TEST_F(LowSave, SelectionCountsAndTypeSummary) {
  TMekLowScan scan;
  std::vector<std::string> logs;
  Scan(scan, logs);
  const auto& files = scan.FileList();
  const auto span = [&](int i) { return files[i]->EndPos - files[i]->StartPos; };
  // Everything is selected right after a scan; each file ends where its
  // structure ends, and the bytes behind it belong to no file.
  EXPECT_EQ(scan.GetSaveSize(1), span(0) + span(1) + span(2));
  EXPECT_EQ(span(0), 650);
  EXPECT_EQ(span(2), 650);
  EXPECT_EQ(scan.GetTypesFound(), "JPG:2 PNG:1");
  scan.SetSaveFlag(false, 1);
  scan.SetSaveFlag(false, 3);  // beyond the list: nothing
  EXPECT_EQ(scan.GetSelectedNumber(), 2);
  EXPECT_EQ(scan.GetTypesSaved(), "JPG:2");
  EXPECT_EQ(scan.GetSaveSize(1), span(0) + span(2));
  EXPECT_EQ(scan.GetSaveSize(0), 0);
  EXPECT_EQ(scan.GetSaveSize(7), 0);
  EXPECT_EQ(scan.SaveFileList(Folder()), 2);
  EXPECT_EQ(scan.GetSavedNumber(), 2);
  EXPECT_EQ(scan.GetSelectedNumber(), 0);
  EXPECT_EQ(scan.GetSaveSize(0), span(0) + span(2));
  EXPECT_TRUE(std::filesystem::exists(m_temp.Path() / "out" / "file_1.jpg"));
  EXPECT_FALSE(std::filesystem::exists(m_temp.Path() / "out" / "file_2.png"));
  // Saved files are not saved again.
  scan.SetAllSaveFlags(true);
  EXPECT_EQ(scan.SaveFileList(Folder()), 1);
  EXPECT_EQ(logs.back().rfind("135 ", 0), 0u) << logs.back();
}

TEST_F(LowSave, ExistingFilesAreOverwrittenOnlyWhenTheUserSaysSo) {
  std::vector<std::string> logs;
  {
    TMekLowScan first;
    Scan(first, logs);
    EXPECT_EQ(first.SaveFileList(Folder()), 3);
  }
  testsupport::WriteFileBytes(m_temp.Path() / "out" / "file_1.jpg", "old");
  testsupport::WriteFileBytes(m_temp.Path() / "out" / "file_2.png", "old");
  TMekLowScan second;
  ScriptedPrompt prompt;
  prompt.answers = {util::PromptAnswer::No, util::PromptAnswer::YesToAll};
  second.SetPrompt(&prompt);
  std::vector<std::int64_t> savedCounts;
  second.OnFilesSavedNotify = [&](TMekLowScan*, std::int64_t n) { savedCounts.push_back(n); };
  logs.clear();
  Scan(second, logs);
  EXPECT_EQ(second.SaveFileList(Folder()), 2);
  ASSERT_EQ(prompt.questions.size(), 2u);  // "Yes to All" asks no more
  EXPECT_EQ(prompt.questions[0], "File: " + std::string(1, m_out) + ":\\file_1.jpg already exists. Overwrite?");
  EXPECT_TRUE(second.GetOverwriteFiles());
  EXPECT_EQ(testsupport::ReadFileBytes(m_temp.Path() / "out" / "file_1.jpg"), "old");
  EXPECT_NE(testsupport::ReadFileBytes(m_temp.Path() / "out" / "file_2.png"), "old");
  EXPECT_EQ(savedCounts, (std::vector<std::int64_t>{1, 2}));
  bool notOverwritten = false;
  for (const auto& line : logs) notOverwritten = notOverwritten || line.find("137 File: ") == 0;
  EXPECT_TRUE(notOverwritten);
  EXPECT_FALSE(second.FileList()[0]->Saved);
}

}  // namespace
}  // namespace lowscan
