#pragma once

// The files of one table's family in its directory, found without regard to letter case:
// the .DB, its primary index .PX, blob file .MB, validity file .VAL and each secondary index
// with its tree (.Xnn/.Ynn, .XGn/.YGn), and every other file of the same name (.TV, .FAM ...).

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "engine/format/index_header.h"

namespace vaq::tutil {

struct SecondaryFiles {
    pdx::IndexSuffix suffix;
    std::optional<std::filesystem::path> index;  // the X file
    std::optional<std::filesystem::path> tree;   // the Y file
};

struct TableFamily {
    std::filesystem::path table;
    std::optional<std::filesystem::path> primary_index;
    std::optional<std::filesystem::path> blobs;
    std::optional<std::filesystem::path> validity;
    std::vector<SecondaryFiles> secondary;       // by suffix; one of the two files may be missing
    std::vector<std::filesystem::path> members;  // every file of the family, the .DB included

    // Lists the family of the .DB file at `table`. Lock files (.LCK) are not members.
    static TableFamily of(const std::filesystem::path& table);
};

}  // namespace vaq::tutil
