#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/Wait.h"

namespace testsupport {

using ::waitUntil;

// Every test gets fresh temporary catalogue, preferences and application folders, only the root
// volume, Module1 at its start values and recording message-box and beep hooks.
class AppTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  const std::string& dataDir() const { return dataDir_; }
  const std::string& configDir() const { return configDir_; }
  const std::string& appDir() const { return appDir_; }
  std::vector<std::string>& msgs();
  int& beeps();

 private:
  std::string root_, dataDir_, configDir_, appDir_;
};

// One catalogue row as stored; DateTime goes into both Date and Time.
struct Row {
  int No = 0;
  int FolNo = 0;
  std::string Name;
  std::optional<bool> Folder;
  std::string CDName;
  std::string Type;
  std::optional<std::string> DateTime;
  std::optional<std::int64_t> Byte;
  bool operator==(const Row&) const = default;
};
void PrintTo(const Row& row, std::ostream* os);

// The catalogue file of the current test, written and read over connections of their own.
std::string cataloguePath();
void writeCatalogue(const std::vector<Row>& rows);
std::vector<Row> readCatalogue();

// A folder tree under root: "A/" is a folder, "A/a1" a file holding a few bytes. Gives root.
std::string makeTree(const std::string& root, const std::vector<std::string>& entries);
// The root volume first, then these (name, folder) pairs.
void mountVolumes(const std::vector<std::pair<std::string, std::string>>& nameAndFolder);

// Closes every open window of the program, drops unfinished threads and deletes what was closed.
void closeAllWindows();

// The test program run again in a child process for one task, which it reports when done:
// "lock" holds an exclusive lock on the SQLite file `argument` until the child is ended (and
// reports "locked"); "open" opens the catalogue as the program starts (reporting the messages
// shown, each ended by '\x1f'); "browse" starts the main window, expands the first disc,
// searches for `argument` and then asks for every change (reporting the disc list's row count,
// '\x1e', the hits each ended by '\x1f', '\x1e', the messages shown). As the unprivileged user
// "nobody" when `unprivileged` and the tests run as root.
class ChildProcess {
 public:
  ChildProcess(const std::string& task, const std::string& argument, bool unprivileged = false);
  // Ends the child (closes its input) and waits for it.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  // What the child reported, once it had done its task.
  const std::string& report() const { return report_; }

 private:
  int pid_ = -1;
  int input_ = -1;
  std::string report_;
};

// In a child process started by ChildProcess: does its task and gives the exit code. Called by
// main before any test runs when the environment names a task.
bool isChildProcess();
int runChildTask();

// Runs one disabled test of this program ("Suite.DISABLED_Name") in a child process, its
// environment the parent's plus `environment` plus `signalVariable` naming the write end of a pipe;
// once the child writes a byte there (within a minute), runs `beforeKill` and kills the child with
// SIGKILL. False when no byte came; `status` takes the child's wait status.
bool killChildWhenSignalled(const std::string& test, const std::vector<std::string>& environment,
                            const std::string& signalVariable, int& status,
                            const std::function<void()>& beforeKill = {});

// The bytes of a file; empty when it cannot be read.
std::string fileBytes(const std::string& path);

}  // namespace testsupport
