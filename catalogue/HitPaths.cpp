#include "catalogue/HitPaths.h"

#include <sqlite3.h>

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
    : search_(std::move(search)), queued_(std::move(queued)), thread_([this] { run(); }) {}

HitPaths::~HitPaths() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
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

void HitPaths::run() {
  std::optional<Module1::Failure> failure;
  {
    search_->StopWhen(stop_);
    sqlite3* reader = search_->Reader();
    Parents parents(reader);
    PathMemo paths(std::ref(parents), {});
    sqlite3_stmt* rows = nullptr;
    int rc = search_->Rows(rows);
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
        if (!push(batch)) break;
        size = kBatch;
        begun = Clock::now();
      }
    }
    if (rc != SQLITE_ROW && rc != SQLITE_DONE && !stop_)
      failure = Module1::Failure{rc & 0xff, std::to_string(rc & 0xff) + " " + sqlite3_errmsg(reader)};
    if (!stop_ && batch.size() > 0) push(batch);
  }
  // The read ends here, not when the window lets go of the rest.
  search_.reset();
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
