#include "app/Startup.h"

#include <QApplication>
#include <QIcon>
#include <memory>
#include <optional>

#include "app/App.h"
#include "app/FileTypes1.h"
#include "app/MenuBar1.h"
#include "app/Window1.h"
#include "catalogue/Module1.h"
#include "framework/threads/Thread.h"
#include "framework/windows/Dialogs.h"

namespace startup {

namespace {

std::function<void(std::string_view)>& observer() {
  static std::function<void(std::string_view)> o;
  return o;
}

void step(std::string_view name) {
  if (observer()) observer()(name);
}

std::unique_ptr<App>& application() {
  static std::unique_ptr<App> app;
  return app;
}

}  // namespace

void setStepObserver(std::function<void(std::string_view step)> o) { observer() = std::move(o); }

void StartUp() {
  step("file types");
  FileTypes1::Initialize();

  step("application");
  application() = std::make_unique<App>();
  application()->setMenuBar(&MenuBar1::instance());

  step("main window");
  Window1::instance();
}

void ShutDown() {
  // A read still under way when the user quit ends here: its stack unwinds while the window and
  // the catalogue it works on still exist; what it committed stays.
  framework::DropThreads();
  Module1::Release();
  // The application must not keep pointing at a menu bar that is gone.
  if (application()) application()->setMenuBar(nullptr);
  MenuBar1::release();
  FileTypes1::Release();
  application().reset();
}

int RunApplication(int argc, char** argv) {
  std::optional<QApplication> qapp;
  if (!QCoreApplication::instance()) qapp.emplace(argc, argv);
  // The catalogue and the preferences live in folders named after the application.
  QCoreApplication::setApplicationName("lumeno");
  // The desktop ties the windows to the installed launcher, lumeno.desktop, and shows its icon.
  QGuiApplication::setDesktopFileName("lumeno");
  QApplication::setWindowIcon(QIcon(":/lumeno.png"));
  framework::setMsgBoxTitle("ルメノ");

  int code = 0;
  try {
    StartUp();
    step("event loop");
    code = application()->Run();
  } catch (const std::exception& e) {
    framework::ReportUnhandledException(e);
    code = 1;
  } catch (...) {
    framework::ReportUnknownException();
    code = 1;
  }
  ShutDown();
  return code;
}

}  // namespace startup
