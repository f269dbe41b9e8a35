#include "framework/controls/ListboxModel.h"

#include <algorithm>

#include "framework/threads/Thread.h"

namespace framework {

namespace {
// A shared start must save more than the sharing costs, and a row's own rest stays short.
constexpr std::size_t kShortestHead = 16;
constexpr std::size_t kLongestTail = 48;
}  // namespace

std::string ListboxRow::cell(std::size_t column) const {
  if (column == 0) {
    std::string text;
    text.reserve(head_.size() + tail_.size());
    text.append(head_).append(tail_);
    return text;
  }
  if (!more_ || column > more_->size()) return {};
  return (*more_)[column - 1];
}

ListboxModel::Rec ListboxModel::makeRow(std::string_view text) {
  Rec r;
  std::size_t k = 0;
  const std::size_t n = std::min(text.size(), group_.size());
  while (k < n && text[k] == group_[k]) ++k;
  if (k >= kShortestHead && text.size() - k <= kLongestTail) {
    r.head = group_.data();
    r.headLength = static_cast<std::uint32_t>(k);
    text.remove_prefix(k);
  }
  r.tail = rows_.keep(text);
  r.tailLength = static_cast<std::uint32_t>(text.size());
  if (!r.head) group_ = {r.tail, text.size()};
  return r;
}

ListboxRow ListboxModel::view(const Rec& r) const {
  ListboxRow v;
  v.indent = r.indent();
  v.folder = r.flag(Rec::kFolder);
  v.expanded = r.flag(Rec::kExpanded);
  if (r.head) v.head_ = {r.head, r.headLength};
  v.tail_ = {r.tail, r.tailLength};
  if (r.more) v.more_ = &more_[r.more - 1];
  return v;
}

int ListboxModel::count() const { return static_cast<int>(rows_.size() + pending_.size()); }

ListboxModel::Rec* ListboxModel::rowAt(int flat) {
  if (flat < 0 || flat >= count()) return nullptr;
  const auto f = static_cast<std::size_t>(flat);
  if (pending_.empty()) return &rows_[f];
  const auto s = static_cast<std::size_t>(contexts_.back().spliceAt);
  if (f < s) return &rows_[f];
  if (f < s + pending_.size()) return &pending_[f - s];
  return &rows_[f - pending_.size()];
}

std::optional<ListboxRow> ListboxModel::row(int flat) const {
  const Rec* r = const_cast<ListboxModel*>(this)->rowAt(flat);
  if (!r) return std::nullopt;
  return view(*r);
}

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
  const std::optional<ListboxRow> r = row(flat);
  if (!r || column < 0) return {};
  return r->cell(static_cast<std::size_t>(column));
}

void ListboxModel::setCell(int flat, int column, std::string text) {
  Rec* r = rowAt(flat);
  if (!r || column < 0 || column >= kMaxColumns) return;
  const auto c = static_cast<std::size_t>(column);
  if (c == 0) {
    r->head = nullptr;
    r->headLength = 0;
    r->tail = rows_.keep(text);
    r->tailLength = static_cast<std::uint32_t>(text.size());
  } else {
    widest_ = std::clamp(c + 1, widest_, kRoomForCells);
    if (!r->more) {
      more_.emplace_back().reserve(widest_ - 1);
      r->more = static_cast<std::uint32_t>(more_.size());
    }
    std::vector<std::string>& cells = more_[r->more - 1];
    if (cells.size() < c) cells.resize(c);
    cells[c - 1] = std::move(text);
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
  Rec r = makeRow(text);
  r.setFlag(Rec::kFolder, folder);
  const Context* own = ownContext();
  if (own && own->dropped) {
    // The children of a row that another thread has taken away with the whole list.
    lastIndex_ = -1;
    return;
  }
  if (own && !own->dead) {
    const Context& ctx = contexts_.back();
    r.setIndent(ctx.indent);
    pending_.push_back(r);
    lastIndex_ = ctx.spliceAt + static_cast<int>(pending_.size()) - 1;
    return;
  }
  // A dead expansion has nothing held aside, so the end of rows_ is the end of the list.
  rows_.push_back(r);
  lastIndex_ = count() - 1;
  if (observer_) observer_->rowsAppended();
}

void ListboxModel::insert(int flat, std::string_view text, int indent) {
  commitPending();
  const int pos = std::clamp(flat, 0, count());
  Rec r = makeRow(text);
  r.setIndent(indent);
  if (observer_) observer_->beforeInsert(pos, 1);
  rows_.insert(static_cast<std::size_t>(pos), &r, 1);
  shiftForInsert(pos, 1, false);
  lastIndex_ = pos;
  if (observer_) observer_->afterInsert();
}

void ListboxModel::clear() {
  commitPending();
  if (observer_) observer_->beforeReset();
  rows_.clear();
  more_ = {};
  group_ = {};
  for (Context& ctx : contexts_) {
    ctx.dead = true;
    if (ctx.owner != CurrentThread()) ctx.dropped = true;
  }
  lastIndex_ = -1;
  if (observer_) observer_->afterReset();
}

void ListboxModel::beginExpansion(int flat) {
  commitPending();
  Rec* r = rowAt(flat);
  if (!r) {
    // Still opened, so that every endExpansion closes its own beginExpansion.
    contexts_.push_back(Context{-1, 0, 0, true, CurrentThread(), false});
    return;
  }
  r->setFlag(Rec::kExpanded, true);
  const int indent = r->indent();
  if (observer_) observer_->rowChanged(flat);
  contexts_.push_back(Context{flat, flat + 1, indent + 1, false, CurrentThread(), false});
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
  rows_.insert(static_cast<std::size_t>(pos), pending_.data(), pending_.size());
  pending_.clear();
  // Later rows of this expansion, and of the ones around it, go after the rows spliced now.
  shiftForInsert(pos, n, true);
  if (observer_) observer_->afterInsert();
}

int ListboxModel::collapse(int flat) {
  commitPending();
  Rec* r = rowAt(flat);
  if (!r) return 0;
  r->setFlag(Rec::kExpanded, false);
  const int indent = r->indent();
  if (observer_) observer_->rowChanged(flat);
  int end = flat + 1;
  while (end < committedCount() && rows_[static_cast<std::size_t>(end)].indent() > indent) ++end;
  const int n = end - flat - 1;
  if (n == 0) return 0;
  if (observer_) observer_->beforeRemove(flat + 1, n);
  rows_.erase(static_cast<std::size_t>(flat + 1), static_cast<std::size_t>(end));
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
