#include "catalogue/HitPaths.h"

#include <sqlite3.h>

#include <algorithm>
#include <utility>

#include "catalogue/PathMemo.h"
#include "framework/database/Database.h"
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
    : search_(std::move(search)), queued_(std::move(queued)), parts_(static_cast<std::size_t>(search_->Parts())) {
  search_->StopWhen(stop_);
  threads_.reserve(parts_.size());
  for (int k = 0; k < search_->Parts(); ++k) threads_.emplace_back([this, k] { run(k); });
}

HitPaths::~HitPaths() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  // The threads are joined before the reads they use go.
  threads_.clear();
}

namespace {

// Columns read as a record set's fields give them, without a copy for the usual kinds.
std::int32_t integerOf(sqlite3_stmt* st, int column) { return framework::ColumnField(st, column, false).IntegerValue(); }

std::string_view textOf(sqlite3_stmt* st, int column, std::string& other) {
  const int type = sqlite3_column_type(st, column);
  if (type == SQLITE_TEXT || type == SQLITE_BLOB) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, column));
    return text ? std::string_view(text, static_cast<std::size_t>(sqlite3_column_bytes(st, column))) : std::string_view();
  }
  other = framework::ColumnField(st, column, false).StringValue();
  return other;
}

bool isTrue(sqlite3_stmt* st, int column, bool boolean) {
  if (boolean && sqlite3_column_type(st, column) == SQLITE_INTEGER) return sqlite3_column_int64(st, column) != 0;
  return framework::textEquals(framework::ColumnField(st, column, boolean).StringValue(), "True");
}

// A record's parent and name, looked up in the reader's snapshot through one statement.
class Parents {
 public:
  explicit Parents(sqlite3* reader) {
    sqlite3_prepare_v3(reader, "SELECT FolNo, Name FROM Folder1 WHERE No=?1", -1, SQLITE_PREPARE_PERSISTENT, &st_,
                       nullptr);
  }
  ~Parents() { sqlite3_finalize(st_); }
  Parents(const Parents&) = delete;
  Parents& operator=(const Parents&) = delete;

  bool operator()(std::int32_t no, std::int32_t& up, std::string& name) {
    if (!st_ || sqlite3_bind_int64(st_, 1, no) != SQLITE_OK) return false;
    const bool found = sqlite3_step(st_) == SQLITE_ROW;
    if (found) {
      up = integerOf(st_, 0);
      std::string other;
      name = textOf(st_, 1, other);
    }
    sqlite3_reset(st_);
    return found;
  }

 private:
  sqlite3_stmt* st_ = nullptr;
};

}  // namespace

void HitPaths::run(int part) {
  std::optional<Module1::Failure> failure;
  {
    sqlite3* reader = search_->Reader(part);
    Parents parents(reader);
    PathMemo paths(std::ref(parents), {});
    sqlite3_stmt* rows = nullptr;
    int rc = search_->Rows(part, rows);
    // The search gives No, FolNo, Name and Folder, in that order.
    const char* declared = rows ? sqlite3_column_decltype(rows, 3) : nullptr;
    const bool boolean = declared && framework::textEquals(declared, "BOOLEAN");
    std::string other;
    Batch batch;
    std::size_t size = kFirstBatch;
    Clock::time_point begun = Clock::now();
    for (; rc == SQLITE_ROW && !stop_; rc = sqlite3_step(rows)) {
      const std::string_view path = paths.pathOf(integerOf(rows, 0), integerOf(rows, 1), textOf(rows, 2, other),
                                                 isTrue(rows, 3, boolean));
      batch.texts += path;
      batch.ends.push_back(static_cast<std::uint32_t>(batch.texts.size()));
      const bool timed = batch.size() < 64 || batch.size() % 64 == 0;
      if (batch.size() >= size || (timed && Clock::now() - begun >= kBatchTime)) {
        if (!push(part, batch)) break;
        size = kBatch;
        begun = Clock::now();
      }
    }
    if (rc != SQLITE_ROW && rc != SQLITE_DONE && !stop_)
      failure = Module1::Failure{rc & 0xff, std::to_string(rc & 0xff) + " " + sqlite3_errmsg(reader)};
    if (!stop_ && batch.size() > 0) push(part, batch);
  }
  // The read ends here, not when the window lets go of the rest.
  search_->End(part);
  std::unique_lock lock(mutex_);
  Part& ended = parts_[static_cast<std::size_t>(part)];
  ended.ended = true;
  ended.failure = std::move(failure);
  // The window's thread goes on to the next part once told that this one ended.
  if (!stop_ && static_cast<std::size_t>(part) == current_) tell();
  // The memory of the batches listed is let go here, until the last: on the window's thread it
  // would hold the window, all the more where a later part ran far ahead.
  // A few are left while a part still reads, for it to fill again.
  const auto kept = [this] {
    const bool reading = std::any_of(parts_.begin(), parts_.end(), [](const Part& p) { return !p.ended; });
    return reading ? kQueued + 1 : 0;
  };
  for (;;) {
    changed_.wait(lock, [&] { return stop_ || drained_ || spent_.size() > kept(); });
    const bool last = stop_ || drained_;
    std::vector<Batch> spent;
    while (spent_.size() > (last ? 0 : kept())) {
      spent.push_back(std::move(spent_.back()));
      spent_.pop_back();
    }
    // The queues' own memory too, which lies above the batches' and would let them all go at once.
    std::vector<std::deque<Batch>> queues;
    if (drained_)
      for (Part& p : parts_) queues.push_back(std::exchange(p.batches, {}));
    lock.unlock();
    spent.clear();
    queues.clear();
    if (last) break;
    lock.lock();
  }
}

bool HitPaths::push(int part, Batch& batch) {
  const auto k = static_cast<std::size_t>(part);
  std::unique_lock lock(mutex_);
  // A later part runs ahead, keeping what it finds until the window's thread comes to it.
  changed_.wait(lock, [&] { return parts_[k].batches.size() < kQueued || k != current_ || stop_; });
  // Rows that ended at an earlier part's failure are over: a later part's are not wanted.
  if (stop_ || drained_) return false;
  parts_[k].batches.push_back(std::move(batch));
  const std::size_t size = parts_[k].batches.back().texts.size();
  // A batch the window's thread has listed is filled again, its memory as it is.
  if (spent_.empty()) {
    batch = Batch{};
  } else {
    batch = std::move(spent_.back());
    spent_.pop_back();
    batch.texts.clear();
    batch.ends.clear();
  }
  batch.texts.reserve(size);
  if (k == current_) tell();
  return true;
}

// Under the lock, so that the window's thread sees what it is told of.
void HitPaths::tell() {
  changed_.notify_all();
  if (told_) return;
  told_ = true;
  queued_();
}

HitPaths::Part& HitPaths::current() {
  // A part that failed ends the rows there.
  while (current_ + 1 < parts_.size() && parts_[current_].ended && parts_[current_].batches.empty() &&
         !parts_[current_].failure)
    ++current_;
  return parts_[current_];
}

bool HitPaths::take(Batch& batch) {
  std::lock_guard lock(mutex_);
  if (batch.size() > 0) spent_.push_back(std::move(batch));
  batch = Batch{};
  changed_.notify_all();
  Part& part = current();
  if (part.batches.empty()) {
    told_ = false;
    drained_ = part.ended;
    return false;
  }
  batch = std::move(part.batches.front());
  part.batches.pop_front();
  return true;
}

void HitPaths::waitUntil(Clock::time_point until) {
  std::unique_lock lock(mutex_);
  changed_.wait_until(lock, until, [this] { return !parts_[current_].batches.empty() || parts_[current_].ended; });
}

bool HitPaths::finished() {
  std::lock_guard lock(mutex_);
  const Part& part = current();
  return part.ended && part.batches.empty();
}

std::optional<Module1::Failure> HitPaths::failure() {
  std::lock_guard lock(mutex_);
  return current().failure;
}
