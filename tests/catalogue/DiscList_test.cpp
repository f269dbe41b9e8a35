// The disc rows, the expansion of a row and the name search, on the real main window over small
// fixture catalogues.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "app/Window1.h"
#include "catalogue/Module1.h"
#include "catalogue/NameIndex.h"
#include "framework/database/Database.h"
#include "framework/text/Date.h"
#include "framework/threads/Thread.h"
#include "support/FnThread.h"
#include "support/TestSupport.h"

using testsupport::Row;

namespace {

std::string shown(const std::string& sqlDateTime) {
  framework::Date d;
  EXPECT_TRUE(d.setSQLDateTime(sqlDateTime));
  return d.ShortDate() + " " + d.LongTime();
}

// One row of a list as the tests compare it: indent, folder flag and cells 0 to 5.
struct Shown {
  int indent;
  bool folder;
  std::vector<std::string> cells;
  bool operator==(const Shown&) const = default;
};

void PrintTo(const Shown& s, std::ostream* os) {
  *os << "{" << s.indent << (s.folder ? " folder" : " plain");
  for (const auto& c : s.cells) *os << " |" << c;
  *os << "}";
}

std::vector<Shown> rowsOf(const framework::Listbox& list) {
  std::vector<Shown> out;
  for (int r = 0; r < list.ListCount(); ++r) {
    Shown s{list.RowIndent(r), list.RowIsFolder(r), {}};
    for (int c = 0; c < 6; ++c) s.cells.push_back(list.Cell(r, c));
    out.push_back(s);
  }
  return out;
}

std::vector<std::string> textsOf(const framework::Listbox& list) {
  std::vector<std::string> out;
  for (int r = 0; r < list.ListCount(); ++r) out.push_back(list.Cell(r, 0));
  return out;
}

const char* kDiscTime = "2024-05-06 07:08:09";
const char* kFileTime = "2023-01-02 03:04:05";

// Disc "CD-A" (1) holding folder "Docs" (2) with "a.txt" (3) and folder "Sub" (4) holding "b'q" (5);
// disc "CD-B" (6) holding "c\"d" (7).
std::vector<Row> smallCatalogue() {
  return {
      {1, 0, "CD-A", true, "CD-A", "ディスク", kDiscTime, std::nullopt},
      {2, 1, "Docs", true, "CD-A", "フォルダ", kFileTime, 0},
      {3, 2, "a.txt", std::nullopt, "CD-A", "プレーンテキスト文書", kFileTime, 12},
      {4, 2, "Sub", true, "CD-A", "フォルダ", kFileTime, 0},
      {5, 4, "b'q", std::nullopt, "CD-A", " ", kFileTime, 7},
      {6, 0, "CD-B", true, "CD-B", "ディスク", kDiscTime, std::nullopt},
      {7, 6, "c\"d", std::nullopt, "CD-B", " ", kFileTime, 3},
  };
}

class DiscListTest : public testsupport::AppTest {
 protected:
  Window1& open(const std::vector<Row>& rows) {
    testsupport::writeCatalogue(rows);
    return Window1::instance();
  }
  std::vector<std::string> search(Window1& w, const std::string& term) {
    w.TextField1().setText(term);
    w.KensakuButton_Action();
    // A search read aside may still be listing what it found after the click.
    EXPECT_TRUE(waitUntil([] { return !Window1::SearchListFilling(); }));
    return textsOf(w.SearchList());
  }
  // Runs `check` once the catalogue has been checked: with the search on the window's own
  // connection (a transaction held open on it), then read aside on a thread of its own.
  void onBothPaths(const std::function<void()>& check) {
    ASSERT_TRUE(waitUntil(Module1::Changeable));
    {
      framework::Transaction held(Module1::db);
      ASSERT_TRUE(held.Begin());
      const long aside = NameIndex::SearchesAside();
      check();
      EXPECT_EQ(NameIndex::SearchesAside(), aside);
    }
    const long aside = NameIndex::SearchesAside();
    check();
    EXPECT_GT(NameIndex::SearchesAside(), aside);
  }
};

TEST_F(DiscListTest, EmptyCatalogueListsNothing) {
  Window1& w = Window1::instance();
  EXPECT_EQ(w.CDList().ListCount(), 0);
  EXPECT_TRUE(msgs().empty());
}

// Each disc record is one row at the top: its Name, date and kind, and the hidden No and CDName.
// An import can give a disc record a Name other than the CDName of its records: the row shows the
// Name, keeps the CDName, and still expands into the disc's own records.
TEST_F(DiscListTest, DiscRowsShowNameDateKindAndHiddenCells) {
  struct Case {
    Row disc;
    Shown row;
  };
  const std::vector<Case> cases = {
      {{1, 0, "CD-A", true, "CD-A", "ディスク", kDiscTime, std::nullopt},
       {0, true, {"CD-A", shown(kDiscTime), "", "ディスク", "1", "CD-A"}}},
      {{2, 0, "NoDate", true, "NoDate", "ディスク", std::nullopt, std::nullopt},
       {0, true, {"NoDate", "", "", "ディスク", "2", "NoDate"}}},
      {{3, 0, "Renamed", true, "CD-C", "ディスク", kDiscTime, std::nullopt},
       {0, true, {"Renamed", shown(kDiscTime), "", "ディスク", "3", "CD-C"}}},
  };
  std::vector<Row> rows;
  std::vector<Shown> expected;
  for (const Case& c : cases) {
    rows.push_back(c.disc);
    expected.push_back(c.row);
  }
  rows.push_back({4, 3, "inside", std::nullopt, "CD-C", " ", kFileTime, 5});
  Window1& w = open(rows);
  EXPECT_EQ(rowsOf(w.CDList()), expected);

  w.CDList().setExpanded(2, true);
  EXPECT_EQ(textsOf(w.CDList()), (std::vector<std::string>{"CD-A", "NoDate", "Renamed", "inside"}));
  EXPECT_TRUE(msgs().empty());
}

TEST_F(DiscListTest, ExpandingShowsChildrenOnceAfterCollapsing) {
  Window1& w = open(smallCatalogue());
  framework::Listbox& list = w.CDList();
  list.setExpanded(0, true);
  list.setExpanded(1, true);  // "Docs"
  const std::vector<Shown> expanded = {
      {0, true, {"CD-A", shown(kDiscTime), "", "ディスク", "1", "CD-A"}},
      {1, true, {"Docs", shown(kFileTime), "0", "フォルダ", "2", ""}},
      {2, false, {"a.txt", shown(kFileTime), "12", "プレーンテキスト文書", "3", ""}},
      {2, true, {"Sub", shown(kFileTime), "0", "フォルダ", "4", ""}},
      {0, true, {"CD-B", shown(kDiscTime), "", "ディスク", "6", "CD-B"}},
  };
  EXPECT_EQ(rowsOf(list), expanded);

  list.setExpanded(0, false);
  EXPECT_EQ(list.ListCount(), 2);
  list.setExpanded(0, true);
  list.setExpanded(1, true);
  EXPECT_EQ(rowsOf(list), expanded);

  // A folder and a disc without children add nothing and say nothing.
  list.setExpanded(4, true);  // "CD-B" has one child
  EXPECT_EQ(list.ListCount(), 6);
  list.setExpanded(3, true);  // "Sub" has one child
  EXPECT_EQ(list.Cell(4, 0), "b'q");
  EXPECT_TRUE(msgs().empty());
}

TEST_F(DiscListTest, ChildWithoutDateShowsItsNameAloneAndExpandsToNothing) {
  Window1& w = open({
      {1, 0, "CD", true, "CD", "ディスク", kDiscTime, std::nullopt},
      {2, 1, "Undated", true, "CD", "フォルダ", std::nullopt, 5},
      {3, 2, "inside", std::nullopt, "CD", " ", kFileTime, 1},
      {4, 1, "after", false, "CD", " ", kFileTime, 9},
  });
  framework::Listbox& list = w.CDList();
  list.setExpanded(0, true);
  ASSERT_EQ(list.ListCount(), 3);
  EXPECT_EQ(rowsOf(list)[1], (Shown{1, true, {"Undated", "", "", "", "", ""}}));
  // The expansion goes on after the undated record; Folder False is a plain row.
  EXPECT_EQ(rowsOf(list)[2], (Shown{1, false, {"after", shown(kFileTime), "9", " ", "4", ""}}));
  // Its No cell is empty, so it has no way to its children.
  list.setExpanded(1, true);
  EXPECT_EQ(list.ListCount(), 3);
}

// Imported records may hold a Time other than their Date: each shows its own part.
TEST_F(DiscListTest, DateAndTimeFieldsAreShownEachFromItsOwn) {
  testsupport::writeCatalogue(smallCatalogue());
  const char* other = "2021-11-12 21:22:23";
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(testsupport::cataloguePath().c_str(), &db), SQLITE_OK);
  const std::string update = std::string("UPDATE Folder1 SET Time='") + other + "' WHERE No IN (1, 2)";
  EXPECT_EQ(sqlite3_exec(db, update.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
  auto mixed = [&](const char* date) {
    framework::Date d, t;
    EXPECT_TRUE(d.setSQLDateTime(date) && t.setSQLDateTime(other));
    return d.ShortDate() + " " + t.LongTime();
  };
  framework::Listbox& list = Window1::instance().CDList();
  list.setExpanded(0, true);
  ASSERT_EQ(list.ListCount(), 3);
  EXPECT_EQ(list.Cell(0, 1), mixed(kDiscTime));  // a disc row
  EXPECT_EQ(list.Cell(1, 1), mixed(kFileTime));  // an expanded child
}

TEST_F(DiscListTest, TwoDiscsOfOneNameExpandIntoTheirOwnRecords) {
  Window1& w = open({
      {1, 0, "Same", true, "Same", "ディスク", kDiscTime, std::nullopt},
      {2, 1, "first", std::nullopt, "Same", " ", kFileTime, 1},
      {3, 0, "Same", true, "Same", "ディスク", kDiscTime, std::nullopt},
      {4, 3, "second", std::nullopt, "Same", " ", kFileTime, 2},
  });
  framework::Listbox& list = w.CDList();
  list.setExpanded(1, true);
  list.setExpanded(0, true);
  EXPECT_EQ(textsOf(list), (std::vector<std::string>{"Same", "first", "Same", "second"}));
}

TEST_F(DiscListTest, SearchPaths) {
  Window1& w = open(smallCatalogue());
  struct Case {
    const char* term;
    std::vector<std::string> paths;
  };
  const std::vector<Case> cases = {
      {"", {" > CD-A", " > CD-A > Docs", " > CD-A > Docs > a.txt", " > CD-A > Docs > Sub",
            " > CD-A > Docs > Sub > b'q", " > CD-B", " > CD-B > c\"d"}},
      {"Docs", {" > CD-A > Docs"}},
      {"CD-B", {" > CD-B"}},
      {"'", {" > CD-A > Docs > Sub > b'q"}},
      {"\"", {" > CD-B > c\"d"}},
      {"b'q", {" > CD-A > Docs > Sub > b'q"}},
      {"a%t", {" > CD-A > Docs > a.txt"}},  // % is any run
      {"S_b", {" > CD-A > Docs > Sub"}},    // _ is any one character
      {"docs", {" > CD-A > Docs"}},         // LIKE ignores ASCII letter case
      {" Docs", {}},                        // the term is not trimmed
      {"nothing here", {}},
  };
  // A short list is listed whole in the click itself.
  onBothPaths([&] {
    for (const auto& c : cases) {
      auto got = search(w, c.term);
      std::sort(got.begin(), got.end());
      auto want = c.paths;
      std::sort(want.begin(), want.end());
      EXPECT_EQ(got, want) << "term [" << c.term << "]";
    }
  });
  EXPECT_TRUE(msgs().empty());
}

TEST_F(DiscListTest, SearchWithoutHitsClearsThePreviousResults) {
  Window1& w = open(smallCatalogue());
  EXPECT_EQ(search(w, "a.txt").size(), 1u);
  EXPECT_TRUE(search(w, "zzz").empty());
}

TEST_F(DiscListTest, BrokenParentLinksEndTheirWalks) {
  Window1& w = open({
      {1, 0, "CD", true, "CD", "ディスク", kDiscTime, std::nullopt},
      {2, 99, "orphan", std::nullopt, "CD", " ", kFileTime, 1},     // no record 99
      {3, 4, "loopA", true, "CD", "フォルダ", kFileTime, 0},        // 3 -> 4 -> 3
      {4, 3, "loopB", true, "CD", "フォルダ", kFileTime, 0},
      {5, 5, "self", true, "CD", "フォルダ", kFileTime, 0},         // its own parent
      {6, 3, "inLoop", std::nullopt, "CD", " ", kFileTime, 1},
      {7, 1, "fine", std::nullopt, "CD", " ", kFileTime, 1},
  });
  std::vector<std::string> want = {" > CD",
                                   " > orphan",
                                   " > loopB > loopA",
                                   " > loopA > loopB",
                                   " > self",
                                   " > loopB > loopA > inLoop",
                                   " > CD > fine"};
  std::sort(want.begin(), want.end());
  onBothPaths([&] {
    auto got = search(w, "");
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, want);
  });
}

// Far more folders than a search keeps the paths of: the folders met early, and their children
// listed only after all the others, still show their whole paths.
TEST_F(DiscListTest, FoldersMetLongBeforeTheirLaterHitsKeepTheirPaths) {
  constexpr int kFolders = 70'000;
  std::vector<Row> rows{{1, 0, "CD", true, "CD", "ディスク", kDiscTime, std::nullopt},
                        {2, 1, "top", true, "CD", "フォルダ", kFileTime, 0},
                        {3, 2, "early", true, "CD", "フォルダ", kFileTime, 0}};
  for (int i = 0; i < kFolders; ++i)
    rows.push_back({4 + i, 3, "f" + std::to_string(i), true, "CD", "フォルダ", kFileTime, 0});
  const int late = 4 + kFolders;
  rows.push_back({late, 3, "late", std::nullopt, "CD", " ", kFileTime, 1});
  rows.push_back({late + 1, 4, "in first", std::nullopt, "CD", " ", kFileTime, 1});
  rows.push_back({late + 2, late - 1, "in last", std::nullopt, "CD", " ", kFileTime, 1});
  Window1& w = open(rows);
  onBothPaths([&] {
    search(w, "");
    ASSERT_TRUE(waitUntil([] { return !Window1::SearchListFilling(); }));
    const std::vector<std::string> got = textsOf(w.SearchList());
    ASSERT_EQ(got.size(), rows.size());
    EXPECT_EQ(got[3], " > CD > top > early > f0");
    EXPECT_EQ(got[late - 2], " > CD > top > early > f" + std::to_string(kFolders - 1));
    EXPECT_EQ(got[late - 1], " > CD > top > early > late");
    EXPECT_EQ(got[late], " > CD > top > early > f0 > in first");
    EXPECT_EQ(got[late + 1], " > CD > top > early > f" + std::to_string(kFolders - 1) + " > in last");
  });
  EXPECT_TRUE(msgs().empty());
}

TEST_F(DiscListTest, FailedQueriesListNothingAndTheListsSayWhy) {
  Window1& w = open(smallCatalogue());
  // Another connection takes the table away, so every query of the window fails.
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(testsupport::cataloguePath().c_str(), &other), SQLITE_OK);
  sqlite3_busy_timeout(other, 5000);  // the program's checkpointer may hold the file for a moment
  ASSERT_EQ(sqlite3_exec(other, "ALTER TABLE Folder1 RENAME TO Gone", nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(other);

  framework::Listbox& list = w.CDList();
  list.setExpanded(0, true);
  EXPECT_EQ(list.ListCount(), 2);
  list.DeleteAllRows();
  w.OpenDB();
  EXPECT_EQ(list.ListCount(), 0);
  w.SearchList().AddRow("old");
  EXPECT_TRUE(search(w, "").empty());
  // No damage: the catalogue is not marked, and an empty list is not taken for an empty catalogue.
  const std::string why = "1 no such table: Folder1";
  EXPECT_EQ(msgs(), (std::vector<std::string>{why, why, why}));
  EXPECT_FALSE(Module1::Damaged());
}

}  // namespace

namespace {

// Rebuilds the disc list as a finishing read does, once the expansion is under way.
class Rebuilder : public framework::Thread {
 protected:
  void Event_Run() override {
    while (Window1::instance().CDList().ListCount() < 3) framework::Yield();
    Window1::instance().CDList().DeleteAllRows();
    Window1::instance().OpenDB();
  }
};

TEST_F(DiscListTest, AnExpansionStopsWhenAReadRebuildsTheList) {
  std::vector<Row> rows = {{1, 0, "CD", true, "CD", "ディスク", kDiscTime, std::nullopt},
                           {2, 0, "CD2", true, "CD2", "ディスク", kDiscTime, std::nullopt}};
  for (int i = 0; i < 30000; ++i)
    rows.push_back({3 + i, 1, "f" + std::to_string(i), std::nullopt, "CD", " ", kFileTime, i});
  Window1& w = open(rows);
  auto rebuilder = std::make_shared<Rebuilder>();
  rebuilder->Run();
  w.CDList().setExpanded(0, true);
  ASSERT_TRUE(waitUntil([&] { return !rebuilder->IsRunning(); }));
  // Only the rebuilt disc rows: no children of the vanished row strayed to the end.
  EXPECT_EQ(textsOf(w.CDList()), (std::vector<std::string>{"CD", "CD2"}));
}

}  // namespace

namespace {

// The user expands a disc while a finishing read is still listing the discs: the children go
// beneath it, and every disc listed meanwhile keeps its own cells.
TEST_F(DiscListTest, AnExpansionDuringARebuildLeavesEveryDiscRowItsOwnCells) {
  const int discs = 20000, children = 30000;
  std::vector<Row> rows;
  for (int d = 1; d <= discs; ++d)
    rows.push_back({d, 0, "D" + std::to_string(d), true, "D" + std::to_string(d), "ディスク", kDiscTime, std::nullopt});
  for (int i = 0; i < children; ++i)
    rows.push_back({discs + 1 + i, 1, "f" + std::to_string(i), std::nullopt, "D1", " ", kFileTime, i});
  Window1& w = open(rows);
  framework::Listbox& list = w.CDList();
  auto rebuild = std::make_shared<FnThread>([&] {
    list.DeleteAllRows();
    w.OpenDB();
  });
  rebuild->Run();
  // The rebuild is under way, and goes on at the expansion's yields.
  ASSERT_TRUE(waitUntil([&] { return list.ListCount() > 0 && list.ListCount() < discs; }));
  const int listedBefore = list.ListCount();
  list.setExpanded(0, true);
  EXPECT_GT(list.ListCount(), listedBefore + children);  // discs were listed during the expansion
  ASSERT_TRUE(waitUntil([&] { return !rebuild->IsRunning(); }));

  ASSERT_EQ(list.ListCount(), discs + children);
  for (int r = 1; r <= children; ++r) ASSERT_EQ(list.RowIndent(r), 1) << r;
  for (int r = children + 1; r < list.ListCount(); ++r) {
    ASSERT_EQ(list.RowIndent(r), 0) << r;
    ASSERT_EQ(list.Cell(r, 5), list.Cell(r, 0)) << r;
    ASSERT_EQ("D" + list.Cell(r, 4), list.Cell(r, 0)) << r;
  }
}

}  // namespace
