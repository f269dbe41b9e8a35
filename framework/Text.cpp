#include "framework/Text.h"

#include <QString>

namespace framework {

bool textEquals(std::string_view a, std::string_view b) {
  if (a == b) return true;
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
