#include "upgrade/table_files.h"

#include <string>

#include "common/text.h"
#include "engine/format/file.h"
#include "engine/table/table_family.h"
#include "engine/table/table_name.h"

namespace vaq::upgrade {

namespace fs = std::filesystem;

std::optional<fs::path> find_table_file(const fs::path& directory, std::string_view fileName) {
    while (!fileName.empty() && (fileName.front() == '\\' || fileName.front() == '/'))
        fileName.remove_prefix(1);
    // A table change that an error or a crash cut off after it took effect is finished
    // first, so that a table created by it is found.
    pdx::recover_family_changes(directory);
    return pdx::find_table_file(directory, fileName);
}

void flush_table_to_disk(const fs::path& table_file) {
    const std::string stem = table_file.stem().string();
    for (const fs::directory_entry& entry : fs::directory_iterator(table_file.parent_path())) {
        if (entry.is_regular_file() && iequals(entry.path().stem().string(), stem))
            pdx::File::open(entry.path()).sync();
    }
    pdx::sync_directory(table_file.parent_path());
}

}  // namespace vaq::upgrade
