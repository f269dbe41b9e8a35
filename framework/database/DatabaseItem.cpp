// The item provider: the catalogue file in the data folder, created on first fetch and checked to
// be a catalogue (as the catalogue defines one) before it is used.
#include "framework/database/Database.h"
#include "framework/database/DatabaseConnection.h"
#include "framework/text/Text.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <sqlite3.h>

#include <filesystem>

namespace framework {

namespace {

// Runs the statements in one transaction, so a new file gains all of its table or none.
bool runAll(detail::Connection& c, const std::vector<std::string>& statements, std::string& reason) {
  bool ok = c.runCached("BEGIN") == SQLITE_OK;
  for (const std::string& sql : statements) {
    if (!ok) break;
    ok = c.runCached(sql) == SQLITE_OK;
  }
  if (ok) ok = c.runCached("COMMIT") == SQLITE_OK;
  if (ok) return true;
  reason = c.errorText();
  if (!sqlite3_get_autocommit(c.db)) c.runCached("ROLLBACK");
  return false;
}

}  // namespace

std::shared_ptr<Database> DatabaseItem(const std::string& name, DatabaseProblem* problem) {
  if (!textEquals(name, "lumeno")) return nullptr;
  DatabaseProblem why;
  const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
  why.path = QFile::encodeName(QDir(folder).filePath(QStringLiteral("lumeno.sqlite"))).toStdString();
  auto fail = [&](std::string reason) -> std::shared_ptr<Database> {
    if (problem) *problem = {why.path, std::move(reason)};
    return nullptr;
  };
  if (folder.isEmpty()) return fail("データフォルダがありません。");
  const std::string folderPath = QFile::encodeName(folder).toStdString();
  std::error_code ec;
  if (std::filesystem::exists(folderPath, ec) && !std::filesystem::is_directory(folderPath, ec))
    return fail("データフォルダ「" + folderPath + "」がフォルダではなくファイルです。");
  std::filesystem::create_directories(folderPath, ec);
  if (ec) return fail("データフォルダ「" + folderPath + "」を作れません（" + ec.message() + "）。");

  bool created = false;
  std::string reason;
  auto connection = detail::connect(why.path, created, reason);
  if (!connection) return fail(reason);
  const DatabaseItemSchema& schema = CatalogueItem();
  if (created) {
    // A rollback journal makes the new table land whole; the journal mode changes afterwards.
    if (!runAll(*connection, schema.create, reason)) return fail(reason);
  } else if (reason = schema.problem(connection->db); !reason.empty()) {
    return fail(reason);
  }
  // Whatever else is written waits for the engine's check: writing into a damaged file can spread
  // the damage.
  connection->prepared = false;
  connection->preparation = schema.preparation;
  return std::make_shared<Database>(Database::Key{}, std::move(connection));
}

}  // namespace framework
