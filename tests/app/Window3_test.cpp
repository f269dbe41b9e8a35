#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTest>

#include <fstream>
#include <string>

#include "app/Window1.h"
#include "app/Window3.h"
#include "framework/windows/Dialogs.h"
#include "framework/windows/Window.h"
#include "support/TestSupport.h"

namespace {

const std::string kMissingFile =
    "「ドラヴェル」ソフトを使って、移行用のファイルを作成、このソフト本体と同じフォルダにそれを入れてから実行してください。"
    "※必ず新たにディスクを読み込む前に移行を終わらせてください。";

class Window3Test : public testsupport::AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    Window1::instance();
  }
  // One disc record, "Disc", in the old catalogue's nine lines.
  void placeOldCatalogue() {
    std::ofstream(appDir() + "/olddbtext", std::ios::binary)
        << "Disc\n2006-03-01\nDisk\n7\nDisc\n0\ntrue\n0\n12:00:00\n";
  }
  void pressReturn(framework::Window& w) {
    QWidget* target = QApplication::focusWidget();
    if (!target || target->window() != w.widget()) target = w.widget();
    QTest::keyClick(target, Qt::Key_Return);
  }
};

TEST_F(Window3Test, ReturnAndTheCloseBoxImportNothing) {
  placeOldCatalogue();
  for (bool byReturn : {true, false}) {
    SCOPED_TRACE(byReturn ? "Return" : "close box");
    Window3& w = Window3::instance();
    if (byReturn)
      pressReturn(w);
    else
      w.widget()->close();
    EXPECT_EQ(framework::openInstance<Window3>(), nullptr);
  }
  EXPECT_TRUE(testsupport::readCatalogue().empty());
  EXPECT_TRUE(msgs().empty());
  EXPECT_EQ(beeps(), 0);
}

TEST_F(Window3Test, ImportWithoutAFileShowsTheMessageThenCloses) {
  Window3& w = Window3::instance();
  QTest::mouseClick(w.PushButton1().button(), Qt::LeftButton);
  EXPECT_EQ(msgs(), std::vector<std::string>{kMissingFile});
  EXPECT_EQ(beeps(), 0);
  EXPECT_EQ(framework::openInstance<Window3>(), nullptr);
}

TEST_F(Window3Test, ImportRunsToItsEndBeforeTheNoticeCloses) {
  placeOldCatalogue();
  Window3& w = Window3::instance();
  bool openAtBeep = false;
  framework::setBeepHook([&] {
    openAtBeep = framework::openInstance<Window3>() != nullptr;
    ++beeps();
  });
  QTest::mouseClick(w.PushButton1().button(), Qt::LeftButton);
  framework::setBeepHook([this] { ++beeps(); });
  EXPECT_TRUE(openAtBeep);
  EXPECT_EQ(beeps(), 1);
  EXPECT_EQ(framework::openInstance<Window3>(), nullptr);
  const auto rows = testsupport::readCatalogue();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].No, 7);
  EXPECT_EQ(Window1::instance().CDList().ListCount(), 1);

  // Nothing is recorded: the notice and a further import stay available.
  Window3::instance();
  EXPECT_NE(framework::openInstance<Window3>(), nullptr);
}

TEST_F(Window3Test, ChoosingTheNoticeTwiceGivesOneWindow) {
  Window3& first = Window3::instance();
  first.Show();
  Window3& second = Window3::instance();
  second.Show();
  EXPECT_EQ(&first, &second);
}

}  // namespace
