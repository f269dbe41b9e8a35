#include "framework/text/Date.h"

#include <QLocale>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <limits>

#include "framework/text/LocaleDateFormat.h"

namespace framework {

namespace {

// The system locale and its time form are looked up once: both are asked for on every row shown.
const QLocale& systemLocale() {
  static const QLocale locale = QLocale::system();
  return locale;
}

// The locale's long time form names the time zone; the catalogue shows the time without it.
QString withoutTimeZone(const QString& format) {
  QString out;
  bool quoted = false;
  for (QChar c : format) {
    if (c == u'\'') quoted = !quoted;
    if (!quoted && c == u't') continue;
    out += c;
  }
  out.replace(QStringLiteral("()"), QString());
  return out.simplified();
}

bool digits(std::string_view text, std::size_t from, std::size_t count, int& value) {
  value = 0;
  for (std::size_t i = from; i < from + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
  }
  return true;
}

}  // namespace

Date::Date() : Date(fromSecsSinceEpoch(std::time(nullptr))) {}

// The C library's own conversion: Qt's re-reads the time-zone setting (a stat of /etc/localtime)
// on every call, which made the dates of a walk cost more than its lstat calls.
Date Date::fromSecsSinceEpoch(std::int64_t seconds) {
  // An SQL date-time has four digits for the year: beyond them the nearest moment that has them
  // stands in, so that the stored text reads back (a file system may hold any 64-bit time).
  static const Date last(QDate(9999, 12, 31), QTime(23, 59, 59));
  static const Date first(QDate(1, 1, 1), QTime(0, 0));
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm local{};
  if (!::localtime_r(&t, &local)) return seconds > 0 ? last : first;
  const long long year = static_cast<long long>(local.tm_year) + 1900;
  if (year > 9999) return last;
  if (year < 1) return first;
  // A leap second shows as the second before it.
  return Date(QDate(static_cast<int>(year), local.tm_mon + 1, local.tm_mday),
              QTime(local.tm_hour, local.tm_min, std::min(local.tm_sec, 59)));
}

QDateTime Date::toQDateTime() const { return QDateTime(date_, time_); }

// Both forms are worked out once: parsing the locale's format on every call made a list of many
// dated rows slow to fill.
std::string Date::ShortDate() const {
  static const LocaleDateFormat format(
      systemLocale(), systemLocale().dateFormat(QLocale::ShortFormat), LocaleDateFormat::Of::Date,
      [](QDate date, QTime) { return systemLocale().toString(date, QLocale::ShortFormat); });
  std::string text;
  format.append(date_, text);
  return text;
}

std::string Date::LongTime() const {
  static const LocaleDateFormat format(systemLocale(),
                                       withoutTimeZone(systemLocale().timeFormat(QLocale::LongFormat)),
                                       LocaleDateFormat::Of::Time);
  std::string text;
  format.append(time_, text);
  return text;
}

std::string Date::SQLDateTime() const {
  // The calendar's parts at once: each of year(), month() and day() works them all out again.
  int year = 0, month = 0, day = 0;
  date_.getDate(&year, &month, &day);
  const QTime t = time_;
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, t.hour(), t.minute(),
                t.second());
  return text;
}

bool Date::setSQLDateTime(std::string_view text) {
  const std::optional<Date> parsed = fromSQLDateTime(text);
  if (!parsed) return false;
  *this = *parsed;
  return true;
}

std::optional<Date> Date::fromSQLDateTime(std::string_view text) {
  // Earlier builds stored a moment after the year 9999 with a longer year: it reads as the last
  // moment that fits, not as no date at all.
  const std::size_t dash = text.find('-');
  if (dash != std::string_view::npos && dash > 4 && dash < 20 && text.front() != '0' &&
      text.substr(0, dash).find_first_not_of("0123456789") == std::string_view::npos) {
    // A leap year stands in for the long one, so that only the rest of the text is judged.
    if (!fromSQLDateTime("2000" + std::string(text.substr(dash)))) return std::nullopt;
    return fromSecsSinceEpoch(std::numeric_limits<std::int64_t>::max());
  }
  if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != ' ' || text[13] != ':' ||
      text[16] != ':')
    return std::nullopt;
  int year, month, day, hour, minute, second;
  if (!digits(text, 0, 4, year) || !digits(text, 5, 2, month) || !digits(text, 8, 2, day) ||
      !digits(text, 11, 2, hour) || !digits(text, 14, 2, minute) || !digits(text, 17, 2, second))
    return std::nullopt;
  const QDate date(year, month, day);
  const QTime time(hour, minute, second);
  if (!date.isValid() || !time.isValid()) return std::nullopt;
  return Date(date, time);
}

bool Date::operator==(const Date& other) const { return date_ == other.date_ && time_ == other.time_; }

}  // namespace framework
