#pragma once

// The engine's own version, for the programs that report what they run on.

#include <string>

namespace pdx {

// "1.5.3 (Paradox table levels 3, 4, 5 and 7)".
std::string engine_version();

}  // namespace pdx
