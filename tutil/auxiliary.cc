#include "tutil/auxiliary.h"

#include <string>

#include "engine/api/config.h"
#include "engine/api/engine_error.h"
#include "engine/table/table_name.h"

namespace tutil {

namespace fs = std::filesystem;

fs::path auxiliary_folder(const fs::path& table) {
    const fs::path folder = pdx::privateDirectory() / table.stem();
    std::error_code error;
    if (!fs::is_directory(folder, error)) {
        fs::create_directory(folder, error);
        if (!error) fs::permissions(folder, fs::perms::owner_all, error);
        if (error)
            throw pdx::EngineError(
                pdx::DBIERR_OSACCESS,
                "Cannot create the folder " + folder.string() + ": " + error.message());
    }
    return folder;
}

fs::path auxiliary_table(const fs::path& folder, std::string_view name, const char* what) {
    const fs::path file(name);
    if (name.empty() || file.has_parent_path() || name.find('\\') != std::string_view::npos ||
        name == "." || name == ".." || !pdx::same_file_name(file.extension().string(), ".DB"))
        throw pdx::EngineError(pdx::DBIERR_INVALIDPARAM,
                               std::string(what) +
                                   " must be a table name ending in .DB, without "
                                   "a folder: " +
                                   std::string(name));
    return folder / file;
}

void write_verification(const fs::path& target, const Verification& verification) {
    // The findings table is written once the engine can create tables.
    (void)target;
    (void)verification;
}

}  // namespace tutil
