#include "util/MemoryStream.h"

#include <gtest/gtest.h>

namespace {

TEST(MemoryStreamTest, WritesGrowReadsStopAtTheEnd) {
  util::TMemoryStream s;
  EXPECT_EQ(s.Size(), 0);
  s.Write("hello");
  EXPECT_EQ(s.Position(), 5);
  s.SetPosition(8);
  s.Write("!");
  EXPECT_EQ(s.View(), std::string("hello\0\0\0!", 9));
  s.SetPosition(7);
  char out[8] = {};
  EXPECT_EQ(s.Read(out, 8), 2);
  EXPECT_EQ(s.Read(out, 8), 0);
  s.SetSize(3);
  EXPECT_EQ(s.View(), "hel");
  EXPECT_EQ(s.Position(), 3);
  s.SetSize(5);
  EXPECT_EQ(s.View(), std::string("hel\0\0", 5));
  s.Assign(std::string_view("xy"));
  EXPECT_EQ(s.Position(), 0);
  s.Clear();
  EXPECT_EQ(s.Size(), 0);
}

}  // namespace
