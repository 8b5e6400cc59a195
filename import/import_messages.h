#pragma once

// The texts of the import's errors: values as a message may show them, and the line an
// import stopped at with what it stored before.

#include <cstdint>
#include <string>
#include <string_view>

namespace vaq::import {

// The longest value, in characters, that a message quotes whole.
inline constexpr std::size_t kQuotedCharacters = 60;

// A value as a message shows it: control characters, NULs and bytes that are no UTF-8 as
// \xNN, and cut after 60 characters with "…".
std::string shown_value(std::string_view value);

// A message with every value it quotes ('...') shown as shown_value shows it, and no
// control character or stray byte elsewhere.
std::string shown_message(std::string_view message);

// "Line 3: <cause>. Lines 1-2 were imported (2 records)." for an import that began at
// `firstLine` and stored `records` records before it stopped at `line`.
std::string stopped_at_line(std::uint64_t line, std::string_view cause, std::uint64_t firstLine,
                            std::uint64_t records);

}  // namespace vaq::import
