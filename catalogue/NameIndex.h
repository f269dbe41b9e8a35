#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/database/Database.h"


// A trigram index of Folder1's names in files of their own beside the catalogue: a cache that can
// be thrown away and built again at any time. It is split into shards by blocks of numbers, each in
// a file of its own so that each can be filled on a core of its own. A shard's table Names (FTS5,
// rowid = No) holds the names of its records numbered up to its watermark Built.UpTo, as they were
// when indexed; a name indexed and since deleted stays until the catalogue's join drops it. The
// catalogue itself keeps no trace of it. NameIndexBuild fills it; the search reads it through the
// catalogue's own connection, which attaches the shards read-only.
class NameIndex {
 public:
  // Fixed, so that the files do not depend on the machine.
  static constexpr int kShards = 4;
  // Record No belongs to shard (No >> kBlockBits) % kShards: runs of numbers, so each shard reads
  // runs of Folder1.
  static constexpr int kBlockBits = 10;
  // No number written; the watermark of an index that holds nothing.
  static constexpr std::int64_t kNone = 0x7fffffffffffffff;
  static constexpr std::int64_t kFloor = -kNone - 1;
  // The shard that holds the name of record `no`.
  static constexpr int ShardOf(std::int64_t no) { return static_cast<int>((no >> kBlockBits) & (kShards - 1)); }

  // The file of `shard` of the index of the catalogue file at `cataloguePath`: beside it.
  static std::string FilePath(const std::string& cataloguePath, int shard);
  // The file that earlier versions kept the whole index in, beside the catalogue.
  static std::string EarlierFilePath(const std::string& cataloguePath);

  // Drop what earlier versions kept of the index inside the catalogue (the index, its queue and
  // triggers); each does nothing where there is nothing to drop.
  static constexpr const char* kDropFromCatalogue[] = {
      "DROP TRIGGER IF EXISTS Folder1Names_Insert", "DROP TRIGGER IF EXISTS Folder1Names_Delete",
      "DROP TRIGGER IF EXISTS Folder1Names_Update", "DROP TABLE IF EXISTS Folder1Names",
      "DROP TABLE IF EXISTS Folder1NamesBuilt",     "DROP TABLE IF EXISTS Folder1NamesQueue",
  };

  // The lowest record numbers that the catalogue's connection wrote: numbers below the watermark
  // that the index does not hold (an import keeps its old numbers; numbers freed by a deletion
  // come back once the numbering is refreshed). The search scans from there; the build indexes
  // them again. Written by the connection's hooks, on whatever thread the engine runs them.
  struct Written {
    std::atomic<std::int64_t> open{kNone};  // inserted by the transaction that is open
    // Committed since each shard's build last looked: each shard takes its own.
    std::array<std::atomic<std::int64_t>, kShards> committed{};
    std::array<std::atomic<bool>, kShards> ready{};  // each shard's file is there to be attached
    // Records deleted by the transaction that is open, and those committed since each shard last
    // looked, by shard: their names stay in it until it is built anew.
    std::array<std::atomic<std::int64_t>, kShards> deletedOpen{};
    std::array<std::atomic<std::int64_t>, kShards> deleted{};
    std::array<std::string, kShards> files;          // each shard's file
    Written() {
      for (auto& mark : committed) mark = kNone;
    }
  };
  // Hooks `written` onto the catalogue's connection until StopWatching; `committed` runs after
  // every commit of it, on the committing thread, and must not touch the connection.
  static void StartWatching(framework::Database& db, std::shared_ptr<Written> written, std::function<void()> committed);
  // Takes the hooks away and detaches the index; the next search scans until the next watch is ready.
  static void StopWatching(framework::Database& db);
  // The file as a URI that opens it read-only, whatever characters its path holds.
  static std::string ReadOnlyUri(const std::string& path);
  // The catalogue file of the connection; empty for one in memory.
  static std::string CataloguePath(framework::Database& db);

  // The FTS5 query whose rows hold every name that LIKE '%term%' matches (and maybe more): each
  // trigram of each run of at least three characters between wildcards. None when no run is that
  // long (the trigram index cannot narrow it) or the term is not well-formed UTF-8.
  static std::optional<std::string> MatchQuery(std::string_view term);

  // The records (No, FolNo, Name, Folder) whose Name matches LIKE '%term%', in No order: exactly
  // those a scan of Folder1 gives. The index gives candidates up to the lowest watermark of its
  // shards, each checked against the record's name as it is now; the records above it are
  // scanned. Without a watch whose shards are all ready, a term the index cannot narrow, or
  // without `mayWrite` (a catalogue whose damage makes the index untrusted) the whole table is
  // scanned. Nullptr when the query fails.
  static std::unique_ptr<framework::RecordSet> Search(framework::Database& db, const std::string& term, bool mayWrite);

  // Search's records read on connections of the catalogue file of their own, in parts of
  // consecutive numbers, each to be stepped on a thread of its own: the records of a later part
  // follow those of an earlier one. Every part reads one and the same state of the file, begun at
  // the call under the catalogue connection's lock, so it holds exactly what that connection sees.
  class Aside {
   public:
    struct Slot;  // a reader connection of a catalogue and whether a search holds it
    struct Part;  // a reader, its statement and its values
    Aside(std::vector<Part> parts, std::string pattern);
    // Ends the reads still under way and hands their readers back for the next search.
    ~Aside();
    Aside(const Aside&) = delete;
    Aside& operator=(const Aside&) = delete;
    // How many parts there are; part 0 holds the lowest numbers.
    int Parts() const;
    // From here on the readers' work ends soon (interrupted) once `stop` is set; it must outlive
    // this. Before any part is stepped.
    void StopWhen(const std::atomic<bool>& stop);
    // The part's statement, bound and stepped to its first row, stepped on by the calling thread
    // alone and finalised by End: SQLITE_ROW, SQLITE_DONE or the engine's failure.
    int Rows(int part, sqlite3_stmt*& rows);
    // The part's reader, in the same state, for the thread that steps its rows.
    sqlite3* Reader(int part);
    // Ends the part's read and hands its reader back; on the thread that read it.
    void End(int part);

   private:
    std::vector<Part> parts_;
    std::string pattern_;
    std::atomic<int> reading_;  // parts not yet ended
    const std::atomic<bool>* stop_ = nullptr;
  };
  // None where a second connection might see something else than the catalogue's own: one in
  // memory or not in WAL mode, read-only, not yet checked, moved or replaced since it was opened,
  // with a transaction or a read of its own open, without `mayWrite` or a watch; also while an
  // earlier search still holds the reader. Search serves then.
  static std::unique_ptr<Aside> SearchAside(framework::Database& db, const std::string& term, bool mayWrite);
  // Test seams: the searches read aside so far in this run, and those being read now.
  static long SearchesAside();
  static int ReadingAside();
};

