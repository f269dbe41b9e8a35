#include <gtest/gtest.h>

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QLineEdit>
#include <QMenuBar>
#include <QTest>
#include <QTimer>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "framework/controls/Label.h"
#include "framework/controls/PushButton.h"
#include "framework/controls/TextField.h"
#include "framework/threads/Thread.h"
#include "framework/windows/Application.h"
#include "framework/windows/Dialogs.h"
#include "framework/windows/MenuItem.h"
#include "framework/windows/Window.h"
#include "support/FnThread.h"
#include "support/Wait.h"

using namespace framework;

namespace {

std::vector<std::string> g_log;
int g_serial = 0;

// A window that records its events.
class LogWindow : public Window {
 public:
  int serial = ++g_serial;
  int closes = 0;
  bool closeBox = true;
  using Window::addControl;

 protected:
  void Layout() override {
    g_log.push_back("Layout");
    setWidth(200);
    setHeight(100);
    setCloseButton(closeBox);
  }
  void CreateControls() override {
    g_log.push_back("CreateControls");
    for (const char* name : {"A", "B"}) {
      auto& c = addControl<Label>(name);
      c.Open = [name] { g_log.push_back(std::string("Open ") + name); };
    }
  }
  void AddMenuHandlers() override { g_log.push_back("AddMenuHandlers"); }
  void Event_Open() override { g_log.push_back("Event_Open " + std::to_string(control<Label>("A").Width() >= 0)); }
  void Event_Close() override {
    ++closes;
    g_log.push_back("Close " + std::to_string(serial));
  }
};

class OtherWindow : public LogWindow {};

class NoCloseBoxWindow : public LogWindow {
 public:
  NoCloseBoxWindow() { closeBox = false; }
};

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_log.clear();
    app = std::make_unique<Application>();
  }
  void TearDown() override {
    setMsgBoxHook({});
    app.reset();
  }
  std::unique_ptr<Application> app;
};

TEST_F(WindowTest, BuildsInOrderAndShowsItself) {
  auto& w = implicitInstance<LogWindow>();
  EXPECT_EQ(g_log, (std::vector<std::string>{"Layout", "CreateControls", "AddMenuHandlers", "Open A", "Open B",
                                             "Event_Open 1"}));
  EXPECT_TRUE(w.widget()->isVisible());
  EXPECT_EQ(w.ControlByName("B")->widget()->objectName(), "B");
  EXPECT_EQ(w.ControlByName("C"), nullptr);
  EXPECT_THROW(w.control<PushButton>("A"), std::runtime_error);
}

// A reading thread's message box can let the user ask for a window while its Open event gives way.
TEST_F(WindowTest, AShowWhileTheWindowBuildsWaitsUntilItIsBuilt) {
  struct Reentrant : LogWindow {
    bool shownInOpen = true;
    void Event_Open() override {
      implicitInstance<Reentrant>().Show();
      shownInOpen = widget()->isVisible();
    }
  };
  auto& w = implicitInstance<Reentrant>();
  EXPECT_FALSE(w.shownInOpen);
  EXPECT_TRUE(w.widget()->isVisible());
}

TEST_F(WindowTest, OneInstancePerClassAndANewOneAfterClose) {
  auto& a = implicitInstance<LogWindow>();
  EXPECT_EQ(&implicitInstance<LogWindow>(), &a);
  EXPECT_NE(static_cast<Window*>(&implicitInstance<OtherWindow>()), static_cast<Window*>(&a));
  const int first = a.serial;

  a.Close();
  a.Close();
  EXPECT_EQ(a.closes, 1);
  EXPECT_FALSE(a.IsOpen());
  EXPECT_FALSE(a.widget()->isVisible());
  EXPECT_EQ(openInstance<LogWindow>(), nullptr);

  // The close box goes the same way.
  auto& b = implicitInstance<LogWindow>();
  EXPECT_NE(b.serial, first);
  EXPECT_TRUE(b.widget()->close());
  EXPECT_EQ(b.closes, 1);
  EXPECT_EQ(openInstance<LogWindow>(), nullptr);
  EXPECT_NE(implicitInstance<LogWindow>().serial, b.serial);
  EXPECT_NE(openInstance<OtherWindow>(), nullptr);
}

TEST_F(WindowTest, ClosedWindowIsDestroyedOnlyOnceBackInTheEventLoop) {
  auto& w = implicitInstance<LogWindow>();
  QPointer<QWidget> frame = w.widget();
  auto& button = w.addControl<PushButton>("P");
  bool aliveInHandler = false;
  button.Action = [&] {
    w.Close();
    aliveInHandler = !frame.isNull() && w.closes == 1;
  };
  QEventLoop loop;
  QObject::connect(frame.data(), &QObject::destroyed, &loop, &QEventLoop::quit);
  QTimer::singleShot(0, [&] { button.Push(); });
  QTimer::singleShot(10000, &loop, [&] { loop.exit(1); });
  EXPECT_EQ(loop.exec(), 0);
  EXPECT_TRUE(aliveInHandler);
  EXPECT_TRUE(frame.isNull());
}

TEST_F(WindowTest, AWindowClosedInAThreadsMessageBoxOutlivesItsWaitingHandler) {
  auto& w = implicitInstance<LogWindow>();
  QPointer<QWidget> frame = w.widget();
  auto& button = w.addControl<PushButton>("P");
  // The thread's message box runs an event loop of its own, in which the user closes the window.
  setMsgBoxHook([&](const std::string&) {
    QEventLoop box;
    QTimer::singleShot(0, &box, [&] {
      w.Close();
      QTimer::singleShot(30, &box, &QEventLoop::quit);
    });
    box.exec();
  });
  bool boxShown = false;
  auto thread = std::make_shared<FnThread>([&] {
    MsgBox("error");
    boxShown = true;
  });
  bool aliveAfterWait = false;
  button.Action = [&] {
    thread->Run();
    while (!boxShown) Yield();
    aliveAfterWait = !frame.isNull();
  };
  QTimer::singleShot(0, [&] { button.Push(); });
  ASSERT_TRUE(waitUntil([&] { return frame.isNull(); }));
  EXPECT_TRUE(aliveAfterWait);
}

// The main window asks for no close box; a window manager's close request (a box it draws anyway,
// Alt+F4) quits the application as the Quit command does, every window's Close event run once.
TEST_F(WindowTest, NoCloseBoxTurnsTheSystemCloseIntoQuit) {
  auto& w = implicitInstance<NoCloseBoxWindow>();
  auto& other = implicitInstance<OtherWindow>();
  EXPECT_FALSE(w.widget()->windowFlags() & Qt::WindowCloseButtonHint);
  QCloseEvent request;
  QApplication::sendEvent(w.widget(), &request);
  EXPECT_TRUE(app->IsQuitting());
  EXPECT_EQ(w.closes, 1);
  EXPECT_EQ(other.closes, 1);
  EXPECT_TRUE(OpenWindows().empty());
}

TEST_F(WindowTest, ResizingKeepsEachControlsDistancesToItsLockedEdges) {
  struct Case {
    bool left, top, right, bottom;
    QRect expected;  // after growing the content area by 60 x 40
  };
  const std::vector<Case> cases = {
      {true, true, false, false, QRect(10, 10, 50, 20)},   // left and top: stays
      {false, false, true, false, QRect(70, 10, 50, 20)},  // right only: moves with it
      {true, false, true, false, QRect(10, 10, 110, 20)},  // left and right: stretches
      {false, false, false, true, QRect(10, 50, 50, 20)},  // bottom only
      {true, true, true, true, QRect(10, 10, 110, 60)},    // all four
      {false, false, false, false, QRect(10, 10, 50, 20)}, // none
  };
  auto& w = implicitInstance<LogWindow>();
  for (std::size_t i = 0; i < cases.size(); ++i) {
    auto& c = w.addControl<Label>("L" + std::to_string(i));
    c.setBounds(10, 10, 50, 20);
    c.setLocks(cases[i].left, cases[i].top, cases[i].right, cases[i].bottom);
  }
  w.setWidth(260);
  w.setHeight(140);
  for (std::size_t i = 0; i < cases.size(); ++i)
    EXPECT_EQ(w.ControlByName("L" + std::to_string(i))->widget()->geometry(), cases[i].expected) << "case " << i;
  // And back again.
  w.setWidth(200);
  w.setHeight(100);
  EXPECT_EQ(w.ControlByName("L4")->widget()->geometry(), QRect(10, 10, 50, 20));
}

TEST_F(WindowTest, SizesAreThoseOfTheContentAreaBelowTheMenuBar) {
  MenuBar bar;
  auto file = std::make_unique<MenuItem>();
  file->setName("FileMenu");
  file->setText("File");
  bar.Append(std::move(file));

  auto& w = implicitInstance<LogWindow>();
  w.setMenuBar(&bar);
  w.setMinSize(64, 64);
  w.setMaxSize(400, 300);
  struct Case {
    int w, h, expectW, expectH;
  };
  for (const Case& c : {Case{580, 250, 400, 250}, Case{20, 10, 64, 64}, Case{300, 200, 300, 200}}) {
    w.setWidth(c.w);
    w.setHeight(c.h);
    EXPECT_EQ(w.Width(), c.expectW);
    EXPECT_EQ(w.Height(), c.expectH);
    EXPECT_EQ(w.content()->size(), QSize(c.expectW, c.expectH));
    EXPECT_EQ(w.content()->y(), w.qmenuBar()->height());
  }
  // A window that cannot be resized keeps the size it is given.
  w.setResizeable(false);
  EXPECT_EQ(w.widget()->minimumSize(), w.widget()->maximumSize());
  w.setWidth(310);
  EXPECT_EQ(w.Width(), 310);
  EXPECT_EQ(w.Height(), 200);
  EXPECT_FALSE(w.widget()->windowFlags() & Qt::WindowMaximizeButtonHint);
}

TEST_F(WindowTest, ReturnPressesTheDefaultButtonAndEscapeTheCancelButton) {
  auto& w = implicitInstance<LogWindow>();
  auto& field = w.addControl<TextField>("Field");
  auto& ok = w.addControl<PushButton>("OK");
  auto& cancel = w.addControl<PushButton>("Cancel");
  auto& other = w.addControl<PushButton>("Other");
  for (auto* b : {&ok, &cancel, &other}) b->widget()->show();
  field.widget()->show();
  ok.setDefault(true);
  cancel.setCancel(true);
  int oks = 0, cancels = 0, others = 0;
  ok.Action = [&] { ++oks; };
  cancel.Action = [&] { ++cancels; };
  other.Action = [&] { ++others; };
  w.Show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(w.widget()));

  field.widget()->setFocus();
  QTest::keyClick(field.widget(), Qt::Key_Return);
  QTest::keyClick(field.widget(), Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_EQ(oks, 2);
  QTest::keyClick(field.widget(), Qt::Key_Escape);
  EXPECT_EQ(cancels, 1);

  // From another button too, and never the button that has the focus.
  other.widget()->setFocus();
  QTest::keyClick(other.widget(), Qt::Key_Return);
  EXPECT_EQ(oks, 3);
  EXPECT_EQ(others, 0);

  // A disabled default button is not pressed.
  ok.setEnabled(false);
  QTest::keyClick(field.widget(), Qt::Key_Return);
  EXPECT_EQ(oks, 3);
}

TEST_F(WindowTest, QuitClosesEveryWindowOnceNewestFirstAndLeavesTheLoop) {
  auto& main = implicitInstance<NoCloseBoxWindow>();
  auto& second = implicitInstance<LogWindow>();
  g_log.clear();
  QTimer::singleShot(0, [&] { app->Quit(); });
  QObject guard;
  QTimer::singleShot(10000, &guard, [] { QCoreApplication::exit(99); });  // should never fire
  EXPECT_EQ(app->Run(), 0);
  EXPECT_EQ(g_log, (std::vector<std::string>{"Close " + std::to_string(second.serial),
                                             "Close " + std::to_string(main.serial)}));
  EXPECT_TRUE(app->IsQuitting());
  EXPECT_TRUE(OpenWindows().empty());
  // A second quit finds nothing more to close.
  app->Quit();
  EXPECT_EQ(g_log.size(), 2u);
}

TEST_F(WindowTest, QuitBeforeRunMakesRunReturnAtOnce) {
  app->Quit();
  EXPECT_EQ(app->Run(), 0);
}

TEST_F(WindowTest, AnUnhandledExceptionIsReportedAndQuitsWithAnErrorCode) {
  std::vector<std::string> boxes;
  setMsgBoxHook([&](const std::string& text) { boxes.push_back(text); });
  auto& main = implicitInstance<NoCloseBoxWindow>();
  auto& button = main.addControl<PushButton>("Boom");
  button.Action = [] { throw std::runtime_error("disk on fire"); };
  QTimer::singleShot(0, [&] { button.Push(); });
  QObject guard;
  QTimer::singleShot(10000, &guard, [] { QCoreApplication::exit(99); });
  const int rc = app->Run();
  EXPECT_NE(rc, 0);
  EXPECT_NE(rc, 99);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].find("disk on fire"), std::string::npos);
  EXPECT_EQ(main.closes, 1);
}

TEST_F(WindowTest, AThrowingCloseEventStillLetsTheOtherWindowsClose) {
  std::vector<std::string> boxes;
  setMsgBoxHook([&](const std::string& text) { boxes.push_back(text); });
  struct Throwing : LogWindow {
    void Event_Close() override { throw std::runtime_error("close failed"); }
  };
  auto& main = implicitInstance<NoCloseBoxWindow>();
  implicitInstance<Throwing>();
  app->Quit();
  EXPECT_EQ(main.closes, 1);
  EXPECT_EQ(boxes.size(), 1u);
  EXPECT_TRUE(OpenWindows().empty());
  EXPECT_NE(app->Run(), 0);
}
}  // namespace
