#include "disk/WindowsVersion.h"

#include <gtest/gtest.h>

namespace {

using disk::TOsVersionRecord;

struct VersionCase {
  std::uint32_t platform, major, minor, build;
  const char* servicePack;
  int productType;  // -1: the extended block could not be read
  std::uint16_t suite;
  const char* name;
  const char* platformText;
};

class VersionNameTest : public testing::TestWithParam<VersionCase> {};

TEST_P(VersionNameTest, NamesTheEdition) {
  const VersionCase& c = GetParam();
  TOsVersionRecord r;
  r.PlatformId = c.platform;
  r.MajorVersion = c.major;
  r.MinorVersion = c.minor;
  r.BuildNumber = c.build;
  r.ServicePackText = c.servicePack;
  if (c.productType >= 0) r.Ext = TOsVersionRecord::Extended{static_cast<std::uint8_t>(c.productType), c.suite};
  const disk::TWinVersion v = disk::DescribeWindowsVersion(r);
  EXPECT_EQ(v.Name, c.name);
  EXPECT_EQ(v.Platform, c.platformText);
}

INSTANTIATE_TEST_SUITE_P(
    Editions, VersionNameTest,
    testing::Values(
        VersionCase{0, 3, 1, 0, "", -1, 0, "Windows 3.x + Win32", ""},
        VersionCase{1, 4, 0, 950, "", -1, 0, "Windows 95 Original", "9x"},
        VersionCase{1, 4, 0, 1111, " C", -1, 0, "Windows 95 OSR2", "9x"},
        VersionCase{1, 4, 0, 1080, " b", -1, 0, "Windows 95 with Service Pack 1", "9x"},
        VersionCase{1, 4, 0, 1080, " BC", -1, 0, "Windows 95 with Service Pack 1", "9x"},  // later test wins
        VersionCase{1, 4, 10, 1998, "", -1, 0, "Windows 98", "9x"},
        VersionCase{1, 4, 10, 2222, " A ", -1, 0, "Windows 98 Second Edition", "9x"},
        VersionCase{1, 4, 90, 3000, "", -1, 0, "Windows ME", "9x"},
        VersionCase{2, 3, 51, 1057, "", -1, 0, "Windows NT 3.51", "NT"},
        VersionCase{2, 3, 2, 1057, "", -1, 0, "", "NT"},
        VersionCase{2, 4, 0, 1381, "Service Pack 6", 1, 0, "Windows NT 4.0 Workstation with Service Pack 6", "NT"},
        VersionCase{2, 4, 0, 1381, "", 3, 0x20, "Windows NT 4.0 Server w/ BackOffice Small-Business Server (Rest.)", "NT"},
        VersionCase{2, 4, 0, 1381, "", -1, 0x4, "Windows NT 4.0", "NT"},  // no extended block, no refinement
        VersionCase{2, 5, 0, 2195, "", 3, 0x80, "Windows 2000 Datacenter Server", "NT"},
        VersionCase{2, 5, 1, 2600, "Service Pack 2", 1, 0, "Windows XP Professional with Service Pack 2", "NT"},
        VersionCase{2, 5, 1, 2600, "", 1, 0x200, "Windows XP Home Edition", "NT"},
        VersionCase{2, 5, 1, 2600, "", 3, 0, "Windows 2003 Server", "NT"},
        VersionCase{2, 5, 2, 3790, "", 3, 0x400, "Windows Server 2003 Web Edition", "NT"},
        VersionCase{2, 5, 7, 0, "", -1, 0, "Future Windows Version", "NT"},
        VersionCase{2, 6, 0, 5048, "", -1, 0, "Windows NT 6 Beta - \"Longhorn\"", "NT"},
        VersionCase{2, 10, 0, 19045, "", 1, 0, "Future Windows Version", "NT"},
        VersionCase{2, 100, 0, 1, "", -1, 0, "", "NT"},
        VersionCase{3, 1, 0, 1, "", -1, 0, "", ""}));

TEST(VersionNameTest, NineXBuildKeepsItsLow16Bits) {
  TOsVersionRecord r;
  r.PlatformId = 1;
  r.MinorVersion = 10;
  r.BuildNumber = 0x040A08AE;
  EXPECT_EQ(disk::DescribeWindowsVersion(r).BuildNumber, 0x08AE);
  r.PlatformId = 2;
  r.MajorVersion = 5;
  r.BuildNumber = 0x10000;
  EXPECT_EQ(disk::DescribeWindowsVersion(r).BuildNumber, 0x10000);
}

TEST(VersionNameTest, ThisSystemIsTheNtFamily) {
  const disk::TWinVersion v = disk::DescribeWindowsVersion(disk::RunningSystemVersion());
  EXPECT_EQ(v.Platform, "NT");
  EXPECT_FALSE(v.Name.empty());
}

}  // namespace
