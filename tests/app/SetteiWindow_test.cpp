#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QPushButton>
#include <QTest>

#include "app/SetteiWindow.h"
#include "catalogue/Module1.h"
#include "framework/windows/Window.h"
#include "support/TestSupport.h"

namespace {

// Keys go where the user's focus is, as long as it lies in this window.
void pressKey(framework::Window& w, Qt::Key key) {
  QWidget* target = QApplication::focusWidget();
  if (!target || target->window() != w.widget()) target = w.widget();
  QTest::keyClick(target, key);
}

void clickBox(SetteiWindow& w) { QTest::mouseClick(w.CheckBox1().checkBox(), Qt::LeftButton); }

class SetteiWindowTest : public testsupport::AppTest {};

TEST_F(SetteiWindowTest, EveryCloseAppliesTheBox) {
  enum class How { Return, CloseBox, Button, Escape };
  struct Case {
    const char* what;
    bool start;
    How how;
  };
  const Case cases[] = {
      {"Return turns it on", false, How::Return},
      {"close box turns it on", false, How::CloseBox},
      {"close box turns it off", true, How::CloseBox},
      {"button turns it off", true, How::Button},
      {"Escape turns it on", false, How::Escape},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Module1::ErrorCD = c.start;
    SetteiWindow& w = SetteiWindow::instance();
    ASSERT_EQ(w.CheckBox1().Value(), c.start);
    clickBox(w);
    // The box alone changes nothing until the window closes.
    EXPECT_EQ(Module1::ErrorCD, c.start);
    switch (c.how) {
      case How::Return: pressKey(w, Qt::Key_Return); break;
      case How::CloseBox: w.widget()->close(); break;
      case How::Button: QTest::mouseClick(w.PushButton1().button(), Qt::LeftButton); break;
      case How::Escape: pressKey(w, Qt::Key_Escape); break;
    }
    EXPECT_EQ(framework::openInstance<SetteiWindow>(), nullptr);
    EXPECT_EQ(Module1::ErrorCD, !c.start);
  }
}

TEST_F(SetteiWindowTest, OpeningTwiceKeepsOneWindowAndTheBoxAsLeft) {
  SetteiWindow& first = SetteiWindow::instance();
  clickBox(first);
  SetteiWindow& second = SetteiWindow::instance();
  second.Show();
  EXPECT_EQ(&first, &second);
  EXPECT_TRUE(second.CheckBox1().Value());
  EXPECT_FALSE(Module1::ErrorCD);
  pressKey(second, Qt::Key_Return);
  EXPECT_TRUE(Module1::ErrorCD);

  // A new window shows the option as it now stands.
  EXPECT_TRUE(SetteiWindow::instance().CheckBox1().Value());
}

TEST_F(SetteiWindowTest, ClosingNeverWritesThePreferencesFile) {
  SetteiWindow& w = SetteiWindow::instance();
  clickBox(w);
  w.widget()->close();
  EXPECT_TRUE(Module1::ErrorCD);
  EXPECT_FALSE(QFile::exists(QString::fromStdString(configDir() + "/lm.pref")));
}

}  // namespace
