#include "framework/text/Normalization.h"

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <vector>

namespace framework {

namespace {

// Whether a character can join the character before it in a canonical composition: a combining mark,
// or a character such as a Hangul vowel or final jamo that composes backwards though it is a starter.
bool mayComposeBackwards(UChar32 c) {
  return u_getCombiningClass(c) != 0 ||
         u_getIntPropertyValue(c, UCHAR_NFC_QUICK_CHECK) == UNORM_MAYBE;
}

void appendUtf8(std::string& out, UChar32 c) {
  char bytes[U8_MAX_LENGTH];
  int32_t length = 0;
  U8_APPEND_UNSAFE(bytes, length, c);
  out.append(bytes, static_cast<std::size_t>(length));
}

}  // namespace

// Full NFC would also decompose and remap characters that are already composed (U+212B, the CJK
// compatibility ideographs, U+2000...), so only the composition step is run: marks are put in
// canonical order and each is joined to its starter when a primary composite exists and nothing
// blocks it. Nothing is ever decomposed, so composed text passes unchanged.
std::optional<std::string> ComposeUtf8(std::string_view in) {
  if (std::all_of(in.begin(), in.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
    return std::string(in);

  std::vector<UChar32> text;
  text.reserve(in.size());
  bool needsComposition = false;
  const auto* bytes = reinterpret_cast<const uint8_t*>(in.data());
  const auto length = static_cast<int32_t>(in.size());
  for (int32_t i = 0; i < length;) {
    UChar32 c;
    U8_NEXT(bytes, i, length, c);
    if (c < 0) return std::nullopt;
    if (!needsComposition && mayComposeBackwards(c)) needsComposition = true;
    text.push_back(c);
  }
  if (!needsComposition) return std::string(in);

  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
  if (U_FAILURE(status)) return std::nullopt;

  // Canonical ordering: a stable sort of each run of marks by combining class.
  for (std::size_t i = 0; i < text.size();) {
    if (u_getCombiningClass(text[i]) == 0) {
      ++i;
      continue;
    }
    std::size_t end = i;
    while (end < text.size() && u_getCombiningClass(text[end]) != 0) ++end;
    std::stable_sort(text.begin() + static_cast<std::ptrdiff_t>(i), text.begin() + static_cast<std::ptrdiff_t>(end),
                     [](UChar32 a, UChar32 b) { return u_getCombiningClass(a) < u_getCombiningClass(b); });
    i = end;
  }

  std::vector<UChar32> out;
  out.reserve(text.size());
  std::ptrdiff_t starter = -1;  // index in `out` of the last starter, -1 before the first one
  uint8_t lastClass = 0;        // combining class of the last character kept after that starter
  for (const UChar32 c : text) {
    const uint8_t cc = u_getCombiningClass(c);
    if (starter >= 0) {
      const bool adjacent = static_cast<std::size_t>(starter) + 1 == out.size();
      const bool blocked = !adjacent && (lastClass == 0 || lastClass >= cc);
      if (!blocked) {
        const UChar32 composite = nfc->composePair(out[static_cast<std::size_t>(starter)], c);
        if (composite >= 0) {
          out[static_cast<std::size_t>(starter)] = composite;
          continue;
        }
      }
    }
    if (cc == 0) {
      starter = static_cast<std::ptrdiff_t>(out.size());
      lastClass = 0;
    } else {
      lastClass = cc;
    }
    out.push_back(c);
  }

  std::string result;
  result.reserve(in.size());
  for (const UChar32 c : out) appendUtf8(result, c);
  return result;
}

}  // namespace framework
