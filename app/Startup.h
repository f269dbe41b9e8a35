#pragma once
#include <functional>
#include <string_view>

// The program's start-up and shut-down sequences, callable one by one from tests.
namespace startup {

// File types, then the application object with MenuBar1 as its menu bar, then the main window.
// Needs a QApplication.
void StartUp();
// Drops unfinished threads, then releases, in order: the catalogue (Module1::Release), MenuBar1's
// instance, the file types, and last the application object.
void ShutDown();
// The whole run: makes the QApplication when there is none and names it ("lumeno" for its
// folders, "ルメノ" on the message boxes), StartUp, the event loop, ShutDown.
// An exception that no handler catches goes to the framework's report. Gives the exit code.
int RunApplication(int argc, char** argv);

// Told the name of each step just before it runs: "file types", "application", "main window",
// "event loop". For tests that check the order; an empty function removes it.
void setStepObserver(std::function<void(std::string_view step)> observer);

}  // namespace startup
