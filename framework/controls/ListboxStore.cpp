#include "framework/controls/ListboxStore.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace framework {

namespace {
constexpr std::size_t kPage = 4096;
// A small list takes a page or two; a long one grows in blocks of some thousand rows and large text
// blocks, few enough that freeing them all is quick.
constexpr std::size_t kLargestRecordBlock = 256 * 1024;
constexpr std::size_t kLargestTextBlock = 1024 * 1024;
// Blocks enough (some hundred megabytes) that the system takes a noticeable while to take them back.
constexpr std::size_t kReleasedLater = 64;

std::size_t growing(std::size_t count, std::size_t largest) {
  return count >= 16 ? largest : std::min(kPage << count, largest);
}
}  // namespace

void ListboxStore::Rec::setIndent(int indent) {
  const auto i = static_cast<std::uint32_t>(std::clamp<long long>(indent, 0, kMaxIndent));
  bits = (bits & ~kMaxIndent) | i;
}

ListboxStore::Block ListboxStore::newBlock() const {
  Block b;
  b.memory = PageMemory(growing(blocks_.size(), kLargestRecordBlock));
  return b;
}

std::pair<std::size_t, std::size_t> ListboxStore::locate(std::size_t i) const {
  // Most reads are of the newest rows.
  std::size_t b = blocks_.size() - 1;
  if (i < starts_[b]) b = static_cast<std::size_t>(std::upper_bound(starts_.begin(), starts_.end(), i) - starts_.begin()) - 1;
  return {b, i - starts_[b]};
}

ListboxStore::Rec& ListboxStore::operator[](std::size_t i) {
  const auto [b, off] = locate(i);
  return blocks_[b].recs()[off];
}

void ListboxStore::renumberFrom(std::size_t block) {
  for (std::size_t j = block; j < blocks_.size(); ++j) starts_[j] = j == 0 ? 0 : starts_[j - 1] + blocks_[j - 1].size;
}

void ListboxStore::push_back(const Rec& r) {
  if (blocks_.empty() || blocks_.back().size == blocks_.back().capacity()) {
    blocks_.push_back(newBlock());
    starts_.push_back(size_);
  }
  Block& last = blocks_.back();
  last.recs()[last.size++] = r;
  ++size_;
}

void ListboxStore::insert(std::size_t pos, const Rec* recs, std::size_t n) {
  if (pos >= size_) {
    for (std::size_t k = 0; k < n; ++k) push_back(recs[k]);
    return;
  }
  if (n == 0) return;
  const auto [b, off] = locate(pos);
  Block& at = blocks_[b];
  if (at.size + n <= at.capacity()) {
    std::copy_backward(at.recs() + off, at.recs() + at.size, at.recs() + at.size + n);
    std::copy(recs, recs + n, at.recs() + off);
    at.size += n;
  } else {
    // The block's rows from `pos` on follow the new ones, into blocks made after it as needed.
    std::vector<Rec> moved(at.recs() + off, at.recs() + at.size);
    at.size = off;
    std::size_t cur = b;
    const auto put = [&](const Rec& r) {
      if (blocks_[cur].size == blocks_[cur].capacity()) {
        ++cur;
        blocks_.insert(blocks_.begin() + static_cast<std::ptrdiff_t>(cur), newBlock());
        starts_.insert(starts_.begin() + static_cast<std::ptrdiff_t>(cur), 0);
      }
      Block& into = blocks_[cur];
      into.recs()[into.size++] = r;
    };
    for (std::size_t k = 0; k < n; ++k) put(recs[k]);
    for (const Rec& r : moved) put(r);
  }
  size_ += n;
  renumberFrom(b + 1);
}

void ListboxStore::erase(std::size_t first, std::size_t last) {
  last = std::min(last, size_);
  if (first >= last) return;
  auto [b, off] = locate(first);
  const std::size_t from = b;
  std::size_t left = last - first;
  while (left > 0) {
    Block& blk = blocks_[b];
    const std::size_t take = std::min(left, blk.size - off);
    std::copy(blk.recs() + off + take, blk.recs() + blk.size, blk.recs() + off);
    blk.size -= take;
    left -= take;
    if (blk.size == 0) {
      blocks_.erase(blocks_.begin() + static_cast<std::ptrdiff_t>(b));
      starts_.erase(starts_.begin() + static_cast<std::ptrdiff_t>(b));
    } else {
      ++b;
    }
    off = 0;
  }
  size_ -= last - first;
  renumberFrom(from);
}

void ListboxStore::clear() {
  std::vector<PageMemory> memory = std::move(texts_);
  if (blocks_.size() + memory.size() >= kReleasedLater) {
    for (Block& b : blocks_) memory.push_back(std::move(b.memory));
    ReleaseLater(std::move(memory));
  }
  std::vector<Block>().swap(blocks_);
  std::vector<std::size_t>().swap(starts_);
  size_ = 0;
  texts_.clear();
  textUsed_ = 0;
}

const char* ListboxStore::keep(std::string_view text) {
  if (text.empty()) return "";
  if (texts_.empty() || texts_.back().size() - textUsed_ < text.size()) {
    texts_.emplace_back(std::max(growing(texts_.size(), kLargestTextBlock), text.size()));
    textUsed_ = 0;
  }
  char* at = texts_.back().data() + textUsed_;
  std::memcpy(at, text.data(), text.size());
  textUsed_ += text.size();
  return at;
}

}  // namespace framework
