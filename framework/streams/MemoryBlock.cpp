#include "framework/streams/MemoryBlock.h"

#include <algorithm>

namespace framework {

std::string MemoryBlock::PString(std::size_t offset) const {
  if (offset >= bytes_.size()) return {};
  const std::size_t available = bytes_.size() - offset - 1;
  const std::size_t length = std::min<std::size_t>(bytes_[offset], available);
  const auto* first = reinterpret_cast<const char*>(bytes_.data() + offset + 1);
  return std::string(first, length);
}

MemoryBlock NewMemoryBlock(std::size_t size) { return MemoryBlock(size); }

}  // namespace framework
