#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/controls/ListboxStore.h"

namespace framework {

// A view of one row of a list: its cells, its depth in the tree and whether it can expand. Valid
// until the list next changes.
class ListboxRow {
 public:
  // The cells held; a cell beyond them reads "".
  std::size_t cellCount() const { return 1 + (more_ ? more_->size() : 0); }
  std::string cell(std::size_t column) const;

  int indent = 0;
  bool folder = false;
  bool expanded = false;

 private:
  friend class ListboxModel;
  std::string_view head_, tail_;                     // cell 0 is head_ + tail_
  const std::vector<std::string>* more_ = nullptr;  // cells 1 and on
};

// The rows of a list in display order, as one flat sequence, without any Qt.
//
// Row numbers ("flat" indexes) count the rows as the user sees them, including the rows added
// during an expansion. Rows added during an expansion are kept aside and spliced beneath the
// expanding row once, when the expansion ends; the view only ever sees the committed rows.
class ListboxModel {
 public:
  // Told about every change to the committed rows, so a view can follow them.
  class Observer {
   public:
    virtual ~Observer() = default;
    virtual void rowsAppended() {}                     // committed rows grew at the end
    virtual void beforeInsert(int /*pos*/, int /*count*/) {}
    virtual void afterInsert() {}
    virtual void beforeRemove(int /*pos*/, int /*count*/) {}
    virtual void afterRemove() {}
    virtual void beforeReset() {}
    virtual void afterReset() {}
    virtual void rowChanged(int /*committedRow*/) {}  // cells or flags of one committed row
  };

  // Cells beyond this column are refused, so a wild column number cannot exhaust memory.
  static constexpr int kMaxColumns = 256;

  void setObserver(Observer* observer) { observer_ = observer; }

  int count() const;
  // The row added most recently (by append or insert); -1 when none, or when it has gone.
  int lastIndex() const { return lastIndex_; }
  // The row at a flat index, or nothing when out of range.
  std::optional<ListboxRow> row(int flat) const;
  std::string cell(int flat, int column) const;
  // Ignored for a row or column out of range.
  void setCell(int flat, int column, std::string text);

  // Appends a row: during an expansion beneath the expanding row (after the rows it already
  // received, one level deeper), otherwise at the end at indent 0.
  void append(std::string_view text, bool folder);
  // Inserts a plain row at `flat` (clamped to 0..count()), moving the rows from there down.
  void insert(int flat, std::string_view text, int indent);
  void clear();

  // Marks the row expanded and directs appends beneath it until endExpansion. Expansions nest.
  void beginExpansion(int flat);
  // Splices the rows added since beginExpansion beneath the row, in one step.
  void endExpansion();
  bool expanding() const { return !contexts_.empty(); }
  // Marks the row collapsed and removes every row beneath it (the deeper rows that follow it).
  // Returns the number of rows removed.
  int collapse(int flat);

  // The committed rows, as the view shows them.
  int committedCount() const { return static_cast<int>(rows_.size()); }
  ListboxRow committed(int i) const { return view(rows_[static_cast<std::size_t>(i)]); }
  int toFlat(int committedRow) const;
  // The committed index of a flat row; -1 when it is held aside or out of range.
  int toCommitted(int flat) const;
  // Splices the rows held aside now (flat indexes stay the same).
  void commitPending();

 private:
  struct Context {
    int anchor;    // committed index of the expanding row
    int spliceAt;  // committed index where the held-aside rows go
    int indent;    // indent of the rows added
    bool dead;     // the expanding row has gone: appends go to the end
    const void* owner;  // the thread that expands; rows from any other thread go to the end
    bool dropped;  // the list was emptied by another thread: the owner's later rows are stale
  };

  // The innermost expansion that the running thread opened, or nullptr.
  Context* ownContext();

  using Rec = ListboxStore::Rec;
  Rec* rowAt(int flat);
  ListboxRow view(const Rec& r) const;
  void shiftForInsert(int pos, int n, bool atSpliceToo);
  void shiftForErase(int first, int last);

  // Committed rows, their texts and the texts of the rows held aside. A cleared list gives all
  // of it back to the system at once.
  ListboxStore rows_;
  std::vector<Rec> pending_;                        // rows held aside for the innermost expansion
  std::vector<std::vector<std::string>> more_;      // the cells beyond the first, of the rows that have them
  std::vector<Context> contexts_;                   // open expansions, innermost last
  int lastIndex_ = -1;
  // A new row whose first cell begins like the text that began the latest group shares that
  // start; otherwise it begins a group of its own.
  Rec makeRow(std::string_view text);
  std::string_view group_;

  // The most cells a row has had (up to a few): a row's further cells get room for them at once,
  // rather than growing as they are set one by one. A stray wide cell does not widen every row.
  static constexpr std::size_t kRoomForCells = 16;
  std::size_t widest_ = 1;
  Observer* observer_ = nullptr;
};

}  // namespace framework
