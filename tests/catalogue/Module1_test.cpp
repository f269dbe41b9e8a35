#include "catalogue/Module1.h"

#include <gtest/gtest.h>

#include <sqlite3.h>
#include <sys/stat.h>

#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>

#include "app/Window1.h"
#include "app/Window2.h"
#include "app/Window3.h"
#include "catalogue/Class1.h"
#include "catalogue/NameIndexBuild.h"
#include "catalogue/NameIndexing.h"
#include "framework/database/DatabaseCheck.h"
#include "framework/windows/Window.h"
#include "support/TestSupport.h"

namespace {

class CatalogueStore : public testsupport::AppTest {};

testsupport::Row disc(int no) { return {no, 0, "D", true, "D", "ディスク", "2024-01-02 03:04:05", std::nullopt}; }

TEST_F(CatalogueStore, NumberingFollowsTheHighestNumber) {
  struct Case {
    std::vector<testsupport::Row> rows;
    std::int32_t before, after;
  };
  const std::vector<Case> cases = {
      {{}, 7, 0},                         // empty table: MAX is no value, read as 0
      {{disc(3), disc(500), disc(41)}, 0, 500},
  };
  for (const Case& c : cases) {
    std::filesystem::remove(testsupport::cataloguePath());
    Module1::Release();
    testsupport::writeCatalogue(c.rows);
    Module1::db = Module1::lumeno();
    ASSERT_TRUE(Module1::db);
    Module1::MaxID = c.before;
    Module1::RefreshNumbering();
    EXPECT_EQ(Module1::MaxID, c.after);
    EXPECT_EQ(Module1::NextNumber(), c.after + 1);
  }
}

TEST_F(CatalogueStore, FailedQueryLeavesNumberingAlone) {
  testsupport::writeCatalogue({disc(9)});
  Module1::db = Module1::lumeno();
  ASSERT_TRUE(Module1::db);
  // A table that is gone makes the query fail.
  Module1::db->SQLSelect("DROP TABLE Folder1");
  Module1::MaxID = 12;
  Module1::RefreshNumbering();
  EXPECT_EQ(Module1::MaxID, 12);
}

TEST_F(CatalogueStore, NumberingStopsAtTheSigned32BitLimit) {
  Module1::MaxID = INT32_MAX - 1;
  EXPECT_EQ(Module1::NextNumber(), INT32_MAX);
  EXPECT_EQ(Module1::NextNumber(), std::nullopt);
  EXPECT_EQ(Module1::MaxID, INT32_MAX);
}

TEST_F(CatalogueStore, NumberingResumesWithinTheRangeWhateverTheTableHolds) {
  const struct {
    const char* what;
    std::vector<testsupport::Row> rows;
    const char* sql;
    std::int32_t after;
  } cases[] = {
      {"only negative numbers, left by an older wrap", {disc(-7), disc(-3)}, nullptr, 0},
      {"a number past the 32-bit range", {disc(5)}, "UPDATE Folder1 SET No=4294967301", INT32_MAX},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(testsupport::cataloguePath());
    Module1::Release();
    testsupport::writeCatalogue(c.rows);
    Module1::db = Module1::lumeno();
    ASSERT_TRUE(Module1::db);
    if (c.sql) Module1::db->SQLSelect(c.sql);
    Module1::RefreshNumbering();
    EXPECT_EQ(Module1::MaxID, c.after);
  }
}

TEST_F(CatalogueStore, DatabaseItemIsFetchedOnceAndKept) {
  auto first = Module1::lumeno();
  ASSERT_TRUE(first);
  EXPECT_EQ(Module1::lumeno(), first);
  Module1::Release();
  EXPECT_NE(Module1::lumeno(), nullptr);
}

TEST_F(CatalogueStore, EmptyFetchIsTriedAgain) {
  // A data folder that is a file makes the fetch fail; once it can be had, the next reference gets it.
  const std::string folder = dataDir() + "/lumeno";
  std::filesystem::remove_all(folder);
  { std::ofstream(folder) << "x"; }
  EXPECT_EQ(Module1::lumeno(), nullptr);
  std::filesystem::remove(folder);
  EXPECT_NE(Module1::lumeno(), nullptr);
}

// ---- A catalogue that cannot be used

namespace fs = std::filesystem;

const std::string kRefused = "データベースを開けないため、実行できません。";

std::string startMessage(const std::string& path, const std::string& reason) {
  return "データベース「" + path + "」を開けませんでした。\n" + reason;
}

void sql(const std::string& path, const std::string& text) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, text.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
  sqlite3_close(db);
}

std::vector<testsupport::Row> discWithFiles(int files) {
  std::vector<testsupport::Row> rows = {{1, 0, "CD", true, "CD", "ディスク", "2024-01-02 03:04:05", std::nullopt},
                                        {2, 0, "CD2", true, "CD2", "ディスク", "2024-01-02 03:04:05", std::nullopt}};
  for (int i = 0; i < files; ++i)
    rows.push_back({3 + i, 1, "file number " + std::to_string(i), std::nullopt, "CD", " ", "2023-01-02 03:04:05", i});
  return rows;
}

void click(framework::PushButton& button) { QTest::mouseClick(button.button(), Qt::LeftButton); }

class UnusableCatalogue : public testsupport::AppTest {
 protected:
  // Each command that needs the catalogue, as the user gives it; each is expected to show `refusal`.
  void tryEveryCommand(Window1& w) {
    click(w.SinkiButton());
    Window2* chooser = framework::openInstance<Window2>();
    ASSERT_NE(chooser, nullptr);
    chooser->Listbox1().setListIndex(0);
    click(chooser->PushButton1());
    EXPECT_FALSE(Class1::IsReading());
    chooser->Close();
    if (w.CDList().ListCount() > 0) w.CDList().setListIndex(0);
    click(w.SakujyoButton());
    click(w.KensakuButton());
    // A long scan goes on beside the window, and may meet the damage only there.
    EXPECT_TRUE(waitUntil([] { return !Window1::SearchListFilling(); }));
    std::ofstream(appDir() + "/olddbtext", std::ios::binary)
        << "Disc\n2006-03-01\nDisk\n7\nDisc\n0\ntrue\n0\n12:00:00\n";
    w.ReadOldDB_Action();
    click(Window3::instance().PushButton1());
  }
};

struct Made {
  std::string reason;
  std::string watched;  // the file that must stay as it is
  std::unique_ptr<testsupport::ChildProcess> holder;
};

TEST_F(UnusableCatalogue, IsReportedAtStartRefusesEveryCommandAndStaysAsItIs) {
  const std::string path = testsupport::cataloguePath();
  const std::string folder = fs::path(path).parent_path().string();
  struct Case {
    const char* name;
    std::function<Made()> make;
  };
  const std::vector<Case> cases = {
      {"random bytes",
       [&] {
         std::mt19937 random(7);
         std::string bytes(3 * 4096, '\0');
         for (char& c : bytes) c = static_cast<char>(random());
         fs::create_directories(folder);
         std::ofstream(path, std::ios::binary) << bytes;
         return Made{"26 file is not a database", path, nullptr};
       }},
      {"truncated",
       [&] {
         testsupport::writeCatalogue(discWithFiles(2000));
         const auto whole = fs::file_size(path);
         fs::resize_file(path, whole / 2);
         return Made{"ファイルが途中で切れています（" + std::to_string(whole) + " バイトのうち " +
                         std::to_string(whole / 2) + " バイトしかありません）。",
                     path, nullptr};
       }},
      {"folder in its place",
       [&] {
         fs::create_directories(path);
         return Made{"ファイルの代わりに同じ名前のフォルダがあります。", "", nullptr};
       }},
      {"data folder a file",
       [&] {
         std::ofstream(folder) << "x";
         return Made{"データフォルダ「" + folder + "」がフォルダではなくファイルです。", folder, nullptr};
       }},
      {"foreign table",
       [&] {
         fs::create_directories(folder);
         sql(path, "CREATE TABLE Folder1 (id INTEGER PRIMARY KEY, title TEXT); INSERT INTO Folder1 VALUES (1, 'x')");
         return Made{"表 Folder1 に余分な列 id があります。", path, nullptr};
       }},
      {"locked by another process",
       [&] {
         testsupport::writeCatalogue(discWithFiles(3));
         auto holder = std::make_unique<testsupport::ChildProcess>("lock", path);
         EXPECT_EQ(holder->report(), "locked");
         return Made{"5 database is locked", path, std::move(holder)};
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(folder);
    Module1::Release();
    Made made = c.make();
    const std::string before = made.watched.empty() ? "" : testsupport::fileBytes(made.watched);
    msgs().clear();
    // The option set and a size of 640 x 430, read after the catalogue all the same.
    std::ofstream(configDir() + "/lm.pref", std::ios::binary) << std::string("\1\0\0\2\x80\0\0\1\xae", 9);
    Module1::ErrorCD = false;

    Window1& w = Window1::instance();
    EXPECT_EQ(msgs(), std::vector<std::string>{startMessage(path, made.reason)});
    EXPECT_EQ(Module1::db, nullptr);
    EXPECT_EQ(w.CDList().ListCount(), 0);
    EXPECT_TRUE(Module1::ErrorCD);
    EXPECT_EQ(w.Width(), 640);
    tryEveryCommand(w);
    EXPECT_EQ(msgs(), (std::vector<std::string>{startMessage(path, made.reason), kRefused, kRefused,
                                                kRefused, kRefused}));
    EXPECT_EQ(beeps(), 0);
    EXPECT_EQ(Module1::MaxID, 0);
    testsupport::closeAllWindows();
    made.holder.reset();

    if (!made.watched.empty()) {
      EXPECT_EQ(testsupport::fileBytes(made.watched), before);
    }
    EXPECT_FALSE(fs::exists(path + "-wal"));
    EXPECT_FALSE(fs::exists(path + "-shm"));
    EXPECT_FALSE(fs::exists(path + "-journal"));
  }
}

// A new catalogue cannot be made in a folder that takes no new files; the catalogue is opened by a
// user whom the folder's permissions bind (root is not bound by them).
TEST_F(UnusableCatalogue, NoCatalogueIsMadeInAFolderThatTakesNoNewFiles) {
  const std::string path = testsupport::cataloguePath();
  const std::string folder = fs::path(path).parent_path().string();
  fs::create_directories(folder);
  ::chmod(folder.c_str(), 0555);
  std::string report;
  {
    testsupport::ChildProcess child("open", "", true);
    report = child.report();
  }
  ::chmod(folder.c_str(), 0755);
  EXPECT_EQ(report, startMessage(path, "フォルダ「" + folder + "」に書き込めません（Permission denied）。") + '\x1f');
  EXPECT_TRUE(fs::directory_iterator(folder) == fs::directory_iterator());
}

// ---- A catalogue that can only be read

const std::string kReadOnlyRefused = "データベースに書き込めないため、実行できません。";

std::string readOnlyStart(const std::string& path) {
  return "データベース「" + path + "」に書き込めないため、読み込み専用で開きました。";
}

// A real file or folder without write permission, opened by a user whom the permissions bind.
TEST_F(UnusableCatalogue, ACatalogueThatCannotBeWrittenIsBrowsedAndSearchedButNeverChanged) {
  const std::string path = testsupport::cataloguePath();
  const std::string folder = fs::path(path).parent_path().string();
  struct Case {
    const char* name;
    bool wal;            // the file keeps a log, whose -wal and -shm are there
    mode_t fileMode, folderMode;
  };
  const std::vector<Case> cases = {
      {"read-only file", false, 0444, 0777},
      {"read-only file with a log", true, 0444, 0777},
      {"read-only folder", false, 0666, 0555},
      {"read-only folder with a log", true, 0666, 0555},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Module1::Release();
    fs::remove_all(folder);
    testsupport::writeCatalogue(discWithFiles(30));
    if (c.wal) {
      sqlite3* db = nullptr;
      ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
      sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
      ASSERT_EQ(sqlite3_exec(db, "UPDATE Folder1 SET Name='file number 7 renamed' WHERE No=10", nullptr, nullptr,
                             nullptr),
                SQLITE_OK);
      sqlite3_close(db);
      ASSERT_GT(fs::file_size(path + "-wal"), 0u);
      ::chmod((path + "-wal").c_str(), 0666);
      ::chmod((path + "-shm").c_str(), 0666);
    } else {
      sql(path, "PRAGMA journal_mode=DELETE");
    }
    ::chmod(path.c_str(), c.fileMode);
    ::chmod(folder.c_str(), c.folderMode);
    const std::string before = testsupport::fileBytes(path), log = testsupport::fileBytes(path + "-wal");
    std::string report;
    {
      testsupport::ChildProcess child("browse", "number 7", true);
      report = child.report();
    }
    ::chmod(folder.c_str(), 0755);
    ::chmod(path.c_str(), 0644);
    const std::string hits = c.wal ? " > CD > file number 7 renamed\x1f" : " > CD > file number 7\x1f";
    const std::string said = readOnlyStart(path) + '\x1f' + kReadOnlyRefused + '\x1f' + kReadOnlyRefused + '\x1f' +
                             kReadOnlyRefused + '\x1f' + kReadOnlyRefused + '\x1f';
    // Both discs, the first one expanded to its 30 files.
    EXPECT_EQ(report, "32\x1e" + hits + '\x1e' + said);
    EXPECT_EQ(testsupport::fileBytes(path), before);
    EXPECT_EQ(testsupport::fileBytes(path + "-wal"), log);
  }
}

// SQLite reads a WAL file in a folder it cannot write only through the -shm and -wal already beside it.
TEST_F(UnusableCatalogue, AWalCatalogueInAReadOnlyFolderWithoutItsSharedMemoryIsReportedAndLeftAsItIs) {
  const std::string path = testsupport::cataloguePath();
  const std::string folder = fs::path(path).parent_path().string();
  testsupport::writeCatalogue(discWithFiles(3));
  Module1::Release();
  ASSERT_FALSE(fs::exists(path + "-shm"));
  const std::string before = testsupport::fileBytes(path);
  ::chmod(folder.c_str(), 0555);
  std::string report;
  {
    testsupport::ChildProcess child("open", "", true);
    report = child.report();
  }
  ::chmod(folder.c_str(), 0755);
  EXPECT_EQ(report, startMessage(path, "8 attempt to write a readonly database") + '\x1f');
  EXPECT_EQ(testsupport::fileBytes(path), before);
  EXPECT_FALSE(fs::exists(path + "-shm"));
}

// ---- Damage met while the catalogue is used

std::uint32_t bigEndian(const std::string& bytes, std::size_t at, int size) {
  std::uint32_t value = 0;
  for (int i = 0; i < size; ++i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

// Overwrites a leaf page of the table: one holding rows from its middle (not the discs, listed at
// start, nor the highest number, read at start), or the last one.
void damageALeafOfTheTable(const std::string& path, bool last) {
  std::string bytes = testsupport::fileBytes(path);
  const std::uint32_t pageSize = bigEndian(bytes, 16, 2);
  std::uint32_t root = 0;
  {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT rootpage FROM sqlite_schema WHERE name='Folder1'", -1, &st, nullptr);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    root = static_cast<std::uint32_t>(sqlite3_column_int(st, 0));
    sqlite3_finalize(st);
    sqlite3_close(db);
  }
  const std::size_t page = (root - 1) * std::size_t(pageSize);
  ASSERT_EQ(bytes[page], 0x05) << "the table's root is no interior page";
  const std::uint32_t cells = bigEndian(bytes, page + 3, 2);
  ASSERT_GE(cells, 4u);
  const std::uint32_t cell = bigEndian(bytes, page + 12 + 2 * (cells / 2), 2);
  const std::uint32_t child = last ? bigEndian(bytes, page + 8, 4) : bigEndian(bytes, page + cell, 4);
  bytes.replace((child - 1) * std::size_t(pageSize), pageSize, std::string(pageSize, '\xff'));
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

const std::string kDamage = "データベースが壊れています。\n11 database disk image is malformed";

TEST_F(UnusableCatalogue, DamageMetByAnExpansionIsShownAndTheCatalogueIsChangedNoMore) {
  testsupport::writeCatalogue(discWithFiles(3000));
  damageALeafOfTheTable(testsupport::cataloguePath(), false);
  Window1& w = Window1::instance();
  ASSERT_TRUE(msgs().empty());
  ASSERT_EQ(w.CDList().ListCount(), 2);
  EXPECT_EQ(Module1::MaxID, 3002);

  w.CDList().setExpanded(0, true);
  ASSERT_EQ(msgs(), std::vector<std::string>{kDamage});
  EXPECT_TRUE(Module1::Damaged());

  msgs().clear();
  tryEveryCommand(w);
  // The search only reads, so it is not refused: its scan meets the damage and tells it again.
  EXPECT_EQ(msgs(), (std::vector<std::string>(4, kDamage)));
  EXPECT_EQ(beeps(), 0);
  EXPECT_EQ(Module1::MaxID, 3002);
}

// The highest number cannot be read: the damage is shown at start and the catalogue is changed no
// more, while the discs stay listed.
TEST_F(UnusableCatalogue, DamageMetByTheNumberingAtStartIsShownThere) {
  testsupport::writeCatalogue(discWithFiles(3000));
  damageALeafOfTheTable(testsupport::cataloguePath(), true);
  Window1& w = Window1::instance();
  EXPECT_EQ(msgs(), std::vector<std::string>{kDamage});
  EXPECT_EQ(w.CDList().ListCount(), 2);
  EXPECT_EQ(Module1::MaxID, 0);
  click(w.SakujyoButton());
  EXPECT_EQ(msgs(), (std::vector<std::string>(2, kDamage)));
}

// ---- Damage found by the engine's check before anything writes

std::uint32_t tableRoot(const std::string& path) {
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, "SELECT rootpage FROM sqlite_schema WHERE name='Folder1'", -1, &st, nullptr);
  const std::uint32_t root = sqlite3_step(st) == SQLITE_ROW ? static_cast<std::uint32_t>(sqlite3_column_int(st, 0)) : 0;
  sqlite3_finalize(st);
  sqlite3_close(db);
  return root;
}

// The damage that the window's own reads at start do not meet: only the check can find it.
using Damage = std::function<void(std::string& bytes, std::uint32_t pageSize, std::uint32_t root)>;

// A leaf of the table in its middle.
std::size_t middleLeaf(const std::string& bytes, std::uint32_t pageSize, std::uint32_t root) {
  const std::size_t page = (root - 1) * std::size_t(pageSize);
  const std::uint32_t cells = bigEndian(bytes, page + 3, 2);
  const std::uint32_t cell = bigEndian(bytes, page + 12 + 2 * (cells / 2), 2);
  return (bigEndian(bytes, page + cell, 4) - 1) * std::size_t(pageSize);
}

TEST_F(UnusableCatalogue, DamageIsFoundBeforeAnythingWritesAndTheFileAndItsLogStayAsTheyAre) {
  const std::string path = testsupport::cataloguePath();
  const std::vector<std::pair<const char*, Damage>> damages = {
      {"pages overwritten",
       [](std::string& bytes, std::uint32_t pageSize, std::uint32_t) {
         for (std::size_t page = 2 * pageSize; page + pageSize <= bytes.size(); page += pageSize)
           bytes.replace(page + 100, 300, std::string(300, '\x5a'));
       }},
      {"bad freelist",
       [](std::string& bytes, std::uint32_t pageSize, std::uint32_t) {
         const std::uint32_t trunk = bigEndian(bytes, 32, 4);
         ASSERT_NE(trunk, 0u);
         // The trunk's count of leaves runs past the page.
         bytes.replace((trunk - 1) * std::size_t(pageSize) + 4, 4, std::string("\x00\x00\x7f\xff", 4));
       }},
      {"torn page",
       [](std::string& bytes, std::uint32_t pageSize, std::uint32_t root) {
         const std::size_t leaf = middleLeaf(bytes, pageSize, root);
         bytes.replace(leaf + pageSize / 2, pageSize / 2, std::string(pageSize / 2, '\0'));
       }},
  };
  for (bool log : {false, true}) {
    for (const auto& [name, damage] : damages) {
      SCOPED_TRACE(std::string(name) + (log ? " with a log" : " in a rollback journal"));
      Module1::Release();
      fs::remove_all(fs::path(path).parent_path());
      testsupport::writeCatalogue(discWithFiles(3000));
      // Freed pages make the freelist.
      sql(path, std::string(log ? "" : "PRAGMA journal_mode=DELETE;") + "DELETE FROM Folder1 WHERE No BETWEEN 1500 AND 1600");
      if (log) {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
        sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
        ASSERT_EQ(sqlite3_exec(db, "UPDATE Folder1 SET Name='renamed' WHERE No=3", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
        ASSERT_GT(fs::file_size(path + "-wal"), 0u);
      }
      std::string bytes = testsupport::fileBytes(path);
      damage(bytes, bigEndian(bytes, 16, 2), tableRoot(path));
      std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
      const std::string before = testsupport::fileBytes(path), logBefore = testsupport::fileBytes(path + "-wal");
      msgs().clear();

      Window1& w = Window1::instance();
      ASSERT_TRUE(waitUntil([&] { return !msgs().empty(); }));
      EXPECT_EQ(msgs(), std::vector<std::string>{kDamage});
      tryEveryCommand(w);
      // Each change refused with the damage; the search may meet it too.
      EXPECT_GE(msgs().size(), 4u);
      EXPECT_EQ(msgs(), std::vector<std::string>(msgs().size(), kDamage));
      EXPECT_EQ(beeps(), 0);
      testsupport::closeAllWindows();
      Module1::Release();
      EXPECT_EQ(testsupport::fileBytes(path), before);
      EXPECT_EQ(testsupport::fileBytes(path + "-wal"), logBefore);
    }
  }
}

// The check of a large catalogue takes its time: the window answers meanwhile, and a change asked
// before the verdict waits for it with the busy indicators shown, the window still answering.
TEST_F(UnusableCatalogue, TheWindowAnswersWhileTheCheckRunsAndAChangeWaitsForItsVerdict) {
  testsupport::writeCatalogue(discWithFiles(3000));
  framework::DatabaseCheck::holdForTest(true);
  Window1& w = Window1::instance();
  EXPECT_EQ(w.CDList().ListCount(), 2);
  w.TextField1().setText("number 2999");
  click(w.KensakuButton());
  EXPECT_EQ(w.SearchList().ListCount(), 1);
  EXPECT_FALSE(Module1::Changeable());

  bool busyMeanwhile = false;
  int hitsMeanwhile = -1;
  QTimer::singleShot(0, [&] {
    busyMeanwhile = w.ProgressWheel1().Visible() && w.Label1().Visible();
    w.TextField1().setText("number 1");
    click(w.KensakuButton());
    if (waitUntil([&] { return !w.SearchListFilling(); })) hitsMeanwhile = w.SearchList().ListCount();
    framework::DatabaseCheck::holdForTest(false);
  });
  w.CDList().setListIndex(1);
  click(w.SakujyoButton());
  ASSERT_TRUE(waitUntil([] { return !Class1::IsReading(); }));
  EXPECT_TRUE(busyMeanwhile);
  EXPECT_EQ(hitsMeanwhile, 1111);
  EXPECT_TRUE(msgs().empty());
  EXPECT_EQ(w.CDList().ListCount(), 1);
  EXPECT_TRUE(Module1::Changeable());
}

// A verdict that comes while a search is part-way through its rows cannot switch the journal then:
// the catalogue is still made ready once the search lets go, not only at the first change.
TEST_F(UnusableCatalogue, ACheckEndingDuringASearchLeavesTheCatalogueReadySoonAfter) {
  testsupport::writeCatalogue(discWithFiles(300));
  framework::DatabaseCheck::holdForTest(true);
  Window1::instance();
  auto partWay = Module1::db->SQLSelect("SELECT No FROM Folder1");
  ASSERT_TRUE(partWay && !partWay->Eof());
  framework::DatabaseCheck::holdForTest(false);
  // The verdict is in once the name index has been started.
  ASSERT_TRUE(waitUntil(NameIndexBuild::AnyStarted));
  EXPECT_FALSE(Module1::Changeable());
  partWay.reset();
  EXPECT_TRUE(waitUntil(Module1::Changeable));
  EXPECT_TRUE(msgs().empty());
}

// ---- The catalogue file moved away under a running window

TEST_F(UnusableCatalogue, AReadIntoACatalogueThatWasDeletedOrReplacedIsUndoneAndReported) {
  const std::string path = testsupport::cataloguePath();
  const std::string root = testsupport::makeTree(testsupport::cataloguePath() + ".vol", {"A/", "A/a1", "b"});
  testsupport::mountVolumes({{"Vol", root}});
  const std::string moved = "ディスクの情報を保存できませんでした。\nデータベース「" + path +
                            "」のファイルが移動または削除されたため、変更を取り消しました。";
  for (bool replaced : {false, true}) {
    SCOPED_TRACE(replaced ? "replaced" : "deleted");
    Module1::Release();
    for (const char* end : {"", "-wal", "-shm"}) fs::remove(path + end);
    testsupport::writeCatalogue(discWithFiles(3));
    Window1& w = Window1::instance();
    // The index's threads look at the catalogue only while they catch up: the file replaced under
    // one of them would be held open by it.
    ASSERT_TRUE(waitUntil([] { return Module1::Changeable() && NameIndexing::Idle(); }));
    for (const char* end : {"", "-wal", "-shm"}) fs::remove(path + end);
    std::string other;
    if (replaced) {
      sql(path, "CREATE TABLE Folder1 (No INTEGER PRIMARY KEY, FolNo INTEGER, Name TEXT, Folder BOOLEAN, CDName "
                "TEXT, Type TEXT, Date DATETIME, Time DATETIME, Byte INTEGER)");
      other = testsupport::fileBytes(path);
    }
    msgs().clear();
    click(w.SinkiButton());
    Window2* chooser = framework::openInstance<Window2>();
    ASSERT_NE(chooser, nullptr);
    chooser->Listbox1().setListIndex(0);
    click(chooser->PushButton1());
    ASSERT_TRUE(waitUntil([] { return !Class1::IsReading(); }));
    EXPECT_EQ(msgs(), std::vector<std::string>{moved});
    EXPECT_EQ(beeps(), 0);
    testsupport::closeAllWindows();
    Module1::Release();
    EXPECT_EQ(fs::exists(path), replaced);
    if (replaced) {
      EXPECT_EQ(testsupport::fileBytes(path), other);
    }
  }
}

}  // namespace
