#include "framework/Date.h"

#include <QTimeZone>
#include <gtest/gtest.h>

using framework::Date;

TEST(Date, SQLDateTimeRoundTrip) {
  for (const char* text : {"2020-02-29 23:59:59", "1999-01-01 00:00:00", "0987-06-05 04:03:02"}) {
    Date d;
    ASSERT_TRUE(d.setSQLDateTime(text)) << text;
    EXPECT_EQ(d.SQLDateTime(), text);
    Date again;
    ASSERT_TRUE(again.setSQLDateTime(d.SQLDateTime()));
    EXPECT_EQ(again, d);
  }
}

TEST(Date, SetSQLDateTimeRejectsOtherTextsAndKeepsTheValue) {
  const char* const rejects[] = {
      "2020-13-01 00:00:00", "2020-01-01", "", "2021-02-29 00:00:00", "2020-01-01 24:00:00",
      "2020-01-01 12:60:00", "2020-01-01T12:00:00", "2020-01-01 12:00:00 ", " 2020-01-01 12:00:00",
      "2020-1-01 12:00:000", "+020-01-01 12:00:00", "2020-01-01 12:00:0x", "0000-01-01 00:00:00"};
  Date d;
  ASSERT_TRUE(d.setSQLDateTime("2001-02-03 04:05:06"));
  for (const char* text : rejects) {
    EXPECT_FALSE(d.setSQLDateTime(text)) << '"' << text << '"';
    EXPECT_EQ(d.SQLDateTime(), "2001-02-03 04:05:06") << text;
  }
}

TEST(Date, QDateTimeIsTakenToTheSecondInLocalTime) {
  const QDateTime utc(QDate(2010, 7, 8), QTime(9, 10, 11, 999), QTimeZone::utc());
  const Date d = Date::fromQDateTime(utc);
  EXPECT_EQ(d.toQDateTime().toMSecsSinceEpoch(), utc.toMSecsSinceEpoch() - 999);
  EXPECT_EQ(d.SQLDateTime(), utc.toLocalTime().toString("yyyy-MM-dd HH:mm:ss").toStdString());
  EXPECT_EQ(Date::fromQDateTime(utc.addMSecs(-500)), d);
  EXPECT_FALSE(Date::fromQDateTime(utc.addSecs(1)) == d);
}

TEST(Date, NowIsWholeSeconds) {
  const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
  const Date now;
  EXPECT_EQ(now.toQDateTime().time().msec(), 0);
  EXPECT_GE(now.toQDateTime(), before);
}

TEST(Date, DisplayFormsFollowTheLocale) {
  Date d;
  ASSERT_TRUE(d.setSQLDateTime("2019-11-22 13:14:15"));
  const QLocale locale = QLocale::system();
  EXPECT_EQ(d.ShortDate(), locale.toString(QDate(2019, 11, 22), QLocale::ShortFormat).toStdString());
  const std::string time = d.LongTime();
  EXPECT_NE(time.find("14"), std::string::npos) << time;
  EXPECT_NE(time.find("15"), std::string::npos) << time;
  const std::string zone = d.toQDateTime().timeZoneAbbreviation().toStdString();
  if (!zone.empty()) {
    EXPECT_EQ(time.find(zone), std::string::npos) << time;
  }
  EXPECT_EQ(time, std::string(QString::fromStdString(time).trimmed().toStdString()));
}
