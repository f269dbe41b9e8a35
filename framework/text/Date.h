#pragma once
#include <QDateTime>
#include <cstdint>
#include <string>
#include <optional>
#include <string_view>

namespace framework {

// A moment in local time, to the second.
class Date {
 public:
  // The current moment.
  Date();

  // The moment `seconds` after the epoch, in local time; one before the year 1 or after 9999 gives
  // the nearest representable moment, 0001-01-01 00:00:00 or 9999-12-31 23:59:59.
  static Date fromSecsSinceEpoch(std::int64_t seconds);
  QDateTime toQDateTime() const;

  // The system locale's short date.
  std::string ShortDate() const;
  // The time with seconds in the system locale's form, without a time zone.
  std::string LongTime() const;
  // "YYYY-MM-DD HH:MM:SS".
  std::string SQLDateTime() const;

  // Takes exactly "YYYY-MM-DD HH:MM:SS" naming a real date and time (a year of more than four
  // digits gives 9999-12-31 23:59:59); any other text returns false and leaves the date as it was.
  bool setSQLDateTime(std::string_view text);
  // The date that such a text names, without asking the clock; none for any other text.
  static std::optional<Date> fromSQLDateTime(std::string_view text);

  bool operator==(const Date& other) const;

 private:
  Date(QDate date, QTime time) : date_(date), time_(time) {}

  // Wall-clock date and time in local time: showing a date needs no time-zone conversion, which
  // matters when a list shows a hundred thousand of them.
  QDate date_;
  QTime time_;
};

}  // namespace framework
