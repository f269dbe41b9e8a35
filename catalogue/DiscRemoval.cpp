#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "app/Window1.h"
#include "catalogue/Class1.h"
#include "catalogue/Module1.h"
#include "framework/database/Database.h"
#include "framework/text/Text.h"
#include "framework/threads/Thread.h"
#include "framework/windows/Dialogs.h"

namespace {

using Clock = std::chrono::steady_clock;

// A slice of numbers is removed in one statement; its width follows how long the last one took, so
// that each stays well inside the thread's slice whatever the rows cost (other discs' rows in the
// range, pages not yet in the cache).
constexpr std::int64_t kFirstWidth = 512;
constexpr auto kQuick = std::chrono::microseconds(500);
constexpr auto kSlow = std::chrono::milliseconds(2);

// Removes every record whose CDName is `name`, in the open transaction, without ending it: slices
// of numbers, from the table's lowest to its highest, giving way to the window between them. Gives
// the failure when a statement failed; the caller then rolls back, so the disc stays whole and
// listed: a part removed would leave records that no disc row reaches any more.
std::optional<Module1::Failure> removeDisc(framework::Database& db, const std::string& name) {
  std::int64_t low = 0, high = 0;
  {
    // The key's ends, each found without a scan (together in one MIN/MAX the engine scans the table).
    auto range = db.SQLSelect("SELECT (SELECT MIN(No) FROM Folder1), (SELECT MAX(No) FROM Folder1)");
    if (!range) return Module1::FailureOf(db);
    if (range->Eof()) return Module1::FailureOf(*range);
    if (range->IdxField(1).IsNull()) return std::nullopt;
    low = range->IdxField(1).IntegerValue();
    high = range->IdxField(2).IntegerValue();
  }
  std::int64_t width = kFirstWidth;
  for (std::int64_t from = low; from <= high;) {
    const std::int64_t to = std::min(high + 1, from + width);
    const auto start = Clock::now();
    auto done = db.SQLSelect("DELETE FROM Folder1 WHERE No >= ?1 AND No < ?2 AND CDName = ?3", {from, to, name});
    if (!done) return Module1::FailureOf(db);
    done.reset();
    const auto took = Clock::now() - start;
    if (took < kQuick) width *= 2;
    else if (took > kSlow && width > 1) width /= 2;
    from = to;
    framework::Yield();
  }
  return std::nullopt;
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
  // A large disc takes a while: it is removed on a thread as a read is, so the window goes on
  // answering and refuses other changes until the list is rebuilt.
  std::make_shared<Class1>([this, name] {
    std::optional<Module1::Failure> failure;
    if (Module1::db) {
      framework::Transaction removal(Module1::db);
      failure = removal.Begin() ? removeDisc(*Module1::db, name) : Module1::FailureOf(*Module1::db);
      if (!failure && !removal.Commit()) failure = Module1::FailureOf(*Module1::db);
    }
    CDList().DeleteAllRows();
    OpenDB();
    if (failure) Module1::Report(*failure);
  })->Run();
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
