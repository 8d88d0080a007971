#include "util/Text.h"

#include <gtest/gtest.h>

namespace {

struct FieldCase {
  const char* text;
  int index;
  char delimiter;
  const char* expected;
};

class GetFieldTest : public testing::TestWithParam<FieldCase> {};

TEST_P(GetFieldTest, ReadsTrimmedField) {
  const FieldCase& c = GetParam();
  EXPECT_EQ(util::GetField(c.text, c.index, c.delimiter), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Fields, GetFieldTest,
                         testing::Values(FieldCase{"a;b;c", 1, ';', "a"}, FieldCase{"a;b;c", 2, ';', "b"},
                                         FieldCase{"a;b;c", 3, ';', "c"}, FieldCase{"a;b;c", 4, ';', ""},
                                         FieldCase{"abc", 1, ';', "abc"}, FieldCase{"abc", 2, ';', ""},
                                         FieldCase{" x ;y", 1, ';', "x"}, FieldCase{"a;b;", 3, ';', ""},
                                         FieldCase{"abc", 0, ';', ""}, FieldCase{"x", 1, ';', "x"},
                                         FieldCase{"x", 2, ';', ""}, FieldCase{"1.2.3", 2, '.', "2"},
                                         FieldCase{"E:\\a\\b", 3, '\\', "b"}, FieldCase{"a;b", -1, ';', ""},
                                         FieldCase{"k\t\tv\r\n", 3, '\t', "v"}));

TEST(ValidEmailTest, FollowsTheAddressRules) {
  struct Case {
    const char* text;
    bool valid;
  };
  const Case cases[] = {
      {"", true},
      {"anna@example", false},          // "@" but no "."
      {"@example.com", false},          // "@" first
      {"a@b@example.com", false},       // two "@"
      {"anna smith@example.com", false},
      {"anna.smith@example", true},     // "." only before the "@"
      {"anna@example.com", true},
      {"o'neil+tag@example.co.uk", true},
      {"anna@exa(mple).com", false},
      {"anna@example.com\x7f", false},
      {"ann\xc3\xa9@example.com", false},
      {"anna@example,com", false},
      {"noatsign.example.com", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(util::ValidEmail(c.text), c.valid) << c.text;
  }
}

TEST(TextHelpersTest, PathAndCharacterHelpers) {
  EXPECT_EQ(util::RemoveMultiples("a\\\\\\\\b", '\\'), "a\\b");
  EXPECT_EQ(util::RemoveMultiples("aaAAa", 'a'), "aAAa");
  EXPECT_EQ(util::TidyFilename("E:\\\\out\\\\\\\\a.jpg"), "E:\\out\\a.jpg");
  EXPECT_EQ(util::TidyFilename("\\server\\share"), "\\\\server\\share");
  EXPECT_EQ(util::TidyFilename("\\\\server\\share\\\\dir"), "\\\\server\\share\\dir");
  EXPECT_EQ(util::ReplaceNulls(std::string("a\0b\0", 4), "<0>"), "a<0>b<0>");
  EXPECT_EQ(util::ReplaceNulls(std::string("\0\0", 2), ""), "");
  EXPECT_EQ(util::StrToHex("AB"), " 41 42");
  EXPECT_EQ(util::StrToHex(""), "");
  EXPECT_EQ(util::StrToHex(std::string("\xff\0 abcde", 8)).size(), 24u);
  EXPECT_EQ(util::StrToHex("\xff"), " FF");
  EXPECT_EQ(util::GetCheckboxValueAsText(true), "1");
  EXPECT_EQ(util::GetCheckboxValueAsText(false), "0");
  EXPECT_EQ(util::Trim("\t\r\n x y \x01"), "x y");
}

}  // namespace
