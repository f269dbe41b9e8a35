#include "catalogue/PathMemo.h"

namespace {
// Folders kept in each generation.
constexpr std::size_t kGeneration = 16384;
constexpr std::int32_t kNoFolder = 0;
}  // namespace

std::string_view PathMemo::pathOf(std::int32_t number, std::int32_t up, std::string_view name, bool folder) {
  // Hits come in runs beneath one folder: its path stays at the start of the text.
  if (up == 0 || up == number || up != prefixOf_) {
    circle_ = false;
    // Nearly every hit lies in a folder met lately: no walk, no circle to look out for.
    const std::string* known = up != 0 && up != number ? find(up) : nullptr;
    if (known) path_.assign(*known);
    else walk(number, up);
    // A circle's path depends on where it was entered, so it serves no other hit.
    prefixOf_ = circle_ || up == 0 ? kNoFolder : up;
    prefixLength_ = path_.size();
  }
  path_.resize(prefixLength_);
  path_ += " > ";
  path_ += name;
  if (folder && !circle_) remember(number, path_);
  return path_;
}

// Puts in path_ the path of `up` (the parent of `number`) from the catalogue, down from the
// nearest folder already known; sets circle_ when the links go round.
void PathMemo::walk(std::int32_t number, std::int32_t up) {
  levels_.clear();
  seen_.clear();
  seen_.insert(number);
  const std::string* known = nullptr;
  while (up != 0) {
    if (!seen_.insert(up).second) {
      circle_ = true;
      break;
    }
    if ((known = find(up))) break;
    Level& level = levels_.emplace_back(Level{up, {}});
    if (!lookup_(up, up, level.name)) {
      levels_.pop_back();
      break;
    }
    if (giveWay_) giveWay_();
  }
  // Only walks that end at a disc or at a missing parent are kept: in a circle of links the path
  // depends on where it was entered. The known start is taken before anything is kept, since
  // keeping may let its generation go.
  path_.assign(known ? *known : std::string_view());
  for (auto it = levels_.rbegin(); it != levels_.rend(); ++it) {
    path_ += " > ";
    path_ += it->name;
    if (!circle_) remember(it->no, path_);
  }
}

const std::string* PathMemo::find(std::int32_t no) {
  if (auto found = recent_.find(no); found != recent_.end()) return &found->second;
  auto found = older_.find(no);
  if (found == older_.end()) return nullptr;
  std::string path = std::move(found->second);
  older_.erase(found);
  return &remember(no, std::move(path));
}

const std::string& PathMemo::remember(std::int32_t no, std::string path) {
  // The older generation's table is kept for the next one, so only its entries are freed.
  if (recent_.size() >= kGeneration) {
    std::swap(recent_, older_);
    recent_.clear();
  }
  return recent_.insert_or_assign(no, std::move(path)).first->second;
}
