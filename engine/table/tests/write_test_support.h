#pragma once

// Helpers for the tests of writing: tables of every field type, the records of a table as
// text, and checks that a table's files agree with themselves (chain, counts, primary index).

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/format/index_tree.h"
#include "engine/table/cursor.h"
#include "engine/table/index_catalog.h"
#include "engine/table/table.h"
#include "engine/table/table_admin.h"
#include "engine/table/table_family.h"
#include "engine/table/tests/test_support.h"

namespace pdx::testing {

// Every field type the system writes, and BCD and binary blobs besides.
inline TableSpec every_type_spec(std::size_t key_fields = 1) {
    TableSpec spec;
    spec.fields = {
        {"Id", FieldType::kLong, 0},       {"Name", FieldType::kAlpha, 20},
        {"Small", FieldType::kShort, 0},   {"Counter", FieldType::kAutoInc, 0},
        {"Flag", FieldType::kLogical, 0},  {"Day", FieldType::kDate, 0},
        {"Clock", FieldType::kTime, 0},    {"Moment", FieldType::kTimestamp, 0},
        {"Amount", FieldType::kNumber, 0}, {"Price", FieldType::kMoney, 0},
        {"Exact", FieldType::kBcd, 2},     {"Raw", FieldType::kBytes, 6},
        {"Note", FieldType::kMemo, 20},    {"Picture", FieldType::kBlob, 10},
    };
    spec.key_fields = key_fields;
    return spec;
}

// Every record in the cursor's order, each field as text.
inline std::vector<std::vector<std::string>> all_records(const Table& table) {
    std::vector<std::vector<std::string>> rows;
    for (auto cursor = table.open_cursor(); !cursor->eof(); cursor->next()) {
        std::vector<std::string> row;
        for (std::size_t i = 0; i < table.schema().size(); ++i)
            row.push_back(cursor->value(i).as_text());
        rows.push_back(std::move(row));
    }
    return rows;
}

inline std::vector<std::vector<std::string>> all_records(const fs::path& directory,
                                                         const std::string& name) {
    return all_records(*Table::open(directory, name));
}

// The chain of data blocks as (block, records), read through the cursor's checks.
inline std::vector<std::pair<std::uint32_t, std::uint32_t>> data_chain(const Table& table) {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> chain;
    for (auto cursor = table.open_cursor(); !cursor->eof(); cursor->next()) {
        const Bookmark mark = cursor->bookmark();
        if (chain.empty() || chain.back().first != mark.block) chain.emplace_back(mark.block, 0);
        ++chain.back().second;
    }
    return chain;
}

// Checks that the .PX of a keyed table describes its data blocks exactly: one level-1 entry
// per block in chain order, with its record count and the key of its first record.
inline void expect_primary_index_matches(const Table& table) {
    const auto px = primary_index_file(table);
    ASSERT_TRUE(px.has_value()) << table.name();
    const IndexTree tree = IndexTree::open(*px);
    const std::vector<TreeLeaf> leaves = tree.leaves();
    std::size_t key_length = 0;
    for (std::size_t i = 0; i < table.schema().key_fields(); ++i)
        key_length += table.schema()[i].width();
    std::vector<std::pair<std::uint32_t, std::uint32_t>> chain;
    std::vector<std::vector<std::uint8_t>> first_keys;
    for (auto cursor = table.open_cursor(); !cursor->eof(); cursor->next()) {
        const Bookmark mark = cursor->bookmark();
        if (chain.empty() || chain.back().first != mark.block) {
            chain.emplace_back(mark.block, 0);
            const Bytes key = cursor->record().first(key_length);
            first_keys.emplace_back(key.begin(), key.end());
        }
        ++chain.back().second;
    }
    if (table.record_count() == 0) {
        // An emptied table keeps block 1, with its entry counting 0 records.
        EXPECT_LE(leaves.size(), 1u);
        return;
    }
    ASSERT_EQ(leaves.size(), chain.size()) << table.name();
    for (std::size_t i = 0; i < leaves.size(); ++i) {
        EXPECT_EQ(leaves[i].block, chain[i].first) << "entry " << i;
        EXPECT_EQ(leaves[i].count, chain[i].second) << "entry " << i;
        EXPECT_EQ(leaves[i].key, first_keys[i]) << "entry " << i;
    }
}

}  // namespace pdx::testing
