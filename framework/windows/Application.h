#pragma once
#include <exception>
#include <utility>

namespace framework {

class MenuBar;

// The application object; the program's App subclasses it. Exactly one exists at a time, made after
// the QApplication. The application ends only through Quit (closing the last window does not end it).
class Application {
 public:
  Application();
  virtual ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  // The current application object, or nullptr when none exists.
  static Application* instance();

  // The menu bar of the application. Not owned. It is shown in the windows that set it too.
  void setMenuBar(MenuBar* bar);
  MenuBar* menuBar() const { return menuBar_; }

  // Closes every open window (the newest first, so the main window last), each firing its Close
  // event once, then leaves the event loop with `exitCode`. A call while quitting closes what is
  // left; a non-zero code replaces a zero one.
  void Quit() { Quit(0); }
  void Quit(int exitCode);
  // Runs the event loop until Quit; gives the exit code. Returns at once when Quit came first.
  int Run();
  bool IsQuitting() const;

 private:
  MenuBar* menuBar_ = nullptr;
};

// Quits the program as Application::Quit does, also when no application object exists.
void QuitApplication(int exitCode);
bool ApplicationIsQuitting();

// The report for an exception that no code handles: a message box saying what went wrong, then quit
// with a non-zero exit code (the windows' Close events still run).
void ReportUnhandledException(const std::exception& e);
void ReportUnknownException();

// Runs a callback of the framework (control event, menu command, timer), turning an exception that
// escapes it into the report above instead of letting it cross the event loop.
template <class F>
void Dispatch(F&& f) {
  try {
    std::forward<F>(f)();
  } catch (const std::exception& e) {
    ReportUnhandledException(e);
  } catch (...) {
    ReportUnknownException();
  }
}

}  // namespace framework
