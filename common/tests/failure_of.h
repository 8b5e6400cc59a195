#pragma once

// For tests that look at the message of an error rather than only at its being raised.

#include <exception>
#include <string>

namespace vaq::test_support {

// The message of the error `fn` raises; "no error" when it raises none.
template <typename Fn>
std::string failure_of(Fn&& fn) {
    try {
        fn();
    } catch (const std::exception& error) {
        return error.what();
    }
    return "no error";
}

}  // namespace vaq::test_support
