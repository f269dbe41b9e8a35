#pragma once
#include <cstddef>
#include <vector>

namespace framework {

// Memory taken straight from the system in whole pages and given back whole, so that a list of
// millions of rows is freed in a few calls and leaves no scattered blocks behind.
class PageMemory {
 public:
  PageMemory() = default;
  explicit PageMemory(std::size_t bytes);  // throws std::bad_alloc
  PageMemory(PageMemory&& other) noexcept;
  PageMemory& operator=(PageMemory&& other) noexcept;
  ~PageMemory();
  char* data() const { return data_; }
  std::size_t size() const { return size_; }

 private:
  char* data_ = nullptr;
  std::size_t size_ = 0;
};

// Gives the blocks back to the system on a thread of its own, one by one, so that emptying a long
// list does not hold up the window while the system takes back hundreds of megabytes.
void ReleaseLater(std::vector<PageMemory> blocks);

}  // namespace framework
