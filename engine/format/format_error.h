#pragma once

#include <string>

#include "common/error.h"

namespace pdx {

// A file that does not hold what the Paradox format allows: damaged, truncated, foreign,
// or using a feature this engine cannot read. The message names the file and the fault.
class FormatError : public vaq::Error {
  public:
    explicit FormatError(const std::string& message) : vaq::Error(message) {}
};

}  // namespace pdx
