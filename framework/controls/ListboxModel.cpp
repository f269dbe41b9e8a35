#include "framework/controls/ListboxModel.h"

#include <algorithm>
#include <iterator>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "framework/threads/Thread.h"

namespace framework {

namespace {
// A shared start must save more than the sharing costs, and a row's own rest stays short.
constexpr std::size_t kShortestHead = 16;
constexpr std::size_t kLongestTail = 48;
// Rows enough that giving their memory back to the system is worth a moment.
constexpr std::size_t kLargeList = 100'000;
}  // namespace

std::string ListboxRow::cell(std::size_t column) const {
  if (column == 0) {
    if (!head_) return tail_;
    std::string text;
    text.reserve(headLength_ + tail_.size());
    text.append(*head_, 0, headLength_).append(tail_);
    return text;
  }
  if (!more_ || column > more_->size()) return {};
  return (*more_)[column - 1];
}

ListboxRow ListboxModel::makeRow(std::string_view text) {
  ListboxRow r;
  std::size_t k = 0;
  const std::size_t n = std::min(text.size(), groupText_.size());
  while (k < n && text[k] == groupText_[k]) ++k;
  if (k >= kShortestHead && text.size() - k <= kLongestTail) {
    if (!groupHead_) groupHead_ = std::make_shared<const std::string>(groupText_);
    r.head_ = groupHead_;
    r.headLength_ = static_cast<std::uint32_t>(k);
    r.tail_.assign(text.substr(k));
  } else {
    groupText_.assign(text);
    groupHead_.reset();
    r.tail_.assign(text);
  }
  if (widest_ > 1) {
    r.more_ = std::make_unique<std::vector<std::string>>();
    r.more_->reserve(widest_ - 1);
  }
  return r;
}

int ListboxModel::count() const { return static_cast<int>(rows_.size() + pending_.size()); }

ListboxRow* ListboxModel::rowAt(int flat) {
  if (flat < 0 || flat >= count()) return nullptr;
  const auto f = static_cast<std::size_t>(flat);
  if (pending_.empty()) return &rows_[f];
  const auto s = static_cast<std::size_t>(contexts_.back().spliceAt);
  if (f < s) return &rows_[f];
  if (f < s + pending_.size()) return &pending_[f - s];
  return &rows_[f - pending_.size()];
}

const ListboxRow* ListboxModel::row(int flat) const { return const_cast<ListboxModel*>(this)->rowAt(flat); }

int ListboxModel::toFlat(int committedRow) const {
  if (pending_.empty() || committedRow < contexts_.back().spliceAt) return committedRow;
  return committedRow + static_cast<int>(pending_.size());
}

int ListboxModel::toCommitted(int flat) const {
  if (flat < 0 || flat >= count()) return -1;
  if (pending_.empty()) return flat;
  const int s = contexts_.back().spliceAt;
  const int n = static_cast<int>(pending_.size());
  if (flat < s) return flat;
  if (flat < s + n) return -1;
  return flat - n;
}

std::string ListboxModel::cell(int flat, int column) const {
  const ListboxRow* r = row(flat);
  if (!r || column < 0) return {};
  return r->cell(static_cast<std::size_t>(column));
}

void ListboxModel::setCell(int flat, int column, std::string text) {
  ListboxRow* r = rowAt(flat);
  if (!r || column < 0 || column >= kMaxColumns) return;
  const auto c = static_cast<std::size_t>(column);
  if (c == 0) {
    r->head_.reset();
    r->headLength_ = 0;
    r->tail_ = std::move(text);
  } else {
    widest_ = std::clamp(c + 1, widest_, kRoomForCells);
    if (!r->more_) r->more_ = std::make_unique<std::vector<std::string>>();
    if (r->more_->size() < c) {
      r->more_->reserve(std::max(widest_, c + 1) - 1);
      r->more_->resize(c);
    }
    (*r->more_)[c - 1] = std::move(text);
  }
  const int committedRow = toCommitted(flat);
  if (observer_ && committedRow >= 0) observer_->rowChanged(committedRow);
}

ListboxModel::Context* ListboxModel::ownContext() {
  if (contexts_.empty()) return nullptr;
  // A reading thread may rebuild the list while the main thread is inside an expansion that
  // yields, and the other way round: each thread's rows must go where that thread means them.
  return contexts_.back().owner == CurrentThread() ? &contexts_.back() : nullptr;
}

void ListboxModel::append(std::string_view text, bool folder) {
  ListboxRow r = makeRow(text);
  r.folder = folder;
  const Context* own = ownContext();
  if (own && own->dropped) {
    // The children of a row that another thread has taken away with the whole list.
    lastIndex_ = -1;
    return;
  }
  if (own && !own->dead) {
    const Context& ctx = contexts_.back();
    r.indent = ctx.indent;
    pending_.push_back(std::move(r));
    lastIndex_ = ctx.spliceAt + static_cast<int>(pending_.size()) - 1;
    return;
  }
  // A dead expansion has nothing held aside, so the end of rows_ is the end of the list.
  rows_.push_back(std::move(r));
  lastIndex_ = count() - 1;
  if (observer_) observer_->rowsAppended();
}

void ListboxModel::insert(int flat, std::string_view text, int indent) {
  commitPending();
  const int pos = std::clamp(flat, 0, count());
  ListboxRow r = makeRow(text);
  r.indent = std::max(0, indent);
  if (observer_) observer_->beforeInsert(pos, 1);
  rows_.insert(rows_.begin() + pos, std::move(r));
  shiftForInsert(pos, 1, false);
  lastIndex_ = pos;
  if (observer_) observer_->afterInsert();
}

void ListboxModel::clear() {
  commitPending();
  if (observer_) observer_->beforeReset();
  const bool large = rows_.size() >= kLargeList;
  rows_.clear();
  // A cleared list gives its memory back.
  rows_.shrink_to_fit();
  groupText_.clear();
  groupText_.shrink_to_fit();
  groupHead_.reset();
#ifdef __GLIBC__
  // The freed rows lie scattered among other blocks; without this the next large list would
  // grow the process further instead of reusing them.
  if (large) malloc_trim(0);
#endif
  for (Context& ctx : contexts_) {
    ctx.dead = true;
    if (ctx.owner != CurrentThread()) ctx.dropped = true;
  }
  lastIndex_ = -1;
  if (observer_) observer_->afterReset();
}

void ListboxModel::beginExpansion(int flat) {
  commitPending();
  ListboxRow* r = rowAt(flat);
  if (!r) {
    // Still opened, so that every endExpansion closes its own beginExpansion.
    contexts_.push_back(Context{-1, 0, 0, true, CurrentThread(), false});
    return;
  }
  r->expanded = true;
  if (observer_) observer_->rowChanged(flat);
  contexts_.push_back(Context{flat, flat + 1, r->indent + 1, false, CurrentThread(), false});
}

void ListboxModel::endExpansion() {
  if (contexts_.empty()) return;
  commitPending();
  contexts_.pop_back();
}

void ListboxModel::commitPending() {
  if (pending_.empty()) return;
  const int pos = contexts_.back().spliceAt;
  const int n = static_cast<int>(pending_.size());
  if (observer_) observer_->beforeInsert(pos, n);
  rows_.insert(rows_.begin() + pos, std::make_move_iterator(pending_.begin()),
               std::make_move_iterator(pending_.end()));
  pending_.clear();
  // Later rows of this expansion, and of the ones around it, go after the rows spliced now.
  shiftForInsert(pos, n, true);
  if (observer_) observer_->afterInsert();
}

int ListboxModel::collapse(int flat) {
  commitPending();
  ListboxRow* r = rowAt(flat);
  if (!r) return 0;
  r->expanded = false;
  if (observer_) observer_->rowChanged(flat);
  const int indent = r->indent;
  int end = flat + 1;
  while (end < committedCount() && rows_[static_cast<std::size_t>(end)].indent > indent) ++end;
  const int n = end - flat - 1;
  if (n == 0) return 0;
  if (observer_) observer_->beforeRemove(flat + 1, n);
  rows_.erase(rows_.begin() + flat + 1, rows_.begin() + end);
  shiftForErase(flat + 1, end);
  if (observer_) observer_->afterRemove();
  return n;
}

void ListboxModel::shiftForInsert(int pos, int n, bool atSpliceToo) {
  for (Context& ctx : contexts_) {
    if (ctx.anchor >= pos) ctx.anchor += n;
    if (ctx.spliceAt > pos || (atSpliceToo && ctx.spliceAt == pos)) ctx.spliceAt += n;
  }
  if (lastIndex_ >= pos && !atSpliceToo) lastIndex_ += n;
}

void ListboxModel::shiftForErase(int first, int last) {
  const int n = last - first;
  for (Context& ctx : contexts_) {
    if (ctx.anchor >= first && ctx.anchor < last) ctx.dead = true;
    else if (ctx.anchor >= last) ctx.anchor -= n;
    if (ctx.spliceAt >= last) ctx.spliceAt -= n;
    else if (ctx.spliceAt > first) ctx.spliceAt = first;
  }
  if (lastIndex_ >= first && lastIndex_ < last) lastIndex_ = -1;
  else if (lastIndex_ >= last) lastIndex_ -= n;
}

}  // namespace framework
