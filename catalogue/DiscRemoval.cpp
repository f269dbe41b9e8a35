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

// Removes every record whose CDName is `name`, in the open transaction, without ending it. Gives
// the failure when the query or a deletion failed, or the rows ended by one (then they are not the
// whole disc); the caller then rolls back, so the disc stays whole and listed: a part removed would
// leave records that no disc row reaches any more.
std::optional<Module1::Failure> removeDisc(framework::Database& db, const std::string& name) {
  auto rs = db.SQLSelect("SELECT * FROM Folder1 WHERE CDName=" + Module1::SqlText(name));
  if (!rs) return Module1::FailureOf(db);
  if (!rs->Eof()) {
    do {
      if (!rs->DeleteRecord()) return Module1::FailureOf(db);
      rs->MoveNext();
      framework::Yield();
    } while (!rs->Eof());
  }
  return Module1::FailureOf(*rs);
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

  std::optional<Module1::Failure> failure;
  if (Module1::db) {
    framework::Transaction removal(Module1::db);
    failure = removal.Begin() ? removeDisc(*Module1::db, name) : Module1::FailureOf(*Module1::db);
    if (!failure && !removal.Commit()) failure = Module1::FailureOf(*Module1::db);
  }
  list.DeleteAllRows();
  OpenDB();
  if (failure) Module1::Report(*failure);
}

void Window1::ReCD() {
  if (Module1::IsNoDiscName(CDName)) return;
  // The removal and the new read are one change: NewCD commits both or undoes both, and this
  // undoes the removal when the read never comes to it.
  framework::Transaction update(Module1::db);
  std::optional<Module1::Failure> failure;
  if (Module1::db) failure = update.Begin() ? removeDisc(*Module1::db, CDName) : Module1::FailureOf(*Module1::db);
  if (failure) update.Rollback();
  // The list is read on the same connection, so it shows the disc gone while it is read again.
  CDList().DeleteAllRows();
  OpenDB();
  if (failure) {
    // Reading now would catalogue the disc a second time beside what is left of it.
    CDName.clear();
    Module1::Report(*failure);
    return;
  }
  NewCD();
}
