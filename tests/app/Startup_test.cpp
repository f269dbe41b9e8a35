// The start-up order, the release at exit, quitting and an exception that nothing handles.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QTimer>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/FileTypes1.h"
#include "app/MenuBar1.h"
#include "app/Startup.h"
#include "app/Window1.h"
#include "catalogue/Module1.h"
#include "framework/files/FileType.h"
#include "framework/threads/Thread.h"
#include "framework/windows/Application.h"
#include "framework/windows/Dialogs.h"
#include "framework/windows/Window.h"
#include "support/TestSupport.h"

namespace {

class StartupTest : public testsupport::AppTest {
 protected:
  void TearDown() override {
    startup::setStepObserver({});
    if (framework::Application::instance()) startup::ShutDown();
    testsupport::AppTest::TearDown();
  }
  std::string prefsPath() const { return configDir() + "/lm.pref"; }
  QByteArray prefs() const {
    QFile f(QString::fromStdString(prefsPath()));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }
  // The nine bytes that a quit with the option off and this window size writes.
  static QByteArray expectedPrefs(int width, int height) {
    QByteArray b(1, '\0');
    for (int v : {width, height})
      for (int shift = 24; shift >= 0; shift -= 8) b.append(static_cast<char>((v >> shift) & 0xFF));
    return b;
  }
};

bool sameTypes(const std::vector<framework::FileTypeInfo>& got) {
  const std::vector<std::vector<std::string>> want = {{"special/disk", "MACS", "disk", ""},
                                                      {"special/any", "????", "????", ""},
                                                      {"application/text", "text", "TEXT", ""}};
  std::vector<std::vector<std::string>> have;
  for (const auto& t : got) have.push_back({t.name, t.creator, t.type, t.extensions});
  return have == want;
}

TEST_F(StartupTest, StepsRunInOrderAndExitReleasesEverything) {
  std::vector<std::string> log;
  startup::setStepObserver([&](std::string_view step) {
    log.emplace_back(step);
    const bool app = framework::Application::instance() != nullptr;
    const bool window = framework::openInstance<Window1>() != nullptr;
    if (step == "file types") {
      EXPECT_TRUE(framework::RegisteredFileTypes().empty());
      EXPECT_FALSE(app);
    } else if (step == "application") {
      EXPECT_TRUE(sameTypes(framework::RegisteredFileTypes()));
      EXPECT_FALSE(app);
    } else if (step == "main window") {
      ASSERT_TRUE(app);
      EXPECT_NE(framework::Application::instance()->menuBar(), nullptr);
      EXPECT_FALSE(window);
    }
  });
  startup::StartUp();
  EXPECT_EQ(log, (std::vector<std::string>{"file types", "application", "main window"}));
  Window1* w = framework::openInstance<Window1>();
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->menuBar(), framework::Application::instance()->menuBar());
  EXPECT_EQ(w->menuBar(), &MenuBar1::instance());
  EXPECT_NE(Module1::db, nullptr);

  startup::ShutDown();
  EXPECT_TRUE(framework::RegisteredFileTypes().empty());
  EXPECT_EQ(FileTypes1::pSpecialDisk, nullptr);
  EXPECT_EQ(FileTypes1::pSpecialAny, nullptr);
  EXPECT_EQ(FileTypes1::pApplicationText, nullptr);
  EXPECT_EQ(Module1::db, nullptr);
  EXPECT_EQ(framework::Application::instance(), nullptr);
}

TEST_F(StartupTest, QuittingWritesThePreferencesOnceAtTheClose) {
  startup::StartUp();
  Window1& w = Window1::instance();
  w.setWidth(600);
  w.setHeight(450);
  QTimer::singleShot(0, [&] { w.FileQuit().Choose(); });
  EXPECT_EQ(framework::Application::instance()->Run(), 0);
  EXPECT_EQ(framework::openInstance<Window1>(), nullptr);
  EXPECT_EQ(prefs(), expectedPrefs(600, 450));

  // Nothing after the close writes them again.
  ASSERT_TRUE(QFile::remove(QString::fromStdString(prefsPath())));
  startup::ShutDown();
  EXPECT_FALSE(QFile::exists(QString::fromStdString(prefsPath())));
}

TEST_F(StartupTest, TheWholeRunBuildsTheWindowBeforeTheLoop) {
  bool windowBeforeLoop = false;
  startup::setStepObserver([&](std::string_view step) {
    if (step != "event loop") return;
    windowBeforeLoop = framework::openInstance<Window1>() != nullptr;
    QTimer::singleShot(0, [] { Window1::instance().FileQuit().Choose(); });
  });
  char name[] = "lumeno";
  char* argv[] = {name, nullptr};
  EXPECT_EQ(startup::RunApplication(1, argv), 0);
  EXPECT_TRUE(windowBeforeLoop);
  EXPECT_EQ(prefs(), expectedPrefs(580, 500));
  EXPECT_TRUE(framework::RegisteredFileTypes().empty());
  EXPECT_TRUE(msgs().empty());
}

TEST_F(StartupTest, QuittingDuringARunningThreadDropsIt) {
  struct Endless : framework::Thread {
    int* passes;
    explicit Endless(int* p) : passes(p) {}
    void Event_Run() override {
      for (;;) {
        ++*passes;
        framework::Yield();
      }
    }
  };
  int passes = 0;
  startup::setStepObserver([&](std::string_view step) {
    if (step != "event loop") return;
    std::make_shared<Endless>(&passes)->Run();
    QTimer::singleShot(50, [] { Window1::instance().FileQuit().Choose(); });
  });
  char name[] = "lumeno";
  char* argv[] = {name, nullptr};
  EXPECT_EQ(startup::RunApplication(1, argv), 0);
  EXPECT_GT(passes, 0);
  EXPECT_EQ(framework::RunningThreadCount(), 0u);
  EXPECT_EQ(prefs(), expectedPrefs(580, 500));
}

TEST_F(StartupTest, AnUnhandledExceptionIsReportedAndStillWritesThePreferences) {
  startup::setStepObserver([&](std::string_view step) {
    if (step != "event loop") return;
    Window1::instance().AddMenuHandler("About", []() -> bool { throw std::runtime_error("boom"); });
    QTimer::singleShot(0, [] { Window1::instance().About().Choose(); });
  });
  char name[] = "lumeno";
  char* argv[] = {name, nullptr};
  EXPECT_NE(startup::RunApplication(1, argv), 0);
  ASSERT_EQ(msgs().size(), 1u);
  EXPECT_NE(msgs()[0].find("boom"), std::string::npos);
  EXPECT_EQ(prefs(), expectedPrefs(580, 500));
}

TEST_F(StartupTest, AMessageBoxCarriesTheApplicationsName) {
  framework::setMsgBoxHook({});  // the real box
  QString title, text;
  QTimer reader;
  reader.setInterval(10);
  QObject::connect(&reader, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    title = box->windowTitle();
    text = box->text();
    box->accept();
  });
  startup::setStepObserver([&](std::string_view step) {
    if (step != "event loop") return;
    QTimer::singleShot(0, [&] {
      reader.start();
      framework::MsgBox("お知らせ");
      reader.stop();
      Window1::instance().FileQuit().Choose();
    });
  });
  char name[] = "lumeno";
  char* argv[] = {name, nullptr};
  EXPECT_EQ(startup::RunApplication(1, argv), 0);
  EXPECT_EQ(text.toStdString(), "お知らせ");
  EXPECT_EQ(title.toStdString(), "ルメノ");
}

}  // namespace
