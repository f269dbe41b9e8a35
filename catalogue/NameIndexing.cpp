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
  if (!db || Module1::Damaged() || framework::NameIndex::Complete(*db)) return nullptr;
  // A catalogue the index could not be added to (a read-only file) is searched by scanning.
  if (!framework::NameIndex::Prepare(*db)) return nullptr;
  showBusy(window, true);
  return std::make_unique<framework::NameIndexBuild>(
      db,
      [&window] {
        if (Module1::Damaged()) return false;
        // A read that ended meanwhile hid the indicators; the build still runs.
        showBusy(window, true);
        return true;
      },
      [&window] {
        if (!Class1::IsReading()) showBusy(window, false);
      });
}
