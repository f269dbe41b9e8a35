#include "catalogue/NameIndex.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "framework/database/DatabaseConnection.h"

using framework::Database;
using framework::DatabaseRecord;
using framework::RecordSet;
namespace detail = framework::detail;

namespace {

constexpr const char* kScan = "SELECT No, FolNo, Name, Folder FROM Folder1 WHERE Name LIKE ?1";

std::string schemaName(int shard) { return "lumeno_names" + std::to_string(shard); }

// Every number up to the lowest watermark of the shards is in one of them. The watermarks are read
// in the same statement as the shards, so the two agree; ?3 lowers it to below the numbers this
// connection wrote that the shards may not hold yet. Each half is in No order and the halves do not
// overlap, so no sort is needed.
std::string indexedQuery() {
  std::string upTo = "MIN(?3", candidates;
  for (int k = 0; k < NameIndex::kShards; ++k) {
    upTo += ", COALESCE((SELECT UpTo FROM " + schemaName(k) + ".Built), -9223372036854775808)";
    if (k > 0) candidates += " UNION ALL ";
    candidates += "SELECT rowid FROM " + schemaName(k) + ".Names WHERE Names MATCH ?1";
  }
  upTo += ")";
  return "SELECT No, FolNo, Name, Folder FROM Folder1 WHERE No <= " + upTo + " AND No IN (" + candidates +
         ") AND Name LIKE ?2 UNION ALL SELECT No, FolNo, Name, Folder FROM Folder1 WHERE No > " + upTo +
         " AND Name LIKE ?2 ORDER BY No";
}

// The watches by connection; the hooks hold a plain pointer to theirs, taken away before it goes.
struct Watch {
  std::shared_ptr<NameIndex::Written> written;
  std::function<void()> committed;
  // Opened by the first search read aside: a scan reads its two halves on two of them.
  std::array<std::shared_ptr<NameIndex::Aside::Slot>, 2> readers;
};
std::mutex watchesMutex;
std::unordered_map<sqlite3*, std::unique_ptr<Watch>> watches;

Watch* watchOf(sqlite3* db) {
  std::lock_guard lock(watchesMutex);
  auto found = watches.find(db);
  return found == watches.end() ? nullptr : found->second.get();
}

void lowerTo(std::atomic<std::int64_t>& mark, std::int64_t value) {
  std::int64_t now = mark.load();
  while (value < now && !mark.compare_exchange_weak(now, value)) {
  }
}

void rowWritten(void* watch, int op, const char* schema, const char* table, sqlite3_int64 rowid) {
  if (std::strcmp(schema, "main") != 0 || !detail::sameName(table, "Folder1")) return;
  NameIndex::Written& written = *static_cast<Watch*>(watch)->written;
  // The join drops what the index still holds of a deleted record; it is only counted, so that
  // its shard is built anew once such names are many.
  if (op == SQLITE_DELETE)
    written.deletedOpen[static_cast<std::size_t>(NameIndex::ShardOf(rowid))].fetch_add(1, std::memory_order_relaxed);
  else
    lowerTo(written.open, rowid);
}

int logWritten(void* watch, sqlite3*, const char* schema, int) {
  if (std::strcmp(schema, "main") != 0) return SQLITE_OK;
  auto* w = static_cast<Watch*>(watch);
  const std::int64_t written = w->written->open.exchange(NameIndex::kNone);
  for (auto& mark : w->written->committed) lowerTo(mark, written);
  for (int k = 0; k < NameIndex::kShards; ++k) {
    const auto at = static_cast<std::size_t>(k);
    w->written->deleted[at].fetch_add(w->written->deletedOpen[at].exchange(0));
  }
  if (w->committed) w->committed();
  return SQLITE_OK;
}

void rolledBack(void* watch) {
  NameIndex::Written& written = *static_cast<Watch*>(watch)->written;
  written.open = NameIndex::kNone;
  for (auto& count : written.deletedOpen) count = 0;
}

bool attached(sqlite3* db, int shard) { return sqlite3_db_filename(db, schemaName(shard).c_str()) != nullptr; }

bool attached(sqlite3* db) {
  for (int k = 0; k < NameIndex::kShards; ++k)
    if (!attached(db, k)) return false;
  return true;
}

bool allReady(const NameIndex::Written& written) {
  return std::all_of(written.ready.begin(), written.ready.end(), [](const std::atomic<bool>& r) { return r.load(); });
}

// The number below which the shards hold every name: below the lowest number the catalogue's
// connection wrote that the shards may not hold yet.
std::int64_t belowWritten(const NameIndex::Written& marks) {
  std::int64_t written = marks.open.load();
  for (const auto& mark : marks.committed) written = std::min(written, mark.load());
  return written == NameIndex::kNone ? NameIndex::kNone : std::max(written, NameIndex::kFloor + 1) - 1;
}

void detach(sqlite3* db) {
  for (int k = 0; k < NameIndex::kShards; ++k)
    if (attached(db, k)) sqlite3_exec(db, ("DETACH " + schemaName(k)).c_str(), nullptr, nullptr, nullptr);
}

}  // namespace

std::string NameIndex::ReadOnlyUri(const std::string& path) {
  static const char* hex = "0123456789ABCDEF";
  std::string uri = "file:";
  for (unsigned char ch : path) {
    if (std::isalnum(ch) || std::strchr("/._-~", ch)) {
      uri += static_cast<char>(ch);
    } else {
      uri += '%';
      uri += hex[ch >> 4];
      uri += hex[ch & 15];
    }
  }
  return uri + "?mode=ro";
}

namespace {

// All shards or none; a detach that a record set still open refused may have left some.
bool attach(sqlite3* db, const NameIndex::Written& written) {
  for (int k = 0; k < NameIndex::kShards; ++k) {
    if (attached(db, k)) continue;
    sqlite3_stmt* st = nullptr;
    bool ok = sqlite3_prepare_v2(db, ("ATTACH ?1 AS " + schemaName(k)).c_str(), -1, &st, nullptr) == SQLITE_OK;
    const std::string uri = NameIndex::ReadOnlyUri(written.files[static_cast<std::size_t>(k)]);
    if (ok) sqlite3_bind_text(st, 1, uri.c_str(), static_cast<int>(uri.size()), SQLITE_STATIC);
    ok = ok && sqlite3_step(st) == SQLITE_DONE;
    sqlite3_finalize(st);
    if (!ok) {
      detach(db);
      return false;
    }
  }
  return true;
}

}  // namespace

namespace {
std::string besideCatalogue(const std::string& cataloguePath, const std::string& name) {
  const std::size_t slash = cataloguePath.rfind('/');
  return (slash == std::string::npos ? std::string() : cataloguePath.substr(0, slash + 1)) + name;
}
}  // namespace

std::string NameIndex::FilePath(const std::string& cataloguePath, int shard) {
  return besideCatalogue(cataloguePath, "lumeno-names-" + std::to_string(shard) + ".sqlite");
}

std::string NameIndex::EarlierFilePath(const std::string& cataloguePath) {
  return besideCatalogue(cataloguePath, "lumeno-names.sqlite");
}

std::string NameIndex::CataloguePath(Database& db) {
  const char* file = sqlite3_db_filename(db.connection_->db, "main");
  return file ? file : "";
}

void NameIndex::StartWatching(Database& db, std::shared_ptr<Written> written, std::function<void()> committed) {
  StopWatching(db);
  sqlite3* handle = db.connection_->db;
  auto watch = std::make_unique<Watch>(Watch{std::move(written), std::move(committed), {}});
  Watch* w = watch.get();
  {
    std::lock_guard lock(watchesMutex);
    watches[handle] = std::move(watch);
  }
  // The catalogue's connection never checkpoints by itself, so its log hook is free.
  sqlite3_update_hook(handle, rowWritten, w);
  sqlite3_rollback_hook(handle, rolledBack, w);
  sqlite3_wal_hook(handle, logWritten, w);
}

void NameIndex::StopWatching(Database& db) {
  detail::Connection& c = *db.connection_;
  // The engine runs no hook once these return: each waits for the connection's lock.
  sqlite3_update_hook(c.db, nullptr, nullptr);
  sqlite3_rollback_hook(c.db, nullptr, nullptr);
  sqlite3_wal_hook(c.db, nullptr, nullptr);
  {
    std::lock_guard lock(watchesMutex);
    watches.erase(c.db);
  }
  // A record set still open keeps it attached; it is not read again without a watch.
  if (sqlite3_get_autocommit(c.db)) detach(c.db);
}

std::optional<std::string> NameIndex::MatchQuery(std::string_view term) {
  std::string query;
  std::vector<std::string_view> run;  // the characters since the last wildcard
  std::unordered_set<std::string_view> taken;
  // The index keeps no positions, so a run is asked for as each of its trigrams: every name that
  // holds the run holds them all, and the LIKE afterwards drops those that hold them apart.
  auto endRun = [&] {
    for (std::size_t k = 0; k + 3 <= run.size(); ++k) {
      const std::string_view trigram(run[k].data(), run[k + 2].data() + run[k + 2].size() - run[k].data());
      if (!taken.insert(trigram).second) continue;
      if (!query.empty()) query += " AND ";
      query += '"';
      for (char ch : trigram) {
        if (ch == '"') query += '"';
        query += ch;
      }
      query += '"';
    }
    run.clear();
  };
  for (std::size_t i = 0; i < term.size();) {
    const auto b = static_cast<unsigned char>(term[i]);
    const std::size_t length = b < 0x80 ? 1 : b >= 0xF8 ? 0 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 0;
    if (length == 0 || i + length > term.size()) return std::nullopt;
    for (std::size_t k = 1; k < length; ++k)
      if ((static_cast<unsigned char>(term[i + k]) & 0xC0) != 0x80) return std::nullopt;
    if (b == '%' || b == '_') {
      endRun();
    } else {
      run.push_back(term.substr(i, length));
    }
    i += length;
  }
  endRun();
  if (query.empty()) return std::nullopt;
  return query;
}

std::unique_ptr<RecordSet> NameIndex::Search(Database& db, const std::string& term, bool mayWrite) {
  detail::Connection& c = *db.connection_;
  const std::string pattern = "%" + term + "%";
  const Watch* watch = mayWrite ? watchOf(c.db) : nullptr;
  const std::optional<std::string> match = watch && allReady(*watch->written) ? MatchQuery(term) : std::nullopt;
  // Attaching cannot happen inside a transaction: until it can, the search scans.
  if (match && !attached(c.db) && (c.busyAside || !sqlite3_get_autocommit(c.db) || !attach(c.db, *watch->written)))
    return db.SQLSelect(kScan, {pattern});
  if (!match) return db.SQLSelect(kScan, {pattern});
  // The marks and the first step, which fixes what the statement sees, under the connection's
  // lock: a commit running aside cannot come between them.
  sqlite3_mutex* lock = sqlite3_db_mutex(c.db);
  sqlite3_mutex_enter(lock);
  static const std::string indexed = indexedQuery();
  auto found = db.SQLSelect(indexed, {*match, pattern, belowWritten(*watch->written)});
  sqlite3_mutex_leave(lock);
  return found ? std::move(found) : db.SQLSelect(kScan, {pattern});
}

struct NameIndex::Aside::Slot {
  explicit Slot(sqlite3* h) : handle(h) {}
  ~Slot() { sqlite3_close(handle); }
  Slot(const Slot&) = delete;
  Slot& operator=(const Slot&) = delete;
  sqlite3* handle;
  std::atomic<bool> held{false};  // by a search; set and read on the window's thread, cleared on the reading one
};

struct NameIndex::Aside::Part {
  std::shared_ptr<Slot> slot;
  std::string sql;
  std::vector<DatabaseRecord::Value> values;
  bool indexed = false;  // the index's query, for which the scan serves when it fails
  sqlite3_stmt* rows = nullptr;
  bool ended = false;
};

namespace {

// A reader of the catalogue file, kept in `slot` for the watch's later searches; none when it
// cannot be opened.
std::shared_ptr<NameIndex::Aside::Slot> reader(std::shared_ptr<NameIndex::Aside::Slot>& slot, const std::string& path) {
  if (slot) return slot;
  sqlite3* handle = nullptr;
  const int rc = sqlite3_open_v2(NameIndex::ReadOnlyUri(path).c_str(), &handle,
                                 SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_URI, nullptr);
  auto opened = std::make_shared<NameIndex::Aside::Slot>(handle);
  if (rc != SQLITE_OK) return nullptr;
  // As the catalogue's own connection takes the same statements.
  sqlite3_db_config(handle, SQLITE_DBCONFIG_DQS_DML, 1, nullptr);
  sqlite3_busy_timeout(handle, detail::kBusyTimeoutMs);
  slot = std::move(opened);
  return slot;
}

// One integer that the statement gives; none when it fails or gives none.
std::optional<std::int64_t> integerOf(sqlite3* db, const char* sql) {
  sqlite3_stmt* st = nullptr;
  std::optional<std::int64_t> value;
  if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW &&
      sqlite3_column_type(st, 0) == SQLITE_INTEGER)
    value = sqlite3_column_int64(st, 0);
  sqlite3_finalize(st);
  return value;
}

}  // namespace

std::unique_ptr<NameIndex::Aside> NameIndex::SearchAside(Database& db, const std::string& term, bool mayWrite) {
  detail::Connection& c = *db.connection_;
  Watch* watch = mayWrite ? watchOf(c.db) : nullptr;
  const std::string path = CataloguePath(db);
  // A transaction or a read under way keeps the connection's view where it began.
  if (!watch || path.empty() || db.ReadOnly() || !c.prepared || c.busyAside || !sqlite3_get_autocommit(c.db) ||
      detail::readingNow(c.db))
    return nullptr;
  // A file moved or replaced since: the connection reads the one it opened, a new one would not.
  int moved = 0;
  if (sqlite3_file_control(c.db, "main", SQLITE_FCNTL_HAS_MOVED, &moved) != SQLITE_OK || moved) return nullptr;
  // Each reader is opened once per watch, and used by one thread at a time.
  const std::shared_ptr<Aside::Slot> slot = reader(watch->readers[0], path);
  if (!slot || slot->held) return nullptr;
  sqlite3* first = slot->handle;
  const std::string pattern = "%" + term + "%";
  std::optional<std::string> match = allReady(*watch->written) ? MatchQuery(term) : std::nullopt;
  if (match && !attached(first) && !attach(first, *watch->written)) match.reset();
  // A scan reads the later half of the numbers on a second reader, on a thread of its own. The
  // engine offers no way to hand one read's state to another connection here, so the second
  // read counts as the same state only when no change came to the file since just before the
  // first began: the file's change count as the second reader saw it then and sees it now.
  std::shared_ptr<Aside::Slot> second = match ? nullptr : reader(watch->readers[1], path);
  if (second && second->held) second.reset();
  const std::optional<std::int64_t> version = second ? integerOf(second->handle, "PRAGMA main.data_version") : std::nullopt;
  if (!version) second.reset();
  // Reading each file's schema begins the read of each in the transaction.
  std::string snapshot = "SELECT (SELECT COUNT(*) FROM main.sqlite_schema)";
  for (int k = 0; match && k < kShards; ++k) snapshot += " + (SELECT COUNT(*) FROM " + schemaName(k) + ".sqlite_schema)";
  // The marks and the snapshot under the connection's lock: a commit running aside cannot come
  // between them or between the snapshot and what the connection sees now.
  sqlite3_mutex* lock = sqlite3_db_mutex(c.db);
  sqlite3_mutex_enter(lock);
  const std::int64_t written = belowWritten(*watch->written);
  const bool begun = sqlite3_exec(first, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK;
  bool ok = begun && sqlite3_exec(first, snapshot.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
  const bool secondBegun = ok && second && sqlite3_exec(second->handle, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK;
  bool split = secondBegun && sqlite3_exec(second->handle, snapshot.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
  sqlite3_mutex_leave(lock);
  // In another journal than the log a reader would hold up the connection's changes.
  if (ok) {
    sqlite3_stmt* st = nullptr;
    ok = sqlite3_prepare_v2(first, "PRAGMA main.journal_mode", -1, &st, nullptr) == SQLITE_OK &&
         sqlite3_step(st) == SQLITE_ROW && sqlite3_column_text(st, 0) &&
         detail::sameName(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)), "wal");
    sqlite3_finalize(st);
  }
  split = ok && split && integerOf(second->handle, "PRAGMA main.data_version") == version;
  // The halves of the numbers as the table holds them, in the order that a scan gives; each end
  // is found alone, since only then does the engine go straight to it.
  std::optional<std::int64_t> low, high;
  if (split) {
    low = integerOf(first, "SELECT MIN(rowid) FROM Folder1");
    high = integerOf(first, "SELECT MAX(rowid) FROM Folder1");
    split = low && high;
  }
  if (secondBegun && !split) sqlite3_exec(second->handle, "ROLLBACK", nullptr, nullptr, nullptr);
  if (!ok) {
    if (begun) sqlite3_exec(first, "ROLLBACK", nullptr, nullptr, nullptr);
    return nullptr;
  }
  slot->held = true;
  std::vector<Aside::Part> parts;
  static const std::string indexed = indexedQuery();
  if (match) {
    parts.push_back(Aside::Part{slot, indexed, {*match, pattern, written}, true});
  } else if (split) {
    second->held = true;
    // Numbers may be negative, and far apart.
    const std::uint64_t span = static_cast<std::uint64_t>(*high) - static_cast<std::uint64_t>(*low);
    const std::int64_t end = *low + static_cast<std::int64_t>(span / 2);
    parts.push_back(Aside::Part{slot, std::string(kScan) + " AND rowid <= ?2", {pattern, end}});
    parts.push_back(Aside::Part{second, std::string(kScan) + " AND rowid > ?2", {pattern, end}});
  } else {
    parts.push_back(Aside::Part{slot, kScan, {pattern}});
  }
  return std::make_unique<Aside>(std::move(parts), pattern);
}

namespace {
std::atomic<long> searchesAside{0};
std::atomic<int> readingAside{0};
}  // namespace

long NameIndex::SearchesAside() { return searchesAside; }
int NameIndex::ReadingAside() { return readingAside; }

NameIndex::Aside::Aside(std::vector<Part> parts, std::string pattern)
    : parts_(std::move(parts)), pattern_(std::move(pattern)), reading_(static_cast<int>(parts_.size())) {
  ++searchesAside;
  ++readingAside;
}

int NameIndex::Aside::Parts() const { return static_cast<int>(parts_.size()); }

void NameIndex::Aside::StopWhen(const std::atomic<bool>& stop) {
  stop_ = &stop;
  for (Part& part : parts_)
    sqlite3_progress_handler(
        part.slot->handle, 1000, [](void* flag) { return static_cast<const std::atomic<bool>*>(flag)->load() ? 1 : 0; },
        const_cast<std::atomic<bool>*>(&stop));
}

NameIndex::Aside::~Aside() {
  for (int k = 0; k < Parts(); ++k) End(k);
}

void NameIndex::Aside::End(int k) {
  Part& part = parts_[static_cast<std::size_t>(k)];
  if (part.ended) return;
  part.ended = true;
  sqlite3_finalize(part.rows);
  part.rows = nullptr;
  sqlite3_progress_handler(part.slot->handle, 0, nullptr, nullptr);
  sqlite3_exec(part.slot->handle, "ROLLBACK", nullptr, nullptr, nullptr);
  part.slot->held = false;
  if (--reading_ == 0) --readingAside;
}

int NameIndex::Aside::Rows(int k, sqlite3_stmt*& rows) {
  Part& part = parts_[static_cast<std::size_t>(k)];
  const auto begin = [&](const std::string& sql, const std::vector<DatabaseRecord::Value>& values) {
    sqlite3_finalize(part.rows);
    part.rows = nullptr;
    int rc = sqlite3_prepare_v2(part.slot->handle, sql.c_str(), static_cast<int>(sql.size()), &part.rows, nullptr);
    for (int i = 0; rc == SQLITE_OK && i < static_cast<int>(values.size()); ++i)
      rc = framework::BindValue(part.rows, i + 1, values[static_cast<std::size_t>(i)], SQLITE_STATIC);
    return rc == SQLITE_OK ? sqlite3_step(part.rows) : rc;
  };
  int rc = begin(part.sql, part.values);
  // As Search does, the scan serves when the index's query fails.
  if (rc != SQLITE_ROW && rc != SQLITE_DONE && part.indexed && !(stop_ && *stop_)) rc = begin(kScan, {pattern_});
  rows = part.rows;
  return rc;
}

sqlite3* NameIndex::Aside::Reader(int part) { return parts_[static_cast<std::size_t>(part)].slot->handle; }
