// Unreadable sectors under the Undelete scan and its save, made by the platform's read
// faults over real images: reads that fail (EIO) inside a file, the FAT, a directory
// and the MFT, and a device that ends early. The scan and the save go on, say what
// they could not read with its sectors, and count no file with a hole as saved.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <set>

#include "platform/ReadFaults.h"
#include "tests/fsscan/ScanFixture.h"
#include "tests/support/NtfsImage.h"
#include "util/Text.h"

namespace {

using fsscantest::Payload;

constexpr std::uint64_t kSector = 512;

struct Volume {
  std::filesystem::path image;
  std::map<std::string, std::string> files;  // path inside, lower case ("dcim/a.txt") -> contents
};

// What one fault must leave: files not listed, files listed but not saved, and the log
// line (with the sector `badSector` inside its range) that says what was not read.
struct Outcome {
  std::set<std::string> missing;
  std::set<std::string> unsaved;
  std::string logged;
  std::uint64_t badSector = 0;
};

struct FaultCase {
  const char* name;
  bool ntfs;
  // Lays the fault over the image and tells what it must leave.
  std::function<Outcome(const std::filesystem::path& image, testsupport::FatImage* fat,
                        testsupport::NtfsImage* ntfs)>
      inject;
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

// Sectors [first, first + count) of the image fail with EIO.
std::uint64_t FailSectors(const std::filesystem::path& image, std::uint64_t first, std::uint64_t count) {
  EXPECT_TRUE(platform::ReadFaults::Fail(image.string(), first * kSector, (first + count) * kSector));
  return first;
}

std::uint64_t FatSector(testsupport::FatImage& fat, const std::string& path, std::uint32_t clusterIndex = 0) {
  return fat.ClusterOffset(fat.FirstCluster(path) + clusterIndex) / kSector;
}

// The numbers of "Sectors: a - b" in a log line.
std::pair<std::uint64_t, std::uint64_t> SectorRange(const std::string& line) {
  const std::size_t at = line.find("Sectors: ");
  if (at == std::string::npos) return {1, 0};
  std::uint64_t a = 0, b = 0;
  std::sscanf(line.c_str() + at, "Sectors: %lu - %lu", &a, &b);
  return {a, b};
}

class ReadFaultTest : public testing::TestWithParam<FaultCase> {
 protected:
  void TearDown() override { platform::ReadFaults::Clear(); }

  void MakeFat() {
    testsupport::FatImageOptions options;
    options.fatBits = 16;
    options.sizeKiB = 16384;
    options.sectorsPerCluster = 4;
    fat = std::make_unique<testsupport::FatImage>(dir / "card.img", options);
    fat->MakeDir("/DCIM");
    fat->MakeDir("/Trip");
    const std::pair<const char*, std::string> files[] = {{"/DCIM/a.txt", Payload(40000, 1)},
                                                         {"/DCIM/b.txt", Payload(30000, 2)},
                                                         {"/notes.txt", Payload(5000, 3)},
                                                         {"/Trip/c.txt", Payload(9000, 4)},
                                                         {"/last.txt", Payload(60000, 5)}};
    for (const auto& [path, contents] : files) {
      fat->AddFile(path, contents);
      volume.files[util::LowerCase(std::string(path).substr(1))] = contents;
    }
    volume.image = fat->Path();
  }

  void MakeNtfs() {
    ntfs = std::make_unique<testsupport::NtfsImage>(dir / "card.ntfs");
    for (int i = 1; i <= 6; ++i) {
      const std::string name = "file" + std::to_string(i) + ".txt";
      ntfs->AddFile("/" + name, Payload(6000 + 1000 * i, 10 + i));
      volume.files[name] = Payload(6000 + 1000 * i, 10 + i);
    }
    volume.image = ntfs->Path();
  }

  testsupport::TempDir dir;
  std::unique_ptr<testsupport::FatImage> fat;
  std::unique_ptr<testsupport::NtfsImage> ntfs;
  Volume volume;
};

TEST_P(ReadFaultTest, ScanAndSaveGoOnAndNameWhatTheyCouldNotRead) {
  if (GetParam().ntfs) {
    MakeNtfs();
  } else {
    MakeFat();
  }
  const Outcome expected = GetParam().inject(volume.image, fat.get(), ntfs.get());
  fsscantest::ScannerHarness harness(volume.image);
  harness.Scan(false);
  fsscantest::OutputDrive out;
  const std::int64_t saved = harness.scanner.SaveFilesToDisk(out.Folder("Recovered"));

  std::set<std::string> listed, savedNames;
  std::int64_t savedRecords = 0;  // records, not names: several may share one (or none)
  for (const auto& r : harness.scanner.FileList()) {
    std::string name = util::LowerCase((r->Dir + r->LongName).substr(1));
    std::replace(name.begin(), name.end(), '\\', '/');
    listed.insert(name);
    if (r->Saved) savedNames.insert(name);
    savedRecords += r->Saved ? 1 : 0;
  }
  // Names compared without regard to case: the saved extension's case is not what is tested.
  std::map<std::string, std::string> written;
  for (const auto& [name, contents] : fsscantest::FilesUnder(out.Posix("Recovered"))) {
    written[util::LowerCase(name)] = contents;
  }
  for (const auto& [name, contents] : volume.files) {
    if (expected.missing.count(name) != 0) {
      EXPECT_EQ(listed.count(name), 0u) << name;
      continue;
    }
    EXPECT_EQ(listed.count(name), 1u) << name << " not listed";
    if (expected.unsaved.count(name) != 0) {
      EXPECT_EQ(savedNames.count(name), 0u) << name << " counted as saved";
      continue;
    }
    EXPECT_EQ(savedNames.count(name), 1u) << name << " not saved";
    EXPECT_TRUE(written.count(name) != 0 && written.at(name) == contents) << name << " not byte-identical";
  }
  EXPECT_EQ(saved, savedRecords);

  if (expected.logged.empty()) {
    EXPECT_FALSE(harness.Logged("Cannot read")) << "a fault a copy covers needs no warning";
    return;
  }
  const auto line = std::find_if(harness.log.begin(), harness.log.end(), [&](const fsscantest::LogLine& l) {
    return l.message.find(expected.logged) != std::string::npos;
  });
  ASSERT_NE(line, harness.log.end()) << "no line with: " << expected.logged;
  EXPECT_EQ(line->action, "-30");
  const auto [first, last] = SectorRange(line->message);
  EXPECT_LE(first, expected.badSector) << line->message;
  EXPECT_GE(last, expected.badSector) << line->message;
  EXPECT_LT(last - first, 256u) << line->message;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ReadFaultTest,
    testing::Values(
        FaultCase{"MiddleOfAFile", false,
                  [](const auto& image, auto* fat, auto*) {
                    const std::uint64_t bad = FailSectors(image, FatSector(*fat, "/DCIM/a.txt", 5) + 1, 1);
                    return Outcome{{}, {"dcim/a.txt"}, "Cannot read sectors of \\DCIM\\a.txt", bad};
                  }},
        FaultCase{"FirstFatCopy", false,
                  [](const auto& image, auto*, auto*) {
                    // The whole first table; the second copy holds the same entries.
                    const std::string boot = testsupport::ReadFileBytes(image, 512);
                    const auto u16 = [&](std::size_t at) {
                      return static_cast<std::uint8_t>(boot[at]) | static_cast<std::uint8_t>(boot[at + 1]) << 8;
                    };
                    FailSectors(image, u16(14), u16(22));
                    return Outcome{};
                  }},
        FaultCase{"Directory", false,
                  [](const auto& image, auto* fat, auto*) {
                    const std::uint64_t bad = FailSectors(image, FatSector(*fat, "/Trip"), 1);
                    return Outcome{{"trip/c.txt"}, {}, "Cannot read the directory \\Trip", bad};
                  }},
        FaultCase{"DeviceEndsEarly", false,
                  [](const auto& image, auto* fat, auto*) {
                    const std::uint64_t end = FatSector(*fat, "/last.txt", 10);
                    EXPECT_TRUE(platform::ReadFaults::EndAt(image.string(), end * kSector));
                    return Outcome{{}, {"last.txt"}, "Cannot read sectors of \\last.txt", end};
                  }},
        FaultCase{"MftRecord", true,
                  [](const auto& image, auto*, auto* ntfs) {
                    const std::uint64_t bad =
                        FailSectors(image, ntfs->RecordOffset(ntfs->RecordNumber("/file3.txt")) / kSector, 1);
                    return Outcome{{"file3.txt"}, {}, "Cannot read MFT records", bad};
                  }},
        FaultCase{"MiddleOfAnNtfsFile", true,
                  [](const auto& image, auto*, auto* ntfs) {
                    // file5's data lies behind the records; find it by its bytes.
                    const std::string bytes = testsupport::ReadFileBytes(image);
                    const std::size_t at = bytes.find(Payload(11000, 15).substr(0, 4096));
                    EXPECT_NE(at, std::string::npos);
                    (void)ntfs;
                    const std::uint64_t bad = FailSectors(image, at / kSector + 3, 1);
                    return Outcome{{}, {"file5.txt"}, "Cannot read sectors of \\file5.txt", bad};
                  }}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
