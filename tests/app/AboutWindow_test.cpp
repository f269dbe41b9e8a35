#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QLabel>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "app/AboutWindow.h"
#include "framework/files/FolderItem.h"
#include "framework/windows/Window.h"
#include "support/TestSupport.h"

namespace {

class AboutWindowTest : public testsupport::AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    framework::setLaunchHook([this](const framework::FolderItem& item) {
      launched.push_back(item.Path());
      return true;
    });
  }
  void TearDown() override {
    framework::setLaunchHook({});
    AppTest::TearDown();
  }
  std::vector<std::string> launched;
};

TEST_F(AboutWindowTest, OneWindowNewAtHundredHundredLeftWhereTheUserMovedIt) {
  AboutWindow& w = AboutWindow::instance();
  EXPECT_EQ(w.Left(), 100);
  EXPECT_EQ(w.Top(), 100);
  w.setLeft(250);
  w.setTop(180);
  AboutWindow& again = AboutWindow::instance();
  again.Show();
  EXPECT_EQ(&w, &again);
  EXPECT_EQ(again.Left(), 250);
  EXPECT_EQ(again.Top(), 180);

  w.widget()->close();
  ASSERT_EQ(framework::openInstance<AboutWindow>(), nullptr);
  AboutWindow& fresh = AboutWindow::instance();
  EXPECT_EQ(fresh.Left(), 100);
  EXPECT_EQ(fresh.Top(), 100);
}

TEST_F(AboutWindowTest, EnteringTheLinkShowsThePointingHand) {
  AboutWindow& w = AboutWindow::instance();
  QLabel* link = w.Label4().label();
  link->unsetCursor();
  QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
  QApplication::sendEvent(link, &enter);
  EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
}

// What is no file counts as missing: nothing is handed to the desktop.
TEST_F(AboutWindowTest, ClickWithoutTheBookmarkDoesNothingVisibleAndAnswersTrue) {
  const std::string path = appDir() + "/tavikurl";
  const struct {
    const char* what;
    std::function<void()> make;
  } cases[] = {
      {"missing", [] {}},
      {"named pipe", [&] { ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); }},
      {"folder", [&] { std::filesystem::create_directory(path); }},
      {"link to a device", [&] { std::filesystem::create_symlink("/dev/zero", path); }},
  };
  AboutWindow& w = AboutWindow::instance();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(path);
    c.make();
    QTest::mouseClick(w.Label4().label(), Qt::LeftButton);
    EXPECT_TRUE(w.Label4_MouseDown(w.Label4(), 0, 0));
  }
  EXPECT_TRUE(msgs().empty());
  EXPECT_EQ(beeps(), 0);
  EXPECT_TRUE(launched.empty());
  EXPECT_NE(framework::openInstance<AboutWindow>(), nullptr);
}

TEST_F(AboutWindowTest, ClickOpensTheBookmarkBesideTheApplicationOnlyFromTheLink) {
  std::ofstream(appDir() + "/tavikurl") << "[Desktop Entry]\n";
  AboutWindow& w = AboutWindow::instance();
  for (framework::Label* other : {&w.Label1(), &w.Label2(), &w.Label3(), &w.Label5()})
    QTest::mouseClick(other->label(), Qt::LeftButton);
  QTest::mouseClick(w.widget(), Qt::LeftButton, {}, QPoint(300, 5));
  EXPECT_TRUE(launched.empty());
  QTest::mouseClick(w.Label4().label(), Qt::LeftButton);
  EXPECT_EQ(launched, std::vector<std::string>{appDir() + "/tavikurl"});
  EXPECT_TRUE(msgs().empty());
}

TEST_F(AboutWindowTest, EscapeClosesIt) {
  AboutWindow& w = AboutWindow::instance();
  QWidget* target = QApplication::focusWidget();
  QTest::keyClick(target && target->window() == w.widget() ? target : w.widget(), Qt::Key_Escape);
  EXPECT_EQ(framework::openInstance<AboutWindow>(), nullptr);
  EXPECT_TRUE(launched.empty());
}

}  // namespace
