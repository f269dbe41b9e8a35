#include "framework/controls/ListboxStore.h"

#include "support/Wait.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>

#include <algorithm>
#include <string>
#include <vector>

using framework::ListboxStore;

namespace {

// A store beside the plain sequence it must equal; each row's text is its number.
class Mirror {
 public:
  ListboxStore::Rec rec(int id) {
    const std::string text = std::to_string(id);
    ListboxStore::Rec r;
    r.tail = store.keep(text);
    r.tailLength = static_cast<std::uint32_t>(text.size());
    r.setIndent(id % 7);
    return r;
  }
  void append(int from, int count) {
    for (int id = from; id < from + count; ++id) {
      store.push_back(rec(id));
      ids.push_back(id);
    }
  }
  void insert(std::size_t pos, int from, int count) {
    std::vector<ListboxStore::Rec> recs;
    for (int id = from; id < from + count; ++id) recs.push_back(rec(id));
    store.insert(pos, recs.data(), recs.size());
    std::vector<int> added;
    for (int id = from; id < from + count; ++id) added.push_back(id);
    ids.insert(ids.begin() + static_cast<std::ptrdiff_t>(pos), added.begin(), added.end());
  }
  void erase(std::size_t first, std::size_t last) {
    store.erase(first, last);
    ids.erase(ids.begin() + static_cast<std::ptrdiff_t>(first), ids.begin() + static_cast<std::ptrdiff_t>(last));
  }
  // Empty when the store holds the same rows in the same order.
  std::string mismatch() const {
    if (store.size() != ids.size())
      return "size " + std::to_string(store.size()) + " instead of " + std::to_string(ids.size());
    for (std::size_t i = 0; i < ids.size(); ++i) {
      const ListboxStore::Rec& r = store[i];
      const std::string text(r.tail, r.tailLength);
      if (text != std::to_string(ids[i]) || r.indent() != ids[i] % 7)
        return "row " + std::to_string(i) + " reads " + text + " instead of " + std::to_string(ids[i]);
    }
    return {};
  }

  ListboxStore store;
  std::vector<int> ids;
};

TEST(ListboxStoreTest, InsertsAndErasesAcrossBlockEdgesKeepEveryRowInOrder) {
  Mirror m;
  m.append(0, 20'000);
  ASSERT_EQ(m.mismatch(), "");
  int next = 100'000;
  // Single rows at both ends, at the edges of the first small blocks and deep inside.
  for (std::size_t pos : {std::size_t{0}, std::size_t{127}, std::size_t{128}, std::size_t{129}, std::size_t{384},
                          std::size_t{10'000}, m.ids.size() - 1, m.ids.size() + 1}) {
    m.insert(std::min(pos, m.ids.size()), next++, 1);
    ASSERT_EQ(m.mismatch(), "") << "one row at " << pos;
  }
  // Many rows into the middle of a full block: more than any block holds.
  m.insert(5'000, next, 12'000);
  next += 12'000;
  ASSERT_EQ(m.mismatch(), "");
  // A few rows into each of the blocks the large insert left behind.
  for (std::size_t pos = 4'000; pos < 20'000; pos += 997) {
    m.insert(pos, next, 3);
    next += 3;
  }
  ASSERT_EQ(m.mismatch(), "");

  struct Cut {
    std::size_t first, last;
  };
  for (Cut c : {Cut{10, 20}, Cut{100, 9'000}, Cut{0, 300}, Cut{7'000, 7'001}}) {
    m.erase(c.first, c.last);
    ASSERT_EQ(m.mismatch(), "") << "erasing " << c.first << ".." << c.last;
  }
  m.erase(m.ids.size() - 2'000, m.ids.size());
  ASSERT_EQ(m.mismatch(), "");
  // Rows inserted where whole blocks were erased, then appended after them.
  m.insert(100, next, 5'000);
  next += 5'000;
  m.append(next, 5'000);
  ASSERT_EQ(m.mismatch(), "");

  m.erase(0, m.ids.size());
  ASSERT_EQ(m.mismatch(), "");
  m.append(0, 10);
  m.insert(5, 50, 2);
  EXPECT_EQ(m.mismatch(), "");
}

TEST(ListboxStoreTest, ATextLargerThanATextBlockIsKeptWholeAndTheTextsAroundItToo) {
  ListboxStore store;
  const std::string huge(3 * 1024 * 1024 + 5, 'x');
  const char* before = store.keep("before");
  const char* big = store.keep(huge);
  const char* after = store.keep("after");
  EXPECT_EQ(std::string(before, 6), "before");
  EXPECT_EQ(std::string(big, huge.size()), huge);
  EXPECT_EQ(std::string(after, 5), "after");

  // A cleared store takes rows and texts again.
  store.clear();
  EXPECT_EQ(store.size(), 0u);
  ListboxStore::Rec r;
  r.tail = store.keep("again");
  r.tailLength = 5;
  store.push_back(r);
  EXPECT_EQ(std::string(store[0].tail, store[0].tailLength), "again");
}

// Whether the page holding `p` is still mapped into the process.
bool mapped(const void* p) {
  const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  unsigned char resident = 0;
  void* start = reinterpret_cast<void*>(reinterpret_cast<std::uintptr_t>(p) / page * page);
  return mincore(start, 1, &resident) == 0 || errno != ENOMEM;
}

TEST(ListboxStoreTest, AClearedLongStoreGivesAllItsMemoryBackSoonAfter) {
  Mirror m;
  m.append(0, 1'000'000);
  const void* firstRow = &m.store[0];
  const void* lastRow = &m.store[m.store.size() - 1];
  const void* firstText = m.store[0].tail;
  const void* lastText = m.store[m.store.size() - 1].tail;
  m.store.clear();
  EXPECT_EQ(m.store.size(), 0u);
  EXPECT_TRUE(waitUntil([&] { return !mapped(firstRow) && !mapped(lastRow) && !mapped(firstText) && !mapped(lastText); }));
}

}  // namespace
