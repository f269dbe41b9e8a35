#include "framework/text/LocaleDateFormat.h"

#include <gtest/gtest.h>

using framework::LocaleDateFormat;

namespace {

const char* const kLocales[] = {"C",     "en_US", "en_GB", "ja_JP", "de_DE", "fr_FR", "ru_RU",
                                "ar_EG", "fa_IR", "ko_KR", "zh_CN", "th_TH", "hi_IN", "my_MM"};

// The locale's long time form names the zone, which a date-less time cannot show.
QString withoutZone(QString format) {
  format.remove(u't');
  return format.trimmed();
}

// Compares the formatter with QLocale over days spread across years 1..9999; gives whether it was
// worked out into tables.
bool checkDates(const QLocale& locale, const QString& format) {
  const LocaleDateFormat compiled(locale, format, LocaleDateFormat::Of::Date);
  const qint64 first = QDate(1, 1, 1).toJulianDay(), last = QDate(9999, 12, 31).toJulianDay();
  for (qint64 day = first; day <= last; day += 997) {
    const QDate d = QDate::fromJulianDay(day);
    std::string text = "<";
    compiled.append(d, text);
    EXPECT_EQ(text, "<" + locale.toString(d, format).toStdString())
        << locale.name().toStdString() << " \"" << format.toStdString() << "\" " << d.toString(Qt::ISODate).toStdString();
    if (text != "<" + locale.toString(d, format).toStdString()) break;
  }
  return compiled.compiled();
}

bool checkTimes(const QLocale& locale, const QString& format) {
  const LocaleDateFormat compiled(locale, format, LocaleDateFormat::Of::Time);
  for (int second = 0; second < 86400; second += 61) {
    const QTime t = QTime(0, 0).addSecs(second);
    std::string text;
    compiled.append(t, text);
    EXPECT_EQ(text, locale.toString(t, format).toStdString())
        << locale.name().toStdString() << " \"" << format.toStdString() << "\" " << t.toString().toStdString();
    if (text != locale.toString(t, format).toStdString()) break;
  }
  return compiled.compiled();
}

}  // namespace

TEST(LocaleDateFormat, LocaleFormsAreWorkedOutAndGiveQLocalesText) {
  for (const char* name : kLocales) {
    const QLocale locale(QString::fromLatin1(name));
    for (QLocale::FormatType type : {QLocale::ShortFormat, QLocale::LongFormat}) {
      EXPECT_TRUE(checkDates(locale, locale.dateFormat(type))) << name;
      EXPECT_TRUE(checkTimes(locale, withoutZone(locale.timeFormat(type)))) << name;
    }
  }
}

TEST(LocaleDateFormat, QuotesRunsAndAmPmFormsGiveQLocalesText) {
  struct Case {
    const char* format;
    LocaleDateFormat::Of of;
    bool compiled;  // false: a field the tables do not hold, left to QLocale
  };
  const Case cases[] = {
      {"d/M/yy 'at' dd.MM.yyyy", LocaleDateFormat::Of::Date, true},
      {"'it''s' ''d'' 'unterminated", LocaleDateFormat::Of::Date, true},
      {"ddd dddd MMM MMMMM yyy", LocaleDateFormat::Of::Date, true},
      {"hh:mm h H s m", LocaleDateFormat::Of::Date, true},  // time letters are plain text in a date
      {"ddddd", LocaleDateFormat::Of::Date, false},
      {"yyyyy", LocaleDateFormat::Of::Date, false},
      {"h:mm:ss ap", LocaleDateFormat::Of::Time, true},
      {"hh 'o''clock' AP Ap aP A a", LocaleDateFormat::Of::Time, true},
      {"hhh:mmm:sss HH", LocaleDateFormat::Of::Time, true},  // no AM/PM: h counts to 23
      {"'a' h d M y", LocaleDateFormat::Of::Time, true},    // quoted a is no AM/PM
      {"HH:mm:ss.zzz", LocaleDateFormat::Of::Time, false},
      {"HH:mm t", LocaleDateFormat::Of::Time, false},
  };
  for (const char* name : {"C", "en_US", "ko_KR", "ar_EG"}) {
    const QLocale locale(QString::fromLatin1(name));
    for (const Case& c : cases) {
      const QString format = QString::fromUtf8(c.format);
      const bool compiled = c.of == LocaleDateFormat::Of::Date ? checkDates(locale, format)
                                                               : checkTimes(locale, format);
      EXPECT_EQ(compiled, c.compiled) << name << " \"" << c.format << '"';
    }
  }
}

TEST(LocaleDateFormat, AReferenceOtherThanTheFormatIsFollowed) {
  // The system's short date may come from elsewhere than its format; a format that does not give
  // the reference's text must not be used.
  const QLocale locale(QStringLiteral("en_US"));
  const LocaleDateFormat odd(locale, QStringLiteral("d/M/yy"), LocaleDateFormat::Of::Date,
                             [](QDate d, QTime) { return d.toString(Qt::ISODate); });
  EXPECT_FALSE(odd.compiled());
  std::string text;
  odd.append(QDate(2023, 4, 5), text);
  EXPECT_EQ(text, "2023-04-05");
}
