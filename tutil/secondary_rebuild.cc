#include "tutil/secondary_rebuild.h"

#include "common/error.h"

namespace tutil {

void rebuild_secondary_indexes(const TableFamily& old_family,
                               const std::filesystem::path& new_table,
                               const std::filesystem::path& folder) {
    (void)new_table;
    (void)folder;
    if (!old_family.secondary.empty())
        throw vaq::Error(old_family.table.filename().string() +
                         " has secondary indexes, which cannot be rebuilt yet; it was not "
                         "rebuilt.");
}

}  // namespace tutil
