#pragma once
#include <cstdint>
#include <string>

namespace bench {

// What a generated volume holds.
struct TreeSize {
  long items = 0;    // folders and files below the root
  long folders = 0;
};

// Makes a volume of about `items` entries under `root` (created if missing), the same for the same
// seed: about 20 entries per folder of which about one is a folder, files at depth 5 to 8, names of 5 to 40 characters of which a
// fifth are Japanese (a quarter of those decomposed), sparse files of up to a few MB, spread dates.
TreeSize makeTree(const std::string& root, long items, std::uint32_t seed = 1);

// Removes the tree again (any depth, links not followed).
void removeTree(const std::string& root);

}  // namespace bench
