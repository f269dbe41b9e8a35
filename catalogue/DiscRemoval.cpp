#include <optional>
#include <string>

#include "app/Window1.h"
#include "catalogue/Class1.h"
#include "catalogue/Module1.h"
#include "framework/Database.h"
#include "framework/Dialogs.h"
#include "framework/Text.h"
#include "framework/Thread.h"

namespace {

// Removes every record whose CDName is `name` and commits once. Gives the database's error when
// the query, a deletion or the commit failed; then the removal is rolled back, so the disc stays
// whole and listed: a part removed would leave records that no disc row reaches any more. An
// empty failure text was shown already.
std::optional<std::string> removeDisc(framework::Database& db, const std::string& name) {
  // Damage is shown where it is met; other failures are shown once the list is rebuilt.
  auto failed = [&] { return Module1::ReportIfDamage(db) ? std::string() : Module1::ErrorText(db); };
  std::optional<std::string> failure;
  {
    auto rs = db.SQLSelect("SELECT * FROM Folder1 WHERE CDName=" + Module1::SqlText(name));
    if (!rs) return failed();
    if (!rs->Eof()) {
      do {
        if (!rs->DeleteRecord()) {
          failure = failed();
          break;
        }
        rs->MoveNext();
        framework::Yield();
      } while (!rs->Eof());
    }
    // Rows that ended by damage are not the whole disc: committing would keep a part of it. The
    // damage has been shown, so the failure adds no message of its own.
    if (!failure && Module1::RowsFailed(*rs)) failure = "";
  }
  if (!failure) {
    db.Commit();
    if (!db.Error()) return std::nullopt;
    failure = failed();
  }
  db.Rollback();
  return failure;
}

}  // namespace

void Window1::SakujyoButton_Action() {
  // A read works on the one current disc name and list; removing discs under it would mix them.
  if (Module1::RefusedWithoutCatalogue(true) || Class1::RefusedWhileReading()) return;
  auto& list = CDList();
  const int row = list.ListIndex();
  if (row == -1) return;
  if (!framework::textEquals(list.Cell(row, 3), "ディスク")) {
    framework::MsgBox("ディスク単位でないと削除できません");
    return;
  }
  const std::string name = list.Text();

  std::optional<std::string> failure;
  if (Module1::db) failure = removeDisc(*Module1::db, name);
  list.DeleteAllRows();
  OpenDB();
  if (failure && !failure->empty()) framework::MsgBox(*failure);
}

void Window1::ReCD() {
  if (Module1::IsNoDiscName(CDName)) return;
  std::optional<std::string> failure;
  if (Module1::db) failure = removeDisc(*Module1::db, CDName);
  CDList().DeleteAllRows();
  OpenDB();
  if (failure) {
    // Reading now would catalogue the disc a second time beside what is left of it.
    CDName.clear();
    if (!failure->empty()) framework::MsgBox(*failure);
    return;
  }
  NewCD();
}
