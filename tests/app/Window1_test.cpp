// The main window on the real widgets: its controls, the lock rule on resize, the lists' set-up,
// the scroller, Return, the buttons and the menu commands.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QToolTip>
#include <QTreeView>
#include <string>
#include <vector>

#include "app/AboutWindow.h"
#include "app/MenuBar1.h"
#include "app/SetteiWindow.h"
#include "app/Window1.h"
#include "app/Window2.h"
#include "app/Window3.h"
#include "catalogue/Class1.h"
#include "catalogue/Module1.h"
#include "framework/controls/ListboxView.h"
#include "framework/windows/Window.h"
#include "support/TestSupport.h"

using testsupport::Row;

namespace {

class Window1Test : public testsupport::AppTest {};

struct Geometry {
  const char* name;
  int left, top, width, height;
};

std::vector<Geometry> geometryOf(const Window1& w) {
  std::vector<Geometry> out;
  for (const auto& c : w.controls())
    out.push_back({c->Name().c_str(), c->Left(), c->Top(), c->Width(), c->Height()});
  return out;
}

void expectGeometry(const Window1& w, const std::vector<Geometry>& expected) {
  const auto got = geometryOf(w);
  ASSERT_EQ(got.size(), expected.size());
  for (std::size_t i = 0; i < got.size(); ++i) {
    EXPECT_STREQ(got[i].name, expected[i].name);
    EXPECT_EQ((std::vector<int>{got[i].left, got[i].top, got[i].width, got[i].height}),
              (std::vector<int>{expected[i].left, expected[i].top, expected[i].width,
                                expected[i].height}))
        << expected[i].name;
  }
}

TEST_F(Window1Test, OneWindowWithItsProperties) {
  Window1& w = Window1::instance();
  EXPECT_EQ(&Window1::instance(), &w);
  EXPECT_EQ(w.Title(), "ルメノ");
  EXPECT_EQ(w.Width(), 580);
  EXPECT_EQ(w.Height(), 500);
  EXPECT_FALSE(w.CloseButton());
  EXPECT_TRUE(w.Resizeable());
  EXPECT_EQ(w.menuBar(), &MenuBar1::instance());
  EXPECT_EQ(w.CDName, "");
  EXPECT_TRUE(w.widget()->isVisible());
  EXPECT_EQ(w.content()->palette().color(w.content()->backgroundRole()), QColor(0xFF, 0xCF, 0x26));

  w.setWidth(10);
  w.setHeight(40000);
  EXPECT_EQ(w.Width(), 64);
  EXPECT_EQ(w.Height(), 32000);
}

TEST_F(Window1Test, ControlsInCreationOrderWithTheirSettings) {
  Window1& w = Window1::instance();
  expectGeometry(w, {{"Label1", 30, 14, 108, 20},
                     {"SinkiButton", 297, 14, 91, 20},
                     {"KoushinButton", 400, 14, 69, 20},
                     {"SakujyoButton", 481, 14, 69, 20},
                     {"CDList", 20, 46, 540, 260},
                     {"Label2", 30, 314, 86, 14},
                     {"TextField1", 20, 328, 421, 26},
                     {"KensakuButton", 463, 331, 69, 20},
                     {"ProgressWheel1", 544, 335, 16, 16},
                     {"SearchList", 20, 363, 540, 110},
                     {"ScrollBar1", 20, 473, 540, 16}});

  struct Settings {
    const char* name;
    bool visible;
    bool tabStop;
    int points;  // 0: not set
  };
  const std::vector<Settings> settings = {
      {"Label1", false, false, 10},        {"SinkiButton", true, false, 12},
      {"KoushinButton", true, true, 12},   {"SakujyoButton", true, true, 12},
      {"CDList", true, false, 12},         {"Label2", true, false, 10},
      {"TextField1", true, true, 12},      {"KensakuButton", true, false, 12},
      {"ProgressWheel1", false, false, 0}, {"SearchList", true, true, 10},
      {"ScrollBar1", true, false, 0},
  };
  for (const auto& s : settings) {
    framework::RectControl* c = w.ControlByName(s.name);
    ASSERT_NE(c, nullptr) << s.name;
    EXPECT_EQ(c->widget()->objectName().toStdString(), s.name);
    EXPECT_EQ(c->Visible(), s.visible) << s.name;
    EXPECT_EQ(c->TabStop(), s.tabStop) << s.name;
    if (s.points) {
      EXPECT_EQ(c->widget()->font().pixelSize(), s.points) << s.name;
    }
  }
  EXPECT_EQ(w.Label1().Text(), "情報収集中・・・");
  EXPECT_EQ(w.Label2().Text(), "検索ファイル名\r");
  EXPECT_EQ(w.SinkiButton().Caption(), "新規ディスク");
  EXPECT_EQ(w.KoushinButton().Caption(), "更新");
  EXPECT_EQ(w.SakujyoButton().Caption(), "削除");
  EXPECT_EQ(w.KensakuButton().Caption(), "検索");
  EXPECT_TRUE(w.KensakuButton().Default());
  EXPECT_FALSE(w.SinkiButton().Default());

  // Tab goes through the controls that take it, in creation order.
  std::vector<std::string> chain;
  QWidget* start = w.KoushinButton().widget();
  QWidget* at = start;
  do {
    if (at->focusPolicy() & Qt::TabFocus)
      chain.push_back(at->objectName().toStdString());
    at = at->nextInFocusChain();
  } while (at != start);
  const std::vector<std::string> tabbed = {"KoushinButton", "SakujyoButton", "TextField1",
                                           "SearchList"};
  std::vector<std::string> named;
  for (const auto& n : chain)
    if (w.ControlByName(n)) named.push_back(n);
  EXPECT_EQ(named, tabbed);
}

TEST_F(Window1Test, ResizingKeepsTheLockedDistances) {
  Window1& w = Window1::instance();
  w.setWidth(700);
  w.setHeight(600);
  ASSERT_EQ(w.Width(), 700);
  ASSERT_EQ(w.Height(), 600);
  expectGeometry(w, {{"Label1", 30, 14, 108, 20},
                     {"SinkiButton", 417, 14, 91, 20},
                     {"KoushinButton", 520, 14, 69, 20},
                     {"SakujyoButton", 601, 14, 69, 20},
                     {"CDList", 20, 46, 660, 360},
                     {"Label2", 30, 414, 86, 14},
                     {"TextField1", 20, 428, 541, 26},
                     {"KensakuButton", 583, 431, 69, 20},
                     {"ProgressWheel1", 664, 435, 16, 16},
                     {"SearchList", 20, 463, 660, 110},
                     {"ScrollBar1", 20, 573, 660, 16}});
}

TEST_F(Window1Test, ListColumnsAndTheSidewaysScroller) {
  testsupport::writeCatalogue({{1, 0, "CD", true, "CD", "ディスク", "2024-01-02 03:04:05", {}}});
  Window1& w = Window1::instance();

  auto* cd = qobject_cast<QTreeView*>(w.CDList().view());
  ASSERT_NE(cd, nullptr);
  EXPECT_EQ(w.CDList().ColumnCount(), 6);
  EXPECT_EQ(cd->model()->headerData(5, Qt::Horizontal).toString().toStdString(), "ディスク名");
  EXPECT_EQ(cd->header()->sectionSize(4) == 0 || cd->isColumnHidden(4), true);
  EXPECT_EQ(cd->header()->sectionSize(5) == 0 || cd->isColumnHidden(5), true);
  EXPECT_GT(cd->columnWidth(0), cd->columnWidth(1));
  EXPECT_EQ(w.CDList().Cell(0, 4), "1");  // a hidden column still holds its text

  auto* hits = dynamic_cast<framework::ListboxFlatView*>(w.SearchList().view());
  ASSERT_NE(hits, nullptr);
  EXPECT_EQ(hits->columnWidth(0), 900);

  framework::ScrollBar& bar = w.ScrollBar1();
  EXPECT_EQ(bar.Minimum(), 0);
  EXPECT_EQ(bar.Maximum(), 540);
  EXPECT_EQ(bar.Value(), 0);

  w.SearchList().AddRow(std::string(200, 'x'));
  EXPECT_EQ(w.SearchList().ScrollPositionX(), 0);
  // A click on the right arrow moves by one line step.
  QScrollBar* qbar = bar.scrollBar();
  QTest::mouseClick(qbar, Qt::LeftButton, {}, QPoint(qbar->width() - 4, qbar->height() / 2));
  EXPECT_EQ(bar.Value(), 2);
  EXPECT_EQ(w.SearchList().ScrollPositionX(), 2);
  bar.setValue(100);
  EXPECT_EQ(w.SearchList().ScrollPositionX(), 100);

  // The range was set when the scroller opened and does not follow the window.
  w.setWidth(800);
  EXPECT_EQ(bar.Maximum(), 540);
}

TEST_F(Window1Test, ReturnInTheSearchFieldSearches) {
  testsupport::writeCatalogue({{1, 0, "CD", true, "CD", "ディスク", "2024-01-02 03:04:05", {}},
                               {2, 1, "note.txt", {}, "CD", " ", "2024-01-02 03:04:05", 5}});
  Window1& w = Window1::instance();
  QLineEdit* field = w.TextField1().lineEdit();
  field->setFocus();
  QTest::keyClicks(field, "note");
  QTest::keyClick(field, Qt::Key_Return);
  ASSERT_TRUE(waitUntil([&] { return w.SearchList().ListCount() == 1; }));
  EXPECT_EQ(w.SearchList().Cell(0, 0), " > CD > note.txt");
}

TEST_F(Window1Test, ButtonsSetTheModeAndShowOneChooser) {
  Window1& w = Window1::instance();
  QTest::mouseClick(w.KoushinButton().button(), Qt::LeftButton);
  EXPECT_EQ(Module1::PB, 1);
  Window2* chooser = framework::openInstance<Window2>();
  ASSERT_NE(chooser, nullptr);
  // Pressed again while the chooser is open: the mode changes, the same chooser comes forward.
  QTest::mouseClick(w.SinkiButton().button(), Qt::LeftButton);
  EXPECT_EQ(Module1::PB, 0);
  EXPECT_EQ(framework::openInstance<Window2>(), chooser);
  EXPECT_EQ(framework::OpenWindows().front(), chooser);
  EXPECT_EQ(chooser->Label1().Text(), "更新するディスクを選んでください");
}

TEST_F(Window1Test, ChooserOpenedForAnUpdateReadsANewDiscAfterTheNewDiscButton) {
  // A disc of the volume's name is already catalogued: an update would take it away, a read keeps it.
  testsupport::writeCatalogue({{1, 0, "VOL", true, "VOL", "ディスク", "2024-01-02 03:04:05", std::nullopt}});
  testsupport::mountVolumes({{"VOL", testsupport::makeTree(appDir() + "/vol", {"a.txt"})}});
  Window1& w = Window1::instance();
  QTest::mouseClick(w.KoushinButton().button(), Qt::LeftButton);
  QTest::mouseClick(w.SinkiButton().button(), Qt::LeftButton);
  Window2* chooser = framework::openInstance<Window2>();
  ASSERT_NE(chooser, nullptr);
  chooser->Listbox1().setListIndex(0);
  QTest::mouseClick(chooser->PushButton1().button(), Qt::LeftButton);
  ASSERT_TRUE(testsupport::waitUntil([&] { return beeps() == 1; }));
  EXPECT_EQ(w.CDList().ListCount(), 2);
  EXPECT_EQ(w.CDList().Cell(0, 0), "VOL");
  EXPECT_EQ(w.CDList().Cell(1, 0), "VOL");
}

TEST_F(Window1Test, MenuCommandsShowTheirWindowsOnce) {
  Window1& w = Window1::instance();
  struct Command {
    const char* item;
    std::function<framework::Window*()> open;
  };
  const std::vector<Command> commands = {
      {"SetteiMenu", [] { return framework::openInstance<SetteiWindow>(); }},
      {"About", [] { return framework::openInstance<AboutWindow>(); }},
      {"ReadOldDB", [] { return framework::openInstance<Window3>(); }},
  };
  for (const auto& c : commands) {
    EXPECT_TRUE(w.menuBar()->Lookup(c.item)->Choose()) << c.item;
    framework::Window* shown = c.open();
    ASSERT_NE(shown, nullptr) << c.item;
    EXPECT_EQ(framework::OpenWindows().front(), shown) << c.item;
  }
  // The first one again: no second window, and it comes to the front.
  framework::Window* settings = commands[0].open();
  EXPECT_TRUE(w.menuBar()->Lookup("SetteiMenu")->Choose());
  EXPECT_EQ(commands[0].open(), settings);
  EXPECT_EQ(framework::OpenWindows().front(), settings);
}

TEST_F(Window1Test, EnablingTouchesExactlyTheThreeFileCommands) {
  Window1& w = Window1::instance();
  for (const char* name : {"SetteiMenu", "About", "ReadOldDB", "FileQuit", "EditCut", "FileMenu"})
    w.menuBar()->Lookup(name)->setEnabled(false);
  for (int round = 0; round < 2; ++round) {
    static_cast<framework::Window&>(w).Event_EnableMenuItems();
    EXPECT_TRUE(w.SetteiMenu().Enabled());
    EXPECT_TRUE(w.About().Enabled());
    EXPECT_TRUE(w.ReadOldDB().Enabled());
    EXPECT_FALSE(w.FileQuit().Enabled());
    EXPECT_FALSE(w.EditCut().Enabled());
    EXPECT_FALSE(w.FileMenu().Enabled());
    w.About().setEnabled(false);
  }
}

TEST_F(Window1Test, TheThreeFileCommandsStayEnabledWhileADiscIsRead) {
  std::vector<std::string> files;
  for (int i = 0; i < 3000; ++i) files.push_back("f" + std::to_string(i));
  testsupport::mountVolumes({{"BIG", testsupport::makeTree(appDir() + "/big", files)}});
  Window1& w = Window1::instance();
  QTest::mouseClick(w.SinkiButton().button(), Qt::LeftButton);
  Window2* chooser = framework::openInstance<Window2>();
  ASSERT_NE(chooser, nullptr);
  chooser->Listbox1().setListIndex(0);
  QTest::mouseClick(chooser->PushButton1().button(), Qt::LeftButton);
  ASSERT_TRUE(testsupport::waitUntil([] { return Class1::IsReading(); }));
  for (const char* name : {"SetteiMenu", "About", "ReadOldDB"}) w.menuBar()->Lookup(name)->setEnabled(false);
  static_cast<framework::Window&>(w).Event_EnableMenuItems();
  EXPECT_TRUE(Class1::IsReading());
  EXPECT_TRUE(w.SetteiMenu().Enabled());
  EXPECT_TRUE(w.About().Enabled());
  EXPECT_TRUE(w.ReadOldDB().Enabled());
  ASSERT_TRUE(testsupport::waitUntil([&] { return beeps() == 1; }, 60000));
}

// Two discs; the second holds a folder and a photo whose name is too long for its column.
const char* const kLongName = "一年分の旅行の写真をまとめて一枚ずつ名前を付けた長い名前のファイル.jpg";

void writeTwoDiscs() {
  testsupport::writeCatalogue({{1, 0, "CD1", true, "CD1", "ディスク", "2026-12-10 10:00:00", {}},
                               {2, 0, "CD2", true, "CD2", "ディスク", "2026-12-10 10:00:00", {}},
                               {3, 2, "写真", true, "CD2", "フォルダ", "2026-12-10 10:00:00", 0},
                               {4, 2, kLongName, false, "CD2", "JPEG 画像", "2026-12-10 10:00:00", 3145728}});
}

std::vector<std::string> names(const framework::Listbox& list) {
  std::vector<std::string> out;
  for (int i = 0; i < list.ListCount(); ++i) out.push_back(list.Cell(i, 0));
  return out;
}

TEST_F(Window1Test, AClickedCatalogueListTakesTheArrowKeys) {
  writeTwoDiscs();
  Window1& w = Window1::instance();
  framework::Listbox& list = w.CDList();
  QAbstractItemView* view = list.view();
  ASSERT_TRUE(waitUntil([&] { return view->model()->rowCount() == 2; }));
  std::vector<int> expanded;
  const auto handler = list.ExpandRow;
  list.ExpandRow = [&](int row) {
    expanded.push_back(row);
    handler(row);
  };
  w.TextField1().lineEdit()->setFocus();

  const QRect first = view->visualRect(view->model()->index(0, 1));
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, first.center());
  EXPECT_EQ(list.ListIndex(), 0);
  ASSERT_TRUE(waitUntil([&] { return QApplication::focusWidget() == view; }));
  // The keys go where the user's keys go: to the focused control.
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
  EXPECT_EQ(list.ListIndex(), 1);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
  EXPECT_EQ(expanded, std::vector<int>{1});
  EXPECT_EQ(names(list), (std::vector<std::string>{"CD1", "CD2", "写真", kLongName}));
  EXPECT_EQ(list.RowIndent(2), 1);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Left);
  EXPECT_EQ(names(list), (std::vector<std::string>{"CD1", "CD2"}));
  EXPECT_EQ(list.ListIndex(), 1);
}

TEST_F(Window1Test, ACutCellShowsItsWholeTextWhereThePointerRests) {
  writeTwoDiscs();
  Window1& w = Window1::instance();
  framework::Listbox& list = w.CDList();
  list.setExpanded(1, true);
  QAbstractItemView* view = list.view();
  ASSERT_TRUE(waitUntil([&] { return view->model()->rowCount() == 4; }));
  QWidget* vp = view->viewport();
  auto restOn = [&](int row, int column) {
    const QPoint at = view->visualRect(view->model()->index(row, column)).center();
    QHelpEvent event(QEvent::ToolTip, at, vp->mapToGlobal(at));
    QApplication::sendEvent(vp, &event);
  };

  // Whatever the locale, seven digits fit the size column and the kind fits its own.
  restOn(3, 2);
  EXPECT_FALSE(QToolTip::isVisible()) << QToolTip::text().toStdString();
  restOn(0, 3);
  EXPECT_FALSE(QToolTip::isVisible()) << QToolTip::text().toStdString();

  restOn(3, 0);
  ASSERT_TRUE(QToolTip::isVisible());
  EXPECT_EQ(QToolTip::text().toStdString(), kLongName);

  // Back on a cell that fits, the tip goes.
  restOn(3, 2);
  EXPECT_TRUE(waitUntil([] { return !QToolTip::isVisible(); }));
}

}  // namespace
