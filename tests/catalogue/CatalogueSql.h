#pragma once
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>
#include <vector>

#include "support/TestSupport.h"

// Runs SQL on the test's catalogue file over a connection of its own (to break it on purpose).
inline void execOnCatalogue(const std::string& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(testsupport::cataloguePath().c_str(), &db), SQLITE_OK);
  sqlite3_busy_timeout(db, 5000);  // the program's checkpointer may hold the file for a moment
  char* error = nullptr;
  const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
  EXPECT_EQ(rc, SQLITE_OK) << (error ? error : "");
  sqlite3_free(error);
  sqlite3_close(db);
}

// The catalogue holds exactly these rows.
inline void replaceCatalogue(const std::vector<testsupport::Row>& rows) {
  testsupport::writeCatalogue({});
  execOnCatalogue("DELETE FROM Folder1");
  testsupport::writeCatalogue(rows);
}
