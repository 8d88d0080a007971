// The record list and the directory tree.

#include <gtest/gtest.h>

#include "fsscan/MekFATScan.h"
#include "fsscan/SafeNames.h"

namespace {

std::unique_ptr<fsscan::FileNode> Record(const std::string& extension, std::int64_t size) {
  auto r = std::make_unique<fsscan::FileNode>();
  r->Extension = extension;
  r->LongName = "f." + extension;
  r->Size = size;
  return r;
}

TEST(RecordListTest, CountersSizesAndTypeSummary) {
  fsscan::TMekFATScan scanner;
  EXPECT_EQ(scanner.GetTypes(false), "");
  EXPECT_EQ(scanner.GetSaveSize(1), 0);
  auto& list = scanner.MutableFileList();
  list.push_back(Record("JPG", 100));
  list.push_back(Record("doc", 200));
  list.push_back(Record("jpg", 300));
  list.push_back(Record("", 5));
  list.push_back(Record("MY EXT", 7));
  EXPECT_EQ(scanner.GetTypesFound(), "JPG:2 DOC:1 :1 \"MY EXT:1\"");
  EXPECT_EQ(scanner.GetSaveSize(1), 612);
  scanner.SetSaveFlag(false, 1);
  scanner.SetSaveFlag(false, 5);  // past the end: nothing changes
  scanner.SetSaveFlag(false, -1);
  EXPECT_EQ(scanner.GetTypesSaved(), "JPG:2 :1 \"MY EXT:1\"");
  EXPECT_EQ(scanner.GetSelectedNumber(), 4);
  list[0]->Saved = true;
  EXPECT_EQ(scanner.GetSavedNumber(), 1);
  EXPECT_EQ(scanner.GetSaveSize(0), 100);
  EXPECT_EQ(scanner.GetSaveSize(1), 312);
  EXPECT_EQ(scanner.GetSaveSize(2), 0);
  scanner.SetAllSaveFlags(false);
  EXPECT_EQ(scanner.GetSelectedNumber(), 0);
}

TEST(RecordListTest, DumpStopsAfter2001Records) {
  fsscan::TMekFATScan scanner;
  std::vector<std::string> memo;
  scanner.SetDebugMemo(&memo);
  for (int i = 0; i < 5000; ++i) scanner.MutableFileList().push_back(Record("JPG", i));
  scanner.MutableFileList()[0]->Clusters = std::vector<fsscan::ClusterNode>{{7, 3, false, ""}};
  scanner.DebugFilelist();
  EXPECT_EQ(std::count(memo.begin(), memo.end(), std::string(53, '-')), 2001);
  EXPECT_EQ(memo[1], "ID:           0");
  EXPECT_EQ(memo[12], "       FirstCluster: 7");
  EXPECT_EQ(memo[13], "         # Clusters: 3");
}

TEST(DirectoryTreeTest, PathsFromTheTopDown) {
  fsscan::TMekFATScan scanner;
  scanner.AddToBTree(".", 5, 5);
  scanner.AddToBTree("Documents", 5, 40);
  scanner.AddToBTree("Photos", 40, 41);
  scanner.AddToBTree("Renamed", 5, 41);  // the first directory with a key keeps it
  scanner.AddToBTree("Loop A", 61, 60);
  scanner.AddToBTree("Loop B", 60, 61);
  EXPECT_EQ(scanner.GetDirPath(41), "\\Documents\\Photos\\");
  EXPECT_EQ(scanner.GetDirPath(5), "\\");
  EXPECT_EQ(scanner.GetDirPath(999), "\\");
  EXPECT_EQ(scanner.GetDirPath(60), "\\Loop B\\Loop A\\");  // a loop ends at the repeated node
  EXPECT_EQ(scanner.FindNode(41)->Name, "Photos");
  // A chain of 50,000 directories, inserted in ascending order as an MFT delivers them.
  for (std::int64_t k = 100; k < 50100; ++k) scanner.AddToBTree("d", k == 100 ? 5 : k - 1, k);
  EXPECT_EQ(scanner.GetDirPath(50099).size(), 1 + 50000 * 2u);
  scanner.DeleteBTree();
  EXPECT_EQ(scanner.FindNode(41), nullptr);
}

TEST(SafeNamesTest, NamesFromTheMediumStayInsideTheOutputFolder) {
  struct Case {
    const char* in;
    const char* out;
  };
  for (const Case c : {Case{"photo.jpg", "photo.jpg"}, Case{"..", "_.."}, Case{".", "_."}, Case{"", "_"},
                       Case{"a/b", "a_b"}, Case{"a\\b", "a_b"}, Case{"tab\there", "tab_here"},
                       Case{"trailing.", "trailing."}, Case{"Grüße", "Grüße"}, Case{"...", "..."}}) {
    EXPECT_EQ(fsscan::SafeName(c.in), c.out) << c.in;
  }
  EXPECT_EQ(fsscan::SafeDirectory("\\DCIM\\..\\..\\x\\"), "\\DCIM\\_..\\_..\\x\\");
  EXPECT_EQ(fsscan::SafeDirectory("\\"), "\\");
  EXPECT_EQ(fsscan::SafeDirectory("\\\\a\\\\"), "\\a\\");
}

}  // namespace
