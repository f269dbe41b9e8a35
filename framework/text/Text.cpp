#include "framework/text/Text.h"

#include <QString>

#include <charconv>
#include <limits>

namespace framework {

namespace {

bool isAscii(std::string_view s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool textEquals(std::string_view a, std::string_view b) {
  if (a == b) return true;
  // Between two ASCII texts case folding is ASCII's own: no need to decode them (a list compares
  // a field on every row). A non-ASCII letter can fold to an ASCII one, so mixed texts go below.
  if (isAscii(a) && isAscii(b)) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
      if (asciiLower(a[i]) != asciiLower(b[i])) return false;
    return true;
  }
  const QString qa = QString::fromUtf8(a.data(), qsizetype(a.size()));
  const QString qb = QString::fromUtf8(b.data(), qsizetype(b.size()));
  // Ill-formed bytes would all decode to U+FFFD and compare equal: such texts are equal only byte for byte.
  if (qa.contains(QChar::ReplacementCharacter) || qb.contains(QChar::ReplacementCharacter)) return false;
  return qa.compare(qb, Qt::CaseInsensitive) == 0;
}

// strtod would follow the user's locale (a decimal comma) and read hexadecimal, "inf" and "nan".
double Val(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size() || !((text[i] >= '0' && text[i] <= '9') || text[i] == '.')) return 0;
  double value = 0;
  const char* first = text.data() + i;
  const auto [end, error] = std::from_chars(first, text.data() + text.size(), value);
  if (error == std::errc::result_out_of_range) {
    // Too large is infinite, too small is zero, as with strtod.
    const std::string_view digits(first, static_cast<std::size_t>(end - first));
    const auto e = digits.find_first_of("eE");
    value = e != std::string_view::npos && e + 1 < digits.size() && digits[e + 1] == '-'
                ? 0.0
                : std::numeric_limits<double>::infinity();
  }
  return negative ? -value : value;
}

}  // namespace framework
