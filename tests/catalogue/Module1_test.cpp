#include "catalogue/Module1.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/TestSupport.h"

namespace {

class CatalogueStore : public testsupport::AppTest {};

testsupport::Row disc(int no) { return {no, 0, "D", true, "D", "ディスク", "2024-01-02 03:04:05", std::nullopt}; }

TEST_F(CatalogueStore, NumberingFollowsTheHighestNumber) {
  struct Case {
    std::vector<testsupport::Row> rows;
    std::int32_t before, after;
  };
  const std::vector<Case> cases = {
      {{}, 7, 0},                         // empty table: MAX is no value, read as 0
      {{disc(3), disc(500), disc(41)}, 0, 500},
  };
  for (const Case& c : cases) {
    std::filesystem::remove(testsupport::cataloguePath());
    Module1::Release();
    testsupport::writeCatalogue(c.rows);
    Module1::db = Module1::lumeno();
    ASSERT_TRUE(Module1::db);
    Module1::MaxID = c.before;
    Module1::RefreshNumbering();
    EXPECT_EQ(Module1::MaxID, c.after);
    EXPECT_EQ(Module1::NextNumber(), c.after + 1);
  }
}

TEST_F(CatalogueStore, FailedQueryLeavesNumberingAlone) {
  testsupport::writeCatalogue({disc(9)});
  Module1::db = Module1::lumeno();
  ASSERT_TRUE(Module1::db);
  // A table that is gone makes the query fail.
  Module1::db->SQLSelect("DROP TABLE Folder1");
  Module1::MaxID = 12;
  Module1::RefreshNumbering();
  EXPECT_EQ(Module1::MaxID, 12);
}

TEST_F(CatalogueStore, NumberingStopsAtTheSigned32BitLimit) {
  Module1::MaxID = INT32_MAX - 1;
  EXPECT_EQ(Module1::NextNumber(), INT32_MAX);
  EXPECT_EQ(Module1::NextNumber(), std::nullopt);
  EXPECT_EQ(Module1::MaxID, INT32_MAX);
}

TEST_F(CatalogueStore, NumberingResumesWithinTheRangeWhateverTheTableHolds) {
  const struct {
    const char* what;
    std::vector<testsupport::Row> rows;
    const char* sql;
    std::int32_t after;
  } cases[] = {
      {"only negative numbers, left by an older wrap", {disc(-7), disc(-3)}, nullptr, 0},
      {"a number past the 32-bit range", {disc(5)}, "UPDATE Folder1 SET No=4294967301", INT32_MAX},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(testsupport::cataloguePath());
    Module1::Release();
    testsupport::writeCatalogue(c.rows);
    Module1::db = Module1::lumeno();
    ASSERT_TRUE(Module1::db);
    if (c.sql) Module1::db->SQLSelect(c.sql);
    Module1::RefreshNumbering();
    EXPECT_EQ(Module1::MaxID, c.after);
  }
}

TEST_F(CatalogueStore, DatabaseItemIsFetchedOnceAndKept) {
  auto first = Module1::lumeno();
  ASSERT_TRUE(first);
  EXPECT_EQ(Module1::lumeno(), first);
  Module1::Release();
  EXPECT_NE(Module1::lumeno(), nullptr);
}

TEST_F(CatalogueStore, EmptyFetchIsTriedAgain) {
  // A data folder that is a file makes the fetch fail; once it can be had, the next reference gets it.
  const std::string folder = dataDir() + "/lumeno";
  std::filesystem::remove_all(folder);
  { std::ofstream(folder) << "x"; }
  EXPECT_EQ(Module1::lumeno(), nullptr);
  std::filesystem::remove(folder);
  EXPECT_NE(Module1::lumeno(), nullptr);
}

}  // namespace
