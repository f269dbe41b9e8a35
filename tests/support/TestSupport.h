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

}  // namespace testsupport
