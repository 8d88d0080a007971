// Deleted files in pieces on real FAT16 images: mtools allocates the first free clusters, so
// placeholder files written and deleted in turn make it lay a file out around others, as a
// camera writing two streams or a file grown while others were written leaves them. Every
// deleted file comes back byte for byte under its path; those read around others' clusters
// are marked rebuilt.

#include <gtest/gtest.h>

#include <functional>

#include "lowscan/imagecheck/ImageCheck.h"
#include "tests/fsscan/ScanFixture.h"

namespace {

using fsscantest::Payload;
using testsupport::FatImage;

constexpr std::size_t kCluster = 512;

std::string Clusters(std::size_t n, unsigned seed) { return Payload(n * kCluster - 100, seed); }

// A picture that decodes: the sample JPEG with comment segments of random bytes after its
// start marker, about `size` bytes long.
std::string PaddedJpeg(std::size_t size, unsigned seed) {
  const std::string sample = testsupport::ReadFileBytes(std::filesystem::path(TRELLMOND_SOURCE) / "tests" / "data" /
                                                        "samples" / "sample.jpg");
  std::string out = sample.substr(0, 2);
  std::size_t left = size - sample.size();
  while (left > 4) {
    const std::size_t chunk = std::min<std::size_t>(left - 4, 65533);
    out += "\xFF\xFE";
    out += static_cast<char>((chunk + 2) >> 8);
    out += static_cast<char>((chunk + 2) & 0xFF);
    out += Payload(chunk, seed++);
    left -= chunk + 4;
  }
  return out + sample.substr(2);
}

struct Deleted {
  std::string path, contents;
  bool rebuilt;
};

struct LayoutCase {
  const char* name;
  // Fills the image and returns the deleted files.
  std::function<std::vector<Deleted>(FatImage&)> make;
};

// Placeholders go into a folder of their own, made first; at the end the folder is deleted
// and a small live file takes its cluster, so no stale entry of a placeholder is left.
class Placeholders {
 public:
  explicit Placeholders(FatImage& image) : m_image(image) { m_image.MakeDir("/T"); }
  void Add(const std::string& name, std::size_t clusters) { m_image.AddFile("/T/" + name, Clusters(clusters, 99)); }
  void Remove(const std::string& name) { m_image.Delete("/T/" + name); }
  void Cover() {
    m_image.DeleteTree("/T");
    m_image.AddFile("/cover.txt", "x");
  }

 private:
  FatImage& m_image;
};

std::vector<Deleted> Interleaved(FatImage& image) {
  // One-cluster placeholders; deleting every other one before each file makes the two
  // files take the clusters in turns. Fourteen of them and the dot entries fill the
  // placeholders' folder's one cluster.
  const std::string a = PaddedJpeg(7 * kCluster - 50, 1), b = PaddedJpeg(7 * kCluster - 90, 50);
  Placeholders p(image);
  for (int i = 0; i < 14; ++i) p.Add(std::to_string(i), 1);
  for (int i = 0; i < 14; i += 2) p.Remove(std::to_string(i));
  image.AddFile("/DCIM/Photo 0001.jpg", a);
  for (int i = 1; i < 14; i += 2) p.Remove(std::to_string(i));
  image.AddFile("/DCIM/Photo 0001 preview.jpg", b);
  image.Delete("/DCIM/Photo 0001.jpg");
  image.Delete("/DCIM/Photo 0001 preview.jpg");
  p.Cover();
  return {{"/DCIM/Photo 0001.jpg", a, true}, {"/DCIM/Photo 0001 preview.jpg", b, true}};
}

std::vector<Deleted> ThreePieces(FatImage& image) {
  const std::string one = Clusters(1, 2), four = Clusters(4, 3), grown = Clusters(6, 4);
  Placeholders p(image);
  p.Add("1", 2);
  image.AddFile("/One cluster.txt", one);
  p.Add("2", 1);
  image.AddFile("/Four clusters.txt", four);
  p.Remove("1");
  p.Remove("2");
  image.AddFile("/Grown log.txt", grown);  // two clusters, one, then three past the four-cluster file
  for (const char* path : {"/One cluster.txt", "/Four clusters.txt", "/Grown log.txt"}) image.Delete(path);
  p.Cover();
  return {{"/One cluster.txt", one, false}, {"/Four clusters.txt", four, false}, {"/Grown log.txt", grown, true}};
}

std::vector<Deleted> PastASiblingInADeletedFolder(FatImage& image) {
  const std::string sibling = Clusters(3, 5), split = Clusters(4, 6);
  Placeholders p(image);
  image.MakeDir("/Old project");
  p.Add("1", 2);
  image.AddFile("/Old project/Sibling file.dat", sibling);
  p.Remove("1");
  image.AddFile("/Old project/Split file.dat", split);
  image.DeleteTree("/Old project");
  p.Cover();
  return {{"/Old project/Sibling file.dat", sibling, false}, {"/Old project/Split file.dat", split, true}};
}

std::vector<Deleted> UnfragmentedBesideALiveFile(FatImage& image) {
  const std::string gone = Clusters(3, 7);
  image.AddFile("/Gone file.txt", gone);
  image.AddFile("/Live file.txt", Clusters(2, 8));
  image.Delete("/Gone file.txt");
  return {{"/Gone file.txt", gone, false}};
}

std::string Log(const fsscantest::ScannerHarness& h) {
  std::string out;
  for (const auto& l : h.log) out += l.action + " " + l.message + "\n";
  return out;
}

class FragmentedDeletedFileTest : public testing::TestWithParam<LayoutCase> {};

TEST_P(FragmentedDeletedFileTest, EveryDeletedFileComesBackWhole) {
  testsupport::TempDir dir;
  FatImage image(dir.Path() / "card.img", {.fatBits = 16, .sizeKiB = 8192, .sectorsPerCluster = 1});
  image.MakeDir("/DCIM");
  const std::vector<Deleted> gone = GetParam().make(image);
  fsscantest::ScannerHarness harness(image.Path());
  harness.scanner.SetImageFilter("jpg");
  harness.scanner.OnImageCheck = [](fsscan::TMekFATScan* sender, util::TMemoryStream& image, const std::string& type,
                                    bool& ok) { lowscan::imagecheck::LowScanImageCheck(sender, image, type, ok); };
  harness.Scan(true);
  fsscantest::OutputDrive out;
  harness.scanner.SaveFilesToDisk(out.Folder("Back"));
  const auto files = fsscantest::FilesUnder(out.Posix("Back"));
  for (const Deleted& f : gone) {
    const std::string name = f.path.substr(f.path.rfind('/') + 1);
    const fsscan::FileNode* record = harness.Find(name);
    ASSERT_NE(record, nullptr) << f.path << "\n" << harness.Names() << Log(harness);
    EXPECT_EQ(record->Rebuilt, f.rebuilt) << f.path;
    const auto it = files.find(f.path.substr(1));
    ASSERT_NE(it, files.end()) << f.path;
    EXPECT_TRUE(it->second == f.contents) << f.path;
  }
}

INSTANTIATE_TEST_SUITE_P(Layouts, FragmentedDeletedFileTest,
                         testing::Values(LayoutCase{"TwoFilesInterleavedClusterByCluster", Interleaved},
                                         LayoutCase{"ThreePiecesAroundAOneAndAFourClusterFile", ThreePieces},
                                         LayoutCase{"InADeletedFolderPastASibling", PastASiblingInADeletedFolder},
                                         LayoutCase{"UnfragmentedBesideALiveFile", UnfragmentedBesideALiveFile}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
