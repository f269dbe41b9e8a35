// The first change to a catalogue that an earlier version left in a rollback journal: the file is
// made ready beside the window, so a lock that another connection holds on it is waited for while
// the window goes on, and a failure is the change's, as the engine gave it.
#include "framework/database/Database.h"

#include <QDir>
#include <QFile>
#include <QTimer>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <string>

#include "support/FnThread.h"
#include "support/Wait.h"

using namespace framework;

namespace {

// A catalogue in a rollback journal with one record.
std::string rollbackCatalogue() {
  const QString file = QDir(qEnvironmentVariable("XDG_DATA_HOME")).filePath("lumeno/lumeno.sqlite");
  QFile::remove(file);
  QDir().mkpath(QDir(qEnvironmentVariable("XDG_DATA_HOME")).filePath("lumeno"));
  const std::string path = file.toStdString();
  sqlite3* db = nullptr;
  EXPECT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db,
                         "CREATE TABLE Folder1 (No INTEGER PRIMARY KEY, FolNo INTEGER, Name TEXT, Folder BOOLEAN, "
                         "CDName TEXT, Type TEXT, Date DATETIME, Time DATETIME, Byte INTEGER);"
                         "INSERT INTO Folder1 (No, Name) VALUES (4, 'kept')",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  return path;
}

// Another connection inside a read: the journal cannot change until it ends.
class Reader {
 public:
  explicit Reader(const std::string& path) {
    sqlite3_open(path.c_str(), &db_);
    EXPECT_EQ(sqlite3_exec(db_, "BEGIN; SELECT COUNT(*) FROM Folder1", nullptr, nullptr, nullptr), SQLITE_OK);
  }
  ~Reader() { sqlite3_close(db_); }
  void end() { sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr); }

 private:
  sqlite3* db_ = nullptr;
};

// What a change came to: the error it met, before the transaction's end cleared it.
struct Outcome {
  bool landed = false;
  std::int32_t code = 0;
  std::string message;
};

// Begins, inserts record `no` and commits.
Outcome change(const std::shared_ptr<Database>& db, int no) {
  Transaction t(db);
  DatabaseRecord r;
  r.IntegerColumn("No", no);
  r.Column("Name", "new");
  if (t.Begin()) db->InsertRecord("Folder1", r);
  if (!db->Error() && t.Commit()) return {true, 0, {}};
  return {false, db->ErrorCode(), db->ErrorMessage()};
}

// The change on a cooperative thread, or on the window's thread outside any.
Outcome changeFrom(bool onThread, const std::shared_ptr<Database>& db, int no) {
  if (!onThread) return change(db, no);
  Outcome outcome;
  bool ended = false;
  std::make_shared<FnThread>([&] {
    outcome = change(db, no);
    ended = true;
  })->Run();
  EXPECT_TRUE(waitUntil([&] { return ended; }));
  return outcome;
}

std::string journalMode(Database& db) {
  auto rs = db.SQLSelect("PRAGMA journal_mode");
  return rs ? rs->IdxField(1).StringValue() : "";
}

TEST(DatabaseReadiness, TheFirstChangeWaitsForALockWhileTheWindowGoesOnAndLands) {
  for (bool onThread : {true, false}) {
    SCOPED_TRACE(onThread ? "from a thread" : "from the window's thread");
    const std::string path = rollbackCatalogue();
    auto db = DatabaseItem("lumeno");
    ASSERT_TRUE(db);
    db->StartCheck();
    ASSERT_TRUE(waitUntil([&] { return db->Checked() == Database::Check::Whole; }));
    Reader reader(path);
    // Only the window's own timer lets the reader go: the switch of the journal waits for it.
    bool released = false;
    QTimer::singleShot(50, [&] {
      reader.end();
      released = true;
    });
    EXPECT_TRUE(changeFrom(onThread, db, 5).landed);
    EXPECT_TRUE(released);
    EXPECT_EQ(db->Checked(), Database::Check::Ready);
    EXPECT_EQ(journalMode(*db), "wal");
    auto rs = db->SQLSelect("SELECT COUNT(*) FROM Folder1 WHERE No IN (4, 5)");
    ASSERT_TRUE(rs);
    EXPECT_EQ(rs->IdxField(1).IntegerValue(), 2);
  }
}

TEST(DatabaseReadiness, ALockHeldThroughoutFailsTheFirstChangeAsTheEngineSaysAndTheNextOneTriesAgain) {
  const std::string path = rollbackCatalogue();
  auto db = DatabaseItem("lumeno");
  ASSERT_TRUE(db);
  {
    Reader reader(path);
    const Outcome refused = changeFrom(true, db, 5);
    EXPECT_FALSE(refused.landed);
    EXPECT_EQ(refused.code, SQLITE_BUSY);
    EXPECT_EQ(refused.message, sqlite3_errstr(SQLITE_BUSY));
    EXPECT_EQ(db->Checked(), Database::Check::Whole);
  }
  EXPECT_EQ(journalMode(*db), "delete");
  EXPECT_TRUE(changeFrom(true, db, 5).landed);
  EXPECT_EQ(journalMode(*db), "wal");
}

}  // namespace
