// trellmond-cli scan --dfxml: the report validates against the DFXML schema, and every
// saved file is exactly the bytes its byte runs name on the image, with the hashes given.

#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <regex>

#include "tests/support/Command.h"
#include "tests/support/FatImage.h"
#include "tests/support/NtfsImage.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;

struct ByteRun {
  std::int64_t fileOffset = -1;
  std::int64_t imageOffset = -1;
  std::int64_t length = 0;
  std::string fill, type;
};

struct FileObject {
  std::string filename, scan, saved, savedPath, md5, sha1;
  std::int64_t size = 0;
  bool compressed = false;
  std::vector<ByteRun> runs;
};

struct Report {
  std::string program, version, image;
  std::vector<FileObject> files;
};

using Doc = std::unique_ptr<xmlDoc, decltype(&xmlFreeDoc)>;
using Context = std::unique_ptr<xmlXPathContext, decltype(&xmlXPathFreeContext)>;
using Result = std::unique_ptr<xmlXPathObject, decltype(&xmlXPathFreeObject)>;

std::string Text(xmlNode* node) {
  xmlChar* content = xmlNodeGetContent(node);
  std::string text = content ? reinterpret_cast<const char*>(content) : "";
  xmlFree(content);
  return text;
}

std::string Attribute(xmlNode* node, const char* name) {
  xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
  std::string text = value ? reinterpret_cast<const char*>(value) : "";
  xmlFree(value);
  return text;
}

std::vector<xmlNode*> Select(xmlXPathContext* xpath, xmlNode* from, const char* path) {
  xpath->node = from;
  Result result(xmlXPathEvalExpression(reinterpret_cast<const xmlChar*>(path), xpath), &xmlXPathFreeObject);
  std::vector<xmlNode*> nodes;
  if (result && result->nodesetval) {
    for (int i = 0; i < result->nodesetval->nodeNr; ++i) nodes.push_back(result->nodesetval->nodeTab[i]);
  }
  return nodes;
}

std::string One(xmlXPathContext* xpath, xmlNode* from, const char* path) {
  const auto nodes = Select(xpath, from, path);
  return nodes.empty() ? std::string{} : Text(nodes[0]);
}

Report ParseReport(const fs::path& file) {
  Doc doc(xmlReadFile(file.c_str(), nullptr, XML_PARSE_NONET), &xmlFreeDoc);
  if (!doc) throw std::runtime_error("not XML: " + file.string());
  Context xpath(xmlXPathNewContext(doc.get()), &xmlXPathFreeContext);
  xmlXPathRegisterNs(xpath.get(), BAD_CAST "d",
                     BAD_CAST "http://www.forensicswiki.org/wiki/Category:Digital_Forensics_XML");
  xmlXPathRegisterNs(xpath.get(), BAD_CAST "t", BAD_CAST "https://trellmond.example/dfxml/1.0");
  xmlNode* root = xmlDocGetRootElement(doc.get());
  Report report;
  report.program = One(xpath.get(), root, "/d:dfxml/d:creator/d:program");
  report.version = One(xpath.get(), root, "/d:dfxml/d:creator/d:version");
  report.image = One(xpath.get(), root, "/d:dfxml/d:source/d:image_filename");
  for (xmlNode* node : Select(xpath.get(), root, "/d:dfxml/d:fileobject")) {
    FileObject f;
    f.filename = One(xpath.get(), node, "d:filename");
    f.size = std::stoll(One(xpath.get(), node, "d:filesize"));
    f.compressed = One(xpath.get(), node, "d:compressed") == "1";
    f.scan = One(xpath.get(), node, "t:scan");
    f.saved = One(xpath.get(), node, "t:saved");
    f.savedPath = One(xpath.get(), node, "t:saved_path");
    f.md5 = One(xpath.get(), node, "d:hashdigest[@type='md5']");
    f.sha1 = One(xpath.get(), node, "d:hashdigest[@type='sha1']");
    for (xmlNode* run : Select(xpath.get(), node, "d:byte_runs/d:byte_run")) {
      ByteRun r;
      const auto number = [&](const char* name) {
        const std::string text = Attribute(run, name);
        return text.empty() ? std::int64_t{-1} : std::stoll(text);
      };
      r.fileOffset = number("file_offset");
      r.imageOffset = number("img_offset");
      r.length = number("len");
      r.fill = Attribute(run, "fill");
      r.type = Attribute(run, "type");
      f.runs.push_back(r);
    }
    report.files.push_back(std::move(f));
  }
  return report;
}

std::string ImageBytes(const fs::path& image, std::int64_t offset, std::int64_t length) {
  std::ifstream in(image, std::ios::binary);
  in.seekg(offset);
  std::string bytes(static_cast<std::size_t>(length), '\0');
  in.read(bytes.data(), length);
  return bytes;
}

std::string Digest(const char* tool, const std::string& path) {
  const std::string line = testsupport::RunOrThrow({tool, path});
  return line.substr(0, line.find(' '));
}

// The saved copy rebuilt from the image by the runs; false when a run's bytes are not on the
// image (resident data).
bool RebuildFromRuns(const fs::path& image, const FileObject& f, std::string& bytes) {
  for (const ByteRun& run : f.runs) {
    EXPECT_EQ(run.fileOffset, static_cast<std::int64_t>(bytes.size())) << f.filename;
    if (run.type == "resident") return false;
    if (run.fill == "0") {
      EXPECT_EQ(run.imageOffset, -1) << f.filename;
      bytes.append(static_cast<std::size_t>(run.length), '\0');
    } else {
      bytes += ImageBytes(image, run.imageOffset, run.length);
    }
  }
  return true;
}

struct Case {
  const char* name;
  std::function<fs::path(const fs::path& dir)> makeImage;
  std::vector<std::string> scanArgs;
  std::size_t multiRunFilesAtLeast;  // files in more than one run
  bool expectResident;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

std::string Payload(std::size_t size, int seed) {
  std::string out(size, '\0');
  std::uint32_t x = 2463534242u + static_cast<std::uint32_t>(seed);
  for (char& c : out) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<char>(x);
  }
  return out;
}

// A FAT32 card whose live file lies in two pieces (a file freed between two others, then a
// larger one written into its gap and on past the next), and a deleted photo.
fs::path FragmentedFatCard(const fs::path& dir) {
  testsupport::FatImage image(dir / "card.img", {.fatBits = 32, .sizeKiB = 40 * 1024, .sectorsPerCluster = 1});
  const std::string photo =
      testsupport::ReadFileBytes(fs::path(TRELLMOND_SOURCE_DIR) / "tests/data/samples/sample.jpg");
  image.AddFile("/gap.bin", Payload(3 * 512, 1), 1120000000);
  image.AddFile("/wall.bin", Payload(2 * 512, 2), 1120000000);
  image.Delete("/gap.bin");
  image.ForgetNextFreeCluster();
  image.AddFile("/pieces.bin", Payload(7 * 512 + 100, 3), 1120000000);
  image.MakeDir("/DCIM");
  image.AddFile("/DCIM/beach.jpg", photo, 1120000000);
  image.Delete("/DCIM/beach.jpg");
  return image.Path();
}

// The same card as the one partition of a disk image, 1 MiB in: the runs are offsets on the disk image.
fs::path PartitionedFatCard(const fs::path& dir) {
  const fs::path card = FragmentedFatCard(dir), disk = dir / "disk.img";
  const std::string size = std::to_string(fs::file_size(card) + (2 << 20));
  testsupport::RunOrThrow({"truncate", "-s", size, disk.string()});
  testsupport::RunOrThrow({"sh", "-c", "echo 'start=2048, type=c' | sfdisk --quiet \"$0\"", disk.string()});
  testsupport::RunOrThrow({"dd", "if=" + card.string(), "of=" + disk.string(), "bs=1M", "seek=1", "conv=notrunc",
                           "status=none"});
  fs::remove(card);
  return disk;
}

// A camera card for the Low Level Scan: sample pictures in a quick-formatted FAT16 card.
fs::path CarvingCard(const fs::path& dir) {
  testsupport::FatImage image(dir / "carve.img", {.fatBits = 16});
  for (const char* sample : {"sample.jpg", "sample.png", "sample.gif"}) {
    image.AddFile(std::string("/") + sample,
                  testsupport::ReadFileBytes(fs::path(TRELLMOND_SOURCE_DIR) / "tests/data/samples" / sample));
    image.Delete(std::string("/") + sample);
  }
  return image.Path();
}

// An NTFS card with deleted resident, sparse, compressed and fragmented files.
fs::path NtfsCard(const fs::path& dir) {
  testsupport::NtfsImage image(dir / "card.ntfs", {.sizeMiB = 16, .clusterSize = 4096});
  {
    testsupport::NtfsMount m(image);
    m.Write("tiny.txt", "hello resident");
    m.Write("notes.doc", Payload(70000, 4));
    m.MakeDir("Packed");
    m.CompressFolder("Packed");
    m.Write("Packed/text.txt", std::string(60000, 'z') + Payload(20000, 5));
    {
      std::ofstream f(m / "sparse.txt", std::ios::binary);
      f.write("AAAA", 4);
      f.seekp(200000);
      f.write("BBBB", 4);
    }
    int fillers = 0;
    while (fillers < 400 && m.TryWrite("fill" + std::to_string(fillers), Payload(64 * 1024, 100 + fillers))) ++fillers;
    for (int i = 0; i < fillers; i += 2) m.Remove("fill" + std::to_string(i));
    // Larger than any gap the removed fillers left.
    m.Write("frag.doc", Payload(1 << 20, 6));
    for (const char* gone : {"tiny.txt", "notes.doc", "Packed/text.txt", "sparse.txt", "frag.doc"}) m.Remove(gone);
  }
  return image.Path();
}

class DfxmlReportTest : public testing::TestWithParam<Case> {};

TEST_P(DfxmlReportTest, ValidatesAndItsRunsAreTheSavedBytes) {
  const Case& c = GetParam();
  if (std::string(c.name) == "ntfs" && !testsupport::NtfsImage::MountAvailable()) {
    GTEST_SKIP() << "no FUSE here for ntfs-3g";
  }
  testsupport::TempDir dir;
  const fs::path image = c.makeImage(dir.Path());
  const std::string imageHash = testsupport::Sha256Of(image);
  const fs::path out = dir / "out", report = dir / "report.xml";
  std::vector<std::string> argv = {testsupport::BuiltProgram("trellmond-cli"), "scan", image.string()};
  argv.insert(argv.end(), c.scanArgs.begin(), c.scanArgs.end());
  for (const std::string& more : {std::string("--out"), out.string(), std::string("--dfxml"), report.string()}) {
    argv.push_back(more);
  }
  const auto run = testsupport::RunCommand(argv);
  ASSERT_EQ(run.exitCode, 0) << run.errors;
  EXPECT_EQ(testsupport::Sha256Of(image), imageHash);

  const auto valid = testsupport::RunCommand(
      {"xmllint", "--noout", "--schema", TRELLMOND_SOURCE_DIR "/tests/data/dfxml/dfxml.xsd", report.string()});
  EXPECT_EQ(valid.exitCode, 0) << valid.errors;

  const Report parsed = ParseReport(report);
  EXPECT_EQ(parsed.program, "trellmond-cli");
  EXPECT_FALSE(parsed.version.empty());
  EXPECT_EQ(parsed.image, image.string());
  std::smatch found;
  ASSERT_TRUE(std::regex_search(run.output, found, std::regex("Found (\\d+) files"))) << run.output;
  ASSERT_EQ(parsed.files.size(), std::stoul(found[1])) << run.output;
  EXPECT_FALSE(parsed.files.empty());

  std::size_t multiRun = 0, resident = 0, sparse = 0;
  for (const FileObject& f : parsed.files) {
    SCOPED_TRACE(f.filename);
    EXPECT_FALSE(f.filename.empty());
    EXPECT_NE(f.filename[0], '/');
    EXPECT_EQ(f.saved, "1");
    ASSERT_FALSE(f.savedPath.empty());
    ASSERT_TRUE(fs::exists(f.savedPath));
    EXPECT_EQ(f.md5, Digest("md5sum", f.savedPath));
    EXPECT_EQ(f.sha1, Digest("sha1sum", f.savedPath));
    const std::string saved = testsupport::ReadFileBytes(f.savedPath);
    EXPECT_EQ(static_cast<std::int64_t>(saved.size()), f.size);
    if (f.runs.size() > 1) ++multiRun;
    sparse += static_cast<std::size_t>(std::count_if(f.runs.begin(), f.runs.end(), [](const ByteRun& r) { return r.fill == "0"; }));
    if (f.compressed) continue;  // the runs hold the stored clusters, not the file's bytes
    std::string rebuilt;
    if (!RebuildFromRuns(image, f, rebuilt)) {
      ++resident;
      continue;
    }
    EXPECT_TRUE(rebuilt == saved) << "rebuilt " << rebuilt.size() << " bytes";
  }
  EXPECT_GE(multiRun, c.multiRunFilesAtLeast);
  EXPECT_EQ(resident > 0, c.expectResident);
  EXPECT_EQ(sparse > 0, c.expectResident);  // the NTFS card holds both
}

const Case kCases[] = {
    {"fat_live_and_deleted", FragmentedFatCard, {"--undelete", "--all"}, 1, false},
    {"partition_of_a_disk", PartitionedFatCard, {"--undelete", "--all"}, 1, false},
    {"low_level", CarvingCard, {"--low", "--types", "jpg,png,gif"}, 0, false},
    // The deleted fillers (no extension) are left out.
    {"ntfs", NtfsCard, {"--undelete", "--types", "doc,txt"}, 1, true},
};

INSTANTIATE_TEST_SUITE_P(Sources, DfxmlReportTest, testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DfxmlReportRefusals, AReportThatCannotBeWrittenStopsBeforeTheScan) {
  testsupport::TempDir dir;
  testsupport::FatImage image(dir / "card.img");
  const auto r = testsupport::RunCommand({testsupport::BuiltProgram("trellmond-cli"), "scan", image.Path().string(),
                                          "--dfxml", (dir / "missing" / "report.xml").string()});
  EXPECT_EQ(r.exitCode, 3);
  EXPECT_NE(r.errors.find("cannot write the report"), std::string::npos) << r.errors;
}

}  // namespace
