#include "framework/text/Date.h"

#include <QLocale>
#include <QTemporaryDir>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <string>
#include <gtest/gtest.h>

#include "framework/database/Database.h"
#include "framework/files/FolderItem.h"

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

// The local wall clock of a moment, in time zones given as rules so that no zone file is needed.
TEST(Date, SecondsSinceTheEpochAreTakenInLocalTime) {
  struct Case {
    const char* zone;
    std::int64_t seconds;
    const char* local;
  } const cases[] = {
      {"UTC0", 1000000000, "2001-09-09 01:46:40"},
      {"JST-9", 1000000000, "2001-09-09 10:46:40"},
      {"CET-1CEST,M3.5.0,M10.5.0/3", 1000000000, "2001-09-09 03:46:40"},  // summer time
      {"CET-1CEST,M3.5.0,M10.5.0/3", 1010000000, "2002-01-02 20:33:20"},  // winter time
      {"EST5EDT,M3.2.0,M11.1.0", 0, "1969-12-31 19:00:00"},
  };
  const char* const saved = std::getenv("TZ");
  const std::string before = saved ? saved : "";
  for (const Case& c : cases) {
    ::setenv("TZ", c.zone, 1);
    ::tzset();
    EXPECT_EQ(Date::fromSecsSinceEpoch(c.seconds).SQLDateTime(), c.local) << c.zone;
  }
  if (saved) ::setenv("TZ", before.c_str(), 1);
  else ::unsetenv("TZ");
  ::tzset();
  EXPECT_EQ(Date::fromSecsSinceEpoch(1000000000).toQDateTime().toSecsSinceEpoch(), 1000000000);
}

TEST(Date, NowIsWholeSeconds) {
  // Two seconds: the system's coarse clock, which whole seconds may come from, can lag a little.
  const QDateTime before = QDateTime::currentDateTime().addSecs(-2);
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

// Years beyond four digits have no SQL date-time text: the nearest that has one stands for them.
TEST(Date, MomentsOutsideTheYears1To9999AreTheNearestRepresentable) {
  const std::int64_t year10000 = 253402300800 + 400 * 86400;  // well inside 10000 in every zone
  const std::int64_t year0 = -62135596800 - 400 * 86400;
  const struct {
    std::int64_t seconds;
    const char* stored;
  } cases[] = {
      {year10000, "9999-12-31 23:59:59"},
      {INT64_MAX, "9999-12-31 23:59:59"},
      {year0, "0001-01-01 00:00:00"},
      {INT64_MIN, "0001-01-01 00:00:00"},
  };
  for (const auto& c : cases) EXPECT_EQ(Date::fromSecsSinceEpoch(c.seconds).SQLDateTime(), c.stored) << c.seconds;
  for (const char* edge : {"9999-12-31 23:59:59", "0001-01-01 00:00:00"})
    EXPECT_EQ(Date::fromSQLDateTime(edge).value_or(Date()).SQLDateTime(), edge);
  // What earlier builds stored for such a moment reads back as the last one, not as now.
  EXPECT_EQ(Date::fromSQLDateTime("10000-01-01 00:00:00").value_or(Date()).SQLDateTime(), "9999-12-31 23:59:59");
  for (const char* reject : {"10000-13-01 00:00:00", "01000-01-01 00:00:00", "1x000-01-01 00:00:00", "10000-01-01"})
    EXPECT_FALSE(Date::fromSQLDateTime(reject)) << reject;
}

// A file dated in the year 10000, stored and read back as the catalogue does. tmpfs keeps such a
// time; ext4 stops at 2446.
TEST(Date, AFileDatedAfterTheYear9999IsStoredAndShownAsItsLastSecond) {
  QTemporaryDir dir(QStringLiteral("/dev/shm/lumeno-date-XXXXXX"));
  if (!dir.isValid()) GTEST_SKIP() << "no tmpfs at /dev/shm";
  const std::string file = dir.filePath(QStringLiteral("f")).toStdString();
  std::ofstream(file) << "x";
  const timespec times[2] = {{0, UTIME_OMIT}, {253402300800 + 400 * 86400, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
  struct stat st {};
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  if (st.st_mtime < 253402300800) GTEST_SKIP() << "the file system cut the time";

  auto db = framework::Database::open(dir.filePath(QStringLiteral("t.sqlite")).toStdString());
  ASSERT_TRUE(db);
  db->SQLSelect("CREATE TABLE t (Date DATETIME)");
  framework::DatabaseRecord rec;
  rec.DateColumn("Date", framework::FolderItem(file).ModificationDate());
  db->InsertRecord("t", rec);
  db->Commit();
  ASSERT_FALSE(db->Error()) << db->ErrorMessage();
  auto rs = db->SQLSelect("SELECT Date FROM t");
  ASSERT_TRUE(rs && !rs->Eof());
  EXPECT_EQ(rs->Field("Date").StringValue(), "9999-12-31 23:59:59");
  const Date shown = rs->Field("Date").DateValue();
  EXPECT_EQ(shown.SQLDateTime(), "9999-12-31 23:59:59");
  EXPECT_EQ(shown.ShortDate(), QLocale::system().toString(QDate(9999, 12, 31), QLocale::ShortFormat).toStdString());
}
