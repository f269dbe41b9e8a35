#include "framework/Text.h"

#include <gtest/gtest.h>

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
