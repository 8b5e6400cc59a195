#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace pdx {

// The tables of a database directory: the files whose extension is .DB in any letter case
// and whose file name matches the pattern ('*' and '?' wildcards, letter case ignored;
// "*.*" matches every table). Names are the file names as stored, with the extension when
// `extensions` is true, sorted without regard to letter case. A directory of Paradox tables
// holds no system tables, so `systemTables` adds nothing. Throws EngineError:
// "Directory does not exist: /x", or the operating system's reason for an unreadable one.
std::vector<std::string> list_tables(const std::filesystem::path& directory,
                                     std::string_view pattern = "*.*", bool extensions = true,
                                     bool systemTables = false);

// The same for the directory of an alias.
std::vector<std::string> list_alias_tables(std::string_view alias_name,
                                           std::string_view pattern = "*.*", bool extensions = true,
                                           bool systemTables = false);

// True when the name matches the wildcard pattern, letter case ignored.
bool matches_pattern(std::string_view name, std::string_view pattern);

}  // namespace pdx
