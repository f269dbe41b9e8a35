// The name search through the trigram index against the plain LIKE scan with the walk of every
// hit's parents, over catalogues of awkward names, with the index caught up and while it is behind
// (mid-read, after a deletion, after a process was killed).
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <unordered_set>
#include <vector>

#include "app/Window1.h"
#include "catalogue/Class1.h"
#include "catalogue/Module1.h"
#include "catalogue/NameIndex.h"
#include "catalogue/NameIndexBuild.h"
#include "catalogue/NameIndexing.h"
#include "framework/database/Database.h"
#include "framework/text/Normalization.h"
#include "framework/windows/Window.h"
#include "framework/threads/Thread.h"
#include "support/TestSupport.h"

using testsupport::Row;

namespace {

// A connection of the test's own on the catalogue file.
struct Sql {
  sqlite3* db = nullptr;
  explicit Sql(const std::string& file = testsupport::cataloguePath()) {
    sqlite3_open(file.c_str(), &db);
    sqlite3_busy_timeout(db, 5000);  // the program's checkpointer may hold the file for a moment
  }
  ~Sql() { sqlite3_close(db); }
  Sql(const Sql&) = delete;
  Sql& operator=(const Sql&) = delete;
  int exec(const std::string& sql) { return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr); }
  std::int64_t number(const std::string& sql) {
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr);
    const std::int64_t n = sqlite3_step(st) == SQLITE_ROW ? sqlite3_column_int64(st, 0) : -1;
    sqlite3_finalize(st);
    return n;
  }
};

std::string text(sqlite3_stmt* st, int col) {
  const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st, col));
  return t ? std::string(t, static_cast<std::size_t>(sqlite3_column_bytes(st, col))) : std::string();
}

// The search as the plain query gives it: every record whose name matches LIKE '%term%' in the
// order of a scan, each with its parents looked up one level at a time until a disc, a missing
// parent or a number met before on that walk. Through the program's own connection once the window
// is open, so that it sees what a read in progress has stored.
std::vector<std::string> plainSearch(const std::string& term) {
  std::unique_ptr<Sql> own;
  std::shared_ptr<framework::Database> db = Module1::db;
  if (!db) own = std::make_unique<Sql>();
  const std::string pattern = "%" + term + "%";
  struct Record {
    std::int32_t no = 0, up = 0;
    std::string name;
  };
  std::vector<Record> hits;
  auto parentOf = [&](std::int32_t no) -> std::optional<Record> {
    if (db) {
      auto rs = db->SQLSelect("SELECT No, FolNo, Name FROM Folder1 WHERE No = ?1", {std::int64_t{no}});
      if (!rs || rs->Eof()) return std::nullopt;
      return Record{no, rs->Field("FolNo").IntegerValue(), rs->Field("Name").StringValue()};
    }
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(own->db, "SELECT FolNo, Name FROM Folder1 WHERE No = ?", -1, &st, nullptr);
    sqlite3_bind_int(st, 1, no);
    std::optional<Record> found;
    if (sqlite3_step(st) == SQLITE_ROW) found = Record{no, sqlite3_column_int(st, 0), text(st, 1)};
    sqlite3_finalize(st);
    return found;
  };
  if (db) {
    auto rs = db->SQLSelect("SELECT No, FolNo, Name FROM Folder1 WHERE Name LIKE ?1", {pattern});
    for (; rs && !rs->Eof(); rs->MoveNext())
      hits.push_back({rs->Field("No").IntegerValue(), rs->Field("FolNo").IntegerValue(), rs->Field("Name").StringValue()});
  } else {
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(own->db, "SELECT No, FolNo, Name FROM Folder1 WHERE Name LIKE ?", -1, &st, nullptr);
    sqlite3_bind_text(st, 1, pattern.data(), static_cast<int>(pattern.size()), SQLITE_STATIC);
    while (sqlite3_step(st) == SQLITE_ROW) hits.push_back({sqlite3_column_int(st, 0), sqlite3_column_int(st, 1), text(st, 2)});
    sqlite3_finalize(st);
  }
  std::vector<std::string> paths;
  for (const Record& hit : hits) {
    std::string path = " > " + hit.name;
    std::unordered_set<std::int32_t> seen{hit.no};
    std::int32_t up = hit.up;
    while (up != 0 && seen.insert(up).second) {
      const std::optional<Record> parent = parentOf(up);
      if (!parent) break;
      path = " > " + parent->name + path;
      up = parent->up;
    }
    paths.push_back(path);
  }
  return paths;
}

std::string shardFile(int shard) { return NameIndex::FilePath(testsupport::cataloguePath(), shard); }

// A figure of each of the index's files: its watermark, its highest entry.
std::vector<std::int64_t> indexValues(const std::string& sql) {
  std::vector<std::int64_t> values;
  for (int k = 0; k < NameIndex::kShards; ++k) values.push_back(Sql(shardFile(k)).number(sql));
  return values;
}

// What earlier versions kept in the catalogue: the index, its marker, its queue and its triggers.
const char* kObjectsInCatalogue =
    "SELECT COUNT(*) FROM sqlite_schema WHERE name LIKE 'Folder1Names%'";

const char* kWhen = "2023-01-02 03:04:05";

// Pieces of names: letter case, Japanese, composed and decomposed marks, case pairs that LIKE keeps
// apart and the index folds, wildcards and quotes as plain characters, blanks, ill-formed bytes.
const std::vector<std::string> kPieces = {
    "a",  "B",    "readme", "ReadMe", "README", "ガイド", "ブック", "ガイドブック.txt", ".txt", "%", "_", "'", "\"",
    "É",  "é",    "e\xCC\x81", "Straße", "ß",  " ",  "日本", "あ",     "か\xE3\x82\x99", "が", "ΣΑΣ", "σας",
    "İ",  "ı",    "ǅ",      "x1",   "\xFF", "abc", "ABC",  "a_c",    "50%",  "\"q\"",  "it's", "ÀÉÎ", "àéî",
};

// Up to 600 records in three discs, most folders holding several entries, with a missing parent,
// a circle of two folders and a folder that is its own parent.
std::vector<Row> corpus(unsigned seed, int firstNo = 1) {
  std::mt19937 rng(seed);
  std::vector<Row> rows;
  std::vector<int> folders;
  const int last = firstNo + 590;
  for (int no = firstNo; no < last; ++no) {
    std::string name;
    const int parts = 1 + static_cast<int>(rng() % 4);
    for (int p = 0; p < parts; ++p) name += kPieces[rng() % kPieces.size()];
    if (rng() % 50 == 0)
      while (name.size() < 300) name += kPieces[rng() % kPieces.size()];
    const bool disc = (no - firstNo) % 200 == 0;
    const bool folder = disc || rng() % 5 == 0;
    // Among the latest folders, so that folders hold several entries and trees run deep.
    const int parent = disc ? 0 : folders[folders.size() - 1 - rng() % std::min<std::size_t>(folders.size(), 8)];
    const std::string cd = "disc" + std::to_string(firstNo + (no - firstNo) / 200 * 200);
    if (disc) name = cd;
    rows.push_back({no, parent, name, folder ? std::optional<bool>(true) : std::nullopt, cd, disc ? "ディスク" : "t", kWhen, 1});
    if (folder) folders.push_back(no);
  }
  rows.push_back({last, 99999, "orphan" + kPieces[rng() % kPieces.size()], std::nullopt, "d", "t", kWhen, 1});
  rows.push_back({last + 1, last + 2, "loopAbc", true, "d", "t", kWhen, 1});
  rows.push_back({last + 2, last + 1, "loopBcd", true, "d", "t", kWhen, 1});
  rows.push_back({last + 3, last + 1, "inLoopAbc", std::nullopt, "d", "t", kWhen, 1});
  rows.push_back({last + 4, last + 4, "selfAbc", true, "d", "t", kWhen, 1});
  return rows;
}

// Ten corpora one after the other: some thousands of records.
std::vector<Row> largeCorpus(unsigned seed) {
  std::vector<Row> rows;
  for (int round = 0; round < 10; ++round) {
    auto more = corpus(seed + static_cast<unsigned>(round), 1 + round * 600);
    rows.insert(rows.end(), more.begin(), more.end());
  }
  return rows;
}

// Terms of 1 to 6 characters: pieces of stored names, the same in other letter case, and random
// runs of characters that names hold, wildcards among them.
std::vector<std::string> terms(unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<std::string> chars;  // one character each, as UTF-8
  for (const std::string& p : kPieces) {
    for (std::size_t i = 0; i < p.size();) {
      std::size_t n = 1;
      while (i + n < p.size() && (static_cast<unsigned char>(p[i + n]) & 0xC0) == 0x80) ++n;
      if (static_cast<unsigned char>(p[i]) != 0xFF) chars.push_back(p.substr(i, n));
      i += n;
    }
  }
  std::vector<std::string> out = {"", "イド", "イドブ", "ガイドブック", "%", "_", "abc", "ABC", "é", "É", "ß", "σ"};
  for (int t = 0; t < 300; ++t) {
    const int length = 1 + static_cast<int>(rng() % 6);
    std::string term;
    // Runs of neighbours in the list of characters, so that many terms do occur in names.
    const std::size_t start = rng() % chars.size();
    for (int k = 0; k < length; ++k) {
      const std::size_t at = rng() % 4 == 0 ? rng() % chars.size() : (start + static_cast<std::size_t>(k)) % chars.size();
      term += chars[at];
    }
    if (rng() % 3 == 0)
      for (char& ch : term)
        if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
    out.push_back(term);
  }
  return out;
}

class NameSearchTest : public testsupport::AppTest {
 protected:
  Window1& w() { return Window1::instance(); }

  std::vector<std::string> search(const std::string& term) {
    w().TextField1().setText(term);
    w().KensakuButton().Push();
    // A long hit list goes on filling after the click.
    EXPECT_TRUE(waitUntil([this] { return !w().SearchListFilling(); }));
    std::vector<std::string> out;
    const framework::Listbox& list = w().SearchList();
    for (int r = 0; r < list.ListCount(); ++r) out.push_back(list.Cell(r, 0));
    return out;
  }

  // Every term answered by the window and by the plain query, row for row, however far the index
  // has come; the index narrows most terms.
  void expectSameAsPlainSearch(unsigned seed, int count = 300) {
    w();
    int narrowed = 0, asked = 0;
    for (const std::string& term : terms(seed)) {
      if (asked++ == count) break;
      // The window composes the text as names are composed; the plain query is given it so.
      const std::string composed = framework::ComposeUtf8(term).value_or(term);
      if (NameIndex::MatchQuery(composed)) ++narrowed;
      const auto got = search(term), want = plainSearch(composed);
      std::size_t first = 0;
      while (first < got.size() && first < want.size() && got[first] == want[first]) ++first;
      EXPECT_TRUE(first == got.size() && first == want.size())
          << "term [" << term << "]: " << got.size() << " rows, plain " << want.size() << "; first difference at "
          << first << ": [" << (first < got.size() ? got[first] : "-") << "] vs ["
          << (first < want.size() ? want[first] : "-") << "]";
    }
    EXPECT_GT(narrowed, count / 3);
    EXPECT_TRUE(msgs().empty()) << msgs().front();
  }

  // The index caught up: each shard reaches the catalogue's highest number and holds nothing
  // above it, and the catalogue keeps no index of its own.
  void expectCaughtUp() {
    w();
    ASSERT_TRUE(waitUntil([] { return NameIndexing::Idle(); }, 20000));
    Sql c;
    const std::int64_t highest = c.number("SELECT MAX(No) FROM Folder1");
    EXPECT_EQ(indexValues("SELECT UpTo FROM Built"), std::vector<std::int64_t>(NameIndex::kShards, highest));
    for (std::int64_t top : indexValues("SELECT COALESCE(MAX(rowid), 0) FROM Names")) EXPECT_LE(top, highest);
    EXPECT_EQ(c.number(kObjectsInCatalogue), 0);
  }

  // Every name of the catalogue is in exactly one shard.
  void expectEveryNameIndexedOnce() {
    std::int64_t names = 0;
    for (std::int64_t n : indexValues("SELECT COUNT(*) FROM Names")) names += n;
    EXPECT_EQ(names, Sql().number("SELECT COUNT(*) FROM Folder1"));
  }

  // The catalogue as an earlier version left it, with the index inside it.
  void addIndexInCatalogue() {
    Sql c;
    ASSERT_EQ(c.exec("CREATE VIRTUAL TABLE Folder1Names USING fts5(Name, content='Folder1', content_rowid='No', "
                     "tokenize='trigram'); CREATE TABLE Folder1NamesBuilt (UpTo INTEGER NOT NULL); "
                     "CREATE TABLE Folder1NamesQueue (Seq INTEGER PRIMARY KEY, No INTEGER, Name TEXT, Gone INTEGER); "
                     "CREATE TRIGGER Folder1Names_Insert AFTER INSERT ON Folder1 BEGIN "
                     "INSERT INTO Folder1NamesQueue (No, Name, Gone) VALUES (new.No, new.Name, 0); END; "
                     "INSERT INTO Folder1Names (Folder1Names) VALUES ('rebuild')"),
              SQLITE_OK)
        << sqlite3_errmsg(c.db);
  }

  // Reads a volume "Vol" holding the entries, then deletes the corpus's first disc.
  void readAndDeleteTheFirstDisc(const std::vector<std::string>& entries) {
    mount(entries);
    Module1::VolNo = 1;
    w().CDName = "Vol";
    w().NewCD();
    w().CDList().setListIndex(0);
    w().SakujyoButton().Push();
    // The removal runs on a thread, driven here without the event loop, so the index's own timer
    // cannot take the queue in before a test looks at it.
    while (Class1::IsReading()) framework::Yield();
    EXPECT_EQ(Sql().number("SELECT COUNT(*) FROM Folder1 WHERE CDName = 'disc1'"), 0);
  }

  void mount(const std::vector<std::string>& entries, const std::string& folder = "vol") {
    testsupport::mountVolumes({{"Vol", testsupport::makeTree(tmp_.path().toStdString() + "/" + folder, entries)}});
  }

  bool busyShown() { return w().Label1().Visible() && w().ProgressWheel1().Visible(); }

  QTemporaryDir tmp_;
};

TEST_F(NameSearchTest, HitsAndPathsAreThoseOfThePlainQuery) {
  testsupport::writeCatalogue(corpus(1));
  expectSameAsPlainSearch(2);
  expectCaughtUp();
  // A check that ended while a search was part-way makes the file ready once the search lets go.
  ASSERT_TRUE(waitUntil(Module1::Changeable));
  // The catalogue is a file in WAL mode, checked and idle: every search is read aside.
  const long aside = NameIndex::SearchesAside();
  expectSameAsPlainSearch(2);
  EXPECT_EQ(NameIndex::SearchesAside() - aside, 300);
}

TEST_F(NameSearchTest, ShortAndWildTermsLeaveTheIndexForTheScan) {
  const struct {
    const char* term;
    bool narrowed;
  } cases[] = {{"", false}, {"ab", false}, {"イド", false}, {"a%b_c", false}, {"%%%", false},
               {"abc", true}, {"a%bcd", true}, {"イドブ", true}, {"ab_cde", true}};
  for (const auto& c : cases) EXPECT_EQ(NameIndex::MatchQuery(c.term).has_value(), c.narrowed) << c.term;
  EXPECT_EQ(NameIndex::MatchQuery("a\"bc%d\"e_fg"), "\"a\"\"b\" AND \"\"\"bc\" AND \"d\"\"e\"");
  EXPECT_EQ(NameIndex::MatchQuery("ああああ写"), "\"あああ\" AND \"ああ写\"");
  EXPECT_FALSE(NameIndex::MatchQuery("abc\xFF"));
}

// Index files of an earlier layout are made anew or go, even ones that claim to have caught up.
TEST_F(NameSearchTest, IndexFilesOfAnEarlierLayoutAreReplaced) {
  const std::vector<Row> rows = corpus(5);
  testsupport::writeCatalogue(rows);
  const std::string earlier = "CREATE VIRTUAL TABLE Names USING fts5(Name, tokenize='trigram', columnsize=0); "
                              "CREATE TABLE Built (UpTo INTEGER NOT NULL); INSERT INTO Built VALUES (" +
                              std::to_string(rows.back().No) + ")";
  const std::string single = NameIndex::EarlierFilePath(testsupport::cataloguePath());
  ASSERT_EQ(Sql(single).exec(earlier), SQLITE_OK);
  ASSERT_EQ(Sql(shardFile(1)).exec(earlier + "; PRAGMA user_version = 2"), SQLITE_OK);
  expectCaughtUp();
  EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(single)));
  expectEveryNameIndexedOnce();
  expectSameAsPlainSearch(7, 100);
}

// Each shard is a cache of its own: one damaged and one gone are built again while the others
// stay, and the search stays exact meanwhile.
TEST_F(NameSearchTest, AShardDamagedOrGoneIsBuiltAgainAlone) {
  testsupport::writeCatalogue(largeCorpus(30));
  expectCaughtUp();
  testsupport::closeAllWindows();
  // The index's threads must have let go of its files before they are damaged: a connection
  // closing on a removed file takes the new file's log with it.
  framework::DestroyAllWindows();
  ASSERT_FALSE(NameIndexBuild::AnyStarted());
  Module1::Release();
  const std::vector<std::int64_t> counts = indexValues("SELECT COUNT(*) FROM Names");
  for (std::int64_t n : counts) ASSERT_GT(n, 0);
  std::ofstream(shardFile(1), std::ios::binary | std::ios::trunc) << std::string(8192, 'x');
  for (const char* ending : {"", "-wal", "-shm"}) std::remove((shardFile(2) + ending).c_str());
  expectSameAsPlainSearch(31, 60);
  expectCaughtUp();
  EXPECT_EQ(indexValues("SELECT COUNT(*) FROM Names"), counts);
  expectSameAsPlainSearch(32, 100);
}

// Shards catch up at their own pace: the records of one that is behind the others are scanned.
TEST_F(NameSearchTest, TheRecordsOfAShardBehindTheOthersAreScanned) {
  testsupport::writeCatalogue(largeCorpus(40));
  expectCaughtUp();
  testsupport::closeAllWindows();
  framework::DestroyAllWindows();
  ASSERT_FALSE(NameIndexBuild::AnyStarted());
  Module1::Release();
  // Shard 2 holds numbers 2048 to 3071 of these; it stops halfway through them.
  ASSERT_EQ(Sql(shardFile(2)).exec("DELETE FROM Names WHERE rowid > 2500; UPDATE Built SET UpTo = 2500"), SQLITE_OK);
  const std::shared_ptr<framework::Database> db = framework::Database::open(testsupport::cataloguePath());
  ASSERT_TRUE(db);
  auto written = std::make_shared<NameIndex::Written>();
  for (int k = 0; k < NameIndex::kShards; ++k) {
    written->files[static_cast<std::size_t>(k)] = shardFile(k);
    written->ready[static_cast<std::size_t>(k)] = true;
  }
  NameIndex::StartWatching(*db, written, {});
  auto numbers = [](std::unique_ptr<framework::RecordSet> rs) {
    std::vector<std::int32_t> out;
    for (; rs && !rs->Eof(); rs->MoveNext()) out.push_back(rs->Field("No").IntegerValue());
    return out;
  };
  int behind = 0;
  for (const std::string& term : terms(41)) {
    if (!NameIndex::MatchQuery(term)) continue;
    const auto got = numbers(NameIndex::Search(*db, term, true));
    const auto want = numbers(db->SQLSelect("SELECT No FROM Folder1 WHERE Name LIKE ?1 ORDER BY No", {"%" + term + "%"}));
    EXPECT_EQ(got, want) << term;
    behind += static_cast<int>(std::count_if(want.begin(), want.end(), [](std::int32_t no) { return no > 2500 && no < 3072; }));
  }
  EXPECT_GT(behind, 0);
  NameIndex::StopWatching(*db);
}

// The window's connection goes on reading the file it opened; a search read aside must not open
// the one that took its place.
TEST_F(NameSearchTest, ACatalogueFileReplacedUnderTheWindowIsSearchedAsTheWindowReadsIt) {
  testsupport::writeCatalogue(corpus(4));
  expectCaughtUp();
  const std::vector<std::string> before = plainSearch("abc");
  ASSERT_FALSE(before.empty());
  const std::string path = testsupport::cataloguePath();
  for (const char* ending : {"", "-wal", "-shm"}) std::remove((path + ending).c_str());
  testsupport::writeCatalogue({{1, 0, "other abc", true, "other abc", "ディスク", kWhen, std::nullopt}});
  const long aside = NameIndex::SearchesAside();
  EXPECT_EQ(search("abc"), before);
  EXPECT_EQ(NameIndex::SearchesAside(), aside);
}

TEST_F(NameSearchTest, ADecomposedTextFindsTheComposedNames) {
  testsupport::writeCatalogue({{1, 0, "CD", true, "CD", "ディスク", kWhen, std::nullopt},
                               {2, 1, "がっこう.txt", std::nullopt, "CD", "t", kWhen, 1},
                               {3, 1, "Café", std::nullopt, "CD", "t", kWhen, 1}});
  EXPECT_EQ(search("か\xE3\x82\x99っこう"), std::vector<std::string>{" > CD > がっこう.txt"});
  EXPECT_EQ(search("e\xCC\x81"), std::vector<std::string>{" > CD > Café"});
  EXPECT_EQ(search("Cafe\xCC\x81"), std::vector<std::string>{" > CD > Café"});
}

// Imported catalogues can number records 0 or below: the index holds them too.
TEST_F(NameSearchTest, RecordsNumberedZeroOrBelowAreFound) {
  testsupport::writeCatalogue({{-3, 0, "CD", true, "CD", "ディスク", kWhen, std::nullopt},
                               {0, -3, "zero-abcd", std::nullopt, "CD", "t", kWhen, 1},
                               {4, -3, "four-abcd", std::nullopt, "CD", "t", kWhen, 1}});
  expectCaughtUp();
  EXPECT_EQ(search("abcd"), (std::vector<std::string>{" > CD > zero-abcd", " > CD > four-abcd"}));
}

TEST_F(NameSearchTest, TheIndexKeepsInStepWithReadsDeletionsUpdatesAndImports) {
  testsupport::writeCatalogue(corpus(3));
  readAndDeleteTheFirstDisc({"ガイドブック.txt", "Readme/", "Readme/abc'd", "Readme/x%y_z"});
  ASSERT_TRUE(msgs().empty()) << msgs().front();
  // Right after the deletion the index still holds the deleted names.
  expectSameAsPlainSearch(10, 60);
  w().CDName = "Vol";
  w().ReCD();
  expectCaughtUp();
  // An import keeps its old numbers, here numbers the deletion freed, below the index's watermark.
  std::ofstream(appDir() + "/olddbtext", std::ios::binary)
      << "Old abc\n2006-03-01\nx\n150\nOld abc\n0\ntrue\n0\n12:34:56\n"
      << "readme.abcdef\n2005-12-31\nx\n151\nOld abc\n150\nfalse\n5\n23:59:59\n";
  w().OldDbReading();
  Sql c;
  EXPECT_EQ(c.number("SELECT COUNT(*) FROM Folder1 WHERE Name = 'abc''d'"), 1);
  EXPECT_EQ(c.number("SELECT COUNT(*) FROM Folder1 WHERE No = 151"), 1);
  msgs().clear();
  EXPECT_EQ(search("eadme.abcde"), std::vector<std::string>{" > Old abc > readme.abcdef"});
  expectSameAsPlainSearch(4);
  expectCaughtUp();
  expectSameAsPlainSearch(11, 100);
}

// Deleted names leave a shard once they are as many as the live ones: updating the same disc
// again and again must not grow the index without end, and the search stays exact meanwhile.
TEST_F(NameSearchTest, TheNamesOfDeletedRecordsLeaveTheIndex) {
  testsupport::writeCatalogue({});
  std::vector<std::string> entries;
  for (int d = 0; d < 30; ++d) {
    entries.push_back("F" + std::to_string(d) + "abc/");
    for (int f = 0; f < 100; ++f) entries.push_back("F" + std::to_string(d) + "abc/x" + std::to_string(f) + "ガイド.txt");
  }
  mount(entries);
  Module1::VolNo = 1;
  w().CDName = "Vol";
  w().NewCD();
  for (int update = 0; update < 3; ++update) {
    expectCaughtUp();
    expectEveryNameIndexedOnce();
    w().CDName = "Vol";
    w().ReCD();
    expectSameAsPlainSearch(12 + static_cast<unsigned>(update), 40);
  }
  w().CDList().setListIndex(0);
  w().SakujyoButton().Push();
  ASSERT_TRUE(waitUntil([] { return !Class1::IsReading() && NameIndexing::Idle(); }, 20000));
  EXPECT_EQ(indexValues("SELECT COUNT(*) FROM Names"), std::vector<std::int64_t>(NameIndex::kShards, 0));
  EXPECT_TRUE(msgs().empty()) << msgs().front();
}

TEST_F(NameSearchTest, ASearchDuringARead) {
  testsupport::writeCatalogue(corpus(9));
  std::vector<std::string> entries;
  for (int d = 0; d < 30; ++d) {
    entries.push_back("F" + std::to_string(d) + "abc/");
    for (int f = 0; f < 100; ++f) entries.push_back("F" + std::to_string(d) + "abc/x" + std::to_string(f) + "ガイド.txt");
  }
  mount(entries);
  expectCaughtUp();
  const std::int32_t maxID = Module1::MaxID;
  w().CDName = "Vol";
  Module1::VolNo = 1;
  Module1::PB = 0;
  std::make_shared<Class1>()->Run();
  ASSERT_TRUE(waitUntil([&] { return Module1::MaxID > maxID + 200; }));
  ASSERT_TRUE(Class1::IsReading());
  // The read's transaction keeps the search on the window's own connection, which sees its rows.
  const long aside = NameIndex::SearchesAside();
  const std::vector<std::string> stored = search("abc");
  EXPECT_EQ(NameIndex::SearchesAside(), aside);
  EXPECT_TRUE(std::any_of(stored.begin(), stored.end(), [](const std::string& path) {
    return path.starts_with(" > Vol > F");
  }));
  EXPECT_EQ(stored, plainSearch("abc"));
  ASSERT_TRUE(Class1::IsReading());
  expectSameAsPlainSearch(12, 40);
  ASSERT_TRUE(waitUntil([] { return !Class1::IsReading(); }, 60000));
  expectCaughtUp();
  expectSameAsPlainSearch(13, 40);
}

TEST_F(NameSearchTest, ACatalogueOfAnEarlierVersionLosesItsIndexAndAnswersTheSameMeanwhile) {
  testsupport::writeCatalogue(largeCorpus(7));
  addIndexInCatalogue();
  const std::vector<std::string> before = plainSearch("abc");
  ASSERT_FALSE(before.empty());
  w();
  // What the earlier version kept inside the catalogue goes with the first change, once the
  // catalogue has been checked; the search answers the same meanwhile.
  EXPECT_EQ(search("abc"), before);
  readAndDeleteTheFirstDisc({"abcdef", "F/xabc"});
  EXPECT_EQ(Sql().number(kObjectsInCatalogue), 0);
  expectSameAsPlainSearch(6, 100);
  expectCaughtUp();
  EXPECT_TRUE(waitUntil([&] { return !busyShown(); }));
  expectSameAsPlainSearch(6);
}

// Run only as the child of the kill test: reads a volume "A" and deletes it, so that the index
// holds names of numbers that come back; then starts reading a big volume and tells the parent
// once many records are stored, and waits to be killed with the read unfinished.
TEST_F(NameSearchTest, DISABLED_ChildReadsUntilKilled) {
  const char* data = std::getenv("LUMENO_NAMES_DATA");
  const char* small = std::getenv("LUMENO_NAMES_SMALL");
  const char* big = std::getenv("LUMENO_NAMES_BIG");
  const char* signal = std::getenv("LUMENO_NAMES_FD");
  ASSERT_TRUE(data && small && big && signal);
  qputenv("XDG_DATA_HOME", data);
  testsupport::mountVolumes({{"A", small}, {"Big", big}});
  w().CDName = "A";
  Module1::VolNo = 1;
  w().NewCD();
  ASSERT_TRUE(waitUntil([] { return NameIndexing::Idle(); }, 20000));
  w().CDList().setListIndex(w().CDList().ListCount() - 1);
  w().SakujyoButton().Push();
  // A read is refused while the removal runs.
  ASSERT_TRUE(waitUntil([] { return !Class1::IsReading(); }));
  const std::int32_t maxID = Module1::MaxID;
  w().CDName = "Big";
  Module1::VolNo = 2;
  Module1::PB = 0;
  std::make_shared<Class1>()->Run();
  ASSERT_TRUE(waitUntil([&] { return Module1::MaxID > maxID + 1500; }));
  ASSERT_EQ(write(std::atoi(signal), "r", 1), 1);
  for (;;) pause();
}

TEST_F(NameSearchTest, AProcessKilledWhileTheIndexCatchesUpLeavesExactHits) {
  testsupport::writeCatalogue(largeCorpus(20));
  std::vector<std::string> stale, fresh, many;
  for (int i = 0; i < 300; ++i) {
    stale.push_back("staleabc" + std::to_string(i));
    fresh.push_back("freshabc" + std::to_string(i));
  }
  // Large enough that the read is still under way when the child is killed.
  for (int d = 0; d < 150; ++d) {
    many.push_back("folder-" + std::to_string(d) + "/");
    for (int f = 0; f < 100; ++f) many.push_back("folder-" + std::to_string(d) + "/bigabc-" + std::to_string(f));
  }
  const std::string base = tmp_.path().toStdString();
  const std::string small = testsupport::makeTree(base + "/a", stale), big = testsupport::makeTree(base + "/big", many);

  int status = 0;
  const bool read = testsupport::killChildWhenSignalled(
      "NameSearchTest.DISABLED_ChildReadsUntilKilled",
      {"LUMENO_NAMES_DATA=" + qEnvironmentVariable("XDG_DATA_HOME").toStdString(), "LUMENO_NAMES_SMALL=" + small,
       "LUMENO_NAMES_BIG=" + big},
      "LUMENO_NAMES_FD", status);
  ASSERT_TRUE(read) << "the child never got far into its read";
  EXPECT_TRUE(WIFSIGNALED(status));
  // The deleted disc's names are in the index, above anything the catalogue holds.
  const std::vector<std::int64_t> tops = indexValues("SELECT MAX(rowid) FROM Names");
  ASSERT_GT(*std::max_element(tops.begin(), tops.end()), Sql().number("SELECT MAX(No) FROM Folder1"));

  // After the restart a disc takes the freed numbers again.
  mount(fresh, "fresh");
  w();
  ASSERT_TRUE(waitUntil([] { return Module1::Changeable(); }));
  w().CDName = "Vol";
  Module1::VolNo = 1;
  w().NewCD();
  EXPECT_TRUE(msgs().empty()) << msgs().front();
  for (const char* term : {"staleabc", "freshabc", "freshabc12", "bigabc", "abc"}) EXPECT_EQ(search(term), plainSearch(term)) << term;
  EXPECT_EQ(search("freshabc").size(), fresh.size());
  expectCaughtUp();
  expectSameAsPlainSearch(8);
}

}  // namespace
