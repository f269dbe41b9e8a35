#include "framework/database/Database.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <string>

#include "support/Wait.h"

using namespace framework;

namespace {

class DatabaseTransactionTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    db_ = Database::open(path());
    ASSERT_TRUE(db_);
    db_->SQLSelect("CREATE TABLE Folder1 (No INTEGER PRIMARY KEY, FolNo INTEGER, Name TEXT)");
    ASSERT_FALSE(db_->Error()) << db_->ErrorMessage();
  }

  std::string path() const { return QDir(dir_.path()).filePath("t.sqlite").toStdString(); }
  qint64 walSize() const {
    const QFileInfo wal(QString::fromStdString(path() + "-wal"));
    return wal.exists() ? wal.size() : 0;
  }

  void insert(int no, const std::string& name = "row") {
    DatabaseRecord r;
    r.IntegerColumn("No", no);
    r.Column("Name", name);
    db_->InsertRecord("Folder1", r);
  }
  int value(const std::string& sql) {
    auto rs = db_->SQLSelect(sql);
    return rs ? rs->IdxField(1).IntegerValue() : -1;
  }
  // The rows as another connection sees them: only what was committed.
  int committedRows() {
    auto other = Database::open(path());
    auto rs = other ? other->SQLSelect("SELECT COUNT(*) FROM Folder1") : nullptr;
    return rs ? rs->IdxField(1).IntegerValue() : -1;
  }

  QTemporaryDir dir_;
  std::shared_ptr<Database> db_;
};

// A full disk makes the engine roll the whole transaction back by itself; the rows after it must
// not land in a fresh one.
TEST_F(DatabaseTransactionTest, ATransactionTheEngineUndidFailsEveryChangeUntilItIsEnded) {
  insert(1);
  db_->Commit();
  value("PRAGMA max_page_count=" + std::to_string(value("PRAGMA page_count") + 1));
  int no = 2;
  for (; no < 1000 && !db_->Error(); ++no) insert(no, std::string(200, 'x'));
  ASSERT_EQ(db_->ErrorCode(), 13) << db_->ErrorMessage();

  value("PRAGMA max_page_count=1073741823");  // room again
  insert(no + 1);
  EXPECT_EQ(db_->ErrorCode(), 13);
  EXPECT_EQ(db_->ErrorMessage(), "database or disk is full");
  db_->Commit();
  EXPECT_EQ(db_->ErrorCode(), 13);
  EXPECT_EQ(committedRows(), 1);

  // Once ended, the next change opens a transaction of its own.
  insert(no + 2);
  EXPECT_FALSE(db_->Error()) << db_->ErrorMessage();
  db_->Commit();
  EXPECT_FALSE(db_->Error());
  EXPECT_EQ(committedRows(), 2);

  // Rollback ends a lost transaction as well, and reports nothing.
  value("PRAGMA max_page_count=" + std::to_string(value("PRAGMA page_count") + 1));
  for (no += 3; no < 3000 && !db_->Error(); ++no) insert(no, std::string(200, 'x'));
  ASSERT_EQ(db_->ErrorCode(), 13);
  db_->Rollback();
  EXPECT_FALSE(db_->Error());
  value("PRAGMA max_page_count=1073741823");
  insert(no + 1);
  db_->Commit();
  EXPECT_FALSE(db_->Error());
  EXPECT_EQ(committedRows(), 3);
}

TEST_F(DatabaseTransactionTest, ATransactionLandsOnlyThroughCommit) {
  {
    Transaction t(db_);
    ASSERT_TRUE(t.Begin());
    insert(1);
  }  // left early: undone
  EXPECT_EQ(value("SELECT COUNT(*) FROM Folder1"), 0);
  {
    Transaction t(db_);
    ASSERT_TRUE(t.Begin());
    insert(2);
    EXPECT_EQ(value("SELECT COUNT(*) FROM Folder1"), 1);  // the connection sees its own changes
    EXPECT_EQ(committedRows(), 0);
    EXPECT_TRUE(t.Commit());
  }
  EXPECT_EQ(committedRows(), 1);
}

// The log goes back into the file after a commit, also when a record set of the connection held
// it back for a while: the checkpoint is tried again without another commit.
TEST_F(DatabaseTransactionTest, TheLogIsTruncatedAfterACommitOnceNoReaderHoldsItBack) {
  EXPECT_EQ(value("PRAGMA wal_autocheckpoint"), 0);
  for (int no = 1; no <= 300; ++no) insert(no, std::string(100, 'r'));
  db_->Commit();
  EXPECT_TRUE(waitUntil([&] { return walSize() == 0; }));

  auto reader = db_->SQLSelect("SELECT * FROM Folder1");
  ASSERT_TRUE(reader);
  insert(1000);
  ASSERT_FALSE(db_->Error()) << db_->ErrorMessage();
  db_->Commit();
  ASSERT_FALSE(db_->Error()) << db_->ErrorMessage();
  EXPECT_FALSE(waitUntil([&] { return walSize() == 0; }, 500));
  while (!reader->Eof()) reader->MoveNext();
  EXPECT_TRUE(waitUntil([&] { return walSize() == 0; }));
  EXPECT_EQ(committedRows(), 301);
}

}  // namespace
