#include "framework/Text.h"

#include <QString>

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

}  // namespace framework

#include <cstdlib>

namespace framework {

double Val(std::string_view text) {
  const std::string s(text);
  return std::strtod(s.c_str(), nullptr);
}

}  // namespace framework
