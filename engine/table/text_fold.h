#pragma once

#include <string>
#include <string_view>

namespace pdx {

// UTF-8 text with every letter in lower case, for comparisons that ignore letter case
// (field names, case-insensitive locate). Letters beyond ASCII are folded too (Ä and ä).
std::string fold_case(std::string_view utf8);

bool equal_ignoring_case(std::string_view a, std::string_view b);

}  // namespace pdx
