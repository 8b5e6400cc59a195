#pragma once

// Checks of a secondary index against its table, for the tests of creating and maintaining
// indexes: the X file holds one entry per record and no other, in index order; the Y tree
// describes the X blocks exactly; the stamps tie the files to the table; and the index walks
// through the reader's cursor, every record once.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "engine/format/block_file.h"
#include "engine/format/index_records.h"
#include "engine/format/index_tree.h"
#include "engine/table/cursor.h"
#include "engine/table/edit_buffer.h"
#include "engine/table/index_catalog.h"
#include "engine/table/index_cursor.h"
#include "engine/table/secondary_index_build.h"
#include "engine/table/table.h"
#include "engine/table/table_family.h"
#include "engine/table/table_writer.h"
#include "engine/table/tests/test_support.h"

namespace pdx::testing {

namespace fs = std::filesystem;

inline std::vector<std::uint8_t> file_bytes(const fs::path& path) {
    std::vector<std::uint8_t> bytes(fs::file_size(path));
    File::open(path).read_at(0, bytes);
    return bytes;
}

inline StoredRecord append(Table& table, const std::vector<FieldInput>& values) {
    EditBuffer buffer = EditBuffer::blank(table.shared_from_this());
    for (std::size_t i = 0; i < values.size(); ++i)
        buffer.set(i, values[i]);
    return table.writer().insert(buffer);
}

// Every record of the table in table order, with where it stands.
struct StoredCopy {
    std::vector<std::uint8_t> bytes;
    EntryTarget at;
};

inline std::vector<StoredCopy> stored_records(const Table& table) {
    std::vector<StoredCopy> out;
    IndexRecordReader reader(table.data_file());
    for (bool more = reader.first(); more; more = reader.next())
        out.push_back({{reader.record().begin(), reader.record().end()},
                       {reader.number(), static_cast<std::uint16_t>(reader.block()),
                        static_cast<std::uint16_t>(reader.slot())}});
    return out;
}

// Checks `index` of `table` as described at the top. Failures are reported through gtest.
inline void check_index(const Table& table, const SecondaryIndex& index) {
    SCOPED_TRACE("index " + index.name + " of " + table.name());
    const BlockFile x = BlockFile::open(index.index_file);
    ASSERT_TRUE(index.tree_file.has_value());
    const IndexTree y = IndexTree::open(*index.tree_file);
    const TableHeader& xh = x.header();
    const SecondaryIndexDefinition definition = definition_of(index);
    const IndexEntryLayout maker(table.header(), definition);
    const IndexEntryLayout& layout = maker;
    const KeyOrder order = entry_order(table, layout, definition.case_insensitive);

    // The stamps that tie the X file to its family.
    EXPECT_EQ(xh.family_stamp, table.header().family_stamp);
    if (index.layout.maintained) {
        EXPECT_EQ(xh.index_sync_stamp, primary_index_stamp(table.path()));
    }

    // Entries in order, block by block, and the tree over the blocks.
    std::vector<std::vector<std::uint8_t>> entries;
    std::vector<TreeLeaf> blocks;
    IndexRecordReader reader(x);
    for (bool more = reader.first(); more; more = reader.next()) {
        const Bytes entry = reader.record();
        if (!entries.empty()) {
            EXPECT_LE(order.compare(entries.back(), entry), 0) << "entry " << reader.number();
        }
        entries.emplace_back(entry.begin(), entry.end());
        if (blocks.empty() || blocks.back().block != reader.block())
            blocks.push_back(
                {{entry.begin(), entry.begin() + static_cast<std::ptrdiff_t>(layout.key_width())},
                 static_cast<std::uint16_t>(reader.block()),
                 0});
        ++blocks.back().count;
    }
    const std::vector<TreeLeaf> leaves = y.leaves();
    ASSERT_EQ(leaves.size(), blocks.size());
    for (std::size_t i = 0; i < leaves.size(); ++i) {
        EXPECT_EQ(leaves[i].block, blocks[i].block) << "tree entry " << i;
        EXPECT_EQ(leaves[i].count, blocks[i].count) << "tree entry " << i;
        EXPECT_EQ(leaves[i].key, blocks[i].key) << "tree entry " << i;
    }

    // One entry per record: maintained entries are matched by their key (the block hint
    // aside), the others by the whole entry, which names the record's place.
    const std::size_t width = definition.maintained ? layout.key_width() : layout.record_size();
    std::vector<std::vector<std::uint8_t>> expected;
    for (const StoredCopy& r : stored_records(table)) {
        std::vector<std::uint8_t> e = maker.make_entry(r.bytes, r.at);
        e.resize(width);
        expected.push_back(std::move(e));
    }
    std::vector<std::vector<std::uint8_t>> actual;
    for (auto& e : entries)
        actual.emplace_back(e.begin(), e.begin() + static_cast<std::ptrdiff_t>(width));
    std::sort(expected.begin(), expected.end());
    std::sort(actual.begin(), actual.end());
    EXPECT_EQ(actual.size(), table.record_count());
    EXPECT_TRUE(actual == expected) << "the entries differ from the records";

    // The reader walks the index, every record once, in index order.
    auto cursor = open_index_cursor(table, index);
    if (auto* list = dynamic_cast<PositionListCursor*>(cursor.get())) {
        EXPECT_FALSE(list->sorted_here()) << "the reader found the index stale";
    }
    std::size_t visited = 0;
    std::vector<std::uint8_t> previous;
    for (; !cursor->eof(); cursor->next()) {
        std::vector<std::uint8_t> entry = maker.make_entry(cursor->record(), {});
        if (!previous.empty()) {
            const KeyOrder indexed(
                std::vector<KeyOrder::Part>(
                    order.parts().begin(),
                    order.parts().begin() + static_cast<std::ptrdiff_t>(index.fields.size())),
                alpha_collation_of(table.header()), definition.case_insensitive);
            EXPECT_LE(indexed.compare(previous, entry), 0);
        }
        previous = std::move(entry);
        ++visited;
    }
    EXPECT_EQ(visited, table.record_count());
}

inline void check_all_indexes(const Table& table) {
    for (const SecondaryIndex& index : list_secondary_indexes(table))
        check_index(table, index);
}

}  // namespace pdx::testing
