#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace framework {

// A zero-filled block of bytes of a fixed size.
class MemoryBlock {
 public:
  explicit MemoryBlock(std::size_t size) : bytes_(size, 0) {}

  std::size_t Size() const { return bytes_.size(); }
  std::uint8_t* data() { return bytes_.data(); }
  const std::uint8_t* data() const { return bytes_.data(); }

  // The length-prefixed string at `offset`: the byte there gives the length n, the next n bytes the
  // text. Cut short at the block's end; "" when `offset` lies outside the block.
  std::string PString(std::size_t offset) const;

 private:
  std::vector<std::uint8_t> bytes_;
};

MemoryBlock NewMemoryBlock(std::size_t size);

}  // namespace framework
