#pragma once

// The secondary indexes of a rebuilt table: every index of the old family whose definition
// can still be read is written anew, beside the new table, from its records.

#include <filesystem>
#include <string>
#include <vector>

#include "tutil/family.h"

namespace vaq::tutil {

// A secondary index of the old family the rebuild could not write anew.
struct DroppedIndex {
    std::string file;                 // its X file ("Door.XG0"), which may be missing
    std::vector<std::string> fields;  // the fields it was on, as far as they are known
    std::string reason;
};

// `new_table` is the complete new .DB (with its .PX) in `folder`. Returns the indexes it left
// out: those whose definition was lost with their X file.
std::vector<DroppedIndex> rebuild_secondary_indexes(const TableFamily& old_family,
                                                    const std::filesystem::path& new_table,
                                                    const std::filesystem::path& folder);

}  // namespace vaq::tutil
