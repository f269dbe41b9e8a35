// The program's windows as a desktop meets them: their colours under a dark theme, secondary windows
// tied to the main window, and the window manager's close request on the main window.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QTimer>
#include <QAbstractItemView>
#include <QWindow>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/AboutWindow.h"
#include "app/SetteiWindow.h"
#include "app/Startup.h"
#include "app/Window1.h"
#include "app/Window2.h"
#include "app/Window3.h"
#include "framework/windows/Application.h"
#include "framework/windows/Window.h"
#include "support/TestSupport.h"

namespace {

// A dark desktop theme: light grey text on dark grey, as Adwaita-dark gives.
QPalette darkPalette() {
  QPalette p(QColor(0x35, 0x35, 0x35), QColor(0x24, 0x24, 0x24));
  for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) p.setColor(role, QColor(0xDD, 0xDD, 0xDD));
  p.setColor(QPalette::Base, QColor(0x1E, 0x1E, 0x1E));
  return p;
}

bool near(QColor a, QColor b, int tolerance) {
  return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
         std::abs(a.blue() - b.blue()) <= tolerance;
}

class DesktopTest : public testsupport::AppTest {
 protected:
  void TearDown() override {
    if (framework::Application::instance()) startup::ShutDown();
    testsupport::AppTest::TearDown();
  }
};

class DarkPaletteTest : public DesktopTest {
 protected:
  void SetUp() override {
    DesktopTest::SetUp();
    saved_ = QApplication::palette();
    QApplication::setPalette(darkPalette());
  }
  void TearDown() override {
    DesktopTest::TearDown();
    QApplication::setPalette(saved_);
  }

 private:
  QPalette saved_;
};

// Every text is drawn in its layout's colour on its window's background, whatever the desktop's
// palette: the grab holds pixels of the text colour, and mostly the background's.
TEST_F(DarkPaletteTest, EveryTextKeepsItsLayoutColours) {
  Window1& main = Window1::instance();
  main.Label1().setVisible(true);
  main.TextField1().setText("京都タワー");
  const std::map<std::string, std::function<framework::Window&()>> windows = {
      {"main", [&]() -> framework::Window& { return main; }},
      {"chooser", []() -> framework::Window& { return Window2::instance(); }},
      {"settings", []() -> framework::Window& { return SetteiWindow::instance(); }},
      {"notice", []() -> framework::Window& { return Window3::instance(); }},
      {"about", []() -> framework::Window& { return AboutWindow::instance(); }},
  };
  const QColor yellow = QColor::fromRgb(0xFFCF26), white = QColor::fromRgb(0xFFFFFF), light = QColor::fromRgb(0xECECEC),
               black = QColor::fromRgb(0x000000);
  const struct {
    const char* window;
    const char* control;
    QColor text, background;
  } cases[] = {
      {"main", "Label1", black, yellow},        {"main", "Label2", black, yellow},
      {"main", "TextField1", black, white},     {"main", "SinkiButton", black, light},
      {"chooser", "Label1", black, white},      {"chooser", "Label2", black, white},
      {"chooser", "PushButton1", black, light}, {"settings", "Label1", QColor::fromRgb(0xB52000), light},
      {"settings", "CheckBox1", black, light},  {"notice", "Label1", black, white},
      {"about", "Label1", QColor::fromRgb(0xCF2600), white}, {"about", "Label2", black, white},
      {"about", "Label3", black, white},         {"about", "Label4", QColor::fromRgb(0xCF2600), white},
      {"about", "Label5", black, white},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.window) + " " + c.control);
    framework::Window& w = windows.at(c.window)();
    QWidget* widget = w.ControlByName(c.control)->widget();
    ASSERT_TRUE(widget->isVisible());
    const QImage image = w.content()->grab(widget->geometry()).toImage();
    int background = 0;
    bool textSeen = false;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) {
        const QColor pixel = image.pixelColor(x, y);
        background += near(pixel, c.background, 24);
        textSeen = textSeen || near(pixel, c.text, 60);
      }
    EXPECT_GT(background, image.width() * image.height() * 2 / 5);
    EXPECT_TRUE(textSeen);
  }

  // The lists follow the desktop's palette as a whole: its text on its field colour.
  for (QAbstractItemView* list : {main.CDList().view(), main.SearchList().view()}) {
    EXPECT_EQ(list->palette().color(QPalette::Base), darkPalette().color(QPalette::Base));
    EXPECT_EQ(list->palette().color(QPalette::Text), darkPalette().color(QPalette::Text));
  }
}

TEST_F(DesktopTest, SecondaryWindowsAreTransientForTheMainWindow) {
  Window1& main = Window1::instance();
  const std::vector<std::function<framework::Window&()>> secondary = {
      []() -> framework::Window& { return Window2::instance(); },
      []() -> framework::Window& { return SetteiWindow::instance(); },
      []() -> framework::Window& { return Window3::instance(); },
      []() -> framework::Window& { return AboutWindow::instance(); },
  };
  for (const auto& open : secondary) {
    framework::Window& w = open();
    SCOPED_TRACE(w.Title());
    ASSERT_TRUE(w.widget()->windowHandle());
    EXPECT_EQ(w.widget()->windowHandle()->transientParent(), main.widget()->windowHandle());
  }
}

// The main window has no close box of its own, but a window manager may draw one (or the user
// presses Alt+F4): that request quits as 終了 does, the preferences written.
TEST_F(DesktopTest, CloseRequestOnTheMainWindowQuitsWithThePreferencesWritten) {
  startup::StartUp();
  Window1& w = Window1::instance();
  w.setWidth(610);
  w.setHeight(420);
  SetteiWindow::instance();
  QTimer::singleShot(0, [&] {
    QCloseEvent request;
    QApplication::sendEvent(w.widget(), &request);
  });
  // Should the request be refused, the loop is left with another code instead of hanging.
  QTimer guard;
  QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
  guard.start(30000);
  EXPECT_EQ(framework::Application::instance()->Run(), 0);
  EXPECT_TRUE(framework::OpenWindows().empty());
  QFile prefs(QString::fromStdString(configDir() + "/lm.pref"));
  ASSERT_TRUE(prefs.open(QIODevice::ReadOnly));
  EXPECT_EQ(prefs.readAll(), QByteArray::fromHex("00" "00000262" "000001a4"));
}

}  // namespace
