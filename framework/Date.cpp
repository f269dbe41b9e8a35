#include "framework/Date.h"

#include <QLocale>
#include <cstdio>

namespace framework {

namespace {

QDateTime toSecond(QDateTime when) {
  when = when.toLocalTime();
  return when.addMSecs(-when.time().msec());
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

Date::Date() : when_(toSecond(QDateTime::currentDateTime())) {}

Date Date::fromQDateTime(const QDateTime& when) {
  Date d;
  if (when.isValid()) d.when_ = toSecond(when);
  return d;
}

QDateTime Date::toQDateTime() const { return when_; }

std::string Date::ShortDate() const {
  return QLocale::system().toString(when_.date(), QLocale::ShortFormat).toStdString();
}

std::string Date::LongTime() const {
  const QLocale locale = QLocale::system();
  return locale.toString(when_.time(), withoutTimeZone(locale.timeFormat(QLocale::LongFormat)))
      .toStdString();
}

std::string Date::SQLDateTime() const {
  const QDate d = when_.date();
  const QTime t = when_.time();
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", d.year(), d.month(), d.day(),
                t.hour(), t.minute(), t.second());
  return text;
}

bool Date::setSQLDateTime(std::string_view text) {
  if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != ' ' || text[13] != ':' ||
      text[16] != ':')
    return false;
  int year, month, day, hour, minute, second;
  if (!digits(text, 0, 4, year) || !digits(text, 5, 2, month) || !digits(text, 8, 2, day) ||
      !digits(text, 11, 2, hour) || !digits(text, 14, 2, minute) || !digits(text, 17, 2, second))
    return false;
  const QDate date(year, month, day);
  const QTime time(hour, minute, second);
  if (!date.isValid() || !time.isValid()) return false;
  const QDateTime when(date, time);
  if (!when.isValid()) return false;
  when_ = when;
  return true;
}

bool Date::operator==(const Date& other) const { return when_ == other.when_; }

}  // namespace framework
