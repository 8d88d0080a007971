#include "disk/RawDiskAccess.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <vector>

#include "platform/DriveTable.h"
#include "tests/support/FatImage.h"
#include "tests/support/TempDir.h"
#include "util/Prompt.h"

namespace {

using disk::TRawDiskAccess;

disk::TOsVersionRecord Windows98() {
  disk::TOsVersionRecord r;
  r.PlatformId = 1;
  r.MajorVersion = 4;
  r.MinorVersion = 10;
  return r;
}

disk::TOsVersionRecord Windows95() {
  disk::TOsVersionRecord r = Windows98();
  r.MinorVersion = 0;
  return r;
}

// A Windows 9x device that records every request and answers by a script.
class ScriptedVwin32 : public disk::IVwin32Device {
 public:
  bool Open() override { return opens++, openSucceeds; }
  void Close() override { ++closes; }
  bool DeviceIoControl(std::uint32_t code, disk::TRegisterBlock& regs, disk::TTransferBlock* transfer) override {
    requests.push_back({code, regs});
    const bool fail = failCodes.count(code) != 0 || failCategories.count(regs.ECX) != 0;
    regs.Flags = fail ? 1 : 0;
    if (!fail && transfer && (code == 2 || code == 6)) {
      for (std::size_t i = 0; i < transfer->Buffer.size(); ++i) transfer->Buffer[i] = std::byte{0x5A};
    }
    return true;
  }
  struct Request {
    std::uint32_t code;
    disk::TRegisterBlock regs;
  };
  std::vector<Request> requests;
  std::map<std::uint32_t, bool> failCodes;
  std::map<std::uint32_t, bool> failCategories;
  bool openSucceeds = true;
  int opens = 0, closes = 0;
};

class NineXTest : public testing::Test {
 protected:
  void SetUp() override { TRawDiskAccess::SetVwin32Device(&device); }
  void TearDown() override {
    TRawDiskAccess::SetVersionSource(nullptr);
    disk::TRegisterBlock regs;
    TRawDiskAccess::VWIN32DIOC(0, regs);
    TRawDiskAccess::SetVwin32Device(nullptr);
  }
  ScriptedVwin32 device;
};

TEST_F(NineXTest, ReadTriesTheFat32ServiceFirstThenFallsBack) {
  TRawDiskAccess::SetVersionSource(Windows98);
  EXPECT_EQ(TRawDiskAccess::RDAKernelFamily(), "9x");
  std::vector<std::byte> buffer(1024);
  device.failCodes[6] = true;
  EXPECT_TRUE(TRawDiskAccess::RDARead9xSectors(5, 100, 2, buffer));
  ASSERT_EQ(device.requests.size(), 2u);
  EXPECT_EQ(device.requests[0].code, 6u);
  EXPECT_EQ(device.requests[0].regs.EAX, 0x7305u);
  EXPECT_EQ(device.requests[0].regs.ECX, 0xFFFFFFFFu);
  EXPECT_EQ(device.requests[0].regs.EDX, 5u);
  EXPECT_EQ(device.requests[0].regs.ESI, 0u);
  EXPECT_EQ(device.requests[1].code, 2u);
  EXPECT_EQ(device.requests[1].regs.EAX, 4u);  // drive number - 1
  EXPECT_EQ(buffer[1023], std::byte{0x5A});
  EXPECT_EQ(device.opens, 1);
}

TEST_F(NineXTest, OriginalWindows95UsesOnlyTheOldService) {
  TRawDiskAccess::SetVersionSource(Windows95);
  std::vector<std::byte> buffer(512);
  EXPECT_TRUE(TRawDiskAccess::RDAReadSectors(3, 0, 1, buffer));
  ASSERT_EQ(device.requests.size(), 1u);
  EXPECT_EQ(device.requests[0].code, 2u);
}

// The 9x transfer block holds a 32-bit sector number: a sector beyond it is refused before
// any request, never wrapped to a low sector.
TEST_F(NineXTest, SectorsBeyondThirtyTwoBitsAreRefusedUntouched) {
  TRawDiskAccess::SetVersionSource(Windows98);
  std::vector<std::byte> buffer(512);
  EXPECT_FALSE(TRawDiskAccess::RDARead9xSectors(5, std::uint64_t{1} << 32, 1, buffer));
  EXPECT_FALSE(TRawDiskAccess::RDAWrite9xSectors(5, (std::uint64_t{1} << 32) + 3, 1, buffer));
  EXPECT_TRUE(device.requests.size() <= 2u);  // at most the write's lock and unlock
  for (const auto& request : device.requests) EXPECT_EQ(request.code, 1u);
  EXPECT_TRUE(TRawDiskAccess::RDARead9xSectors(5, 0xFFFFFFFFu, 1, buffer));
}

TEST_F(NineXTest, WriteLocksFirstAndWritesNothingWhenTheLockFails) {
  TRawDiskAccess::SetVersionSource(Windows98);
  std::vector<std::byte> buffer(512);
  device.failCategories[0x484A] = true;
  device.failCategories[0x084A] = true;
  EXPECT_FALSE(TRawDiskAccess::RDAWrite9xSectors(3, 7, 1, buffer));
  ASSERT_EQ(device.requests.size(), 2u);  // two lock attempts, no transfer, no unlock
  EXPECT_EQ(device.requests[0].regs.EBX, 1u * 256 + 3);
  EXPECT_EQ(device.requests[0].regs.EDX, 1u);

  device.requests.clear();
  device.failCategories.clear();
  EXPECT_TRUE(TRawDiskAccess::RDAWrite9xSectors(3, 7, 1, buffer));
  ASSERT_EQ(device.requests.size(), 3u);  // lock, 7305h write, unlock
  EXPECT_EQ(device.requests[1].regs.ESI, 1u);
  EXPECT_EQ(device.requests[2].regs.ECX, 0x486Au);
}

TEST_F(NineXTest, TheNtFamilyNeverOpensTheDevice) {
  std::vector<std::byte> buffer(512);
  EXPECT_EQ(TRawDiskAccess::RDAKernelFamily(), "NT");
  EXPECT_FALSE(TRawDiskAccess::RDARead9xSectors(3, 0, 1, buffer));
  EXPECT_EQ(device.opens, 0);
  EXPECT_TRUE(device.requests.empty());
}

TEST(RawDiskAccessTest, ClusterReadsStartAtClusterTimesSectorsPerCluster) {
  testsupport::TempDir dir;
  testsupport::FatImageOptions options;
  options.fatBits = 16;
  options.sectorsPerCluster = 8;
  options.sizeKiB = 65536;
  testsupport::FatImage image(dir / "c.img", options);
  const char letter = platform::DriveTable::Instance().Attach(image.Path().string());
  const auto number = static_cast<std::uint8_t>(letter - 64);
  std::vector<std::byte> buffer(16 * 512);
  ASSERT_TRUE(TRawDiskAccess::RDAReadClusters(number, 10, 2, buffer));
  const std::string bytes = testsupport::ReadFileBytes(image.Path());
  EXPECT_EQ(std::memcmp(buffer.data(), bytes.data() + 80 * 512, buffer.size()), 0);
  std::vector<std::byte> small(16 * 512 - 1);
  EXPECT_FALSE(TRawDiskAccess::RDAReadClusters(number, 10, 2, small));  // never beyond the buffer

  const disk::TDiskSizeInformation info = TRawDiskAccess::RDAFindDiskSizeInformation(std::string(1, letter + 32));
  EXPECT_EQ(info.SectorsPerCluster, 8);
  EXPECT_EQ(info.ClusterSize, 4096);
  disk::TDiskSizeInformation untouched;
  untouched.SectorSize = 123;
  TRawDiskAccess::RDAFindDiskSizeInformation("", untouched);
  EXPECT_EQ(untouched.SectorSize, 123);
  platform::DriveTable::Instance().Detach(letter);
  EXPECT_FALSE(TRawDiskAccess::RDAReadClusters(number, 10, 2, buffer));
  EXPECT_EQ(TRawDiskAccess::RDAGetMediaIdentifier(letter).SerialNumber, 0u);
}

// A share connector that records its calls and answers by a script.
class ScriptedConnector : public disk::INetworkConnector {
 public:
  std::uint32_t AddConnection(std::string_view remote, std::string_view password, std::string_view local) override {
    calls.push_back({std::string(remote), std::string(password), std::string(local)});
    const std::uint32_t result = answers.empty() ? 0 : answers.front();
    if (!answers.empty()) answers.erase(answers.begin());
    if (result == 0) {
      platform::DriveEntry e;
      e.type = platform::kDriveRemote;
      e.mountRoot = target;
      platform::DriveTable::Instance().AttachAs(static_cast<char>(local[0] - 32), e);
    }
    return result;
  }
  struct Call {
    std::string remote, password, local;
  };
  std::vector<Call> calls;
  std::vector<std::uint32_t> answers;
  std::string target;
};

class PasswordPrompt : public util::DefaultPrompt {
 public:
  std::optional<std::string> Input(std::string_view caption, std::string_view, std::string_view) override {
    captions.emplace_back(caption);
    if (answers.empty()) return std::string{};
    std::string a = answers.front();
    answers.erase(answers.begin());
    return a;
  }
  std::vector<std::string> answers;
  std::vector<std::string> captions;
};

TEST(NetworkShareTest, ConnectsToTheFirstFreeLetterAndAsksForPasswords) {
  testsupport::TempDir dir;
  ScriptedConnector connector;
  connector.target = dir.Path().string();
  PasswordPrompt prompt;
  TRawDiskAccess::SetNetworkConnector(&connector);
  TRawDiskAccess::SetPrompt(&prompt);

  connector.answers = {86, 0};
  prompt.answers = {"secret"};
  const disk::TDiskSizeInformation info = TRawDiskAccess::RDAFindDiskSizeInformation("\\\\server\\photos\\");
  ASSERT_EQ(connector.calls.size(), 2u);
  EXPECT_EQ(connector.calls[0].remote, "\\\\server\\photos");
  EXPECT_EQ(connector.calls[0].password, "");
  EXPECT_EQ(connector.calls[1].password, "secret");
  EXPECT_EQ(prompt.captions.at(0), "Corvane Services - Network Connection Handler");
  EXPECT_GT(info.TotalDiskSpace, 0);
  const char chosen = static_cast<char>(connector.calls[1].local[0] - 32);
  EXPECT_TRUE(platform::DriveTable::Instance().Find(chosen));  // stays connected
  platform::DriveTable::Instance().Detach(chosen);

  connector.calls.clear();
  connector.answers = {86};
  const disk::TDiskSizeInformation none = TRawDiskAccess::RDAFindDiskSizeInformation("\\\\server\\photos");
  EXPECT_EQ(connector.calls.size(), 1u);  // a blank password ends the attempt
  EXPECT_EQ(none.TotalDiskSpace, 0);

  connector.calls.clear();
  connector.answers = {53};
  EXPECT_EQ(TRawDiskAccess::RDAFindDiskSizeInformation("\\\\server\\gone").SectorSize, 0);
  EXPECT_EQ(connector.calls.size(), 1u);

  // Every letter from c to z in use: no connection is attempted.
  std::vector<char> filled;
  for (char c = 'C'; c <= 'Z'; ++c) {
    if (!platform::DriveTable::Instance().Find(c)) {
      platform::DriveEntry e;
      e.type = platform::kDriveFixed;
      e.mountRoot = dir.Path().string();
      platform::DriveTable::Instance().AttachAs(c, e);
      filled.push_back(c);
    }
  }
  connector.calls.clear();
  TRawDiskAccess::RDAFindDiskSizeInformation("\\\\server\\photos");
  EXPECT_TRUE(connector.calls.empty());
  for (char c : filled) platform::DriveTable::Instance().Detach(c);
  TRawDiskAccess::SetNetworkConnector(nullptr);
  TRawDiskAccess::SetPrompt(nullptr);
}

TEST(NetworkShareTest, WithoutAMountedShareTheConnectionIsNotSupported) {
  EXPECT_EQ(TRawDiskAccess::MapNetworkDrive("\\\\nowhere\\share\\", "", "q:"), 50u);
}

}  // namespace
