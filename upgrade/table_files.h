#pragma once

// The files of a table in the database directory, as the upgrade tests and secures them.

#include <filesystem>
#include <optional>
#include <string_view>

namespace vaq::upgrade {

// The .DB file a table step tests, given as "\NAME.db": the backslash joins the name to the
// directory. Found without regard to letter case, so that "\Emailalert.DB" finds the
// EmailAlert.DB the step itself creates, and after any table change that was cut off after
// it took effect is finished. Nothing when the directory holds no such table.
std::optional<std::filesystem::path> find_table_file(const std::filesystem::path& directory,
                                                     std::string_view fileName);

// Writes every file of the table's family (the .DB and the files sharing its stem) to disk,
// then the directory's list of entries, so that the rows survive a crash of the machine and
// not only of the process. Throws vaq::Error naming the file the system refused.
void flush_table_to_disk(const std::filesystem::path& table_file);

}  // namespace vaq::upgrade
