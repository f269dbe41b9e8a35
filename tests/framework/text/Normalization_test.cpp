#include <gtest/gtest.h>

#include "framework/text/Normalization.h"

using framework::ComposeUtf8;

namespace {

struct Case {
  const char* what;
  std::string in;
  std::string out;
};

TEST(ComposeUtf8, ComposesDecomposedSequencesAndKeepsEverythingElse) {
  const Case cases[] = {
      {"kana with voiced mark", "\xE3\x81\x8B\xE3\x82\x99", "\xE3\x81\x8C"},  // か + U+3099 -> が
      {"kana with semi-voiced mark", "\xE3\x81\xAF\xE3\x82\x9A", "\xE3\x81\xB1"},  // は + U+309A -> ぱ
      {"e with acute", "Caf" "e\xCC\x81", "Caf\xC3\xA9"},
      {"two marks in canonical order", "a\xCC\xA3\xCC\x82", "\xE1\xBA\xAD"},  // a + dot below + circumflex -> ậ
      {"two marks out of order", "a\xCC\x82\xCC\xA3", "\xE1\xBA\xAD"},
      {"mark with no composite", "x\xCC\x81", "x\xCC\x81"},
      {"mark with no base", "\xCC\x81" "a", "\xCC\x81" "a"},
      {"Hangul LV", "\xE1\x84\x80\xE1\x85\xA1", "\xEA\xB0\x80"},  // ᄀ + ᅡ -> 가
      {"Hangul LVT", "\xE1\x84\x80\xE1\x85\xA1\xE1\x86\xA8", "\xEA\xB0\x81"},  // -> 각
      {"already composed", "\xE3\x81\x8C\xC3\xA9\xEA\xB0\x81 \xE6\xBC\xA2", "\xE3\x81\x8C\xC3\xA9\xEA\xB0\x81 \xE6\xBC\xA2"},
      {"Angstrom sign", "\xE2\x84\xAB", "\xE2\x84\xAB"},
      {"Ohm sign", "\xE2\x84\xA6", "\xE2\x84\xA6"},
      {"CJK compatibility ideograph", "\xEF\xA4\x80", "\xEF\xA4\x80"},
      {"en quad", "a\xE2\x80\x80" "b", "a\xE2\x80\x80" "b"},
      {"singletons beside a composition", "\xE2\x84\xAB\xEF\xA4\x80" "e\xCC\x81", "\xE2\x84\xAB\xEF\xA4\x80\xC3\xA9"},
      {"Angstrom sign keeps a following mark", "\xE2\x84\xAB\xCC\x81", "\xE2\x84\xAB\xCC\x81"},
      {"full-width letter", "\xEF\xBC\xA1", "\xEF\xBC\xA1"},
      {"shell characters", "a\"b$c`d\\e 'f'", "a\"b$c`d\\e 'f'"},
      {"leading hyphen", "-n", "-n"},
      {"empty", "", ""},
  };
  for (const Case& c : cases) {
    const auto result = ComposeUtf8(c.in);
    ASSERT_TRUE(result) << c.what;
    EXPECT_EQ(*result, c.out) << c.what;
  }
}

TEST(ComposeUtf8, IllFormedInputFails) {
  const std::string cases[] = {
      "\xFF",                  // never a UTF-8 byte
      "abc\xE3\x81",           // cut short
      "\xC0\xAF",              // overlong "/"
      "\xED\xA0\x80",          // a surrogate
      "\xF4\x90\x80\x80",      // beyond U+10FFFF
      "e\xCC\x81\x80",         // a stray continuation byte after a composable sequence
  };
  for (const std::string& in : cases) EXPECT_FALSE(ComposeUtf8(in)) << testing::PrintToString(in);
}

}  // namespace
