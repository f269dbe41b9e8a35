#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

// The paths of a search's hits. The hits come in record order, which follows the discs' folders,
// so the folders met lately are kept: the paths of two generations of them, the older let go at
// once when the newer fills. The memory stays small however many folders a search meets, and
// nothing large is ever rebuilt or freed in one piece.
class PathMemo {
 public:
  // Puts in `up` and `name` the parent (FolNo) and Name of record `no`; false when there is none.
  using Lookup = std::function<bool(std::int32_t no, std::int32_t& up, std::string& name)>;
  // `giveWay` runs after each level a walk looks up (none: it never gives way, as on a thread of
  // its own).
  PathMemo(Lookup lookup, std::function<void()> giveWay) : lookup_(std::move(lookup)), giveWay_(std::move(giveWay)) {}

  // The path of the record `number` named `name` whose parent is `up`: " > " before each level's
  // name, from its disc down; valid until the next call. Imported data can link to a number that
  // names no record, or round in a circle: such a walk ends with what it has found, so the search
  // neither loops nor stops.
  std::string_view pathOf(std::int32_t number, std::int32_t up, std::string_view name, bool folder);

 private:
  void walk(std::int32_t number, std::int32_t up);
  const std::string* find(std::int32_t no);
  const std::string& remember(std::int32_t no, std::string path);

  struct Level {
    std::int32_t no;
    std::string name;
  };
  Lookup lookup_;
  std::function<void()> giveWay_;
  std::unordered_map<std::int32_t, std::string> recent_, older_;  // folders met lately
  std::vector<Level> levels_;                                     // above the hit, from its parent upwards
  std::unordered_set<std::int32_t> seen_;                         // the numbers met on this walk
  bool circle_ = false;                                           // the latest walk went round
  std::string path_;                                              // the latest path
  std::int32_t prefixOf_ = 0;      // the folder whose path starts path_ (0: none)
  std::size_t prefixLength_ = 0;   // and its length
};
