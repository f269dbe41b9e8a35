#include "catalogue/NameIndexing.h"

#include <QTimer>

#include "app/Window1.h"
#include "catalogue/Class1.h"
#include "catalogue/Module1.h"

namespace {
// How often the indicators are shown again while the index catches up: a read that ended meanwhile
// hid them.
constexpr int kShowAgainMs = 200;

void showBusy(Window1& window, bool busy) {
  window.ProgressWheel1().setVisible(busy);
  window.Label1().setVisible(busy);
}
}  // namespace

std::unique_ptr<NameIndexBuild> StartNameIndexing(Window1& window) {
  const std::shared_ptr<framework::Database> db = Module1::db;
  if (!db || Module1::Damaged()) return nullptr;
  auto again = std::make_shared<QTimer>();
  again->setInterval(kShowAgainMs);
  QObject::connect(again.get(), &QTimer::timeout, [&window] { showBusy(window, true); });
  return std::make_unique<NameIndexBuild>(db, [&window, again](bool catchingUp) {
    if (catchingUp) {
      again->start();
    } else {
      again->stop();
      if (Class1::IsReading()) return;
    }
    showBusy(window, catchingUp);
  });
}

bool NameIndexing::Idle() {
  using Check = framework::Database::Check;
  const std::shared_ptr<framework::Database>& db = Module1::db;
  // A catalogue that can change gets its index once the engine's check has found it whole: until
  // that build has started, its work is still ahead.
  const bool indexed = db && !db->ReadOnly() && !Module1::Damaged() && db->Checked() != Check::Damaged &&
                       db->Checked() != Check::Failed;
  if (indexed && !NameIndexBuild::AnyStarted()) return false;
  return NameIndexBuild::AllIdle();
}
