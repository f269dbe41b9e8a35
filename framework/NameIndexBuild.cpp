#include "framework/NameIndexBuild.h"

#include <QTimer>

#include "framework/NameIndex.h"

namespace framework {

namespace {
// Long enough that the commits do not dominate, short enough that the window answers at once.
constexpr std::chrono::milliseconds kStep{12};
// How often a build waiting for another transaction looks again, and how often a complete index
// looks for queued changes.
constexpr int kWaitMs = 100;
constexpr int kIdleMs = 1000;
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

void NameIndexBuild::step() {
  NameIndex::Step result = NameIndex::Step::Failed;
  if (!mayGoOn_ || mayGoOn_()) result = NameIndex::Build(*db_, kStep);
  switch (result) {
    case NameIndex::Step::More: timer_->start(0); return;
    case NameIndex::Step::Waiting: timer_->start(kWaitMs); return;
    case NameIndex::Step::Done:
      timer_->start(kIdleMs);
      if (complete_) return;
      complete_ = true;
      break;
    case NameIndex::Step::Failed: break;
  }
  // The callback may destroy this object.
  auto finished = std::move(finished_);
  if (finished) finished();
}

}  // namespace framework
