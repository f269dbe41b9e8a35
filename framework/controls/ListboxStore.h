#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "framework/controls/PageMemory.h"

namespace framework {

// The rows of a list in order, each a small fixed record, the texts kept in large shared blocks.
// Appending at the end costs no allocation of its own; inserting and erasing in the middle move at
// most a block's worth of records besides the ones inserted.
class ListboxStore {
 public:
  // One row. Its first cell is head + tail; head, when set, is the start of an earlier row's text.
  struct Rec {
    const char* head = nullptr;
    const char* tail = nullptr;
    std::uint32_t headLength = 0;
    std::uint32_t tailLength = 0;
    std::uint32_t more = 0;  // 1 + the index of the row's further cells; 0 when it has none
    std::uint32_t bits = 0;  // indent, folder and expanded

    static constexpr std::uint32_t kFolder = 1u << 30;
    static constexpr std::uint32_t kExpanded = 1u << 31;
    static constexpr std::uint32_t kMaxIndent = kFolder - 1;
    int indent() const { return static_cast<int>(bits & kMaxIndent); }
    void setIndent(int indent);
    bool flag(std::uint32_t f) const { return (bits & f) != 0; }
    void setFlag(std::uint32_t f, bool on) { bits = on ? (bits | f) : (bits & ~f); }
  };

  std::size_t size() const { return size_; }
  // `i` must be below size().
  Rec& operator[](std::size_t i);
  const Rec& operator[](std::size_t i) const { return const_cast<ListboxStore*>(this)->operator[](i); }

  void push_back(const Rec& r);
  // Inserts `n` records before `pos` (at most size()).
  void insert(std::size_t pos, const Rec* recs, std::size_t n);
  // Erases the records [first, last).
  void erase(std::size_t first, std::size_t last);
  // Drops every record and every text; the memory of a long list goes back to the system soon after.
  void clear();

  // A copy of `text` that stays in place until clear().
  const char* keep(std::string_view text);

 private:
  struct Block {
    PageMemory memory;
    std::size_t size = 0;  // records held
    std::size_t capacity() const { return memory.size() / sizeof(Rec); }
    Rec* recs() const { return reinterpret_cast<Rec*>(memory.data()); }
  };
  // The block holding record `i` and the offset in it; `i` below size().
  std::pair<std::size_t, std::size_t> locate(std::size_t i) const;
  void renumberFrom(std::size_t block);
  Block newBlock() const;

  std::vector<Block> blocks_;
  std::vector<std::size_t> starts_;  // the index of each block's first record
  std::size_t size_ = 0;

  std::vector<PageMemory> texts_;
  std::size_t textUsed_ = 0;  // bytes taken in the last of texts_
};

}  // namespace framework
