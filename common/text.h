#pragma once

#include <string>
#include <string_view>

namespace vaq {

// Names of tables, columns, aliases and indexes are compared without regard to letter case.
// Only ASCII letters fold: the names are ASCII, and folding bytes of other code pages would
// make two different names equal.
constexpr char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
constexpr char asciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
std::string asciiLower(std::string_view text);
std::string asciiUpper(std::string_view text);
bool iequals(std::string_view a, std::string_view b);
bool iless(std::string_view a, std::string_view b);

// Blanks and tabs at either end removed.
std::string_view trimBlanks(std::string_view text);

// Blanks, tabs and line ends: what separates words of a statement or a command line.
bool isSpace(char c);
// Blanks, tabs and line ends at either end removed.
std::string_view trimSpace(std::string_view text);

}  // namespace vaq
