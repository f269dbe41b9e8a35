#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace framework {

// Decomposed UTF-8 to composed UTF-8: base characters with their combining marks, and Hangul jamo,
// are composed canonically; everything else, already composed characters included, stays exactly as
// it is (nothing is decomposed, no compatibility or singleton mapping). Ill-formed UTF-8 gives none.
std::optional<std::string> ComposeUtf8(std::string_view decomposedUtf8);

}  // namespace framework
