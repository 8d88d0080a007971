// Read failures during a Low Level Scan, made by a Windows 9x device stand-in
// that serves an image's sectors and fails the ones a test names.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "CatalogueSupport.h"
#include "disk/RawDiskAccess.h"
#include "lowscan/MekLowScan.h"
#include "platform/DriveTable.h"
#include "platform/LastError.h"
#include "tests/support/ScanWorkers.h"
#include "tests/support/TempDir.h"

namespace lowscan {
namespace {

constexpr std::int64_t kSector = 512;
constexpr std::int64_t kMiB = 1024 * 1024;

class FaultyDevice : public disk::IVwin32Device {
 public:
  FaultyDevice(std::string image, std::function<std::uint32_t(std::int64_t)> fault)
      : m_image(std::move(image)), m_fault(std::move(fault)) {}
  bool Open() override { return true; }
  void Close() override {}
  bool DeviceIoControl(std::uint32_t, disk::TRegisterBlock& regs, disk::TTransferBlock* transfer) override {
    if (transfer == nullptr) return true;
    for (std::int64_t s = transfer->StartSector; s < transfer->StartSector + transfer->Count; ++s) {
      std::uint32_t error = m_fault(s);
      if (error == 0 && (s + 1) * kSector > static_cast<std::int64_t>(m_image.size())) error = 23;
      if (error != 0) {
        platform::SetLastError(error);
        regs.Flags |= 1;
        return true;
      }
    }
    const auto from = static_cast<std::size_t>(transfer->StartSector * kSector);
    std::memcpy(transfer->Buffer.data(), m_image.data() + from, static_cast<std::size_t>(transfer->Count * kSector));
    return true;
  }
  std::int64_t reads = 0;

 private:
  std::string m_image;
  std::function<std::uint32_t(std::int64_t)> m_fault;
};

class CountingPrompt : public util::DefaultPrompt {
 public:
  void SecurityWarning() override { ++warnings; }
  int warnings = 0;
};

class LowScanReadError : public ::testing::Test {
 protected:
  void SetUp() override {
    std::mt19937 random(4);
    m_image.resize(8 * kMiB);
    for (char& c : m_image) c = static_cast<char>(random() & 0xFF);
    for (const auto& s : testing::Samples()) {
      if (s.path.filename() == "sample.png") m_png = s.bytes;
    }
    // One picture in each read step.
    for (std::int64_t step = 0; step < 2; ++step) m_image.replace(static_cast<std::size_t>(step * 4 * kMiB + 4096), m_png.size(), m_png);
    testsupport::WriteFileBytes(m_temp.Path() / "card.img", m_image);
    m_letter = platform::DriveTable::Instance().Attach((m_temp.Path() / "card.img").string());
    disk::TRawDiskAccess::SetVersionSource([] {
      disk::TOsVersionRecord record;
      record.PlatformId = 1;
      record.MajorVersion = 4;
      record.MinorVersion = 10;
      return record;
    });
  }
  void TearDown() override {
    disk::TRawDiskAccess::SetVwin32Device(nullptr);
    disk::TRawDiskAccess::SetVersionSource(nullptr);
  }

  std::vector<std::string> Scan(std::function<std::uint32_t(std::int64_t)> fault, CountingPrompt& prompt,
                                TMekLowScan& scan) {
    FaultyDevice device(m_image, std::move(fault));
    disk::TRawDiskAccess::SetVwin32Device(&device);
    std::vector<std::string> logs;
    scan.SetDrive(m_letter);
    scan.SetPrompt(&prompt);
    scan.SetLowFileTypes({"png;0;PNG"});
    // With workers the steps are read ahead, on a thread of their own.
    scan.SetWorkers(testsupport::ScanWorkers());
    scan.OnGetFileData = [](TMekLowScan*, std::vector<std::string>& data) { data = testing::CatalogueDetails(); };
    scan.OnLogNotify = [&](TMekLowScan*, const std::string& m, const std::string& a) {
      if (a != "45") logs.push_back(a + " " + m);
    };
    EXPECT_TRUE(scan.ScanDrive());
    disk::TRawDiskAccess::SetVwin32Device(nullptr);
    return logs;
  }

  testsupport::TempDir m_temp;
  std::string m_image, m_png;
  char m_letter = 0;
};

TEST_F(LowScanReadError, FailedStepInsideTheDriveIsLoggedAndSkipped) {
  CountingPrompt prompt;
  TMekLowScan scan;
  const auto logs = Scan([](std::int64_t s) { return s >= 8192 && s < 8300 ? 23u : 0u; }, prompt, scan);
  ASSERT_EQ(logs.size(), 1u);
  EXPECT_EQ(logs[0].rfind("-10  Error Reading Drive during Lowscan. API Last Error: 23  ", 0), 0u) << logs[0];
  ASSERT_EQ(scan.FileList().size(), 1u);  // the second step's picture was not read
  EXPECT_EQ(scan.FileList()[0]->StartPos, 4096);
  EXPECT_EQ(prompt.warnings, 0);
}

TEST_F(LowScanReadError, FailuresBeyondTheDrivesSizeAreNotLogged) {
  CountingPrompt prompt;
  TMekLowScan scan;
  const auto logs = Scan([](std::int64_t) { return 0u; }, prompt, scan);
  EXPECT_TRUE(logs.empty()) << logs.front();
  ASSERT_EQ(scan.FileList().size(), 2u);
  EXPECT_EQ(scan.FileList()[1]->EndPos, 4 * kMiB + 4096 + static_cast<std::int64_t>(m_png.size()));
}

TEST_F(LowScanReadError, AccessDeniedShowsTheWarningOnceAndEndsTheScan) {
  CountingPrompt prompt;
  TMekLowScan scan;
  const auto logs = Scan([](std::int64_t s) { return s >= 8192 ? 5u : 0u; }, prompt, scan);
  EXPECT_EQ(prompt.warnings, 1);
  ASSERT_EQ(logs.size(), 1u);
  EXPECT_EQ(logs[0], "47 Security Screen Shown");
  EXPECT_TRUE(scan.Terminated());
  ASSERT_EQ(scan.FileList().size(), 1u);
}

}  // namespace
}  // namespace lowscan
