#pragma once

// Finding a table's files in its database directory. Paradox names ignore letter case (the
// files come from Windows): `WorkON`, `workon.db` and `WorkOn.DB` are one table, found as
// whatever the directory holds (`WorkON.DB`).

#include <filesystem>
#include <optional>
#include <string_view>

namespace pdx {

// Throws vaq::Error when a table name is empty or would leave the directory (a path
// separator, "..").
void check_table_name(std::string_view name);

// The .DB file of table `name` in `directory`, with or without its extension. Nothing when
// the directory holds no such file. A name found twice in different letter case is taken
// in its exact spelling when one matches it, otherwise it is an error.
std::optional<std::filesystem::path> find_table_file(const std::filesystem::path& directory,
                                                     std::string_view name);

// A member of the family of `table_file` (".MB", ".PX", ".X02" ...), letter case ignored.
std::optional<std::filesystem::path> find_family_file(const std::filesystem::path& table_file,
                                                      std::string_view extension);

// True when the two names are equal ignoring the letter case of ASCII letters.
bool same_file_name(std::string_view a, std::string_view b);

}  // namespace pdx
