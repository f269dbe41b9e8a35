#pragma once
#include <cstddef>
#include <cstdint>

namespace framework {

// One code of the Mac OS Japanese encoding (one byte, or lead byte << 8 | trail byte) and the
// Unicode scalars it stands for: `count` scalars from `first` in macJapaneseScalars.
struct MacJapaneseEntry {
  std::uint16_t code;
  std::uint16_t first;
  std::uint8_t count;
};

// The whole mapping, compiled in from data/macjapanese.tsv, in the file's order.
extern const MacJapaneseEntry macJapaneseEntries[];
extern const std::size_t macJapaneseEntryCount;
extern const char32_t macJapaneseScalars[];

}  // namespace framework
