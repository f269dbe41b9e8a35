#pragma once
#include <string>
#include <string_view>

namespace framework {

// The framework's text: UTF-8 bytes (names from a volume may be ill-formed and are kept as they are).
using String = std::string;

// The one text equality of the framework: letter case is ignored, everything else compares exactly.
bool textEquals(std::string_view a, std::string_view b);

// A text read as a decimal number, as far as it reads as one ("12abc" is 12, "abc" is 0), with a
// point as the decimal mark whatever the user's locale.
double Val(std::string_view text);

}  // namespace framework
