// A keyed table filled in random order: its records walk in key order, its blocks split,
// its primary index grows new levels and agrees with the data after every kind of change.

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <set>

#include "common/error.h"

#include "engine/format/index_tree.h"
#include "engine/table/index_cursor.h"
#include "engine/table/record_editor.h"
#include "engine/table/table_writer.h"
#include "engine/table/tests/pxlib_reader.h"
#include "engine/table/tests/write_test_support.h"

namespace pdx {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

std::vector<std::int64_t> keys_in_table_order(const Table& table) {
    std::vector<std::int64_t> keys;
    // The primary-key cursor checks, record by record, that the keys ascend.
    for (auto cursor = open_primary_cursor(table); !cursor->eof(); cursor->next())
        keys.push_back(*cursor->value(0).integer());
    return keys;
}

TEST(KeyedTable, HundredThousandRandomKeysWalkInKeyOrderAndTheIndexAgrees) {
    TempDir dir;
    create_table(dir.path(), "Random",
                 {{{"Key", FieldType::kLong, 0}, {"Text", FieldType::kAlpha, 24}}, 1});
    std::vector<std::int64_t> keys(100'000);
    std::iota(keys.begin(), keys.end(), 1);
    std::mt19937 random(20240607);
    std::shuffle(keys.begin(), keys.end(), random);
    {
        const auto table = Table::open(dir.path(), "Random", Access::kWrite);
        TableWriter& writer = table->writer();
        for (std::int64_t key : keys) {
            EditBuffer record = EditBuffer::blank(table);
            record.set(0, key);
            record.set(1, "value " + std::to_string(key));
            const StoredRecord stored = writer.insert(record);
            ASSERT_NE(stored.record_number, 0u);
        }
        writer.flush();
    }
    const auto table = Table::open(dir.path(), "Random");
    ASSERT_EQ(table->record_count(), 100'000u);
    std::vector<std::int64_t> expected(100'000);
    std::iota(expected.begin(), expected.end(), 1);
    EXPECT_EQ(keys_in_table_order(*table), expected);
    testing::expect_primary_index_matches(*table);
    const IndexTree tree = IndexTree::open(dir / "Random.PX");
    EXPECT_GE(tree.levels(), 2);

    testing::PxlibTable pxlib((dir / "Random.DB").string());
    ASSERT_EQ(pxlib.record_count(), 100'000);
    long first = 0;
    long last = 0;
    PX_get_data_long(pxlib.doc(), pxlib.read_record(0), 4, &first);
    PX_get_data_long(pxlib.doc(), pxlib.read_record(99'999), 4, &last);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(last, 100'000);
}

// The bytes after the header (whose size a Paradox file keeps at offset 2).
std::vector<std::uint8_t> blocks_of(const fs::path& file) {
    std::vector<std::uint8_t> bytes = testing::read_file(file);
    const std::size_t header = bytes.at(2) | std::size_t{bytes.at(3)} << 8;
    bytes.erase(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(header));
    return bytes;
}

EditBuffer keyed_row(const std::shared_ptr<Table>& table, std::int64_t key) {
    EditBuffer record = EditBuffer::blank(table);
    record.set(0, key);
    record.set(1, "value " + std::to_string(key));
    return record;
}

// Records stored many to a change land exactly where one change each would put them: the
// same blocks, splits and index; a refused key ends the call with the records before it
// stored and nothing after it.
TEST(KeyedTable, RecordsStoredTogetherLandAsOneByOneAndStopAtARefusedKey) {
    TempDir dir;
    for (const char* name : {"Single", "Together"})
        create_table(dir.path(), name,
                     {{{"Key", FieldType::kLong, 0}, {"Text", FieldType::kAlpha, 24}}, 1},
                     {7, 1024});
    std::vector<std::int64_t> keys(5'000);
    std::iota(keys.begin(), keys.end(), 1);
    std::shuffle(keys.begin(), keys.end(), std::mt19937(7));
    {
        const auto single = Table::open(dir.path(), "Single", Access::kWrite);
        for (std::int64_t key : keys)
            single->writer().insert(keyed_row(single, key));
        const auto together = Table::open(dir.path(), "Together", Access::kWrite);
        std::vector<EditBuffer> batch;
        for (std::size_t i = 0; i < keys.size(); ++i) {
            batch.push_back(keyed_row(together, keys[i]));
            if (batch.size() < 700 && i + 1 < keys.size()) continue;
            std::size_t stored = 0;
            together->writer().insert_all(batch, stored);
            ASSERT_EQ(stored, batch.size());
            batch.clear();
        }
    }
    EXPECT_EQ(blocks_of(dir / "Single.DB"), blocks_of(dir / "Together.DB"));
    EXPECT_EQ(blocks_of(dir / "Single.PX"), blocks_of(dir / "Together.PX"));

    const auto table = Table::open(dir.path(), "Together", Access::kWrite);
    std::vector<EditBuffer> batch;
    for (std::int64_t key : {6'001, 6'003, 6'002, 17, 6'004})
        batch.push_back(keyed_row(table, key));
    std::size_t stored = 99;
    std::vector<RecordPosition> placed;
    EXPECT_THROW(table->writer().insert_all(batch, stored, &placed), vaq::Error);
    EXPECT_EQ(stored, 3u);
    EXPECT_EQ(placed.size(), 3u);
    table->writer().flush();
    std::vector<std::int64_t> expected(5'000);
    std::iota(expected.begin(), expected.end(), 1);
    expected.insert(expected.end(), {6'001, 6'002, 6'003});
    EXPECT_EQ(keys_in_table_order(*table), expected);
    testing::expect_primary_index_matches(*table);
    EXPECT_EQ(testing::PxlibTable((dir / "Together.DB").string()).record_count(), 5'003);
}

TEST(KeyedTable, RandomDeletesAndKeyChangesShrinkTheIndexAndKeepItExact) {
    TempDir dir;
    // Long keys in small blocks: ten index entries a block, so the index grows three levels.
    create_table(dir.path(), "Churn",
                 {{{"Key", FieldType::kLong, 0}, {"Pad", FieldType::kAlpha, 90}}, 2}, {7, 1024});
    std::vector<std::int64_t> keys(6'000);
    std::iota(keys.begin(), keys.end(), 1);
    std::mt19937 random(7);
    std::shuffle(keys.begin(), keys.end(), random);
    const auto table = Table::open(dir.path(), "Churn", Access::kWrite);
    TableWriter& writer = table->writer();
    const auto record = [&](std::int64_t key) {
        EditBuffer buffer = EditBuffer::blank(table);
        buffer.set(0, key);
        buffer.set(1, "pad");
        return buffer;
    };
    for (std::int64_t key : keys)
        writer.insert(record(key * 2));
    const int height = IndexTree::open(dir / "Churn.PX").levels();
    EXPECT_GE(height, 3);
    testing::expect_primary_index_matches(*table);

    std::set<std::int64_t> present;
    for (std::int64_t key : keys)
        present.insert(key * 2);
    // Remove three quarters in random order, move the others to odd keys. The records are
    // found through the primary index (no position is given).
    std::shuffle(keys.begin(), keys.end(), random);
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const std::int64_t key = keys[i] * 2;
        const EditBuffer old = record(key);
        const RecordRef ref{old.record().bytes(), std::nullopt, 0};
        if (i % 4 == 3) {
            const StoredRecord moved = writer.update(ref, record(key + 1));
            present.erase(key);
            present.insert(key + 1);
            EXPECT_EQ(moved.record_number,
                      static_cast<std::uint32_t>(
                          std::distance(present.begin(), present.find(key + 1)) + 1));
        } else {
            writer.remove(ref);
            present.erase(key);
        }
        if (i % 1500 == 0) testing::expect_primary_index_matches(*table);
    }
    EXPECT_EQ(keys_in_table_order(*table),
              std::vector<std::int64_t>(present.begin(), present.end()));
    testing::expect_primary_index_matches(*table);
    // Sparse neighbours were merged: the records are not spread over nearly empty blocks.
    const std::size_t half = table->header().records_per_block() / 2;
    const auto chain = testing::data_chain(*table);
    std::size_t sparse_pairs = 0;
    for (std::size_t i = 1; i < chain.size(); ++i)
        if (chain[i - 1].second + chain[i].second <= half) ++sparse_pairs;
    EXPECT_LE(sparse_pairs, chain.size() / 20);
    EXPECT_LE(chain.size(), 2 * present.size() / half + 2);
    EXPECT_NE(table->header().first_free_block, 0);
    EXPECT_EQ(table->header().num_records, present.size());
    EXPECT_THROW(writer.remove({record(2 * 6'000 + 2).record().bytes(), std::nullopt, 0}),
                 vaq::Error);

    // The freed blocks take records again.
    for (std::int64_t key = 1; key <= 3000; key += 2) {
        if (present.count(key)) continue;
        writer.insert(record(key));
        present.insert(key);
    }
    EXPECT_EQ(keys_in_table_order(*table),
              std::vector<std::int64_t>(present.begin(), present.end()));
    testing::expect_primary_index_matches(*table);
    writer.flush();
    testing::PxlibTable pxlib((dir / "Churn.DB").string());
    EXPECT_EQ(static_cast<std::size_t>(pxlib.record_count()), present.size());
}

TEST(KeyedTable, CompositeAlphaKeysFollowByteOrder) {
    TempDir dir;
    create_table(dir.path(), "Pairs",
                 {{{"Group", FieldType::kAlpha, 4},
                   {"Seq", FieldType::kShort, 0},
                   {"Name", FieldType::kAlpha, 10}},
                  2});
    const auto table = Table::open(dir.path(), "Pairs", Access::kWrite);
    auto cursor = table->open_cursor();
    RecordEditor editor(table, *cursor);
    const std::vector<std::pair<std::string, int>> rows = {{"b", 2}, {"a", 10}, {"B", 1}, {"a", -3},
                                                           {"", 5},  {"ab", 0}, {"b", 1}};
    for (const auto& [group, seq] : rows) {
        editor.append();
        editor.set_field("Group", group);
        editor.set_field("Seq", std::int64_t{seq});
        editor.post();
    }
    std::vector<std::string> order;
    for (cursor->first(); !cursor->eof(); cursor->next())
        order.push_back(cursor->value(0).as_text() + "/" + cursor->value(1).as_text());
    // Empty (NULL) first, upper case before lower case, then by the number.
    EXPECT_EQ(order, (std::vector<std::string>{"/5", "B/1", "a/-3", "a/10", "ab/0", "b/1", "b/2"}));
    editor.append();
    editor.set_field("Group", "a");
    editor.set_field("Seq", std::int64_t{10});
    EXPECT_THROW(editor.post(), vaq::Error);
}

}  // namespace
}  // namespace pdx
