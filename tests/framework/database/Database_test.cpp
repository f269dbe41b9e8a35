#include "framework/database/Database.h"

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <filesystem>
#include <sqlite3.h>

#include <algorithm>
#include <set>
#include <string>

using namespace framework;

namespace {

const char* const kSchema =
    "CREATE TABLE Folder1 (No INTEGER PRIMARY KEY, FolNo INTEGER, Name TEXT, Folder BOOLEAN, "
    "CDName TEXT, Type TEXT, Date DATETIME, Time DATETIME, Byte INTEGER)";

class DatabaseTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    db_ = reopen();
    ASSERT_TRUE(db_);
    db_->SQLSelect(kSchema);
    ASSERT_FALSE(db_->Error()) << db_->ErrorMessage();
    db_->SQLSelect("CREATE INDEX Folder1_FolNo ON Folder1 (FolNo)");
    ASSERT_FALSE(db_->Error()) << db_->ErrorMessage();
  }

  std::shared_ptr<Database> reopen() { return Database::open(path()); }
  std::string path() const { return QDir(dir_.path()).filePath("t.sqlite").toStdString(); }

  void insert(std::int32_t no, std::int32_t folNo, const std::string& name, const std::string& cd) {
    DatabaseRecord r;
    r.IntegerColumn("No", no);
    r.IntegerColumn("FolNo", folNo);
    r.Column("Name", name);
    r.Column("CDName", cd);
    db_->InsertRecord("Folder1", r);
    ASSERT_FALSE(db_->Error()) << db_->ErrorMessage();
  }

  int count(const std::string& where) {
    auto rs = db_->SQLSelect("SELECT COUNT(*) FROM Folder1 " + where);
    return rs ? rs->IdxField(1).IntegerValue() : -1;
  }

  QTemporaryDir dir_;
  std::shared_ptr<Database> db_;
};

TEST_F(DatabaseTest, FieldsReadBackInTheirTextForms) {
  Date when;
  ASSERT_TRUE(when.setSQLDateTime("2004-05-06 07:08:09"));
  DatabaseRecord r;
  r.IntegerColumn("No", 7);
  r.BooleanColumn("Folder", true);
  r.DateColumn("Date", when);
  r.IntegerColumn("Byte", -5);
  r.Column("Name", "１２３");
  db_->InsertRecord("Folder1", r);
  // The same record again, with one column replaced and one more set.
  r.IntegerColumn("no", 8);
  r.BooleanColumn("Folder", false);
  r.Column("CDName", "001");
  db_->InsertRecord("Folder1", r);
  DatabaseRecord bare;
  bare.IntegerColumn("No", 9);
  db_->InsertRecord("Folder1", bare);
  db_->Commit();
  ASSERT_FALSE(db_->Error()) << db_->ErrorMessage();

  auto rs = db_->SQLSelect("SELECT * FROM Folder1 WHERE No>=7");
  ASSERT_TRUE(rs);
  ASSERT_FALSE(rs->Eof());
  EXPECT_FALSE(rs->Bof());
  DatabaseField no = rs->Field("NO");
  EXPECT_EQ(no.StringValue(), "7");
  EXPECT_EQ(rs->Field("Folder").StringValue(), "True");
  EXPECT_EQ(rs->Field("folder").getString(), "True");
  EXPECT_EQ(rs->Field("Date").StringValue(), "2004-05-06 07:08:09");
  EXPECT_EQ(rs->Field("Date").DateValue(), when);
  EXPECT_EQ(rs->Field("Byte").StringValue(), "-5");
  EXPECT_EQ(rs->Field("Byte").IntegerValue(), -5);
  EXPECT_EQ(rs->Field("Name").StringValue(), "１２３");
  EXPECT_TRUE(rs->Field("FolNo").IsNull());
  EXPECT_EQ(rs->Field("FolNo").StringValue(), "");
  EXPECT_EQ(rs->Field("FolNo").IntegerValue(), 0);
  EXPECT_TRUE(rs->Field("NoSuchColumn").IsNull());
  EXPECT_EQ(rs->IdxField(1).StringValue(), "7");
  EXPECT_TRUE(rs->IdxField(0).IsNull());
  EXPECT_TRUE(rs->IdxField(10).IsNull());

  rs->MoveNext();
  ASSERT_FALSE(rs->Eof());
  EXPECT_EQ(no.StringValue(), "7") << "a field is a copy";
  EXPECT_EQ(rs->Field("No").StringValue(), "8");
  EXPECT_EQ(rs->Field("Folder").StringValue(), "False");
  EXPECT_EQ(rs->Field("CDName").StringValue(), "001");
  EXPECT_EQ(rs->Field("Time").StringValue(), "");

  rs->MoveNext();
  ASSERT_FALSE(rs->Eof());
  for (const char* column : {"FolNo", "Name", "Folder", "CDName", "Type", "Date", "Time", "Byte"})
    EXPECT_EQ(rs->Field(column).StringValue(), "") << column;
  rs->MoveNext();
  EXPECT_TRUE(rs->Eof());
  EXPECT_TRUE(rs->Field("No").IsNull());

  auto max = db_->SQLSelect("SELECT MAX(No) FROM Folder1");
  ASSERT_TRUE(max);
  EXPECT_EQ(max->IdxField(1).StringValue(), "9");
}

// Names asked again and again from one buffer whose text changes: each asks its own column.
TEST_F(DatabaseTest, FieldNamesFromAReusedBufferFindTheirOwnColumns) {
  DatabaseRecord r;
  r.IntegerColumn("No", 1);
  r.Column("Name", "n");
  r.Column("Type", "t");
  r.Column("Date", "d");
  r.Column("Time", "m");
  r.IntegerColumn("Byte", 2);
  db_->InsertRecord("Folder1", r);
  db_->Commit();
  auto rs = db_->SQLSelect("SELECT * FROM Folder1");
  ASSERT_TRUE(rs && !rs->Eof());
  char name[5] = {};
  const std::pair<const char*, const char*> asked[] = {
      {"Name", "n"}, {"Type", "t"}, {"DATE", "d"}, {"Time", "m"}, {"Byte", "2"},
      {"Nope", ""},  {"name", "n"}, {"Date", "d"}, {"Type", "t"}, {"Name", "n"}};
  for (int round = 0; round < 2; ++round)
    for (const auto& [column, value] : asked) {
      std::copy(column, column + 4, name);
      EXPECT_EQ(rs->Field(std::string_view(name, 4)).StringValue(), value) << column;
    }
}

TEST_F(DatabaseTest, EmptyResultIsAtEofAtOnceAndFailedStatementGivesNone) {
  auto rs = db_->SQLSelect("SELECT * FROM Folder1 WHERE FolNo=0");
  ASSERT_TRUE(rs);
  EXPECT_TRUE(rs->Eof());
  EXPECT_TRUE(rs->Bof());
  EXPECT_TRUE(rs->Field("No").IsNull());
  EXPECT_FALSE(rs->DeleteRecord());

  auto max = db_->SQLSelect("SELECT MAX(No) FROM Folder1");
  ASSERT_TRUE(max);
  EXPECT_EQ(max->IdxField(1).StringValue(), "");

  EXPECT_EQ(db_->SQLSelect("SELECT * FROM NoSuchTable"), nullptr);
  EXPECT_TRUE(db_->Error());
  EXPECT_EQ(db_->ErrorCode(), 1);
  EXPECT_NE(db_->ErrorMessage().find("NoSuchTable"), std::string::npos) << db_->ErrorMessage();
  EXPECT_TRUE(db_->SQLSelect("SELECT * FROM Folder1"));
  EXPECT_FALSE(db_->Error());
  EXPECT_EQ(db_->ErrorCode(), 0);
  EXPECT_EQ(db_->ErrorMessage(), "");
}

TEST_F(DatabaseTest, DoubleQuotedTextIsAStringLiteral) {
  insert(1, 0, "abc", "X");
  insert(2, 0, "xyz", "X");
  db_->Commit();
  auto rs = db_->SQLSelect("SELECT * FROM Folder1 WHERE Name LIKE \"%B%\"");
  ASSERT_TRUE(rs) << db_->ErrorMessage();
  ASSERT_FALSE(rs->Eof());
  EXPECT_EQ(rs->Field("Name").StringValue(), "abc");
  rs->MoveNext();
  EXPECT_TRUE(rs->Eof());
}

// Rows of the selection interleave with others over many pages, both through a table scan and an
// index scan, so the delete-then-step loop is tested where the engine's cursor must step past
// removed entries.
TEST_F(DatabaseTest, DeleteLoopRemovesExactlyTheSelectionAndMeetsEachRowOnce) {
  struct Case {
    const char* where;
    bool (*selected)(int no);
  };
  const Case cases[] = {
      {"CDName='A'", [](int no) { return no % 3 == 0; }},
      {"FolNo=1", [](int no) { return no % 3 == 1; }},
      {"No>0", [](int) { return true; }},
  };
  for (const Case& c : cases) {
    db_->SQLSelect("DELETE FROM Folder1");
    for (int no = 1; no <= 3000; ++no) {
      const std::string name(100, static_cast<char>('a' + no % 26));
      insert(no, no % 3 == 1 ? 1 : 2, name, no % 3 == 0 ? "A" : "B");
    }
    db_->Commit();
    auto rs = db_->SQLSelect(std::string("SELECT * FROM Folder1 WHERE ") + c.where);
    ASSERT_TRUE(rs) << c.where;
    std::set<int> met;
    int passes = 0;
    while (!rs->Eof()) {
      const int no = rs->Field("No").IntegerValue();
      EXPECT_TRUE(met.insert(no).second) << c.where << ": met twice " << no;
      EXPECT_TRUE(rs->DeleteRecord()) << db_->ErrorMessage();
      rs->MoveNext();
      ++passes;
    }
    db_->Commit();
    ASSERT_FALSE(db_->Error()) << db_->ErrorMessage();
    int expected = 0;
    for (int no = 1; no <= 3000; ++no) {
      if (c.selected(no)) {
        ++expected;
        EXPECT_TRUE(met.count(no)) << c.where << ": missed " << no;
      }
    }
    EXPECT_EQ(passes, expected) << c.where;
    EXPECT_EQ(count(std::string("WHERE ") + c.where), 0) << c.where;
    EXPECT_EQ(count(""), 3000 - expected) << c.where;
  }
}

TEST_F(DatabaseTest, DeleteNeedsTheRowsKey) {
  insert(1, 0, "a", "A");
  db_->Commit();
  auto rs = db_->SQLSelect("SELECT Name FROM Folder1");
  ASSERT_TRUE(rs);
  EXPECT_FALSE(rs->DeleteRecord());
  EXPECT_TRUE(db_->Error());
  EXPECT_EQ(count(""), 1);
}

TEST_F(DatabaseTest, RepeatedNumberFailsWithTheEnginesErrorAndLaterInsertsGoOn) {
  insert(1, 0, "first", "A");
  db_->Commit();
  DatabaseRecord again;
  again.IntegerColumn("No", 1);
  again.Column("Name", "second parent");
  db_->InsertRecord("Folder1", again);
  EXPECT_TRUE(db_->Error());
  EXPECT_EQ(db_->ErrorCode(), 19);
  EXPECT_NE(db_->ErrorMessage().find("UNIQUE"), std::string::npos) << db_->ErrorMessage();
  db_->Commit();
  EXPECT_FALSE(db_->Error());

  insert(2, 1, "child", "A");
  EXPECT_EQ(db_->ErrorCode(), 0);
  EXPECT_EQ(db_->ErrorMessage(), "");
  db_->Commit();
  db_.reset();
  db_ = reopen();
  ASSERT_TRUE(db_);
  EXPECT_EQ(count(""), 2);
  EXPECT_EQ(count("WHERE Name='first'"), 1);
}

TEST_F(DatabaseTest, CommitLastsAcrossReopeningAndUncommittedChangesDoNot) {
  db_->Commit();  // nothing open: harmless
  EXPECT_FALSE(db_->Error());
  insert(1, 0, "kept", "A");
  db_->Commit();
  insert(2, 0, "lost", "A");
  db_.reset();
  db_ = reopen();
  ASSERT_TRUE(db_);
  EXPECT_EQ(count(""), 1);
  EXPECT_EQ(count("WHERE Name='kept'"), 1);
  auto mode = db_->SQLSelect("PRAGMA journal_mode");
  ASSERT_TRUE(mode);
  EXPECT_EQ(mode->IdxField(1).StringValue(), "wal");
}

TEST_F(DatabaseTest, CommitWorksWhileARecordSetIsOpen) {
  for (int no = 1; no <= 5; ++no) insert(no, 0, "r", "A");
  db_->Commit();
  auto rs = db_->SQLSelect("SELECT * FROM Folder1 WHERE FolNo=0");
  ASSERT_TRUE(rs);
  int seen = 0;
  while (!rs->Eof()) {
    ++seen;
    insert(100 + seen, 1, "new", "B");
    db_->Commit();
    EXPECT_FALSE(db_->Error()) << db_->ErrorMessage();
    rs->MoveNext();
  }
  EXPECT_EQ(seen, 5);
  auto other = reopen();
  ASSERT_TRUE(other);
  auto check = other->SQLSelect("SELECT COUNT(*) FROM Folder1 WHERE FolNo=1");
  ASSERT_TRUE(check);
  EXPECT_EQ(check->IdxField(1).IntegerValue(), 5);
}

TEST_F(DatabaseTest, RecordSetOutlivesItsDatabase) {
  insert(1, 0, "a", "A");
  db_->Commit();
  auto rs = db_->SQLSelect("SELECT * FROM Folder1");
  db_.reset();
  ASSERT_TRUE(rs);
  EXPECT_EQ(rs->Field("Name").StringValue(), "a");
  rs->MoveNext();
  EXPECT_TRUE(rs->Eof());
}

TEST_F(DatabaseTest, ATextTooLongToBindFailsItsInsertWithTheEnginesError) {
  db_->setLengthLimit(1000);
  for (const char* column : {"Name", "CDName"}) {
    SCOPED_TRACE(column);
    DatabaseRecord r;
    r.IntegerColumn("No", 1);
    r.Column(column, std::string(1001, 'x'));
    db_->InsertRecord("Folder1", r);
    EXPECT_TRUE(db_->Error());
    EXPECT_EQ(db_->ErrorCode(), 18);
    EXPECT_EQ(db_->ErrorMessage(), "string or blob too big");
  }
  insert(2, 0, "short", "A");
  db_->Commit();
  EXPECT_EQ(count(""), 1);
  EXPECT_EQ(count("WHERE No=1"), 0);
}

TEST(DatabaseOpen, TellsWhyAFileCannotBeHadAndLeavesItAsItIs) {
  QTemporaryDir dir;
  const std::string folder = dir.path().toStdString();
  struct Case {
    const char* name;
    std::string content;  // "" for a folder in the file's place
    const char* reason;
  };
  const std::vector<Case> cases = {
      {"junk", std::string(8192, 'x'), "26 file is not a database"},
      {"short junk", "abc", "26 file is not a database"},
      {"folder", "", "ファイルの代わりに同じ名前のフォルダがあります。"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = folder + "/" + c.name + ".sqlite";
    if (c.content.empty()) {
      QDir().mkpath(QString::fromStdString(path));
    } else {
      QFile file(QString::fromStdString(path));
      ASSERT_TRUE(file.open(QIODevice::WriteOnly));
      file.write(c.content.data(), static_cast<qint64>(c.content.size()));
    }
    std::string reason;
    EXPECT_EQ(Database::open(path, &reason), nullptr);
    EXPECT_EQ(reason, c.reason);
    if (!c.content.empty()) {
      QFile file(QString::fromStdString(path));
      ASSERT_TRUE(file.open(QIODevice::ReadOnly));
      EXPECT_EQ(file.readAll().toStdString(), c.content);
    }
    EXPECT_FALSE(QFile::exists(QString::fromStdString(path + "-wal")));
  }
  std::string reason;
  EXPECT_EQ(Database::open(folder + "/missing/t.sqlite", &reason), nullptr);
  EXPECT_EQ(reason, "フォルダ「" + folder + "/missing」がありません。");
}

// The file renamed away while a change is open: the change is undone instead of being committed
// to a file that is no longer the one at the path, and every later change is refused alike.
TEST(DatabaseOpen, AChangeToAFileNoLongerAtItsPathIsUndoneAtItsCommit) {
  QTemporaryDir dir;
  const std::string path = dir.path().toStdString() + "/t.sqlite";
  auto db = Database::open(path);
  ASSERT_TRUE(db);
  ASSERT_TRUE(db->SQLSelect("CREATE TABLE t (x INTEGER)"));
  DatabaseRecord r;
  r.IntegerColumn("x", 1);
  db->InsertRecord("t", r);
  ASSERT_FALSE(db->Error());
  std::filesystem::rename(path, path + ".moved");
  db->Commit();
  EXPECT_TRUE(db->Error());
  EXPECT_TRUE(db->Moved());
  auto count = db->SQLSelect("SELECT COUNT(*) FROM t");
  ASSERT_TRUE(count);
  EXPECT_EQ(count->IdxField(1).IntegerValue(), 0);
  count.reset();
  db->InsertRecord("t", r);
  EXPECT_TRUE(db->Moved());
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(DatabaseItem, LumenoIsCreatedWithItsTableInTheDataFolder) {
  const QString file = QDir(qEnvironmentVariable("XDG_DATA_HOME")).filePath("lumeno/lumeno.sqlite");
  QFile::remove(file);
  auto db = DatabaseItem("lumeno");
  ASSERT_TRUE(db);
  EXPECT_TRUE(QFile::exists(file));
  auto rs = db->SQLSelect("SELECT * FROM Folder1");
  ASSERT_TRUE(rs) << db->ErrorMessage();
  EXPECT_TRUE(rs->Eof());
  auto index = db->SQLSelect(
      "SELECT COUNT(*) FROM pragma_index_list('Folder1') AS l, pragma_index_info(l.name) AS i "
      "WHERE i.name='FolNo'");
  ASSERT_TRUE(index);
  EXPECT_EQ(index->IdxField(1).IntegerValue(), 1);

  DatabaseRecord r;
  r.IntegerColumn("No", 1);
  db->InsertRecord("Folder1", r);
  EXPECT_FALSE(db->Error()) << db->ErrorCode() << db->ErrorMessage();
  db->Commit();
  EXPECT_FALSE(db->Error()) << db->ErrorMessage();
  auto second = DatabaseItem("lumeno");  // a second fetch keeps what is there
  ASSERT_TRUE(second);
  auto max = second->SQLSelect("SELECT MAX(No) FROM Folder1");
  ASSERT_TRUE(max);
  EXPECT_EQ(max->IdxField(1).StringValue(), "1");

  EXPECT_EQ(DatabaseItem("other"), nullptr);
}

// Tables that are no catalogue: each file is refused with what is wrong and stays as it was.
TEST(DatabaseItem, AFileThatIsNoCatalogueIsRefusedWithWhatIsWrongAndLeftAsItIs) {
  const QString file = QDir(qEnvironmentVariable("XDG_DATA_HOME")).filePath("lumeno/lumeno.sqlite");
  const std::string path = file.toStdString();
  struct Case {
    const char* schema;
    const char* reason;
  };
  const std::vector<Case> cases = {
      {"CREATE TABLE Other (x)", "表 Folder1 がありません。"},
      {"CREATE VIEW Folder1 AS SELECT 1 AS No", "Folder1 が表ではありません（view）。"},
      {"CREATE TABLE Folder1 (No INTEGER PRIMARY KEY, FolNo INTEGER, Name TEXT, Folder BOOLEAN, CDName TEXT, "
       "Type TEXT, Date DATETIME, Time DATETIME)",
       "表 Folder1 に列 Byte がありません。"},
      {"CREATE TABLE Folder1 (No INTEGER PRIMARY KEY, FolNo INTEGER, Name TEXT, Folder BOOLEAN, CDName TEXT, "
       "Type TEXT, Date DATETIME, Time DATETIME, Byte INTEGER, Extra TEXT)",
       "表 Folder1 に余分な列 Extra があります。"},
      {"CREATE TABLE Folder1 (No INTEGER PRIMARY KEY, FolNo INTEGER, Name TEXT, Folder TEXT, CDName TEXT, "
       "Type TEXT, Date DATETIME, Time DATETIME, Byte INTEGER)",
       "表 Folder1 の列 Folder が BOOLEAN ではなく TEXT です。"},
      {"CREATE TABLE Folder1 (No INTEGER, FolNo INTEGER, Name TEXT, Folder BOOLEAN, CDName TEXT, "
       "Type TEXT, Date DATETIME, Time DATETIME, Byte INTEGER)",
       "表 Folder1 の主キーが No（INTEGER PRIMARY KEY）だけではありません。"},
      {"CREATE TABLE Folder1 (No INTEGER PRIMARY KEY, FolNo INTEGER, Name TEXT NOT NULL, Folder BOOLEAN, "
       "CDName TEXT, Type TEXT, Date DATETIME, Time DATETIME, Byte INTEGER)",
       "表 Folder1 の列 Name に制約（NOT NULL または既定値）があります。"},
      {"CREATE TABLE Folder1 (No INTEGER PRIMARY KEY, FolNo INTEGER, Name TEXT, Folder BOOLEAN, CDName TEXT, "
       "Type TEXT, Date DATETIME, Time DATETIME, Byte INTEGER) WITHOUT ROWID",
       "表 Folder1 に行番号がありません（WITHOUT ROWID）。"},
  };
  auto bytesOf = [](const QString& name) {
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(none)");
  };
  // In every journal mode: reading a file in WAL mode makes its log and index files, which must be
  // gone again afterwards, and a log left beside the file stays as it was.
  enum Mode { Rollback, Wal, WalWithLog };
  for (const Case& c : cases) {
    for (Mode mode : {Rollback, Wal, WalWithLog}) {
      SCOPED_TRACE(std::to_string(mode) + ": " + c.schema);
      QFile::remove(file);
      QFile::remove(file + "-wal");
      QFile::remove(file + "-shm");
      QDir().mkpath(QFileInfo(file).path());
      {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
        const std::string sql = (mode == Rollback ? "" : "PRAGMA journal_mode=WAL; ") + std::string(c.schema);
        EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
        if (mode == WalWithLog) sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
        sqlite3_close(db);
      }
      ASSERT_EQ(QFile::exists(file + "-wal"), mode == WalWithLog);
      QFile::remove(file + "-shm");
      const QByteArray bytes = bytesOf(file), log = bytesOf(file + "-wal");
      DatabaseProblem problem;
      EXPECT_EQ(DatabaseItem("lumeno", &problem), nullptr);
      EXPECT_EQ(problem.path, path);
      EXPECT_EQ(problem.reason, c.reason);
      EXPECT_EQ(bytesOf(file), bytes);
      EXPECT_EQ(bytesOf(file + "-wal"), log);
      if (mode != WalWithLog) {
        EXPECT_FALSE(QFile::exists(file + "-shm"));
      }
    }
  }
  QFile::remove(file);
}

// A catalogue made by hand or by an earlier version, in another journal mode and without the
// index, or a file left empty by a first start that was cut short, is taken and, once checked,
// made ready for changes.
TEST(DatabaseItem, ACatalogueInAnyJournalModeOrAnEmptyFileIsTaken) {
  const QString file = QDir(qEnvironmentVariable("XDG_DATA_HOME")).filePath("lumeno/lumeno.sqlite");
  const std::string path = file.toStdString();
  for (bool empty : {false, true}) {
    QFile::remove(file);
    QDir().mkpath(QFileInfo(file).path());
    if (empty) {
      QFile f(file);
      ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    } else {
      sqlite3* db = nullptr;
      ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
      const std::string sql = std::string(kSchema) + "; INSERT INTO Folder1 (No, Name) VALUES (4, 'kept')";
      EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
      sqlite3_close(db);
    }
    DatabaseProblem problem;
    auto db = DatabaseItem("lumeno", &problem);
    ASSERT_TRUE(db) << problem.reason;
    ASSERT_TRUE(db->ReadyForChanges()) << db->ErrorMessage();
    auto mode = db->SQLSelect("PRAGMA journal_mode");
    ASSERT_TRUE(mode);
    EXPECT_EQ(mode->IdxField(1).StringValue(), "wal");
    auto index = db->SQLSelect("SELECT COUNT(*) FROM sqlite_schema WHERE name='Folder1_FolNo'");
    ASSERT_TRUE(index);
    EXPECT_EQ(index->IdxField(1).IntegerValue(), 1);
    auto max = db->SQLSelect("SELECT MAX(No) FROM Folder1");
    ASSERT_TRUE(max);
    EXPECT_EQ(max->IdxField(1).StringValue(), empty ? "" : "4");
  }
  QFile::remove(file);
}

}  // namespace

namespace {

TEST_F(DatabaseTest, BoundSelectsReuseTheirStatementAndTwoOpenAtOnceStayApart) {
  insert(1, 0, "Disc", "Disc");
  insert(2, 1, "a'b\"c", "Disc");
  insert(3, 1, std::string("nul\0byte", 8), "Disc");
  const std::string byNo = "SELECT Name FROM Folder1 WHERE No=?1";
  {
    auto first = db_->SQLSelect(byNo, {std::int64_t{2}});
    // The first is still open: the second gets a statement of its own.
    auto second = db_->SQLSelect(byNo, {std::int64_t{3}});
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->Field("Name").StringValue(), "a'b\"c");
    EXPECT_EQ(second->Field("Name").StringValue(), std::string("nul\0byte", 8));
  }
  for (std::int64_t no : {1, 2, 9, 1}) {
    auto rs = db_->SQLSelect(byNo, {no});
    ASSERT_TRUE(rs);
    EXPECT_EQ(rs->Eof(), no == 9);
    if (no == 1) {
      EXPECT_EQ(rs->Field("Name").StringValue(), "Disc");
    }
  }
  auto texts = db_->SQLSelect("SELECT COUNT(*) FROM Folder1 WHERE Name LIKE ?1 AND FolNo = ?2",
                              {std::string("%'b\"%"), std::int64_t{1}});
  ASSERT_TRUE(texts);
  EXPECT_EQ(texts->IdxField(1).IntegerValue(), 1);
  EXPECT_EQ(db_->SQLSelect("SELECT * FROM NoSuchTable WHERE No=?1", {std::int64_t{1}}), nullptr);
  EXPECT_TRUE(db_->Error());
  EXPECT_EQ(db_->SQLSelect(byNo, {std::int64_t{1}, std::int64_t{2}}), nullptr);  // one value too many
  EXPECT_TRUE(db_->Error());
  EXPECT_TRUE(db_->SQLSelect(byNo, {std::int64_t{1}}));
}

}  // namespace
