#pragma once

// Creating and deleting the secondary indexes of a table.
//
// A new index is maintained (kept in step with every record change) when the table has a
// primary key, and is not maintained when it has none, as Paradox requires; the engine then
// keeps it current itself (secondary_index_maintainer.h). It is written as a .Xnn/.Ynn pair
// when it is single-field, case-sensitive and ascending and is called after its field
// (nn = the field number in two hex digits), and as a .XGn/.YGn pair otherwise, with its name
// in the header (n = the lowest number free). Index names ignore letter case; the primary
// index has none. The files are written beside the table under temporary names and swapped
// in together (table_family.h), so a crash leaves the index complete or absent.
//
// Both operations need the table for writing: through an open table of this process, or by
// name, which opens it. A table another program holds open is refused.
//
// The table writer reaches the maintainer through index_maintenance.h;
// install_secondary_index_writers() puts it and the rebuilder of restructured tables there.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "engine/table/index_catalog.h"
#include "engine/table/index_maintenance.h"

namespace pdx {

class Table;

struct SecondaryIndexRequest {
    std::string name;                 // UTF-8
    std::vector<std::string> fields;  // field names, letter case ignored, in index order
    bool case_insensitive = false;
    bool descending = false;
};

// Creates the index. Throws vaq::Error("Index already exists: NAME on TABLE") when the table
// has an index of that name, and errors naming the index, the table and the fault when a
// field is missing or cannot be indexed, or the table's sort order cannot order the keys;
// the table is left as it was.
void create_secondary_index(Table& table, const SecondaryIndexRequest& request);
void create_secondary_index(const std::filesystem::path& directory, std::string_view table_name,
                            const SecondaryIndexRequest& request);

// Deletes the index called `index_name` (letter case ignored). Throws vaq::Error("Index does
// not exist: NAME on TABLE") when there is none; the primary index cannot be deleted so.
void delete_secondary_index(Table& table, std::string_view index_name);
void delete_secondary_index(const std::filesystem::path& directory, std::string_view table_name,
                            std::string_view index_name);

// Writes `indexes` of `table` again from its records, in place of their files.
void rebuild_indexes(const Table& table, const std::vector<SecondaryIndex>& indexes);

// Writes the secondary indexes of a restructured table beside its new .DB (the rebuilder of
// index_maintenance.h). Every index whose fields all survive is written again: an Xnn file
// under its field's new number, an XGn file under its old name. An index on a table that
// gains a primary key becomes maintained, one on a table that loses it is no longer.
void rebuild_restructured_indexes(const IndexRebuildRequest& request);

// Counts the changes this process made to the set of secondary indexes of the table at
// `table_file`, so that a writer holding index files open knows to open them again.
std::uint64_t secondary_index_generation(const std::filesystem::path& table_file);
// The same for every table at once: cheap enough to ask before every record change.
std::uint64_t secondary_index_changes();

// Installs the maintainer and the restructure rebuilder of index_maintenance.h (again).
void install_secondary_index_writers();

}  // namespace pdx
