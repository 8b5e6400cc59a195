#pragma once

// The indexes of a table, read from the files of its family: the primary index (.PX) over
// the leading key fields, and the secondary indexes (.Xnn/.XGn, each with its .Ynn/.YGn
// tree). Family members are found without regard to letter case (customer.x06 and
// CUSTOMER.X06 are one file).
//
// Order of the secondary indexes. Every secondary index has a name: an .Xnn index is called
// after its field, an .XGn index carries its name. They are listed by file suffix: first the
// single-field .Xnn indexes by field number (X02, X03, ..., X0C), then the .XGn indexes by
// their number (XG0, XG1, ...). The primary index has no name and is never listed.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/format/index_header.h"

namespace pdx {

class Table;

struct SecondaryIndex {
    // UTF-8: the stored name of an .XGn index, the field's name for an .Xnn index.
    std::string name;
    // 0-based indexes of the indexed fields in the table, in index order.
    std::vector<std::size_t> fields;
    SecondaryIndexLayout layout;
    IndexSuffix suffix;
    std::filesystem::path index_file;                // the X file
    std::optional<std::filesystem::path> tree_file;  // the Y file, when present
    std::uint32_t entries = 0;                       // records of the X file
    // A non-maintained index is a snapshot; when its entry count differs from the table's
    // record count it no longer describes the table.
    bool stale = false;
};

// The secondary indexes of `table` in the order above. Reads the header of every X file;
// throws FormatError naming the file when one is damaged or does not fit the table.
std::vector<SecondaryIndex> list_secondary_indexes(const Table& table);

// The secondary index called `name`, letter case ignored. Throws vaq::Error
// "Index does not exist: NAME on TABLE" when the table has none of that name.
SecondaryIndex find_secondary_index(const Table& table, std::string_view name);

// The .PX file of a keyed table; nothing for an unkeyed table or when the file is missing.
std::optional<std::filesystem::path> primary_index_file(const Table& table);

}  // namespace pdx
