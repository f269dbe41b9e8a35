#include <gtest/gtest.h>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "CatalogueSql.h"
#include "app/Window1.h"
#include "catalogue/Class1.h"
#include "catalogue/Module1.h"
#include "support/TestSupport.h"

namespace {

using testsupport::Row;

Row disc(int no, const std::string& name) { return {no, 0, name, true, name, "ディスク", "2020-01-02 03:04:05", std::nullopt}; }
Row folder(int no, int parent, const std::string& name, const std::string& cd) {
  return {no, parent, name, true, cd, "フォルダ", "2020-01-02 03:04:05", 4096};
}
Row file(int no, int parent, const std::string& name, const std::string& cd) {
  return {no, parent, name, std::nullopt, cd, " ", "2020-01-02 03:04:05", 10};
}

std::vector<int> numbers(const std::vector<Row>& rows) {
  std::vector<int> out;
  for (const Row& r : rows) out.push_back(r.No);
  return out;
}

class DiscRemovalTest : public testsupport::AppTest {
 protected:
  void SetUp() override {
    testsupport::AppTest::SetUp();
    writeFixture();
  }
  void writeFixture() {
    replaceCatalogue({disc(1, "D1"), folder(2, 1, "F", "D1"), file(3, 2, "f", "D1"), file(4, 1, "g", "D1"),
                                 disc(5, "O'Brien"), file(6, 5, "o", "O'Brien"),
                                 disc(7, "Twin"), file(8, 7, "t1", "Twin"), disc(9, "Twin"), file(10, 9, "t2", "Twin"),
                                 // A child whose date is empty shows an empty kind cell.
                                 Row{11, 1, "undated", std::nullopt, "D1", " ", std::nullopt, std::nullopt}});
  }
  Window1& w() { return Window1::instance(); }
  framework::Listbox& list() { return w().CDList(); }

  int rowOf(const std::string& name) {
    for (int r = 0; r < list().ListCount(); ++r)
      if (list().Cell(r, 0) == name) return r;
    return -1;
  }
  std::vector<std::string> discRows() {
    std::vector<std::string> out;
    for (int r = 0; r < list().ListCount(); ++r) out.push_back(list().Cell(r, 0));
    std::sort(out.begin(), out.end());
    return out;
  }
  // The fixture again, listed afresh, for the next case of a table.
  void reset() {
    writeFixture();
    list().DeleteAllRows();
    w().OpenDB();
    msgs().clear();
  }
  // Presses 削除 and waits until the removal has ended.
  void pressDelete() {
    w().SakujyoButton().Push();
    ASSERT_TRUE(testsupport::waitUntil([] { return !Class1::IsReading(); }));
  }

  // Reads a fresh copy of a disc from a volume standing for it.
  void mountTwin() {
    const std::string root = testsupport::makeTree(tmp_.path().toStdString() + "/twin", {"new1", "new2"});
    testsupport::mountVolumes({{"Twin", root}});
  }

  QTemporaryDir tmp_;
};

TEST_F(DiscRemovalTest, NothingSelectedDoesNothing) {
  w();
  const auto before = testsupport::readCatalogue();
  pressDelete();
  EXPECT_EQ(testsupport::readCatalogue().size(), before.size());
  EXPECT_TRUE(msgs().empty());
  EXPECT_EQ(list().ListCount(), 4);
}

TEST_F(DiscRemovalTest, ARowThatIsNoDiscIsRefused) {
  w();
  list().setExpanded(rowOf("D1"), true);
  for (const char* name : {"F", "undated"}) {
    SCOPED_TRACE(name);
    msgs().clear();
    list().setListIndex(rowOf(name));
    ASSERT_GE(list().ListIndex(), 0);
    pressDelete();
    ASSERT_EQ(msgs().size(), 1u);
    EXPECT_EQ(msgs()[0], "ディスク単位でないと削除できません");
    EXPECT_EQ(testsupport::readCatalogue().size(), 11u);
    EXPECT_GE(rowOf(name), 0);  // the list is left as it was
  }
}

TEST_F(DiscRemovalTest, DeletesEveryRecordOfTheDiscsOfThatName) {
  const struct {
    const char* disc;
    std::vector<int> left;
    std::vector<std::string> rows;
  } cases[] = {
      {"D1", {5, 6, 7, 8, 9, 10}, {"O'Brien", "Twin", "Twin"}},
      {"O'Brien", {1, 2, 3, 4, 7, 8, 9, 10, 11}, {"D1", "Twin", "Twin"}},
      {"Twin", {1, 2, 3, 4, 5, 6, 11}, {"D1", "O'Brien"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.disc);
    reset();
    list().setListIndex(rowOf(c.disc));
    pressDelete();
    EXPECT_EQ(numbers(testsupport::readCatalogue()), c.left);
    EXPECT_EQ(discRows(), c.rows);
    EXPECT_TRUE(msgs().empty());
    EXPECT_EQ(beeps(), 0);
  }
}

TEST_F(DiscRemovalTest, DeletingTheOnlyDiscEmptiesTheList) {
  replaceCatalogue({disc(1, "Only"), file(2, 1, "x", "Only")});
  w();
  list().setListIndex(0);
  pressDelete();
  EXPECT_TRUE(testsupport::readCatalogue().empty());
  EXPECT_EQ(list().ListCount(), 0);
}

TEST_F(DiscRemovalTest, AFailingRemovalIsReportedAndLeavesTheDisc) {
  const struct {
    const char* what;
    const char* sql;
    const char* says;
    const char* undo;
  } cases[] = {
      {"a deletion fails", "CREATE TRIGGER keep BEFORE DELETE ON Folder1 BEGIN SELECT RAISE(ABORT, 'kept'); END;", "kept",
       "DROP TRIGGER keep;"},
      // The disc record and a folder go first; what was removed before the failure comes back.
      {"a later deletion fails",
       "CREATE TRIGGER keep BEFORE DELETE ON Folder1 WHEN OLD.No = 3 BEGIN SELECT RAISE(ABORT, 'kept'); END;", "kept",
       "DROP TRIGGER keep;"},
      {"the query fails", "ALTER TABLE Folder1 RENAME COLUMN CDName TO Disc;", "CDName",
       "ALTER TABLE Folder1 RENAME COLUMN Disc TO CDName;"},
  };
  w();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    reset();
    execOnCatalogue(c.sql);
    list().setListIndex(rowOf("D1"));
    pressDelete();
    ASSERT_EQ(msgs().size(), 1u);
    EXPECT_GT(std::stoi(msgs()[0]), 0);
    EXPECT_NE(msgs()[0].find(c.says), std::string::npos) << msgs()[0];
    execOnCatalogue(c.undo);
    EXPECT_EQ(testsupport::readCatalogue().size(), 11u);
    EXPECT_GE(rowOf("D1"), 0);  // still listed, so it can be deleted once the fault is gone
  }
}

TEST_F(DiscRemovalTest, UpdateRemovesEveryDiscOfTheNameAndReadsTheChosenVolumeAboveOldNumbers) {
  mountTwin();
  w();
  Module1::MaxID = 30;  // numbers handed out earlier in this run
  w().CDName = "Twin";
  Module1::VolNo = 1;
  w().ReCD();
  const auto rows = testsupport::readCatalogue();
  EXPECT_EQ(numbers(rows), (std::vector<int>{1, 2, 3, 4, 5, 6, 11, 31, 32, 33}));
  EXPECT_EQ(rows.back().Name, "new2");
  EXPECT_EQ(rows[7].CDName, "Twin");
  EXPECT_EQ(discRows(), (std::vector<std::string>{"D1", "O'Brien", "Twin"}));
  EXPECT_EQ(w().CDName, "");
  EXPECT_EQ(beeps(), 1);
}

TEST_F(DiscRemovalTest, UpdateOfANameWithAQuote) {
  mountTwin();
  w();
  w().CDName = "O'Brien";
  Module1::VolNo = 1;
  w().ReCD();
  std::vector<std::string> kept;
  for (const Row& r : testsupport::readCatalogue())
    if (r.CDName == "O'Brien") kept.push_back(r.Name);
  EXPECT_EQ(kept, (std::vector<std::string>{"O'Brien", "new1", "new2"}));
}

TEST_F(DiscRemovalTest, UpdateWithNoVolumeChosenChangesNothing) {
  mountTwin();
  w();
  for (const char* name : {"", " "}) {
    w().CDName = name;
    list().AddRow("stale");
    w().ReCD();
    EXPECT_EQ(testsupport::readCatalogue().size(), 11u);
    EXPECT_GE(rowOf("stale"), 0);  // not even rebuilt
  }
  EXPECT_EQ(beeps(), 0);
  EXPECT_TRUE(msgs().empty());
}

TEST_F(DiscRemovalTest, AFailedRemovalStopsTheUpdateBeforeItReads) {
  mountTwin();
  w();
  execOnCatalogue("CREATE TRIGGER keep BEFORE DELETE ON Folder1 BEGIN SELECT RAISE(ABORT, 'kept'); END;");
  w().CDName = "Twin";
  Module1::VolNo = 1;
  list().AddRow("stale");
  w().ReCD();
  ASSERT_EQ(msgs().size(), 1u);
  EXPECT_NE(msgs()[0].find("kept"), std::string::npos);
  // The disc is not catalogued a second time beside its old records.
  EXPECT_EQ(numbers(testsupport::readCatalogue()), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
  EXPECT_EQ(w().CDName, "");
  EXPECT_EQ(rowOf("stale"), -1);
  EXPECT_EQ(beeps(), 0);
}

TEST_F(DiscRemovalTest, ALargeDiscIsRemovedWhileTheWindowAnswersAndRefusesOtherChanges) {
  std::vector<Row> rows{disc(1, "Big")};
  for (int no = 2; no <= 30'000; ++no) rows.push_back(file(no, no < 100 ? 1 : no / 100, "f" + std::to_string(no), "Big"));
  rows.push_back(disc(30'001, "Small"));
  rows.push_back(file(30'002, 30'001, "s", "Small"));
  replaceCatalogue(rows);
  int ticks = 0;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] { ticks += Class1::IsReading() ? 1 : 0; });
  timer.start(1);
  list().setListIndex(rowOf("Big"));

  w().SakujyoButton().Push();
  ASSERT_TRUE(Class1::IsReading());
  ASSERT_TRUE(waitUntil([&] { return ticks > 0; }));
  ASSERT_TRUE(Class1::IsReading());
  w().SakujyoButton().Push();
  EXPECT_EQ(msgs(), std::vector<std::string>{"ディスクの読み込み中です。終わってから実行してください。"});
  ASSERT_TRUE(waitUntil([] { return !Class1::IsReading(); }));

  EXPECT_EQ(numbers(testsupport::readCatalogue()), (std::vector<int>{30'001, 30'002}));
  EXPECT_EQ(discRows(), std::vector<std::string>{"Small"});
}

}  // namespace
