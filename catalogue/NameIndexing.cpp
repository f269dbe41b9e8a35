#include "catalogue/NameIndexing.h"

#include "app/Window1.h"
#include "catalogue/Class1.h"
#include "catalogue/Module1.h"
#include "framework/NameIndex.h"

namespace {
void showBusy(Window1& window, bool busy) {
  window.ProgressWheel1().setVisible(busy);
  window.Label1().setVisible(busy);
}
}  // namespace

std::unique_ptr<framework::NameIndexBuild> StartNameIndexing(Window1& window) {
  const std::shared_ptr<framework::Database> db = Module1::db;
  if (!db || Module1::Damaged()) return nullptr;
  // A catalogue the index could not be added to (a read-only file) is searched by scanning.
  if (!framework::NameIndex::Prepare(*db)) return nullptr;
  auto building = std::make_shared<bool>(!framework::NameIndex::Complete(*db));
  if (*building) showBusy(window, true);
  return std::make_unique<framework::NameIndexBuild>(
      db,
      [&window, building] {
        if (Module1::Damaged()) return false;
        // A read that ended meanwhile hid the indicators; the build still runs.
        if (*building) showBusy(window, true);
        return true;
      },
      [&window, building] {
        if (*building && !Class1::IsReading()) showBusy(window, false);
        *building = false;
      });
}
