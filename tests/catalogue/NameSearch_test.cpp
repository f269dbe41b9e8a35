// The name search through the trigram index against the plain LIKE scan with the walk of every
// hit's parents, over catalogues of awkward names, and the index kept in step with the table.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTemporaryDir>

#include <fstream>
#include <random>
#include <string>
#include <unordered_set>
#include <vector>

#include "app/Window1.h"
#include "catalogue/Class1.h"
#include "catalogue/Module1.h"
#include "framework/Database.h"
#include "framework/NameIndex.h"
#include "framework/Normalization.h"
#include "framework/Thread.h"
#include "support/TestSupport.h"

using testsupport::Row;

namespace {

// A connection of the test's own on the catalogue file.
struct Sql {
  sqlite3* db = nullptr;
  Sql() {
    sqlite3_open(testsupport::cataloguePath().c_str(), &db);
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
// parent or a number met before on that walk.
std::vector<std::string> plainSearch(const std::string& term) {
  Sql c;
  sqlite3_stmt* hits = nullptr;
  sqlite3_stmt* parent = nullptr;
  sqlite3_prepare_v2(c.db, "SELECT No, FolNo, Name FROM Folder1 WHERE Name LIKE ?", -1, &hits, nullptr);
  sqlite3_prepare_v2(c.db, "SELECT FolNo, Name FROM Folder1 WHERE No = ?", -1, &parent, nullptr);
  const std::string pattern = "%" + term + "%";
  sqlite3_bind_text(hits, 1, pattern.data(), static_cast<int>(pattern.size()), SQLITE_STATIC);
  std::vector<std::string> paths;
  while (sqlite3_step(hits) == SQLITE_ROW) {
    std::string path = " > " + text(hits, 2);
    std::unordered_set<std::int32_t> seen{sqlite3_column_int(hits, 0)};
    std::int32_t up = sqlite3_column_int(hits, 1);
    while (up != 0 && seen.insert(up).second) {
      sqlite3_reset(parent);
      sqlite3_bind_int(parent, 1, up);
      if (sqlite3_step(parent) != SQLITE_ROW) break;
      path = " > " + text(parent, 1) + path;
      up = sqlite3_column_int(parent, 0);
    }
    paths.push_back(path);
  }
  sqlite3_finalize(hits);
  sqlite3_finalize(parent);
  return paths;
}

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
    EXPECT_TRUE(waitUntil([] { return framework::RunningThreadCount() == 0; }));
    std::vector<std::string> out;
    const framework::Listbox& list = w().SearchList();
    for (int r = 0; r < list.ListCount(); ++r) out.push_back(list.Cell(r, 0));
    return out;
  }

  // Every term answered by the window and by the plain query, row for row; the index answers
  // every term it can.
  void expectSameAsPlainSearch(unsigned seed) {
    w();
    ASSERT_TRUE(framework::NameIndex::Complete(*Module1::db));
    int narrowed = 0;
    for (const std::string& term : terms(seed)) {
      // The window composes the text as names are composed; the plain query is given it so.
      const std::string composed = framework::ComposeUtf8(term).value_or(term);
      if (framework::NameIndex::MatchQuery(composed)) ++narrowed;
      const auto got = search(term), want = plainSearch(composed);
      std::size_t first = 0;
      while (first < got.size() && first < want.size() && got[first] == want[first]) ++first;
      EXPECT_TRUE(first == got.size() && first == want.size())
          << "term [" << term << "]: " << got.size() << " rows, plain " << want.size() << "; first difference at "
          << first << ": [" << (first < got.size() ? got[first] : "-") << "] vs ["
          << (first < want.size() ? want[first] : "-") << "]";
    }
    EXPECT_GT(narrowed, 100);
    EXPECT_TRUE(msgs().empty()) << msgs().front();
    // The searches took every queued change into the index, which now matches the table.
    Sql c;
    EXPECT_EQ(c.number("SELECT COUNT(*) FROM Folder1NamesQueue"), 0);
    EXPECT_EQ(c.exec("INSERT INTO Folder1Names (Folder1Names) VALUES ('integrity-check')"), SQLITE_OK)
        << sqlite3_errmsg(c.db);
  }

  // The catalogue as a version without the name index left it.
  void dropNameIndex() {
    Sql c;
    ASSERT_EQ(c.exec("DROP TRIGGER Folder1Names_Insert; DROP TRIGGER Folder1Names_Delete; "
                     "DROP TRIGGER Folder1Names_Update; DROP TABLE Folder1Names; DROP TABLE Folder1NamesBuilt; "
                     "DROP TABLE Folder1NamesQueue"),
              SQLITE_OK);
  }

  // Reads a volume "Vol" holding the entries, then deletes the corpus's first disc.
  void readAndDeleteTheFirstDisc(const std::vector<std::string>& entries) {
    testsupport::mountVolumes({{"Vol", testsupport::makeTree(tmp_.path().toStdString() + "/vol", entries)}});
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

  bool busyShown() { return w().Label1().Visible() && w().ProgressWheel1().Visible(); }

  QTemporaryDir tmp_;
};

TEST_F(NameSearchTest, HitsAndPathsAreThoseOfThePlainQuery) {
  testsupport::writeCatalogue(corpus(1));
  expectSameAsPlainSearch(2);
}

TEST_F(NameSearchTest, ShortAndWildTermsLeaveTheIndexForTheScan) {
  const struct {
    const char* term;
    bool narrowed;
  } cases[] = {{"", false}, {"ab", false}, {"イド", false}, {"a%b_c", false}, {"%%%", false},
               {"abc", true}, {"a%bcd", true}, {"イドブ", true}, {"ab_cde", true}};
  for (const auto& c : cases) EXPECT_EQ(framework::NameIndex::MatchQuery(c.term).has_value(), c.narrowed) << c.term;
  EXPECT_EQ(framework::NameIndex::MatchQuery("a\"bc%d\"e_fg"), "\"a\"\"bc\" AND \"d\"\"e\"");
  EXPECT_FALSE(framework::NameIndex::MatchQuery("abc\xFF"));
}

TEST_F(NameSearchTest, ADecomposedTextFindsTheComposedNames) {
  testsupport::writeCatalogue({{1, 0, "CD", true, "CD", "ディスク", kWhen, std::nullopt},
                               {2, 1, "がっこう.txt", std::nullopt, "CD", "t", kWhen, 1},
                               {3, 1, "Café", std::nullopt, "CD", "t", kWhen, 1}});
  EXPECT_EQ(search("か\xE3\x82\x99っこう"), std::vector<std::string>{" > CD > がっこう.txt"});
  EXPECT_EQ(search("e\xCC\x81"), std::vector<std::string>{" > CD > Café"});
  EXPECT_EQ(search("Cafe\xCC\x81"), std::vector<std::string>{" > CD > Café"});
}

TEST_F(NameSearchTest, TheIndexKeepsInStepWithReadsDeletionsUpdatesAndImports) {
  testsupport::writeCatalogue(corpus(3));
  readAndDeleteTheFirstDisc({"ガイドブック.txt", "Readme/", "Readme/abc'd", "Readme/x%y_z"});
  ASSERT_TRUE(msgs().empty()) << msgs().front();
  w().CDName = "Vol";
  w().ReCD();
  // An import of two records with numbers below those the reads handed out.
  std::ofstream(appDir() + "/olddbtext", std::ios::binary)
      << "Old abc\n2006-03-01\nx\n100000\nOld abc\n0\ntrue\n0\n12:34:56\n"
      << "readme.abc\n2005-12-31\nx\n100001\nOld abc\n100000\nfalse\n5\n23:59:59\n";
  w().OldDbReading();
  Sql c;
  EXPECT_EQ(c.number("SELECT COUNT(*) FROM Folder1 WHERE Name = 'abc''d'"), 1);
  EXPECT_EQ(c.number("SELECT COUNT(*) FROM Folder1 WHERE No = 100001"), 1);
  ASSERT_EQ(c.exec("UPDATE Folder1 SET Name = Name || 'abc' WHERE No % 7 = 0"), SQLITE_OK);
  ASSERT_EQ(c.exec("UPDATE Folder1 SET No = No + 500000 WHERE No % 11 = 0"), SQLITE_OK);
  msgs().clear();
  expectSameAsPlainSearch(4);
}

TEST_F(NameSearchTest, WhatAReadQueuesReachesTheIndexWithoutASearch) {
  testsupport::writeCatalogue(corpus(9));
  w();
  readAndDeleteTheFirstDisc({"abcdef", "F/", "F/xabc"});
  Sql c;
  EXPECT_GT(c.number("SELECT COUNT(*) FROM Folder1NamesQueue"), 0);
  ASSERT_TRUE(waitUntil([&] { return c.number("SELECT COUNT(*) FROM Folder1NamesQueue") == 0; }));
  EXPECT_FALSE(busyShown());
  EXPECT_EQ(c.exec("INSERT INTO Folder1Names (Folder1Names) VALUES ('integrity-check')"), SQLITE_OK);
}

TEST_F(NameSearchTest, ACatalogueWithoutTheIndexGetsItOnOpenAndAnswersTheSameMeanwhile) {
  testsupport::writeCatalogue(corpus(5));
  dropNameIndex();
  const std::vector<std::string> before = plainSearch("abc");
  ASSERT_FALSE(before.empty());
  w();
  EXPECT_TRUE(busyShown());
  EXPECT_FALSE(framework::NameIndex::Complete(*Module1::db));
  // The search scans until the index is whole, and the catalogue changes meanwhile.
  EXPECT_EQ(search("abc"), before);
  readAndDeleteTheFirstDisc({"abcdef", "F/xabc"});
  ASSERT_TRUE(waitUntil([&] { return framework::NameIndex::Complete(*Module1::db) && !busyShown(); }));
  expectSameAsPlainSearch(6);
}

TEST_F(NameSearchTest, ABuildKilledMidwayIsFinishedAtTheNextStart) {
  std::vector<Row> rows;
  for (int round = 0; round < 10; ++round) {
    auto more = corpus(7 + round, 1 + round * 600);
    rows.insert(rows.end(), more.begin(), more.end());
  }
  testsupport::writeCatalogue(rows);
  dropNameIndex();
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // A build in short steps with pauses, killed long before it reaches the end.
    auto db = framework::Database::open(testsupport::cataloguePath());
    if (!db || !framework::NameIndex::Prepare(*db)) _exit(1);
    for (;;) {
      framework::NameIndex::Build(*db, std::chrono::milliseconds(0));
      usleep(300'000);
    }
  }
  {
    Sql c;
    ASSERT_TRUE(waitUntil([&] { return c.number("SELECT UpTo FROM Folder1NamesBuilt") > 0; }, 20000));
  }
  kill(child, SIGKILL);
  int status = 0;
  waitpid(child, &status, 0);
  Sql c;
  const std::int64_t reached = c.number("SELECT UpTo FROM Folder1NamesBuilt");
  EXPECT_GT(reached, 0);
  EXPECT_LT(reached, framework::NameIndex::kComplete);
  w();
  ASSERT_TRUE(waitUntil([&] { return framework::NameIndex::Complete(*Module1::db) && !busyShown(); }));
  expectSameAsPlainSearch(8);
}

}  // namespace
