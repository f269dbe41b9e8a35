#include <gtest/gtest.h>

#include <string>

#include "app/Window1.h"
#include "catalogue/Module1.h"
#include "support/TestSupport.h"

namespace {

class NameNormalisationTest : public testsupport::AppTest {
 protected:
  std::string convert(const std::string& name) { return Window1::instance().UTF8Mac(name); }
};

struct Case {
  const char* what;
  std::string in;
  std::string out;
};

TEST_F(NameNormalisationTest, WellFormedNamesComposeOrPassUnchanged) {
  const Case cases[] = {
      {"kana with a voicing mark", "\xe3\x81\x8b\xe3\x82\x99", "\xe3\x81\x8c"},        // か + ゛ -> が
      {"latin with an accent", "Cafe\xcc\x81", "Caf\xc3\xa9"},                          // e + ́ -> é
      {"hangul jamo", "\xe1\x84\x80\xe1\x85\xa1", "\xea\xb0\x80"},                     // ᄀ + ᅡ -> 가
      {"already composed", "\xe3\x81\x8c\xe3\x83\x91 Caf\xc3\xa9", "\xe3\x81\x8c\xe3\x83\x91 Caf\xc3\xa9"},
      {"angstrom sign stays itself", "\xe2\x84\xab", "\xe2\x84\xab"},
      {"shell characters", "a\"b$c`d\\e'f!g*h", "a\"b$c`d\\e'f!g*h"},
      {"begins with a hyphen", "-n", "-n"},
      {"option-like with text", "-e x\\n", "-e x\\n"},
      {"trailing line end kept", "name\n", "name\n"},
      {"empty", "", ""},
      {"one blank", " ", " "},
  };
  for (bool option : {false, true}) {
    Module1::ErrorCD = option;
    for (const Case& c : cases) EXPECT_EQ(convert(c.in), c.out) << c.what << ", option " << option;
  }
}

TEST_F(NameNormalisationTest, IllFormedNameFollowsTheOptionReadAtEveryCall) {
  const std::string bad = "ab\xff\xfe";
  Module1::ErrorCD = true;
  EXPECT_EQ(convert(bad), bad + ":ListError");
  // A name that already carries the suffix and fails again carries it twice.
  EXPECT_EQ(convert(convert(bad)), bad + ":ListError:ListError");
  Module1::ErrorCD = false;
  EXPECT_EQ(convert(bad), "");
  EXPECT_EQ(convert("\xe3\x81"), "");  // cut in the middle of a character
  Module1::ErrorCD = true;
  EXPECT_EQ(convert("\xe3\x81"), "\xe3\x81:ListError");
  EXPECT_TRUE(msgs().empty());
}

}  // namespace
