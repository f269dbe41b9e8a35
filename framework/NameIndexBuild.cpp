#include "framework/NameIndexBuild.h"

#include <QTimer>

#include "framework/NameIndex.h"

namespace framework {

namespace {
// Long enough that the commits do not dominate, short enough that the window answers at once.
constexpr std::chrono::milliseconds kStep{40};
// How often a build waiting for another transaction looks again.
constexpr int kWaitMs = 100;
}  // namespace

NameIndexBuild::NameIndexBuild(std::shared_ptr<Database> db, std::function<bool()> mayGoOn,
                               std::function<void()> finished)
    : db_(std::move(db)),
      mayGoOn_(std::move(mayGoOn)),
      finished_(std::move(finished)),
      timer_(std::make_unique<QTimer>()) {
  timer_->setSingleShot(true);
  QObject::connect(timer_.get(), &QTimer::timeout, [this] { step(); });
  timer_->start(0);
}

NameIndexBuild::~NameIndexBuild() = default;

bool NameIndexBuild::Running() const { return timer_->isActive(); }

void NameIndexBuild::step() {
  if (!mayGoOn_ || mayGoOn_()) {
    switch (NameIndex::Build(*db_, kStep)) {
      case NameIndex::Step::More: timer_->start(0); return;
      case NameIndex::Step::Waiting: timer_->start(kWaitMs); return;
      case NameIndex::Step::Done:
      case NameIndex::Step::Failed: break;
    }
  }
  // The callback may destroy this object.
  auto finished = std::move(finished_);
  if (finished) finished();
}

}  // namespace framework
