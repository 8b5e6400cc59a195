#include "maintenance/family_copy.h"

#include <stdlib.h>

#include <optional>
#include <system_error>

#include "common/error.h"
#include "engine/table/table_family.h"
#include "engine/table/table_lock.h"
#include "engine/table/table_name.h"

namespace vaq::maintenance {

namespace fs = std::filesystem;

namespace {

fs::path makeScratchFolder(const fs::path& directory) {
    // A leading dot keeps the folder out of every table listing of the directory.
    std::string pattern = (directory / ".vaq-keycopy-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw Error("Cannot make a folder for the copy of a table in " + directory.string() + ".");
    return pattern;
}

}  // namespace

FamilyCopy::FamilyCopy(const fs::path& directory, std::string_view tableName)
    : directory_(directory) {
    pdx::check_table_name(tableName);
    const std::optional<fs::path> file = pdx::find_table_file(directory, tableName);
    if (!file) throw Error("Table does not exist: " + std::string(tableName) + ".");
    tableFile_ = *file;
    folder_ = makeScratchFolder(directory);
    try {
        for (const fs::path& member : pdx::family_files(tableFile_)) {
            const fs::path target = folder_ / member.filename();
            std::error_code error;
            fs::copy_file(member, target, error);
            if (error)
                throw Error("Cannot copy " + member.filename().string() + " before its key is " +
                            "renumbered: " + error.message() + ".");
            copied_.push_back(target);
        }
    } catch (...) {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
        throw;
    }
}

FamilyCopy::~FamilyCopy() {
    if (keep_) return;
    // The copy is only a safety net; a folder that cannot be removed harms nothing.
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
}

void FamilyCopy::restore() {
    keep_ = true;
    pdx::DirectoryLock lock = pdx::DirectoryLock::acquire(directory_);
    const std::vector<fs::path> current =
        fs::exists(tableFile_) ? pdx::family_files(tableFile_) : std::vector<fs::path>{};
    pdx::StagedFamily staged(directory_);
    for (const fs::path& saved : copied_) {
        std::error_code error;
        fs::copy_file(saved, staged.path_of(saved.filename().string()), error);
        if (error)
            throw Error("Cannot put back " + saved.filename().string() + ": " + error.message() +
                        ".");
    }
    staged.commit(current);
    keep_ = false;
}

}  // namespace vaq::maintenance
