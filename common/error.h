#pragma once

#include <stdexcept>
#include <string>

namespace vaq {

// Every failure in this program is an Error carrying a message for the user: the
// application's error box shows what() as it stands (plus the closing full stop rule).
class Error : public std::runtime_error {
public:
    explicit Error(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace vaq
