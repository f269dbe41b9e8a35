#include "catalogue/NameIndexBuild.h"

#include <sqlite3.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

using framework::Database;
using framework::RecordSet;
namespace detail = framework::detail;

namespace {

// Rows per transaction of the index: each commit merges what the index holds, so fewer and larger
// ones cost less; a stop interrupts the one under way.
constexpr std::int64_t kBatch = 50000;

// The layout of the index files; a file of another is made anew. Without positions (detail=none)
// the index takes a third less time to fill; the search asks for each trigram on its own.
constexpr int kVersion = 4;

const std::string kNames =
    "CREATE VIRTUAL TABLE IF NOT EXISTS Names USING fts5(Name, tokenize='trigram', detail=none, columnsize=0)";
// Held counts the names in Names, Stale those of them whose records were deleted since. A cache
// needs no wiping of what it frees: where the engine does that by default, emptying a shard costs
// several times more.
const std::string kSchema =
    "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA secure_delete=OFF; PRAGMA user_version=4; " + kNames +
    "; "
    "CREATE TABLE IF NOT EXISTS Built (UpTo INTEGER NOT NULL, Held INTEGER NOT NULL, Stale INTEGER NOT NULL); "
    "INSERT INTO Built SELECT -9223372036854775808, 0, 0 WHERE NOT EXISTS (SELECT 1 FROM Built)";
const std::string kAnew =
    "DROP TABLE Names; " + kNames + "; UPDATE Built SET UpTo = -9223372036854775808, Held = 0, Stale = 0";

// The thread's scheduling priority below the program's other threads.
constexpr int kNice = 10;

std::mutex buildsMutex;
std::vector<const NameIndexBuild*> builds;

struct CloseConnection {
  void operator()(sqlite3* db) const { sqlite3_close(db); }
};
using Connection = std::unique_ptr<sqlite3, CloseConnection>;

static_assert((NameIndex::kShards & (NameIndex::kShards - 1)) == 0, "shards are picked by a mask");

// One statement at a time on a shard's own connection, each prepared for the call.
class Index {
 public:
  Index(Connection db, int shard) : db_(std::move(db)), shard_(shard) {}
  sqlite3* handle() const { return db_.get(); }

  // Runs one statement to its end; `first` takes the first column of its first row (none for NULL).
  bool run(const std::string& sql, std::initializer_list<std::int64_t> values = {},
           std::optional<std::int64_t>* first = nullptr) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db_.get(), sql.c_str(), -1, &st, nullptr) != SQLITE_OK) return false;
    int i = 1;
    for (std::int64_t v : values) sqlite3_bind_int64(st, i++, v);
    int rc = sqlite3_step(st);
    if (first) *first = std::nullopt;
    if (rc == SQLITE_ROW && first && sqlite3_column_type(st, 0) != SQLITE_NULL) *first = sqlite3_column_int64(st, 0);
    while (rc == SQLITE_ROW) rc = sqlite3_step(st);
    sqlite3_finalize(st);
    return rc == SQLITE_DONE;
  }

  // Inside a transaction of its own; false (undone) when a step failed.
  template <typename Steps>
  bool transaction(Steps steps) {
    if (!run("BEGIN IMMEDIATE")) return false;
    if (steps() && run("COMMIT")) return true;
    run("ROLLBACK");
    return false;
  }

  std::optional<std::int64_t> watermark() {
    std::optional<std::int64_t> upTo;
    return run("SELECT UpTo FROM Built", {}, &upTo) ? upTo : std::nullopt;
  }

  // Forgets every name numbered above `upTo`.
  bool cut(std::int64_t upTo) {
    return transaction([&] {
      return run("DELETE FROM Names WHERE rowid > ?1", {upTo}) &&
             run("UPDATE Built SET UpTo = MIN(UpTo, ?1), Held = MAX(Held - ?2, 0), Stale = MIN(Stale, MAX(Held - ?2, 0))",
                 {upTo, sqlite3_changes64(db_.get())});
    });
  }

  // Counts `deleted` more names as stale; once they are as many as the live ones, empties the
  // shard, to be filled again from the catalogue: every name that stays makes each later write to
  // the index dearer, and this way the work stays in proportion to what was deleted. `upTo` is
  // then the floor. False on failure.
  bool purge(std::int64_t deleted, std::int64_t& upTo) {
    std::optional<std::int64_t> anew;
    const bool done = transaction([&] {
      // Most wakes follow no deletion: those only look, and write nothing to the file.
      if ((deleted > 0 && !run("UPDATE Built SET Stale = MIN(Held, Stale + ?1)", {deleted})) ||
          !run("SELECT Stale > 0 AND Stale * 2 >= Held FROM Built", {}, &anew))
        return false;
      return !anew.value_or(0) || sqlite3_exec(db_.get(), kAnew.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    });
    if (done && anew.value_or(0)) upTo = NameIndex::kFloor;
    return done;
  }

  // Indexes the shard's next records above its watermark `upTo`, up to the catalogue's highest
  // number once fewer than a batch are left: false on failure; `upTo` is then as it was.
  bool batch(std::int64_t& upTo) {
    std::optional<std::int64_t> last;
    const bool done = transaction([&] {
      if (!run("SELECT No FROM catalogue.Folder1 WHERE No > ?1 AND " + mine() + " ORDER BY No LIMIT 1 OFFSET ?2",
               {upTo, kBatch - 1}, &last))
        return false;
      if (!last) {
        last = highestInCatalogue();
        if (!last) return false;
        last = std::max(*last, upTo);
      }
      return *last == upTo ||
             (run("INSERT INTO Names (rowid, Name) SELECT No, Name FROM catalogue.Folder1 "
                  "WHERE No > ?1 AND No <= ?2 AND " + mine(),
                  {upTo, *last}) &&
              run("UPDATE Built SET UpTo = ?1, Held = Held + ?2", {*last, sqlite3_changes64(db_.get())}));
    });
    if (done) upTo = *last;
    return done;
  }

  // The catalogue's highest number; kFloor for an empty one.
  std::optional<std::int64_t> highestInCatalogue() {
    std::optional<std::int64_t> highest;
    if (!run("SELECT MAX(No) FROM catalogue.Folder1", {}, &highest)) return std::nullopt;
    return highest.value_or(NameIndex::kFloor);
  }

 private:
  // The records of the shard, by their number.
  std::string mine() const {
    return "((No >> " + std::to_string(NameIndex::kBlockBits) + ") & " + std::to_string(NameIndex::kShards - 1) +
           ") = " + std::to_string(shard_);
  }

  Connection db_;
  int shard_;
};

// A shard's file ready for use, the catalogue attached read-only as "catalogue". A file that is no
// index, one of another layout or a damaged one is only a cache: it is made anew once.
std::unique_ptr<Index> openIndex(const std::string& file, const std::string& catalogue, int shard) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    sqlite3* handle = nullptr;
    int rc = sqlite3_open_v2(file.c_str(), &handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                             nullptr);
    auto index = std::make_unique<Index>(Connection(handle), shard);
    if (rc == SQLITE_OK) {
      sqlite3_busy_timeout(handle, 2000);
      std::optional<std::int64_t> version, tables;
      if (!index->run("PRAGMA user_version", {}, &version) ||
          !index->run("SELECT COUNT(*) FROM sqlite_master", {}, &tables))
        rc = sqlite3_errcode(handle);
      else if (tables.value_or(0) > 0 && version.value_or(0) != kVersion)
        rc = SQLITE_CORRUPT;
      else
        rc = sqlite3_exec(handle, kSchema.c_str(), nullptr, nullptr, nullptr);
    }
    if (rc == SQLITE_OK) {
      sqlite3_stmt* st = nullptr;
      rc = sqlite3_prepare_v2(handle, "ATTACH ?1 AS catalogue", -1, &st, nullptr);
      const std::string uri = NameIndex::ReadOnlyUri(catalogue);
      if (rc == SQLITE_OK) sqlite3_bind_text(st, 1, uri.c_str(), -1, SQLITE_TRANSIENT);
      if (rc == SQLITE_OK) rc = sqlite3_step(st) == SQLITE_DONE ? SQLITE_OK : sqlite3_errcode(handle);
      sqlite3_finalize(st);
      if (rc == SQLITE_OK) return index;
      return nullptr;
    }
    if (attempt > 0 || (rc & 0xff) == SQLITE_CANTOPEN || (rc & 0xff) == SQLITE_READONLY) return nullptr;
    index.reset();
    for (const char* ending : {"", "-wal", "-shm"}) std::remove((file + ending).c_str());
  }
  return nullptr;
}

}  // namespace

NameIndexBuild::NameIndexBuild(std::shared_ptr<Database> db, std::function<void(bool)> catchingUp)
    : db_(std::move(db)), written_(std::make_shared<NameIndex::Written>()), catchingUp_(std::move(catchingUp)) {
  const std::string catalogue = NameIndex::CataloguePath(*db_);
  for (int k = 0; k < NameIndex::kShards; ++k)
    written_->files[static_cast<std::size_t>(k)] = NameIndex::FilePath(catalogue, k);
  // Watched before the threads look at the catalogue, so no write of the connection goes unseen.
  NameIndex::StartWatching(*db_, written_, [this] { wake(); });
  {
    std::lock_guard lock(buildsMutex);
    builds.push_back(this);
  }
  for (int k = 0; k < NameIndex::kShards; ++k)
    threads_[static_cast<std::size_t>(k)] = std::jthread([this, k](std::stop_token stop) { run(std::move(stop), k); });
}

NameIndexBuild::~NameIndexBuild() {
  NameIndex::StopWatching(*db_);
  for (auto& thread : threads_) thread.request_stop();
  {
    std::lock_guard lock(mutex_);
    for (const Shard& shard : shards_)
      if (shard.working) sqlite3_interrupt(shard.working);
  }
  wake_.notify_all();
  for (auto& thread : threads_)
    if (thread.joinable()) thread.join();
  std::lock_guard lock(buildsMutex);
  builds.erase(std::remove(builds.begin(), builds.end(), this), builds.end());
}

bool NameIndexBuild::Idle() const {
  std::lock_guard lock(mutex_);
  return std::all_of(shards_.begin(), shards_.end(), [](const Shard& shard) { return shard.idle; });
}

bool NameIndexBuild::AnyStarted() {
  std::lock_guard lock(buildsMutex);
  return !builds.empty();
}

bool NameIndexBuild::AllIdle() {
  std::lock_guard lock(buildsMutex);
  return std::all_of(builds.begin(), builds.end(), [](const NameIndexBuild* b) { return b->Idle(); });
}

void NameIndexBuild::wake() {
  {
    std::lock_guard lock(mutex_);
    for (Shard& shard : shards_) {
      shard.wanted = true;
      shard.idle = false;
    }
  }
  wake_.notify_all();
}

void NameIndexBuild::report(bool catchingUp) {
  if (!catchingUp_) return;
  QMetaObject::invokeMethod(&context_, [this, catchingUp] { catchingUp_(catchingUp); }, Qt::QueuedConnection);
}

void NameIndexBuild::caughtUp() {
  if (--starting_ == 0 && behind_) report(false);
}

void NameIndexBuild::run(std::stop_token stop, int k) {
  // On a busy machine the window's thread goes first: the index only saves the search a scan.
  setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kNice);
  const auto at = static_cast<std::size_t>(k);
  Shard& shard = shards_[at];
  std::atomic<std::int64_t>& committed = written_->committed[at];
  bool starting = true;
  auto finish = [&] {
    written_->ready[at] = false;
    std::lock_guard lock(mutex_);
    shard.working = nullptr;
    shard.idle = true;
    if (starting) caughtUp();
  };
  const std::string catalogue = NameIndex::CataloguePath(*db_);
  if (k == 0 && !catalogue.empty())
    for (const char* ending : {"", "-wal", "-shm"})
      std::remove((NameIndex::EarlierFilePath(catalogue) + ending).c_str());
  std::unique_ptr<Index> index = catalogue.empty() ? nullptr : openIndex(written_->files[at], catalogue, k);
  if (!index) return finish();
  {
    std::lock_guard lock(mutex_);
    shard.working = index->handle();
  }
  // A failed or killed read may have left names above what the catalogue holds now, and those
  // numbers come back: they go, before anyone reads the index.
  const std::optional<std::int64_t> highest = index->highestInCatalogue();
  std::optional<std::int64_t> found = index->watermark();
  if (!highest || !found || (*found > *highest && !index->cut(*highest))) return finish();
  std::int64_t upTo = std::min(*found, *highest);
  written_->ready[at] = true;
  {
    std::lock_guard lock(mutex_);
    if (upTo < *highest) {
      if (!behind_) report(true);
      behind_ = true;
    } else {
      starting = false;
      caughtUp();
    }
  }
  while (!stop.stop_requested()) {
    {
      std::unique_lock lock(mutex_);
      shard.wanted = false;
    }
    if (!index->purge(written_->deleted[at].exchange(0), upTo)) break;
    // Numbers the connection wrote at or below the watermark: indexed again from there.
    std::int64_t low = committed.load();
    if (low <= upTo) {
      const std::int64_t below = std::max(low, NameIndex::kFloor + 1) - 1;
      if (!index->cut(below)) break;
      upTo = below;
    }
    if (low != NameIndex::kNone) committed.compare_exchange_strong(low, NameIndex::kNone);
    bool moved = true, failed = false;
    while (moved && !stop.stop_requested() && committed.load() == NameIndex::kNone) {
      const std::int64_t before = upTo;
      failed = !index->batch(upTo);
      if (failed) break;
      moved = upTo != before;
    }
    if (failed) break;
    if (moved) continue;
    std::unique_lock lock(mutex_);
    if (shard.wanted || committed.load() != NameIndex::kNone) continue;
    shard.idle = true;
    if (starting) {
      starting = false;
      caughtUp();
    }
    wake_.wait(lock, stop, [&shard] { return shard.wanted; });
  }
  finish();
}
