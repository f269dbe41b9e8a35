#include "catalogue/HitPaths.h"

#include "catalogue/PathMemo.h"
#include "framework/text/Text.h"

namespace {

using Clock = std::chrono::steady_clock;

// The first batch is small, so that the first rows show at once; later ones are large enough that
// handing them over costs little, and go after a while however few hits a long scan finds.
constexpr std::size_t kFirstBatch = 200;
constexpr std::size_t kBatch = 4096;
constexpr auto kBatchTime = std::chrono::milliseconds(20);
// Batches queued before the thread waits for the window to take some: the memory stays small.
constexpr std::size_t kQueued = 4;

}  // namespace

HitPaths::HitPaths(std::unique_ptr<NameIndex::Aside> search, std::function<void()> queued)
    : search_(std::move(search)), queued_(std::move(queued)), thread_([this] { run(); }) {}

HitPaths::~HitPaths() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
}

void HitPaths::run() {
  std::optional<Module1::Failure> failure;
  {
    search_->StopWhen(stop_);
    framework::Database& reader = search_->Reader();
    PathMemo paths(reader, {});
    auto rs = search_->Rows();
    if (!rs && !stop_) failure = Module1::FailureOf(reader).value_or(Module1::Failure{});
    Batch batch;
    std::size_t size = kFirstBatch;
    Clock::time_point begun = Clock::now();
    for (; rs && !rs->Eof() && !stop_; rs->MoveNext()) {
      // The search gives No, FolNo, Name and Folder, in that order.
      const std::string_view path =
          paths.pathOf(rs->IdxField(1).IntegerValue(), rs->IdxField(2).IntegerValue(), rs->IdxField(3).StringValue(),
                       framework::textEquals(rs->IdxField(4).StringValue(), "True"));
      batch.texts += path;
      batch.ends.push_back(static_cast<std::uint32_t>(batch.texts.size()));
      const bool timed = batch.size() < 64 || batch.size() % 64 == 0;
      if (batch.size() >= size || (timed && Clock::now() - begun >= kBatchTime)) {
        if (!push(batch)) break;
        size = kBatch;
        begun = Clock::now();
      }
    }
    if (rs && !stop_) failure = Module1::FailureOf(*rs);
    if (!stop_ && batch.size() > 0) push(batch);
    // The read ends here, not when the window lets go of the rest.
    rs.reset();
    search_.reset();
  }
  std::lock_guard lock(mutex_);
  ended_ = true;
  failure_ = std::move(failure);
  if (!stop_) tell();
}

bool HitPaths::push(Batch& batch) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return batches_.size() < kQueued || stop_; });
  if (stop_) return false;
  batches_.push_back(std::move(batch));
  batch = Batch{};
  batch.texts.reserve(batches_.back().texts.size());
  tell();
  return true;
}

// Under the lock, so that the window's thread sees what it is told of.
void HitPaths::tell() {
  changed_.notify_all();
  if (told_) return;
  told_ = true;
  queued_();
}

std::optional<HitPaths::Batch> HitPaths::take() {
  std::lock_guard lock(mutex_);
  if (batches_.empty()) {
    told_ = false;
    return std::nullopt;
  }
  Batch batch = std::move(batches_.front());
  batches_.pop_front();
  changed_.notify_all();
  return batch;
}

void HitPaths::waitUntil(Clock::time_point until) {
  std::unique_lock lock(mutex_);
  changed_.wait_until(lock, until, [this] { return !batches_.empty() || ended_; });
}

bool HitPaths::finished() {
  std::lock_guard lock(mutex_);
  return ended_ && batches_.empty();
}

std::optional<Module1::Failure> HitPaths::failure() {
  std::lock_guard lock(mutex_);
  return failure_;
}
