#pragma once

// Writing the files of a secondary index in one pass over its table, for a new index, for a
// restructured table and for an index that is not maintained and has to be made current.
//
// The entries of every record are made first and sorted by keys laid out so that comparing
// their bytes gives the index order: at once in memory when they fit in the memory given,
// else in sorted runs in a scratch file beside the index that are then merged, so that the
// memory a build takes does not grow with the table. The X file is then written in table layout
// with every block filled to capacity, the Y tree built level by level from the bottom
// (primary_index_writer.h). Nothing is left written when the table's sort order cannot put two of
// the keys in order (index_key_order.h); the error names the index and the table.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/format/secondary_index_writer.h"
#include "engine/table/index_catalog.h"
#include "engine/table/index_key_order.h"

namespace pdx {

class Table;

// The definition of an index as listed, to write it again.
SecondaryIndexDefinition definition_of(const SecondaryIndex& index);

// The order of the entries of an index over `table`: its X key field by field, letter case
// ignored where the index ignores it.
KeyOrder entry_order(const Table& table, const IndexEntryLayout& layout, bool case_insensitive);

// The stamp (0x2C) of the table's .PX, 0 when it has none.
std::uint8_t primary_index_stamp(const std::filesystem::path& table_file);

// Memory the entries of an index take while they are sorted, by default.
constexpr std::size_t kDefaultSortMemory = std::size_t{4} << 20;

// Writes the X file `x_path` and its tree `y_path`, both new, for `definition` over every
// record of `table`. `index_name` (UTF-8) names the index in errors. Entries beyond
// `sort_memory` bytes are sorted in runs in the scratch file "<x_path>.sort.tmp" and merged
// from there; the files written are the same either way. A build that fails leaves neither
// file nor the scratch file.
void write_secondary_index(const Table& table, const SecondaryIndexDefinition& definition,
                           const std::string& index_name, const std::filesystem::path& x_path,
                           const std::filesystem::path& y_path,
                           std::size_t sort_memory = kDefaultSortMemory);

// The file names of an index of the table `table_file`: "Door.XG0" and "Door.YG0".
std::string index_file_name(const std::filesystem::path& table_file, const IndexSuffix& suffix);
std::string tree_file_name(const std::filesystem::path& table_file, const IndexSuffix& suffix);

}  // namespace pdx
