#pragma once

// A value handed to the engine from outside: a locate key, and later a value to store.
// Text is UTF-8; an empty text or the empty alternative stands for an empty (NULL) field.

#include <cstdint>
#include <string>
#include <variant>

namespace pdx {

using FieldInput = std::variant<std::monostate, std::int64_t, double, bool, std::string>;

// The input as text: integers in decimal, numbers in their shortest form, true/false.
std::string input_text(const FieldInput& input);
bool input_is_empty(const FieldInput& input);

}  // namespace pdx
