// The Undelete scan on real NTFS images made by mkntfs and filled through ntfs-3g:
// records found, their folders, and saving every deleted file byte for byte.

#include <gtest/gtest.h>

#include <atomic>

#include <algorithm>
#include <fstream>

#include "tests/fsscan/ScanFixture.h"
#include "tests/support/NtfsImage.h"

namespace {

using fsscantest::Payload;

struct Expected {
  std::string path;  // as saved: folder and name as they were ("file:stream" for a named stream)
  std::string contents;
  bool resident = false;
};

// Text that LZNT1 shrinks well but not to nothing.
std::string Compressible(std::size_t size) {
  std::string out;
  const std::string noise = Payload(4096, 77);
  for (std::size_t i = 0; out.size() < size; ++i) {
    out += "line " + std::to_string(i) + ": the quick brown fox ";
    out += noise.substr((i * 13) % 4000, i % 7);
  }
  out.resize(size);
  return out;
}

class NtfsCardTest : public testing::TestWithParam<std::uint32_t> {
 protected:
  void SetUp() override {
    if (!testsupport::NtfsImage::MountAvailable()) GTEST_SKIP() << "no FUSE here for ntfs-3g";
    image = std::make_unique<testsupport::NtfsImage>(dir / "card.ntfs",
                                                     testsupport::NtfsImageOptions{.clusterSize = GetParam()});
    std::string sparse = std::string(5000, 'A') + std::string(193000 - 5000, '\0') + std::string(7000, 'B');
    {
      testsupport::NtfsMount m(*image);
      m.MakeDir("Docs/Photos");
      m.MakeDir("Old/Sub");
      m.MakeDir("Packed");
      m.CompressFolder("Packed");
      Add(m, "tiny.txt", "hello resident", true);
      Add(m, "Docs/Photos/holiday.jpeg", Payload(300000, 1));
      Add(m, "Docs/report.doc", Payload(50000, 2));
      Add(m, "Docs/Photos/Ünïcødé ñame.txt", Payload(3000, 3));
      Add(m, "Old/old1.bin", Payload(9000, 4));
      Add(m, "Old/Sub/deep.txt", Payload(20000, 5));
      Add(m, "Packed/big.txt", Compressible(150000));
      Add(m, "Packed/mixed.bin", Compressible(40000) + Payload(70000, 6));
      {
        std::ofstream f(m / "sparse.bin", std::ios::binary);
        f.write(sparse.data(), 5000);
        f.seekp(193000);
        f.write(sparse.data() + 193000, 7000);
      }
      expected.push_back({"sparse.bin", sparse});
      Add(m, "ads.txt", Payload(12000, 7));
      m.Write("ads.txt:secret", "a hidden stream");
      expected.push_back({"ads.txt:secret", "a hidden stream", true});
      // A download's zone mark, a picture's large stream with runs of its own, an empty file.
      m.MakeDir("Downloads");
      Add(m, "Downloads/manual.pdf", Payload(30000, 21));
      m.Write("Downloads/manual.pdf:Zone.Identifier", "[ZoneTransfer]\r\nZoneId=3\r\n");
      expected.push_back({"Downloads/manual.pdf:Zone.Identifier", "[ZoneTransfer]\r\nZoneId=3\r\n", true});
      Add(m, "Docs/Photos/beach.jpg", Payload(8000, 22));
      m.Write("Docs/Photos/beach.jpg:thumbnail", Payload(20000, 23));
      expected.push_back({"Docs/Photos/beach.jpg:thumbnail", Payload(20000, 23)});
      Add(m, "Docs/empty note.txt", "", true);
      // With the volume filled and every other filler deleted, a file larger than one gap
      // has to be written in pieces.
      const std::uint32_t filler = GetParam() * 16;
      int fillers = 0;
      while (m.TryWrite("fill" + std::to_string(fillers), Payload(filler, 100 + fillers))) ++fillers;
      for (int i = 0; i < fillers; i += 2) m.Remove("fill" + std::to_string(i));
      // Larger than the zone ntfs-3g keeps free next to the $MFT, so it must go into the gaps.
      Add(m, "frag.bin", Payload(4 << 20, 8));
      m.Write("keep.txt", "still here, live");
      m.Write("keep.txt:live stream", "a live file's stream");
      for (const char* gone : {"tiny.txt", "Docs/Photos/holiday.jpeg", "Docs/report.doc", "Docs/Photos/Ünïcødé ñame.txt",
                               "Old", "Packed/big.txt", "Packed/mixed.bin", "sparse.bin", "ads.txt", "frag.bin",
                               "Downloads/manual.pdf", "Docs/Photos/beach.jpg", "Docs/empty note.txt"}) {
        m.Remove(gone);
      }
    }
    imageHash = testsupport::Sha256Of(image->Path());
  }

  void Add(testsupport::NtfsMount& m, const std::string& path, const std::string& contents, bool resident = false) {
    m.Write(path, contents);
    expected.push_back({path, contents, resident});
  }

  testsupport::TempDir dir;
  std::unique_ptr<testsupport::NtfsImage> image;
  std::vector<Expected> expected;
  std::string imageHash;
};

// Records other than the fillers, which later files partly overwrote.
std::size_t Listed(const fsscantest::ScannerHarness& h) {
  return static_cast<std::size_t>(std::count_if(h.scanner.FileList().begin(), h.scanner.FileList().end(),
                                                [](const auto& r) { return r->LongName.rfind("fill", 0) != 0; }));
}

// A stream's extension is its own name's, not its file's.
std::string ExtensionOf(const std::string& path) {
  const std::string name = path.substr(path.find_last_of("/:") + 1);
  const std::size_t dot = name.rfind('.');
  std::string ext = dot == std::string::npos ? "" : name.substr(dot + 1);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::toupper(c); });
  return ext;
}

std::string Windows(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return "\\" + path;
}

TEST_P(NtfsCardTest, ListsDeletedFilesWithFoldersSizesAndData) {
  fsscantest::ScannerHarness h(image->Path());
  h.Scan(true);
  EXPECT_TRUE(h.Logged("Disk Type: NTFS <br> Free Memory: ", "46"));
  EXPECT_TRUE(h.Logged("NTFS Boot Record Read", "47"));
  EXPECT_TRUE(h.Logged("FATScan Checkpoint: MFT DataRuns<br>Start / Count: ", "46"));
  EXPECT_TRUE(h.Logged("FATScan Checkpoint: ScanMFT", "46"));
  EXPECT_EQ(h.Find("keep.txt"), nullptr) << "live files are not listed";
  EXPECT_EQ(Listed(h), expected.size()) << h.Names();
  for (const Expected& e : expected) {
    const std::string name = e.path.substr(e.path.rfind('/') + 1);
    const std::string saved = Windows(e.path);
    const fsscan::FileNode* r = nullptr;
    for (const auto& rec : h.scanner.FileList()) {
      const std::string shown = rec->Dir + rec->LongName;
      if (saved.size() == shown.size() && std::equal(saved.begin(), saved.end(), shown.begin(), [](char a, char b) {
            return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
          })) {
        r = rec.get();
      }
    }
    ASSERT_NE(r, nullptr) << e.path << "\n" << h.Names();
    EXPECT_EQ(r->Size, static_cast<std::int64_t>(e.contents.size())) << e.path;
    EXPECT_EQ(r->Resident, e.resident) << e.path;
    EXPECT_EQ(r->Extension, ExtensionOf(e.path)) << e.path;
    EXPECT_GT(r->MFT, 15) << e.path;
    if (!e.resident) {
      ASSERT_TRUE(r->Clusters.has_value()) << e.path;
      EXPECT_EQ(r->FirstCluster, r->Clusters->front().StartCluster);
    }
  }
  const auto* frag = h.Find("frag.bin");
  ASSERT_NE(frag, nullptr);
  EXPECT_GT(frag->Clusters->size(), 1u) << "the file was meant to be fragmented";
  const auto* sparse = h.Find("sparse.bin");
  ASSERT_NE(sparse, nullptr);
  EXPECT_TRUE(std::any_of(sparse->Clusters->begin(), sparse->Clusters->end(), [](auto& c) { return c.Sparse; }));
  EXPECT_GT(h.Find("big.txt")->CompressionUnit, 0);
  // The reported names carry the drive and the folders, identifiers in list order.
  ASSERT_EQ(h.reported.size(), h.scanner.FileList().size());
  for (std::size_t i = 0; i < h.reported.size(); ++i) EXPECT_EQ(h.reported[i].id, std::to_string(i));
  EXPECT_TRUE(std::any_of(h.reported.begin(), h.reported.end(), [&](auto& r) {
    return r.fullName == std::string(1, h.letter) + ":\\Docs\\Photos\\holiday.jpeg" && r.extension == "JPEG";
  }));

  h.Scan(false);
  const auto* keep = h.Find("keep.txt");
  ASSERT_NE(keep, nullptr);
  EXPECT_EQ(keep->Dir, "\\");
  EXPECT_TRUE(keep->Resident);
  EXPECT_NE(h.Find("holiday.jpeg"), nullptr) << "deleted files stay listed with live ones";
  EXPECT_EQ(testsupport::Sha256Of(image->Path()), imageHash);
}

TEST_P(NtfsCardTest, SavesEveryDeletedFileByteForByteUnderItsFolder) {
  fsscantest::ScannerHarness h(image->Path());
  h.scanner.SetImageFilter("jpeg;txt");  // previews read resident, plain and compressed data
  std::atomic<bool> previewsMatch = true;  // checks may run on several workers
  h.scanner.OnImageCheck = [&](fsscan::TMekFATScan*, util::TMemoryStream& s, const std::string& type, bool& ok) {
    const std::string got(reinterpret_cast<const char*>(s.Memory()), static_cast<std::size_t>(s.Size()));
    if ((type == "TXT" && got.empty()) ||
        std::none_of(expected.begin(), expected.end(), [&](auto& e) { return e.contents == got; })) {
      previewsMatch = false;
    }
    ok = true;
  };
  h.Scan(true);
  EXPECT_TRUE(previewsMatch);
  fsscantest::OutputDrive out;
  const std::int64_t saved = h.scanner.SaveFilesToDisk(out.Folder("Recovered"));
  EXPECT_GE(saved, static_cast<std::int64_t>(expected.size()));
  auto files = fsscantest::FilesUnder(out.Posix("Recovered"));
  std::erase_if(files, [](const auto& f) { return f.first.rfind("fill", 0) == 0; });
  EXPECT_EQ(files.size(), expected.size());
  for (const Expected& e : expected) {
    const auto it = files.find(e.path);
    ASSERT_NE(it, files.end()) << e.path;
    EXPECT_TRUE(it->second == e.contents) << e.path << " differs";
  }
  EXPECT_TRUE(h.Logged("Resident File: ", "138"));
  EXPECT_EQ(testsupport::Sha256Of(image->Path()), imageHash);
}

TEST_P(NtfsCardTest, DamagedCompressedDataIsNotCountedAsSaved) {
  std::uint64_t record = 0;
  {
    // A live twin in a compressed folder tells where its clusters lie.
    testsupport::NtfsMount m(*image);
    m.MakeDir("Z");
    m.CompressFolder("Z");
    m.Write("Z/ruin.txt", Compressible(70000));
  }
  record = image->RecordNumber("/Z/ruin.txt");
  fsscantest::ScannerHarness h(image->Path());
  h.Scan(false, "TXT");
  const fsscan::FileNode* r = h.Find("ruin.txt");
  ASSERT_NE(r, nullptr);
  ASSERT_EQ(r->MFT, static_cast<std::int64_t>(record));
  ASSERT_GT(r->CompressionUnit, 0);
  // The first token of the first chunk made a back-reference with nothing before it.
  image->Patch(static_cast<std::uint64_t>(r->FirstCluster) * image->ClusterSize() + 2, std::string("\xFF", 1));
  const std::string hash = testsupport::Sha256Of(image->Path());
  h.Scan(false, "TXT");
  for (std::size_t i = 0; i < h.scanner.FileList().size(); ++i) {
    h.scanner.SetSaveFlag(h.scanner.FileList()[i]->LongName == "ruin.txt", static_cast<std::int64_t>(i));
  }
  fsscantest::OutputDrive out;
  EXPECT_EQ(h.scanner.SaveFilesToDisk(out.Folder("Recovered")), 0);
  EXPECT_TRUE(h.Logged("Problem decompressing file: ", "-30"));
  EXPECT_TRUE(h.Logged("Damaged LZNT1 data in the compression unit at file cluster 0", "-30"));
  EXPECT_TRUE(h.Logged("Problem saving file:<br>", "-30"));
  EXPECT_EQ(testsupport::Sha256Of(image->Path()), hash);
}

// Without a mount: files and streams put in by ntfscp, then deleted by clearing their records'
// in-use flags as a deletion does.
TEST(NtfsStreamTest, DeletedStreamsAndEmptyFilesComeBackBesideTheirFiles) {
  testsupport::TempDir dir;
  testsupport::NtfsImage image(dir / "s.ntfs");
  const std::string zone = "[ZoneTransfer]\r\nZoneId=3\r\nHostUrl=about:internet\r\n";
  image.AddFile("/notes.txt", Payload(7000, 1));
  image.AddStream("/notes.txt", "secret", Payload(9000, 2));
  image.AddStream("/notes.txt", "Zone.Identifier", zone);
  image.AddFile("/leer.txt", "");
  image.AddFile("/live.txt", "live");
  image.AddStream("/live.txt", "kept", "a live stream");
  for (const char* path : {"/notes.txt", "/leer.txt"}) image.MarkDeleted(image.RecordNumber(path));
  const std::string hash = testsupport::Sha256Of(image.Path());

  fsscantest::ScannerHarness h(image.Path());
  h.Scan(true);
  struct Want {
    std::string name, contents;
  };
  const std::vector<Want> wanted = {{"notes.txt", Payload(7000, 1)}, {"notes.txt:secret", Payload(9000, 2)},
                                    {"notes.txt:Zone.Identifier", zone}, {"leer.txt", ""}};
  EXPECT_EQ(h.Names(), "\\leer.txt\n\\notes.txt\n\\notes.txt:Zone.Identifier\n\\notes.txt:secret\n");
  const fsscan::FileNode* secret = h.Find("notes.txt:secret");
  ASSERT_NE(secret, nullptr);
  EXPECT_EQ(secret->Size, 9000);
  EXPECT_EQ(secret->MFT, h.Find("notes.txt")->MFT);
  ASSERT_TRUE(secret->Clusters.has_value()) << "a stream this large has runs of its own";
  EXPECT_NE(secret->FirstCluster, h.Find("notes.txt")->FirstCluster);
  EXPECT_EQ(h.Find("notes.txt:Zone.Identifier")->Extension, "IDENTIFIER");
  EXPECT_EQ(h.Find("notes.txt:secret")->Extension, "");

  fsscantest::OutputDrive out;
  EXPECT_EQ(h.scanner.SaveFilesToDisk(out.Folder("Back")), static_cast<std::int64_t>(wanted.size()));
  const auto files = fsscantest::FilesUnder(out.Posix("Back"));
  EXPECT_EQ(files.size(), wanted.size());
  for (const Want& w : wanted) {
    const auto it = files.find(w.name);
    ASSERT_NE(it, files.end()) << w.name;
    EXPECT_TRUE(it->second == w.contents) << w.name;
  }
  EXPECT_EQ(testsupport::Sha256Of(image.Path()), hash);
}

INSTANTIATE_TEST_SUITE_P(ClusterSizes, NtfsCardTest, testing::Values(4096u, 512u),
                         [](const auto& info) { return "Cluster" + std::to_string(info.param); });

}  // namespace
