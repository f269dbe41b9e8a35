#include "framework/text/Encodings.h"

#include <array>
#include <cstdint>
#include <memory>
#include <unordered_map>

#include <unicode/utf8.h>

#include "framework/text/MacJapaneseTable.h"

namespace framework {

namespace {

constexpr std::int32_t noEntry = -1;

// Entry index by code (one byte, or lead << 8 | trail), and which bytes lead a two-byte code.
struct MacJapaneseIndex {
  std::array<std::int32_t, 0x10000> entryByCode;
  std::array<bool, 0x100> leadByte{};
  std::unordered_map<char32_t, std::uint16_t> codeByScalar;  // one-scalar codes only, first wins

  MacJapaneseIndex() {
    entryByCode.fill(noEntry);
    for (std::size_t i = 0; i < macJapaneseEntryCount; ++i) {
      const MacJapaneseEntry& e = macJapaneseEntries[i];
      if (entryByCode[e.code] == noEntry) entryByCode[e.code] = static_cast<std::int32_t>(i);
      if (e.code > 0xFF) leadByte[e.code >> 8] = true;
      if (e.count == 1) codeByScalar.emplace(macJapaneseScalars[e.first], e.code);
    }
  }
};

const MacJapaneseIndex& macJapanese() {
  static const auto index = std::make_unique<MacJapaneseIndex>();
  return *index;
}

bool isControl(unsigned char b) { return b < 0x20 || b == 0x7F; }
bool isTrailByte(unsigned char b) { return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC); }

void appendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

void appendEntry(std::string& out, std::int32_t entry) {
  const MacJapaneseEntry& e = macJapaneseEntries[entry];
  for (std::uint8_t k = 0; k < e.count; ++k) appendUtf8(out, macJapaneseScalars[e.first + k]);
}

std::string macJapaneseToUtf8(const std::string& in) {
  const MacJapaneseIndex& table = macJapanese();
  std::string out;
  out.reserve(in.size() * 3 / 2);
  for (std::size_t i = 0; i < in.size();) {
    const auto b = static_cast<unsigned char>(in[i]);
    if (isControl(b)) {
      out.push_back(static_cast<char>(b));
      ++i;
    } else if (table.leadByte[b] && i + 1 < in.size() && isTrailByte(static_cast<unsigned char>(in[i + 1]))) {
      // A lead and a trail byte are one code, mapped or not, so an unknown pair gives one U+FFFD.
      const std::int32_t entry = table.entryByCode[(b << 8) | static_cast<unsigned char>(in[i + 1])];
      if (entry == noEntry) appendUtf8(out, 0xFFFD);
      else appendEntry(out, entry);
      i += 2;
    } else {
      const std::int32_t entry = table.leadByte[b] ? noEntry : table.entryByCode[b];
      if (entry == noEntry) appendUtf8(out, 0xFFFD);
      else appendEntry(out, entry);
      ++i;
    }
  }
  return out;
}

std::string utf8ToMacJapanese(const std::string& in) {
  const MacJapaneseIndex& table = macJapanese();
  std::string out;
  out.reserve(in.size());
  for (std::int32_t i = 0; i < static_cast<std::int32_t>(in.size());) {
    UChar32 c = 0;
    U8_NEXT(reinterpret_cast<const std::uint8_t*>(in.data()), i, static_cast<std::int32_t>(in.size()), c);
    if (c < 0) {
      out.push_back('?');
    } else if (c < 0x80 && isControl(static_cast<unsigned char>(c))) {
      out.push_back(static_cast<char>(c));
    } else if (const auto found = table.codeByScalar.find(static_cast<char32_t>(c)); found != table.codeByScalar.end()) {
      if (found->second > 0xFF) out.push_back(static_cast<char>(found->second >> 8));
      out.push_back(static_cast<char>(found->second & 0xFF));
    } else {
      out.push_back('?');
    }
  }
  return out;
}

}  // namespace

EncodedText DefineEncoding(const std::string& text, TextEncoding encoding) { return {text, encoding}; }

std::string ConvertEncoding(const EncodedText& text, TextEncoding to) {
  if (text.encoding == to) return text.bytes;
  if (text.encoding == TextEncoding::MacJapanese) return macJapaneseToUtf8(text.bytes);
  return utf8ToMacJapanese(text.bytes);
}

}  // namespace framework
