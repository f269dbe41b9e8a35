#include "framework/text/Text.h"

#include <gtest/gtest.h>

#include <limits>

using framework::textEquals;

TEST(TextEquals, IgnoresLetterCaseOnly) {
  EXPECT_TRUE(textEquals("Desktop Folder", "desktop folder"));
  EXPECT_TRUE(textEquals("True", "TRUE"));
  EXPECT_TRUE(textEquals("ＡＢＣ", "ａｂｃ"));
  EXPECT_TRUE(textEquals("ディスク", "ディスク"));
  EXPECT_FALSE(textEquals(" ", "  "));
  EXPECT_FALSE(textEquals("Desktop Folder", "Desktop Folder "));
  EXPECT_FALSE(textEquals("カ", "ガ"));
  EXPECT_FALSE(textEquals("\xff", "\xfe"));
  EXPECT_TRUE(textEquals("\xff", "\xff"));
  // A non-ASCII letter folding to an ASCII one (KELVIN SIGN), and ASCII texts of other lengths.
  EXPECT_TRUE(textEquals("\u212A", "k"));
  EXPECT_FALSE(textEquals("True", "Tru"));
  EXPECT_FALSE(textEquals("", "True"));
}

TEST(Val, ReadsTheLeadingDecimalNumber) {
  struct Case {
    const char* text;
    double value;
  } const cases[] = {
      {"12", 12},      {"12abc", 12},   {"abc", 0},     {"", 0},          {" 7", 7},     {"-3", -3},
      {"+4", 4},       {"12.5%", 12.5}, {".5", 0.5},    {"-.25", -0.25},  {"1e3", 1000}, {"1e", 1},
      {"0x10", 0},     {"inf", 0},      {"nan", 0},     {"1,5", 1},       {"- 3", 0},    {"1e-400", 0},
      {"2147483648", 2147483648.0},
  };
  for (const Case& c : cases) EXPECT_EQ(framework::Val(c.text), c.value) << '"' << c.text << '"';
  EXPECT_EQ(framework::Val("1e400"), std::numeric_limits<double>::infinity());
}
