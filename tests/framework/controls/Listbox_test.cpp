#include "framework/controls/Listbox.h"
#include "framework/controls/UniformRowView.h"

#include "framework/threads/Thread.h"
#include "support/FnThread.h"
#include "support/Wait.h"

#include <QApplication>
#include <QHeaderView>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

using framework::Listbox;

namespace {

// A small catalogue: each name's children, (name, is folder).
using Tree = std::map<std::string, std::vector<std::pair<std::string, bool>>>;

class ListboxTest : public testing::Test {
 protected:
  void SetUp() override {
    window_.resize(580, 500);
    list_ = std::make_unique<Listbox>("CDList", &window_);
    list_->setBounds(20, 46, 540, 260);
    list_->setColumnCount(6);
    list_->setHasHeading(true);
    list_->setInitialValue("名前\t修正日\t容量\t種類\tNo\tディスク名");
    list_->setHierarchical(true);
    list_->setColumnWidths("40%,20%,10%,30%,0%,0%");
    window_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window_));
  }

  // Expansion as the catalogue does it: children by the name in cell 0, their name also in cell 4.
  void serve(const Tree& tree) {
    list_->ExpandRow = [this, tree](int row) {
      ++expansions_;
      auto it = tree.find(list_->Cell(row, 0));
      if (it == tree.end()) return;
      for (const auto& [name, folder] : it->second) {
        folder ? list_->AddFolder(name) : list_->AddRow(name);
        list_->setCell(list_->LastIndex(), 4, "no:" + name);
      }
    };
  }

  std::vector<std::string> names() const {
    std::vector<std::string> out;
    for (int i = 0; i < list_->ListCount(); ++i) out.push_back(list_->Cell(i, 0));
    return out;
  }

  QAbstractItemView* view() const { return list_->view(); }
  // A hierarchical list is shown as a tree, any other list as rows of one height.
  QTreeView* tree() const { return qobject_cast<QTreeView*>(list_->view()); }
  framework::UniformRowView* flat() const { return qobject_cast<framework::UniformRowView*>(list_->view()); }
  int viewRows() const { return view()->model()->rowCount(); }
  QString viewText(int row, int column) const { return view()->model()->index(row, column).data().toString(); }
  bool viewInSync() const { return viewRows() == list_->ListCount(); }

  QWidget window_;
  std::unique_ptr<Listbox> list_;
  int expansions_ = 0;
};

const Tree kTree = {
    {"A", {{"a1", true}, {"a2", false}}},
    {"a1", {{"x", true}}},
    {"x", {{"deep", false}}},
    {"B", {{"b1", false}}},
};

TEST_F(ListboxTest, RowsAddedDuringExpansionGoBeneathAndLastIndexNamesEach) {
  list_->AddFolder("A");
  list_->AddFolder("B");
  std::vector<int> lastIndexes, counts;
  list_->ExpandRow = [&](int row) {
    EXPECT_EQ(row, 0);
    for (const char* name : {"a1", "a2", "a3"}) {
      list_->AddRow(name);
      lastIndexes.push_back(list_->LastIndex());
      counts.push_back(list_->ListCount());
      list_->setCell(list_->LastIndex(), 4, std::string("no:") + name);
      EXPECT_EQ(list_->Cell(list_->LastIndex(), 0), name);
    }
    // The rows below the new ones are addressed by their new numbers at once.
    EXPECT_EQ(list_->Cell(4, 0), "B");
  };
  list_->setExpanded(0, true);

  EXPECT_EQ(lastIndexes, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(counts, (std::vector<int>{3, 4, 5}));
  EXPECT_EQ(names(), (std::vector<std::string>{"A", "a1", "a2", "a3", "B"}));
  for (int row = 1; row <= 3; ++row) {
    EXPECT_EQ(list_->RowIndent(row), 1);
    EXPECT_EQ(list_->Cell(row, 4), "no:" + list_->Cell(row, 0));
  }
  EXPECT_EQ(list_->Cell(4, 4), "");
  EXPECT_TRUE(list_->Expanded(0));
  ASSERT_TRUE(waitUntil([&] { return viewInSync(); }));
  EXPECT_EQ(viewText(2, 0), "a2");
  EXPECT_EQ(viewText(2, 4), "no:a2");
  EXPECT_EQ(viewText(4, 0), "B");
}

TEST_F(ListboxTest, CollapseRemovesEveryDeeperRowAndReExpansionShowsEachChildOnce) {
  serve(kTree);
  list_->AddFolder("A");
  list_->AddFolder("B");
  list_->setExpanded(0, true);
  list_->setExpanded(1, true);  // a1
  list_->setExpanded(2, true);  // x
  EXPECT_EQ(names(), (std::vector<std::string>{"A", "a1", "x", "deep", "a2", "B"}));
  EXPECT_EQ(list_->RowIndent(3), 3);

  list_->setExpanded(0, false);
  EXPECT_EQ(names(), (std::vector<std::string>{"A", "B"}));
  EXPECT_FALSE(list_->Expanded(0));

  list_->setExpanded(0, true);
  list_->setExpanded(0, true);  // already open: no second event
  EXPECT_EQ(names(), (std::vector<std::string>{"A", "a1", "a2", "B"}));
  EXPECT_FALSE(list_->Expanded(1));  // deeper levels come back closed
  EXPECT_EQ(expansions_, 4);
  EXPECT_EQ(list_->Cell(2, 4), "no:a2");

  // Collapsing the inner folder leaves its siblings and the rows after it.
  list_->setExpanded(3, true);  // B
  list_->setExpanded(1, true);
  list_->setExpanded(1, false);
  EXPECT_EQ(names(), (std::vector<std::string>{"A", "a1", "a2", "B", "b1"}));
  ASSERT_TRUE(waitUntil([&] { return viewInSync(); }));
  for (int i = 0; i < viewRows(); ++i) EXPECT_EQ(viewText(i, 0).toStdString(), list_->Cell(i, 0));
}

TEST_F(ListboxTest, ExpansionThatAddsNothingOrIsRefusedLeavesTheList) {
  serve(kTree);
  list_->AddFolder("empty disc");
  list_->AddRow("plain");
  list_->setExpanded(0, true);  // a folder without children
  list_->setExpanded(1, true);  // a plain row never expands
  list_->setExpanded(7, true);  // out of range
  EXPECT_EQ(list_->ListCount(), 2);
  EXPECT_EQ(expansions_, 1);

  // A flat list raises no expansion at all.
  list_->setExpanded(0, false);
  list_->setHierarchical(false);
  list_->setExpanded(0, true);
  EXPECT_EQ(expansions_, 1);
}

TEST_F(ListboxTest, ChildrenStillGoBeneathWhenTheHandlerThrows) {
  list_->AddFolder("A");
  list_->AddFolder("B");
  list_->ExpandRow = [&](int) {
    list_->AddRow("a1");
    throw std::runtime_error("query failed");
  };
  EXPECT_THROW(list_->setExpanded(0, true), std::runtime_error);
  list_->ExpandRow = nullptr;
  list_->AddRow("end");  // outside any expansion again
  EXPECT_EQ(names(), (std::vector<std::string>{"A", "a1", "B", "end"}));
  EXPECT_EQ(list_->RowIndent(3), 0);
}

// The reading thread may rebuild the disc list while an expansion's handler gives way.
TEST_F(ListboxTest, RebuildDuringAnExpansionLeavesAConsistentList) {
  list_->AddFolder("A");
  list_->AddFolder("B");
  list_->ExpandRow = [&](int) {
    list_->AddRow("a1");
    list_->DeleteAllRows();
    list_->AddFolder("disc 1");
    list_->setCell(list_->ListCount() - 1, 4, "1");
    list_->AddFolder("disc 2");
    list_->setCell(list_->ListCount() - 1, 4, "2");
  };
  list_->setExpanded(0, true);
  EXPECT_EQ(names(), (std::vector<std::string>{"disc 1", "disc 2"}));
  EXPECT_EQ(list_->RowIndent(1), 0);
  EXPECT_EQ(list_->Cell(1, 4), "2");
  EXPECT_FALSE(list_->Expanded(0));
  ASSERT_TRUE(waitUntil([&] { return viewInSync(); }));
  EXPECT_EQ(viewText(1, 4), "2");
}

TEST_F(ListboxTest, ThreadRebuildingTheListDuringAnExpansionKeepsItsRowsInPlace) {
  list_->AddFolder("old disc");
  // The thread rebuilds the list, one disc row per pass, while the main thread's expansion yields.
  bool rebuilt = false;
  auto rebuild = std::make_shared<FnThread>([&] {
    list_->DeleteAllRows();
    for (const char* name : {"disc 1", "disc 2"}) {
      list_->AddFolder(name);
      list_->setCell(list_->ListCount() - 1, 4, name);
      framework::Yield();
    }
    rebuilt = true;
  });
  list_->ExpandRow = [&](int) {
    rebuild->Run();
    for (int i = 0; !rebuilt; ++i) {
      list_->AddRow("stale " + std::to_string(i));
      list_->setCell(list_->LastIndex(), 4, "stale");
      framework::Yield();
    }
  };
  list_->setExpanded(0, true);
  EXPECT_EQ(names(), (std::vector<std::string>{"disc 1", "disc 2"}));
  EXPECT_EQ(list_->Cell(0, 4), "disc 1");
  EXPECT_EQ(list_->Cell(1, 4), "disc 2");
  ASSERT_TRUE(waitUntil([&] { return viewInSync(); }));
}

TEST_F(ListboxTest, ThreadAppendingDuringAnExpansionAddsAtTheEnd) {
  list_->AddFolder("disc 1");
  bool appended = false;
  auto append = std::make_shared<FnThread>([&] {
    list_->AddFolder("disc 2");
    list_->setCell(list_->ListCount() - 1, 4, "2");
    appended = true;
  });
  list_->ExpandRow = [&](int) {
    append->Run();
    list_->AddRow("a1");
    list_->setCell(list_->LastIndex(), 4, "a1");
    while (!appended) framework::Yield();
    list_->AddRow("a2");
    list_->setCell(list_->LastIndex(), 4, "a2");
  };
  list_->setExpanded(0, true);
  EXPECT_EQ(names(), (std::vector<std::string>{"disc 1", "a1", "a2", "disc 2"}));
  EXPECT_EQ(list_->Cell(1, 4), "a1");
  EXPECT_EQ(list_->Cell(2, 4), "a2");
  EXPECT_EQ(list_->Cell(3, 4), "2");
  EXPECT_EQ(list_->RowIndent(3), 0);
}

TEST_F(ListboxTest, CellsNeverSetOrOutOfRangeReadEmpty) {
  list_->AddRow("only");
  list_->setCell(0, 2, "two");
  list_->setCell(5, 0, "ignored");                 // no such row
  list_->setCell(0, -1, "ignored");                 // no such column
  list_->setCell(0, 1'000'000, "ignored");          // refused, not allocated
  struct Case { int row, column; const char* expect; };
  for (const Case& c : {Case{0, 0, "only"}, Case{0, 1, ""}, Case{0, 2, "two"}, Case{0, 5, ""}, Case{0, 99, ""},
                        Case{1, 0, ""}, Case{-1, 0, ""}, Case{0, -1, ""}}) {
    EXPECT_EQ(list_->Cell(c.row, c.column), c.expect) << c.row << "," << c.column;
  }
  EXPECT_EQ(list_->ListCount(), 1);
  list_->DeleteAllRows();
  EXPECT_EQ(list_->ListCount(), 0);
  EXPECT_EQ(list_->LastIndex(), -1);
  EXPECT_EQ(list_->Cell(0, 0), "");
}

TEST_F(ListboxTest, ZeroPercentColumnsAreHiddenButKeepTheirTextsAndPercentagesFollowTheWidth) {
  list_->AddFolder("disc");
  list_->setCell(0, 4, "17");
  list_->setCell(0, 5, "ディスク名");
  ASSERT_NE(tree(), nullptr);
  QHeaderView* header = tree()->header();
  EXPECT_EQ(header->model()->headerData(1, Qt::Horizontal).toString(), QString("修正日"));
  EXPECT_TRUE(header->isSectionHidden(4));
  EXPECT_TRUE(header->isSectionHidden(5));
  EXPECT_EQ(list_->Cell(0, 4), "17");
  EXPECT_EQ(list_->Cell(0, 5), "ディスク名");

  auto checkShares = [&] {
    const int w = view()->viewport()->width();
    EXPECT_EQ(header->sectionSize(0) + header->sectionSize(1) + header->sectionSize(2) + header->sectionSize(3), w);
    EXPECT_NEAR(header->sectionSize(0), w * 0.4, 1.0);
    EXPECT_NEAR(header->sectionSize(2), w * 0.1, 1.0);
  };
  checkShares();
  list_->setBounds(20, 46, 300, 260);
  ASSERT_TRUE(waitUntil([&] { return view()->viewport()->width() < 300; }));
  checkShares();
}

TEST_F(ListboxTest, PixelWidthScrollsSidewaysAndChoosingARowKeepsThePosition) {
  list_->setColumnCount(1);
  list_->setHasHeading(false);
  list_->setHierarchical(false);
  list_->setColumnWidths("900");
  for (int i = 0; i < 5; ++i) list_->AddRow(" > disc > folder > file " + std::to_string(i));
  ASSERT_TRUE(waitUntil([&] { return viewInSync(); }));
  ASSERT_NE(flat(), nullptr);
  EXPECT_EQ(flat()->header()->sectionSize(0), 900);
  EXPECT_FALSE(view()->horizontalScrollBar()->isVisible());

  list_->setScrollPositionX(120);
  ASSERT_TRUE(waitUntil([&] { return list_->ScrollPositionX() == 120; }));
  const QRect r = view()->visualRect(view()->model()->index(2, 0));
  QTest::mouseClick(view()->viewport(), Qt::LeftButton, {}, QPoint(200, r.center().y()));
  EXPECT_EQ(list_->ListIndex(), 2);
  // Moving the selection scrolls its row into view at once; no key moves the list sideways.
  view()->setFocus();
  for (Qt::Key key : {Qt::Key_Down, Qt::Key_Right, Qt::Key_Left, Qt::Key_Home}) {
    QTest::keyClick(view(), key);
    EXPECT_EQ(list_->ScrollPositionX(), 120) << key;
  }
  EXPECT_EQ(list_->ListIndex(), 0);
  list_->setScrollPositionX(0);
  EXPECT_EQ(list_->ScrollPositionX(), 0);
}

TEST_F(ListboxTest, InsertRowAtZeroStacksRowsOnTopOfTheInitialBlank) {
  Listbox chooser("Listbox1", &window_);
  chooser.setBounds(21, 41, 326, 175);
  chooser.setInitialValue(" ");
  EXPECT_EQ(chooser.ListCount(), 1);
  EXPECT_EQ(chooser.ListIndex(), -1);
  EXPECT_EQ(chooser.Text(), "");
  for (const char* vol : {"vol1", "vol2", "vol3"}) {
    chooser.InsertRow(0, vol, 0);
    EXPECT_EQ(chooser.LastIndex(), 0);
  }
  std::vector<std::string> rows;
  for (int i = 0; i < chooser.ListCount(); ++i) rows.push_back(chooser.Cell(i, 0));
  EXPECT_EQ(rows, (std::vector<std::string>{"vol3", "vol2", "vol1", " "}));

  chooser.setListIndex(1);
  EXPECT_EQ(chooser.Text(), "vol2");
  chooser.InsertRow(0, "vol4");  // the selection stays on its row
  EXPECT_EQ(chooser.ListIndex(), 2);
  EXPECT_EQ(chooser.Text(), "vol2");
  chooser.setListIndex(-1);
  EXPECT_EQ(chooser.ListIndex(), -1);
  EXPECT_EQ(chooser.Text(), "");
}

TEST_F(ListboxTest, UserOpensAndClosesFoldersWithClicksAndKeys) {
  serve(kTree);
  list_->AddFolder("A");
  list_->AddFolder("B");
  ASSERT_TRUE(waitUntil([&] { return viewInSync(); }));
  QWidget* vp = view()->viewport();
  auto rowRect = [&](int row) { return view()->visualRect(view()->model()->index(row, 0)); };
  auto arrow = [&](int row) {
    const QRect r = rowRect(row);
    return QPoint(r.left() + list_->RowIndent(row) * tree()->indentation() + tree()->indentation() / 2, r.center().y());
  };

  QTest::mouseClick(vp, Qt::LeftButton, {}, arrow(0));
  EXPECT_EQ(names(), (std::vector<std::string>{"A", "a1", "a2", "B"}));
  QTest::mouseClick(vp, Qt::LeftButton, {}, arrow(1));  // the arrow of a child, one step in
  EXPECT_EQ(names(), (std::vector<std::string>{"A", "a1", "x", "a2", "B"}));
  QTest::mouseClick(vp, Qt::LeftButton, {}, arrow(0));
  EXPECT_EQ(names(), (std::vector<std::string>{"A", "B"}));

  // A click on the text only selects; a double click on it opens the folder.
  const QPoint onText(rowRect(1).left() + 80, rowRect(1).center().y());
  QTest::mouseClick(vp, Qt::LeftButton, {}, onText);
  EXPECT_EQ(list_->ListIndex(), 1);
  EXPECT_FALSE(list_->Expanded(1));
  QTest::mouseDClick(vp, Qt::LeftButton, {}, onText);
  EXPECT_EQ(names(), (std::vector<std::string>{"A", "B", "b1"}));

  // Keys on the selected row: Right opens, then moves into the folder; Left moves out, then closes.
  view()->setFocus();
  list_->setListIndex(0);
  QTest::keyClick(view(), Qt::Key_Right);
  EXPECT_TRUE(list_->Expanded(0));
  QTest::keyClick(view(), Qt::Key_Right);
  EXPECT_EQ(list_->Text(), "a1");
  QTest::keyClick(view(), Qt::Key_Left);
  EXPECT_EQ(list_->Text(), "A");
  QTest::keyClick(view(), Qt::Key_Left);
  EXPECT_FALSE(list_->Expanded(0));
  EXPECT_EQ(names(), (std::vector<std::string>{"A", "B", "b1"}));
}

TEST_F(ListboxTest, CollapsingMovesASelectionFromInsideToTheFolder) {
  serve(kTree);
  list_->AddFolder("A");
  list_->AddFolder("B");
  list_->setExpanded(0, true);
  list_->setExpanded(1, true);
  list_->setListIndex(2);  // x
  EXPECT_EQ(list_->Text(), "x");
  list_->setExpanded(0, false);
  EXPECT_EQ(list_->ListIndex(), 0);
  list_->setListIndex(1);  // B, below the folder that opens next
  list_->setExpanded(0, true);
  EXPECT_EQ(list_->ListIndex(), 3);
  EXPECT_EQ(list_->Text(), "B");
}

// While an expansion holds its new rows aside, row numbers past them still name the rows the user sees.
TEST_F(ListboxTest, SelectingAndCollapsingDuringAnExpansionUseTheRowsAsShown) {
  serve(kTree);
  for (const char* name : {"A", "B", "C", "D"}) list_->AddFolder(name);
  list_->setExpanded(1, true);  // B: b1 beneath
  list_->setListIndex(2);       // b1
  std::vector<std::string> selected;
  list_->ExpandRow = [&](int) {
    list_->AddRow("a1");
    list_->AddRow("a2");
    list_->setListIndex(5);  // C, after the two new rows
    selected.push_back(list_->Text());
    list_->setListIndex(4);  // b1
    list_->setExpanded(3, false);  // B closes: the selection moves to B
    selected.push_back(list_->Text());
  };
  list_->setExpanded(0, true);
  EXPECT_EQ(selected, (std::vector<std::string>{"C", "B"}));
  EXPECT_EQ(names(), (std::vector<std::string>{"A", "a1", "a2", "B", "C", "D"}));
  EXPECT_EQ(list_->ListIndex(), 3);
}

TEST_F(ListboxTest, RowsThatBeginAlikeEachKeepTheirOwnTextWhateverIsChangedLater) {
  const std::string folder = " > ディスク > フォルダ > 写真";
  const std::vector<std::string> texts = {
      folder, folder + " > a.jpg", folder + " > b.jpg", folder + "帳 > c",  // splits a character
      folder + " > " + std::string(80, 'x'), " > other", folder + " > d"};
  for (const std::string& t : texts) list_->AddRow(t);
  list_->InsertRow(2, folder + " > inserted");
  list_->setCell(1, 0, "changed");
  list_->setCell(3, 0, folder + " > b.jpg!");
  list_->setCell(4, 3, "kind");
  std::vector<std::string> want = texts;
  want.insert(want.begin() + 2, folder + " > inserted");
  want[1] = "changed";
  want[3] = folder + " > b.jpg!";
  EXPECT_EQ(names(), want);
  EXPECT_EQ(list_->Cell(4, 3), "kind");
  ASSERT_TRUE(waitUntil([&] { return viewInSync(); }));
  for (int r = 0; r < list_->ListCount(); ++r) EXPECT_EQ(viewText(r, 0), QString::fromStdString(want[r])) << r;
}

TEST_F(ListboxTest, IllFormedBytesAreKeptAndShownAsReplacementCharacters) {
  const std::string bad = "ab\xff\xfe" "c";
  list_->AddRow(bad);
  EXPECT_EQ(list_->Cell(0, 0), bad);
  ASSERT_TRUE(waitUntil([&] { return viewInSync(); }));
  EXPECT_EQ(viewText(0, 0), QString("ab") + QChar(0xFFFD) + QChar(0xFFFD) + "c");
}

TEST_F(ListboxTest, AHundredThousandChildrenReachTheViewInOneInsert) {
  constexpr int kChildren = 100'000;
  list_->AddFolder("big");
  list_->AddFolder("after");
  ASSERT_TRUE(waitUntil([&] { return viewInSync(); }));
  list_->ExpandRow = [&](int) {
    for (int i = 0; i < kChildren; ++i) {
      (i % 2 ? list_->AddFolder("f" + std::to_string(i)) : list_->AddRow("f" + std::to_string(i)));
      list_->setCell(list_->LastIndex(), 4, std::to_string(i));
    }
  };
  QSignalSpy inserted(view()->model(), &QAbstractItemModel::rowsInserted);
  list_->setExpanded(0, true);
  EXPECT_EQ(inserted.count(), 1);
  EXPECT_EQ(list_->ListCount(), kChildren + 2);
  EXPECT_EQ(list_->Cell(kChildren, 4), std::to_string(kChildren - 1));
  EXPECT_EQ(list_->Cell(kChildren + 1, 0), "after");
  EXPECT_EQ(viewRows(), kChildren + 2);
  EXPECT_EQ(viewText(kChildren, 0).toStdString(), "f" + std::to_string(kChildren - 1));

  // Appends at the end reach the view in batches, not row by row.
  inserted.clear();
  for (int i = 0; i < 1000; ++i) list_->AddRow("tail");
  ASSERT_TRUE(waitUntil([&] { return viewInSync(); }));
  EXPECT_LE(inserted.count(), 2);

  list_->setExpanded(0, false);
  EXPECT_EQ(list_->ListCount(), 1002);
  EXPECT_EQ(viewRows(), 1002);
}

TEST_F(ListboxTest, ChildrenSplicedIntoTheMiddleOfALongTreeKeepTheirCellsAndCollapseLeavesTheRest) {
  constexpr int kTop = 1'000, kChildren = 3'000;
  for (int i = 0; i < kTop; ++i) {
    list_->AddFolder("top" + std::to_string(i));
    list_->setCell(list_->LastIndex(), 4, "t" + std::to_string(i));
  }
  list_->ExpandRow = [&](int row) {
    for (int i = 0; i < kChildren; ++i) {
      list_->AddRow(list_->Cell(row, 0) + " child " + std::to_string(i));
      list_->setCell(list_->LastIndex(), 4, "c" + std::to_string(i));
    }
  };
  // Twice, the second time beneath a row that the first expansion moved down.
  for (int top : {500, 200}) {
    list_->setExpanded(top, true);
    for (int i : {0, 1, kChildren / 2, kChildren - 1}) {
      EXPECT_EQ(list_->Cell(top + 1 + i, 0), "top" + std::to_string(top) + " child " + std::to_string(i));
      EXPECT_EQ(list_->Cell(top + 1 + i, 4), "c" + std::to_string(i));
      EXPECT_EQ(list_->RowIndent(top + 1 + i), 1);
    }
  }
  ASSERT_EQ(list_->ListCount(), kTop + 2 * kChildren);
  EXPECT_EQ(list_->Cell(200 + kChildren + 300 + 1, 0), "top500 child 0");
  EXPECT_EQ(list_->Cell(list_->ListCount() - 1, 4), "t" + std::to_string(kTop - 1));
  ASSERT_TRUE(waitUntil([&] { return viewInSync(); }));
  EXPECT_EQ(viewText(201, 0).toStdString(), "top200 child 0");

  list_->setExpanded(200, false);
  list_->setExpanded(500, false);
  ASSERT_EQ(list_->ListCount(), kTop);
  for (int i = 0; i < kTop; ++i) {
    ASSERT_EQ(list_->Cell(i, 0), "top" + std::to_string(i)) << i;
    ASSERT_EQ(list_->Cell(i, 4), "t" + std::to_string(i)) << i;
    ASSERT_TRUE(list_->RowIsFolder(i) && !list_->Expanded(i)) << i;
  }
  EXPECT_TRUE(waitUntil([&] { return viewInSync(); }));
}

}  // namespace
