#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/format/file.h"
#include "engine/format/table_header.h"

namespace pdx {

// A level-1 entry: a data block (or X block), the key of its first record, its record count.
struct IndexLeaf {
    std::uint16_t block = 0;
    std::vector<std::uint8_t> key;
    std::uint32_t count = 0;
};

// Entries a freshly built tree block takes: one below its capacity, as the BDE fills them.
std::size_t tree_block_fill(const TableHeader& header);

// Writes the tree over `leaves` into `file`, which holds only the empty tree header
// `header`, level by level from the bottom. A block of level 1 takes at most
// `level_one_fill` entries, every higher block tree_block_fill(). Every block of every level
// is chained to the next one written; entry counts above 65535 are stored as 65535. Throws
// vaq::Error `when_full` when the tree would need more than 65535 blocks.
void build_index_tree(File& file, TableHeader header, const std::vector<IndexLeaf>& leaves,
                      std::size_t level_one_fill, const std::string& when_full);

}  // namespace pdx
