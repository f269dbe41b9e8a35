#pragma once
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "framework/Database.h"

namespace framework {

// An FTS5 trigram index over Folder1's names, kept in the catalogue file as table Folder1Names
// (external content on Folder1, rowid No). Triggers on Folder1 queue every insert, deletion and
// update in Folder1NamesQueue, which the index takes in before it answers; Folder1NamesBuilt holds
// how far the index reaches (every No up to UpTo is in it), so a build that was cut off goes on
// where it stopped.
class NameIndex {
 public:
  // The highest UpTo: every record is indexed.
  static constexpr std::int64_t kComplete = 0x7fffffffffffffff;

  // Adds the index, its triggers and its marker when the file lacks them, in one transaction; over
  // an empty table the index is complete at once. False when they cannot be added.
  static bool Prepare(Database& db);
  // How far the index reaches; 0 when there is none.
  static std::int64_t IndexedUpTo(Database& db);
  static bool Complete(Database& db) { return IndexedUpTo(db) == kComplete; }

  // Takes the queued changes into the index: in a transaction of its own, or in the one open.
  // False when it cannot (the index then cannot answer yet).
  static bool TakeQueue(Database& db);

  enum class Step { Done, More, Waiting, Failed };
  // Takes in part of the queue and indexes the next records for about `budget`, in a transaction
  // of its own that also moves the marker; Done once the index is complete and nothing is queued.
  // While another transaction is open (a read, a deletion) it does nothing: Waiting.
  static Step Build(Database& db, std::chrono::milliseconds budget);

  // The FTS5 query whose rows hold every name that LIKE '%term%' matches: one phrase for each run
  // of at least three characters between wildcards. None when no run is that long (the trigram
  // index cannot narrow it) or the term is not well-formed UTF-8.
  static std::optional<std::string> MatchQuery(std::string_view term);

  // The records (No, FolNo, Name, Folder) whose Name matches LIKE '%term%', in No order: the
  // records a scan of Folder1 gives, found through the index when it is complete and can narrow
  // the term, by the scan otherwise. Only with `mayWrite` does it take the queue in, so a
  // catalogue that must not change is scanned. Nullptr when the query fails.
  static std::unique_ptr<RecordSet> Search(Database& db, const std::string& term, bool mayWrite);
};

}  // namespace framework
