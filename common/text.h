#pragma once

#include <string>
#include <string_view>

namespace vaq {

// Names of tables, columns, aliases and indexes are compared without regard to letter case.
// Only ASCII letters fold: the names are ASCII, and folding bytes of other code pages would
// make two different names equal.
constexpr char ascii_lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
constexpr char ascii_upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
std::string ascii_lower(std::string_view text);
std::string ascii_upper(std::string_view text);
bool iequals(std::string_view a, std::string_view b);
bool iless(std::string_view a, std::string_view b);

// Blanks and tabs at either end removed.
std::string_view trim_blanks(std::string_view text);

// Blanks, tabs and line ends: what separates words of a statement or a command line.
bool is_space(char c);
// Blanks, tabs and line ends at either end removed.
std::string_view trim_space(std::string_view text);

}  // namespace vaq
