#include "framework/text/LocaleDateFormat.h"

#include <utility>

namespace framework {

namespace {

std::string utf8(const QString& text) { return text.toStdString(); }

int hour12(int hour) { return hour % 12 == 0 ? 12 : hour % 12; }

}  // namespace

LocaleDateFormat::LocaleDateFormat(const QLocale& locale, const QString& format, Of of,
                                   Reference reference)
    : of_(of), reference_(std::move(reference)) {
  if (!reference_) {
    reference_ = [locale, format, of](QDate date, QTime time) {
      return of == Of::Date ? locale.toString(date, format) : locale.toString(time, format);
    };
  }
  compiled_ = build(locale, format) && verify();
  if (!compiled_) pieces_.clear();
}

// Each piece's texts are QLocale's own text for that piece of the format alone, one per value of
// the one field it shows; so the pieces need only be cut where QLocale itself cuts them.
bool LocaleDateFormat::build(const QLocale& locale, const QString& format) {
  const bool isDate = of_ == Of::Date;
  auto textOf = [&](const QString& piece, QDate date, QTime time) {
    return utf8(isDate ? locale.toString(date, piece) : locale.toString(time, piece));
  };
  QString literal;  // the format's text of the literal piece being gathered
  auto endLiteral = [&] {
    if (literal.isEmpty()) return;
    pieces_.push_back({Field::Literal, {textOf(literal, QDate(2000, 1, 1), QTime(0, 0))}});
    literal.clear();
  };
  bool amPm = false;
  const qsizetype n = format.size();
  for (qsizetype i = 0; i < n;) {
    const char16_t c = format[i].unicode();
    if (c == u'\'') {
      // Quoted text runs to the next lone quote; a doubled quote stands for a quote.
      qsizetype j = i + 1;
      if (j < n && format[j] == u'\'') {
        ++j;
      } else {
        while (j < n) {
          if (format[j] != u'\'') {
            ++j;
          } else if (j + 1 < n && format[j + 1] == u'\'') {
            j += 2;
          } else {
            ++j;
            break;
          }
        }
      }
      literal += format.mid(i, j - i);
      i = j;
      continue;
    }
    qsizetype run = 1;
    while (i + run < n && format[i + run] == format[i]) ++run;
    Field field = Field::Literal;
    bool known = true;
    if (isDate) {
      switch (c) {
        case u'd': field = run <= 2 ? Field::Day : Field::Weekday; known = run <= 4; break;
        case u'M': field = Field::Month; break;
        case u'y':
          if (run >= 2) field = run == 4 ? Field::Year4 : Field::Year2;
          known = run <= 4;
          break;
        default: break;
      }
    } else {
      switch (c) {
        case u'h': field = Field::Hour12; break;  // 12-hour only beside an AM/PM
        case u'H': field = Field::Hour; break;
        case u'm': field = Field::Minute; break;
        case u's': field = Field::Second; break;
        case u'a':
        case u'A':
          field = Field::AmPm;
          run = (i + 1 < n && (format[i + 1] == u'p' || format[i + 1] == u'P')) ? 2 : 1;
          amPm = true;
          break;
        case u'z':
        case u't': known = false; break;
        default: break;
      }
    }
    if (!known) return false;
    const QString piece = format.mid(i, run);
    i += run;
    if (field == Field::Literal) {
      literal += piece;
      continue;
    }
    endLiteral();
    std::vector<std::string> texts;
    switch (field) {
      case Field::Day:
        for (int v = 1; v <= 31; ++v) texts.push_back(textOf(piece, QDate(2000, 1, v), {}));
        break;
      case Field::Weekday:  // 2024-01-01 is a Monday, the first day of the week
        for (int v = 1; v <= 7; ++v) texts.push_back(textOf(piece, QDate(2024, 1, v), {}));
        break;
      case Field::Month:
        for (int v = 1; v <= 12; ++v) texts.push_back(textOf(piece, QDate(2000, v, 1), {}));
        break;
      case Field::Year2:
        for (int v = 0; v <= 99; ++v) texts.push_back(textOf(piece, QDate(2000 + v, 1, 1), {}));
        break;
      case Field::Year4:  // the century's and the year's two digits
        for (int v = 0; v <= 99; ++v) texts.push_back(textOf(QStringLiteral("yy"), QDate(2000 + v, 1, 1), {}));
        break;
      case Field::Hour:
      case Field::Hour12:
        for (int v = 0; v <= 23; ++v) texts.push_back(textOf(piece, {}, QTime(v, 0)));
        break;
      case Field::Minute:
        for (int v = 0; v <= 59; ++v) texts.push_back(textOf(piece, {}, QTime(0, v)));
        break;
      case Field::Second:
        for (int v = 0; v <= 59; ++v) texts.push_back(textOf(piece, {}, QTime(0, 0, v)));
        break;
      case Field::AmPm:
        texts.push_back(textOf(piece, {}, QTime(1, 0)));
        texts.push_back(textOf(piece, {}, QTime(13, 0)));
        break;
      case Field::Literal: break;
    }
    pieces_.push_back({field, std::move(texts)});
  }
  endLiteral();
  if (!amPm)
    for (Piece& p : pieces_)
      if (p.field == Field::Hour12) p.field = Field::Hour;
  return true;
}

bool LocaleDateFormat::verify() const {
  std::string ours;
  auto same = [&](auto value, const QString& theirs) {
    ours.clear();
    return appendCompiled(value, ours) && ours == utf8(theirs);
  };
  if (of_ == Of::Date) {
    for (int year : {1, 9, 10, 99, 100, 999, 1000, 1969, 1999, 2000, 2001, 2009, 2010, 2023, 2099, 9999})
      for (int month = 1; month <= 12; ++month) {
        const QDate d(year, month, 1 + (month * 5 + year) % 28);
        if (!same(d, reference_(d, {}))) return false;
      }
    for (int day = 1; day <= 31; ++day)
      if (const QDate d(2023, 1, day); !same(d, reference_(d, {}))) return false;
    return same(QDate(2024, 2, 29), reference_(QDate(2024, 2, 29), {}));
  }
  for (int i = 0; i < 60; ++i)
    if (const QTime t(i % 24, i, 59 - i); !same(t, reference_({}, t))) return false;
  for (int h = 0; h < 24; ++h)
    if (const QTime t(h, 0); !same(t, reference_({}, t))) return false;
  return true;
}

bool LocaleDateFormat::appendCompiled(QDate date, std::string& out) const {
  int year = 0, month = 0, day = 0;
  date.getDate(&year, &month, &day);  // one conversion from the day number for all three
  if (of_ != Of::Date || !date.isValid() || year < 1 || year > 9999) return false;
  const auto at = [](const Piece& p, int index) -> const std::string& {
    return p.texts[static_cast<std::size_t>(index)];
  };
  for (const Piece& p : pieces_) {
    switch (p.field) {
      case Field::Literal: out += p.texts[0]; break;
      case Field::Day: out += at(p, day - 1); break;
      case Field::Weekday: out += at(p, date.dayOfWeek() - 1); break;
      case Field::Month: out += at(p, month - 1); break;
      case Field::Year2: out += at(p, year % 100); break;
      case Field::Year4:
        out += at(p, year / 100);
        out += at(p, year % 100);
        break;
      default: return false;
    }
  }
  return true;
}

bool LocaleDateFormat::appendCompiled(QTime time, std::string& out) const {
  if (of_ != Of::Time || !time.isValid()) return false;
  const auto at = [](const Piece& p, int index) -> const std::string& {
    return p.texts[static_cast<std::size_t>(index)];
  };
  for (const Piece& p : pieces_) {
    switch (p.field) {
      case Field::Literal: out += p.texts[0]; break;
      case Field::Hour: out += at(p, time.hour()); break;
      case Field::Hour12: out += at(p, hour12(time.hour())); break;
      case Field::Minute: out += at(p, time.minute()); break;
      case Field::Second: out += at(p, time.second()); break;
      case Field::AmPm: out += at(p, time.hour() < 12 ? 0 : 1); break;
      default: return false;
    }
  }
  return true;
}

void LocaleDateFormat::append(QDate date, std::string& out) const {
  const std::size_t size = out.size();
  if (compiled_ && appendCompiled(date, out)) return;
  out.resize(size);
  out += utf8(reference_(date, {}));
}

void LocaleDateFormat::append(QTime time, std::string& out) const {
  const std::size_t size = out.size();
  if (compiled_ && appendCompiled(time, out)) return;
  out.resize(size);
  out += utf8(reference_({}, time));
}

}  // namespace framework
