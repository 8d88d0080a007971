// Damaged and hostile NTFS images: every scan and save ends, the undamaged files are
// still recovered, and the image is never written. Needs no mount: files go in with
// ntfscp and are deleted the way a deletion leaves them, in the image bytes.

#include <gtest/gtest.h>

#include <functional>

#include "tests/fsscan/ScanFixture.h"
#include "tests/support/NtfsImage.h"
#include "util/ByteReader.h"

namespace {

using testsupport::NtfsImage;

std::string LE(std::uint64_t value, int width) {
  std::string out(static_cast<std::size_t>(width), '\0');
  for (int i = 0; i < width; ++i) out[static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
  return out;
}

struct Card {
  explicit Card(const std::filesystem::path& path) : image(path, {.sizeMiB = 8}) {
    for (const auto& [name, size] : std::vector<std::pair<std::string, std::size_t>>{
             {"a.txt", 300}, {"b.bin", 20000}, {"c.bin", 30000}, {"d.bin", 12000}, {"e.bin", 9000}}) {
      files[name] = fsscantest::Payload(size, static_cast<unsigned>(size));
      image.AddFile("/" + name, files[name]);
      records[name] = image.RecordNumber("/" + name);
    }
    image.AddFile("/live.bin", "live");
    for (const auto& [name, record] : records) image.MarkDeleted(record);
  }
  // Offset in the image of an attribute's field.
  std::uint64_t Attribute(const std::string& name, std::uint32_t type) const {
    const std::uint64_t record = records.at(name);
    return image.RecordOffset(record) + image.AttributeOffset(record, type);
  }
  std::uint64_t Value(const std::string& name, std::uint32_t type) const {
    const std::uint64_t at = Attribute(name, type);
    const std::string header = testsupport::ReadFileBytes(image.Path()).substr(at, 24);
    return at + util::ByteReader(header.data(), header.size()).U16(20);
  }
  std::uint64_t Record(const std::string& name) const { return image.RecordOffset(records.at(name)); }
  void PatchBoot(std::uint64_t at, const std::string& bytes) {
    image.Patch(at, bytes);
    image.Patch(std::filesystem::file_size(image.Path()) - 512 + at, bytes);
  }
  NtfsImage image;
  std::map<std::string, std::string> files;
  std::map<std::string, std::uint64_t> records;
};

struct HostileCase {
  const char* name;
  std::function<void(Card&)> damage;
  std::vector<std::string> recovered;  // files still saved byte for byte (under the root)
  std::string loopFile;                // a file whose folder chain loops, saved under that chain
};

class NtfsHostileTest : public testing::TestWithParam<HostileCase> {};

TEST_P(NtfsHostileTest, ScanAndSaveEndAndKeepTheRest) {
  testsupport::TempDir dir;
  Card card(dir / "hostile.ntfs");
  GetParam().damage(card);
  const std::string hash = testsupport::Sha256Of(card.image.Path());

  fsscantest::ScannerHarness h(card.image.Path());
  h.Scan(true);
  EXPECT_EQ(h.Find("live.bin"), nullptr);
  fsscantest::OutputDrive out;
  h.scanner.SaveFilesToDisk(out.Folder("Recovered"));
  const bool any = std::filesystem::exists(out.Posix("Recovered"));
  const auto saved = any ? fsscantest::FilesUnder(out.Posix("Recovered")) : std::map<std::string, std::string>{};
  if (GetParam().recovered.empty() && GetParam().loopFile.empty()) {
    EXPECT_TRUE(h.scanner.FileList().empty());
  }
  for (const std::string& name : GetParam().recovered) {
    const auto it = saved.find(name);  // saved under the name as spelt
    ASSERT_NE(it, saved.end()) << name << "\n" << h.Names();
    EXPECT_TRUE(it->second == card.files.at(name)) << name;
  }
  if (!GetParam().loopFile.empty()) {
    const fsscan::FileNode* r = h.Find(GetParam().loopFile);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->Dir, "\\c.bin\\b.bin\\");
    EXPECT_TRUE(saved.count("c.bin/b.bin/d.bin")) << h.Names();
  }
  // Nothing outside the output folder, and the image unchanged.
  for (const auto& [path, bytes] : saved) EXPECT_EQ(path.find(".."), std::string::npos) << path;
  EXPECT_EQ(testsupport::Sha256Of(card.image.Path()), hash);
}

const std::vector<std::string> kAll = {"a.txt", "b.bin", "c.bin", "d.bin", "e.bin"};
const std::vector<std::string> kAllButB = {"a.txt", "c.bin", "d.bin", "e.bin"};

INSTANTIATE_TEST_SUITE_P(
    Damage, NtfsHostileTest,
    testing::Values(
        HostileCase{"Undamaged", [](Card&) {}, kAll, ""},
        HostileCase{"ZeroAttributeLength",
                    [](Card& c) { c.image.Patch(c.Attribute("b.bin", 0x30) + 4, LE(0, 4)); }, kAllButB, ""},
        HostileCase{"AttributeLongerThanRecord",
                    [](Card& c) { c.image.Patch(c.Attribute("b.bin", 0x80) + 4, LE(0x7FFFFFF8, 4)); }, kAllButB, ""},
        HostileCase{"RunListOffsetOffTheRecord",
                    [](Card& c) { c.image.Patch(c.Attribute("b.bin", 0x80) + 32, LE(0xFFF0, 2)); }, kAllButB, ""},
        HostileCase{"RunHeaderWithNineByteFields",
                    [](Card& c) {
                      const std::uint64_t at = c.Attribute("b.bin", 0x80);
                      const std::string h = testsupport::ReadFileBytes(c.image.Path()).substr(at, 64);
                      c.image.Patch(at + util::ByteReader(h.data(), h.size()).U16(32), LE(0x99, 1));
                    },
                    kAllButB, ""},
        HostileCase{"RecordAllocatedSizeZero", [](Card& c) { c.image.Patch(c.Record("b.bin") + 28, LE(0, 4)); },
                    kAllButB, ""},
        HostileCase{"MftRecordAllocatedSizeZero", [](Card& c) { c.image.Patch(c.image.RecordOffset(0) + 28, LE(0, 4)); },
                    {}, ""},
        HostileCase{"FirstAttributePastRecord", [](Card& c) { c.image.Patch(c.Record("b.bin") + 20, LE(0xFFF8, 2)); },
                    kAllButB, ""},
        HostileCase{"UpdateSequencePastRecord", [](Card& c) { c.image.Patch(c.Record("b.bin") + 4, LE(0xFFFE, 2)); },
                    kAllButB, ""},
        // The boot sector and its backup in the volume's last sector alike; with the backup
        // whole, the volume is read through it.
        HostileCase{"ClustersPerRecordZero", [](Card& c) { c.PatchBoot(64, LE(0, 4)); }, {}, ""},
        HostileCase{"MftClusterBeyondVolume", [](Card& c) { c.PatchBoot(48, LE(0x7FFFFFFFFFFFULL, 8)); }, {}, ""},
        HostileCase{"BootSectorDamagedBackupWhole", [](Card& c) { c.image.Patch(64, LE(0, 4)); }, kAll, ""},
        HostileCase{"DataRunsOutsideVolume",
                    [](Card& c) {
                      const std::uint64_t at = c.Attribute("b.bin", 0x80);
                      const std::string h = testsupport::ReadFileBytes(c.image.Path()).substr(at, 64);
                      c.image.Patch(at + util::ByteReader(h.data(), h.size()).U16(32), std::string("\x81\x05\0\0\0\0\0\0\0\x40", 10));
                    },
                    kAllButB, ""},
        // b and c become deleted folders that are each other's parent; d lies in b.
        HostileCase{"LoopingParentReferences",
                    [](Card& c) {
                      c.image.Patch(c.Record("b.bin") + 22, LE(0x02, 2));
                      c.image.Patch(c.Record("c.bin") + 22, LE(0x02, 2));
                      c.image.Patch(c.Value("b.bin", 0x30), LE(c.records.at("c.bin"), 4));
                      c.image.Patch(c.Value("c.bin", 0x30), LE(c.records.at("b.bin"), 4));
                      c.image.Patch(c.Value("d.bin", 0x30), LE(c.records.at("b.bin"), 4));
                    },
                    {"a.txt", "e.bin"}, "d.bin"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
