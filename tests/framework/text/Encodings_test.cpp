#include <gtest/gtest.h>

#include "framework/text/Encodings.h"

using framework::ConvertEncoding;
using framework::DefineEncoding;
using framework::Encodings;

namespace {

std::string fromMacJapanese(const std::string& bytes) {
  return ConvertEncoding(DefineEncoding(bytes, Encodings::MacJapanese), Encodings::UTF8);
}

TEST(Encodings, MacJapaneseToUtf8) {
  const struct {
    const char* what;
    std::string in;
    std::string out;
  } cases[] = {
      {"ASCII", "Disc 01.txt", "Disc 01.txt"},
      {"controls map to themselves", std::string("\x00\x09\x1F\x7F", 4), std::string("\x00\x09\x1F\x7F", 4)},
      {"0x5C is the yen sign", "\x5C", "\xC2\xA5"},
      {"0x80 is the backslash", "\x80", "\\"},
      {"half-width katakana", "\xB1\xDD", "\xEF\xBD\xB1\xEF\xBE\x9D"},  // ｱﾝ
      {"hiragana", "\x82\xA9\x82\xAA", "\xE3\x81\x8B\xE3\x81\x8C"},   // かが
      {"kanji", "\x88\x9F", "\xE4\xBA\x9C"},                          // 亜
      {"mixed", "CD\x83\x66\x83\x42\x83\x58\x83\x4E", "CD\xE3\x83\x87\xE3\x82\xA3\xE3\x82\xB9\xE3\x82\xAF"},
      {"Apple extension beyond Shift_JIS", "\x85\x40", "\xE2\x91\xA0"},  // ①
      {"several scalars for one code", "\x85\xAB", "\xEF\xA1\xA2XIII"},  // U+F862 + "XIII"
      {"one byte with a hint", "\xFF", "\xE2\x80\xA6\xEF\xA1\xBF"},     // U+2026 + U+F87F
      {"unmapped two-byte code", "\x85\xFC" "a", "\xEF\xBF\xBD" "a"},
      {"unmapped single byte", "\xF5" "a", "\xEF\xBF\xBD" "a"},
      {"lead byte at the end", "a\x88", "a\xEF\xBF\xBD"},
      {"lead byte before no trail", "\x88\x0A", "\xEF\xBF\xBD\x0A"},
      {"empty", "", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(fromMacJapanese(c.in), c.out) << c.what;
}

TEST(Encodings, SameEncodingKeepsTheBytesAndDefineChangesNothing) {
  const std::string bytes = "\xE3\x81\x8B\xFF";  // not even well-formed
  const auto defined = DefineEncoding(bytes, Encodings::UTF8);
  EXPECT_EQ(defined.bytes, bytes);
  EXPECT_EQ(defined.encoding, Encodings::UTF8);
  EXPECT_EQ(ConvertEncoding(defined, Encodings::UTF8), bytes);
  EXPECT_EQ(ConvertEncoding(DefineEncoding("\x88\x9F", Encodings::MacJapanese), Encodings::MacJapanese), "\x88\x9F");
}

TEST(Encodings, Utf8ToMacJapaneseRoundTripsOneCharacterCodes) {
  const std::string mac = "CD\x88\x9F\xB1\x80\x5C";
  EXPECT_EQ(ConvertEncoding(DefineEncoding(fromMacJapanese(mac), Encodings::UTF8), Encodings::MacJapanese), mac);
  EXPECT_EQ(ConvertEncoding(DefineEncoding("\xF0\x9F\x98\x80" "a\xFF", Encodings::UTF8), Encodings::MacJapanese), "?a?");
}

}  // namespace
