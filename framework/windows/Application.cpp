#include "framework/windows/Application.h"

#include <QApplication>

#include "framework/windows/Dialogs.h"
#include "framework/windows/Window.h"

namespace framework {
namespace {
Application* g_app = nullptr;
// Kept outside the object so that a report without an application object still quits.
bool g_quitting = false;
int g_exitCode = 0;
}  // namespace

Application::Application() {
  g_app = this;
  g_quitting = false;
  g_exitCode = 0;
  // Closing the last visible window must not end the run behind the program's back: only Quit does.
  if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) app->setQuitOnLastWindowClosed(false);
}

Application::~Application() {
  // Windows hold widgets, which must go while the QApplication still exists.
  DestroyAllWindows();
  if (g_app == this) g_app = nullptr;
  g_quitting = false;
  g_exitCode = 0;
}

Application* Application::instance() { return g_app; }

void Application::setMenuBar(MenuBar* bar) { menuBar_ = bar; }

void Application::Quit(int exitCode) { QuitApplication(exitCode); }

bool Application::IsQuitting() const { return g_quitting; }

int Application::Run() {
  if (g_quitting) return g_exitCode;
  const int rc = QApplication::exec();
  return g_quitting ? g_exitCode : rc;
}

bool ApplicationIsQuitting() { return g_quitting; }

void QuitApplication(int exitCode) {
  if (!g_quitting || g_exitCode == 0) g_exitCode = exitCode;
  g_quitting = true;
  // Close removes a window from the open list before its Close event runs, so this ends even when
  // a Close event quits again or throws.
  for (;;) {
    std::vector<Window*> open = OpenWindowsByAge();
    if (open.empty()) break;
    open.back()->Close();
  }
  QCoreApplication::exit(g_exitCode);
}

void ReportUnhandledException(const std::exception& e) {
  MsgBox(std::string("予期しないエラーが起きたため終了します。\n") + e.what());
  QuitApplication(1);
}

void ReportUnknownException() {
  MsgBox("予期しないエラーが起きたため終了します。");
  QuitApplication(1);
}

}  // namespace framework
