#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QAbstractItemView>

#include <string>
#include <vector>

#include "app/Window1.h"
#include "app/Window2.h"
#include "catalogue/Class1.h"
#include "catalogue/Module1.h"
#include "framework/files/Volumes.h"
#include "framework/threads/Thread.h"
#include "support/TestSupport.h"

namespace {

using testsupport::Row;

std::vector<std::string> rowsOf(const framework::Listbox& list) {
  std::vector<std::string> out;
  for (int r = 0; r < list.ListCount(); ++r) out.push_back(list.Cell(r, 0));
  return out;
}

// Clicks a row of a list as a user does, once the view shows it.
void clickRow(framework::Listbox& list, int row) {
  QAbstractItemView* view = list.view();
  ASSERT_TRUE(waitUntil([&] { return view->model()->rowCount() > row; }));
  const QRect rect = view->visualRect(view->model()->index(row, 0));
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rect.center());
}

void click(framework::PushButton& button) { QTest::mouseClick(button.button(), Qt::LeftButton); }

class Window2Test : public testsupport::AppTest {
 protected:
  Window1& w() { return Window1::instance(); }
  std::string folder(const std::string& name, const std::vector<std::string>& entries = {}) {
    return testsupport::makeTree(tmp_.path().toStdString() + "/" + name, entries);
  }
  bool finished() { return waitUntil([] { return !Class1::IsReading(); }); }

  QTemporaryDir tmp_;
};

TEST_F(Window2Test, PromptFollowsTheModeAndOnlyTheStartUpVolumeGivesTheBlankRowAlone) {
  const struct {
    int pb;
    const char* prompt;
  } cases[] = {
      {0, "リストを作成するディスクを選んでください"},
      {1, "更新するディスクを選んでください"},
      {2, "リストを作成するディスクを選んでください"},
  };
  for (const auto& c : cases) {
    Module1::PB = c.pb;
    auto& chooser = Window2::instance();
    EXPECT_EQ(chooser.Label1().Text(), c.prompt);
    EXPECT_EQ(rowsOf(chooser.Listbox1()), (std::vector<std::string>{" "}));
    EXPECT_EQ(chooser.Listbox1().ListIndex(), -1);
    chooser.Close();
  }
}

TEST_F(Window2Test, EachChoiceGivesItsNameAndVolumeIndex) {
  testsupport::mountVolumes({{"One", folder("s1")}, {"Same", folder("s2")}, {"Same", folder("s3")}});
  const struct {
    int row;
    const char* cdName;
    int volNo;
  } cases[] = {{0, "Same", 3}, {1, "Same", 2}, {2, "One", 1}, {3, " ", 0}, {-1, "", 4}};
  w();
  Module1::PB = 2;  // the thread then ends at once: only the choice is looked at
  for (const auto& c : cases) {
    SCOPED_TRACE(c.row);
    auto& chooser = Window2::instance();
    EXPECT_EQ(rowsOf(chooser.Listbox1()), (std::vector<std::string>{"Same", "Same", "One", " "}));
    chooser.Listbox1().setListIndex(c.row);
    chooser.PushButton1().Push();
    EXPECT_EQ(w().CDName, c.cdName);
    EXPECT_EQ(Module1::VolNo, c.volNo);
    EXPECT_EQ(framework::openInstance<Window2>(), nullptr);
    EXPECT_EQ(framework::RunningThreadCount(), 1u);  // a new thread for this choice
    ASSERT_TRUE(finished());
  }
}

TEST_F(Window2Test, ARowKeepsNamingItsVolumeWhenVolumesChangeAfterOpen) {
  const std::string s1 = folder("s1"), s2 = folder("s2"), s3 = folder("s3");
  w();
  Module1::PB = 2;
  const struct {
    int row;
    int volNo;
  } cases[] = {{0, 1}, {1, 3}, {2, 2}};  // s3 moved up, s2 is gone, s1 moved down
  for (const auto& c : cases) {
    SCOPED_TRACE(c.row);
    testsupport::mountVolumes({{"One", s1}, {"Two", s2}, {"Three", s3}});
    auto& chooser = Window2::instance();
    testsupport::mountVolumes({{"Three", s3}, {"One", s1}});
    chooser.Listbox1().setListIndex(c.row);
    chooser.PushButton1().Push();
    EXPECT_EQ(Module1::VolNo, c.volNo);
    EXPECT_EQ(framework::VolumeCount(), 3);
    ASSERT_TRUE(finished());
  }
}

TEST_F(Window2Test, CancelEscapeAndTheCloseBoxChangeNothing) {
  testsupport::mountVolumes({{"One", folder("s1", {"a"})}});
  w();
  const std::function<void(Window2&)> ways[] = {
      [](Window2& c) { click(c.PushButton2()); },
      [](Window2& c) {
        clickRow(c.Listbox1(), 0);
        QTest::keyClick(c.Listbox1().view(), Qt::Key_Escape);
      },
      [](Window2& c) { c.widget()->close(); },
  };
  for (std::size_t i = 0; i < std::size(ways); ++i) {
    SCOPED_TRACE(i);
    w().CDName = "previous";
    Module1::VolNo = 9;
    Module1::PB = 0;
    auto& chooser = Window2::instance();
    chooser.Listbox1().setListIndex(0);
    ways[i](chooser);
    EXPECT_EQ(framework::openInstance<Window2>(), nullptr);
    EXPECT_EQ(w().CDName, "previous");
    EXPECT_EQ(Module1::VolNo, 9);
    EXPECT_EQ(Module1::PB, 0);
    EXPECT_EQ(framework::RunningThreadCount(), 0u);
  }
  EXPECT_TRUE(testsupport::readCatalogue().empty());
  EXPECT_EQ(beeps(), 0);
}

TEST_F(Window2Test, ANameThatFailsNormalisationIsMarkedOnceAndItsDiscUpdatedInPlace) {
  const std::string bad = "X\xff";
  testsupport::mountVolumes({{bad, folder("s1", {"a"})}});
  w();
  Module1::ErrorCD = true;
  // A read, then an update of the same volume: one disc, its name marked once.
  for (int pb : {0, 1}) {
    SCOPED_TRACE(pb);
    Module1::PB = pb;
    Window2::instance().Listbox1().setListIndex(0);
    Window2::instance().PushButton1().Push();
    ASSERT_TRUE(finished());
    const auto rows = testsupport::readCatalogue();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].Name, bad + ":ListError");
    for (const Row& r : rows) EXPECT_EQ(r.CDName, bad + ":ListError");
  }
  EXPECT_EQ(w().CDList().ListCount(), 1);

  Module1::ErrorCD = false;
  Module1::PB = 0;
  Window2::instance().Listbox1().setListIndex(0);
  Window2::instance().PushButton1().Push();
  ASSERT_TRUE(finished());
  EXPECT_EQ(testsupport::readCatalogue().size(), 2u);  // nothing more read
  EXPECT_EQ(beeps(), 3);
}

TEST_F(Window2Test, PressingCreateWithNothingChosenOnlyBeepsForAReadAndDoesNothingForAnUpdate) {
  testsupport::mountVolumes({{"One", folder("s1", {"a"})}});
  w();
  for (int pb : {0, 1}) {
    SCOPED_TRACE(pb);
    beeps() = 0;
    Module1::PB = pb;
    click(Window2::instance().PushButton1());
    ASSERT_TRUE(finished());
    EXPECT_TRUE(testsupport::readCatalogue().empty());
    EXPECT_EQ(beeps(), pb == 0 ? 1 : 0);
  }
}

TEST_F(Window2Test, AUserCataloguesADiscAndFindsAFileOnIt) {
  testsupport::mountVolumes({{"Photos", folder("photos", {"trip/", "trip/beach.jpg", "notes.txt"})}});
  auto& main = w();
  click(main.SinkiButton());
  Window2* chooser = framework::openInstance<Window2>();
  ASSERT_NE(chooser, nullptr);
  clickRow(chooser->Listbox1(), 0);
  EXPECT_EQ(chooser->Listbox1().ListIndex(), 0);
  click(chooser->PushButton1());
  ASSERT_TRUE(waitUntil([&] { return beeps() == 1; }));
  EXPECT_EQ(framework::openInstance<Window2>(), nullptr);

  ASSERT_EQ(rowsOf(main.CDList()), (std::vector<std::string>{"Photos"}));
  EXPECT_EQ(main.CDList().Cell(0, 3), "ディスク");
  clickRow(main.CDList(), 0);
  QTest::keyClick(main.CDList().view(), Qt::Key_Right);
  ASSERT_TRUE(waitUntil([&] { return main.CDList().ListCount() == 3; }));
  EXPECT_EQ(rowsOf(main.CDList()), (std::vector<std::string>{"Photos", "notes.txt", "trip"}));

  QTest::keyClicks(main.TextField1().lineEdit(), "beach");
  click(main.KensakuButton());
  ASSERT_TRUE(waitUntil([&] { return main.SearchList().ListCount() == 1; }));
  EXPECT_EQ(main.SearchList().Cell(0, 0), " > Photos > trip > beach.jpg");
  EXPECT_TRUE(msgs().empty());
}

}  // namespace
