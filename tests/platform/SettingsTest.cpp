#include "platform/Settings.h"

#include <gtest/gtest.h>

#include "tests/support/TempDir.h"

namespace {

TEST(SettingsStoreTest, ValuesSurviveBetweenInstances) {
  testsupport::TempDir dir;
  const std::string file = (dir / "Pelmora" / "Trellmond.conf").string();
  platform::SettingsStore store(file);
  EXPECT_FALSE(store.ValueExists("ProxyActive"));
  EXPECT_FALSE(store.ReadInteger("ProxyPort"));
  ASSERT_TRUE(store.WriteBool("ProxyActive", true));
  ASSERT_TRUE(store.WriteString("ProxyName", "proxy.example.com"));
  ASSERT_TRUE(store.WriteInteger("ProxyPort", 8080));
  ASSERT_TRUE(store.WriteString("LastName", "O'Brien = \\ \"x\"\r\nsecond line"));

  const platform::SettingsStore again(file);
  EXPECT_EQ(again.ReadBool("ProxyActive"), true);
  EXPECT_EQ(again.ReadString("ProxyName"), "proxy.example.com");
  EXPECT_EQ(again.ReadInteger("ProxyPort"), 8080);
  EXPECT_EQ(again.ReadString("LastName"), "O'Brien = \\ \"x\"\r\nsecond line");
  EXPECT_FALSE(again.ReadInteger("ProxyName"));  // not a number
  EXPECT_FALSE(store.WriteString("bad=name", "x"));
  EXPECT_TRUE(store.DeleteValue("ProxyName"));
  EXPECT_FALSE(again.ValueExists("ProxyName"));
}

TEST(SettingsStoreTest, DefaultStoreLivesUnderXdgConfigHome) {
  testsupport::TempDir dir;
  setenv("XDG_CONFIG_HOME", dir.Path().c_str(), 1);
  platform::SettingsStore store;
  EXPECT_EQ(store.FilePath(), dir.Path().string() + "/Pelmora/Trellmond.conf");
  unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
