// A cursor whose table another cursor or editor changes under it: appends into its block,
// splits, deletes of the record it stands on and of its whole block, edits, a restructure
// attempt. It must keep reading records as they are now, never stale bytes, never crash,
// and reach the end of the table.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "common/error.h"
#include "engine/table/index_cursor.h"
#include "engine/table/record_editor.h"
#include "engine/table/restructure.h"
#include "engine/table/secondary_index.h"
#include "engine/table/table_writer.h"
#include "engine/table/tests/write_test_support.h"

namespace pdx {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using testing::TempDir;

// Small blocks (1024 bytes, 15 records of 68 bytes) so that a few hundred records make many.
class RefreshTest : public ::testing::Test {
  protected:
    void make(bool keyed, std::int64_t count, const std::string& name = "Items") {
        TableSpec layout;
        layout.fields = {{"Id", FieldType::kLong, 0}, {"Name", FieldType::kAlpha, 64}};
        layout.key_fields = keyed ? 1 : 0;
        create_table(dir_.path(), name, layout, CreateOptions{7, 1024});
        table_ = Table::open(dir_.path(), name, Access::kWrite);
        for (std::int64_t id = 1; id <= count; ++id)
            insert(id * 10);
    }

    void insert(std::int64_t id) {
        EditBuffer buffer = EditBuffer::blank(table_);
        buffer.set("Id", id);
        buffer.set("Name", name_of(id));
        table_->writer().insert(buffer);
    }

    void remove(std::int64_t id) {
        auto finder = table_->open_cursor();
        ASSERT_TRUE(finder->locate("Id", id)) << id;
        const Record copy = finder->copy_record();
        table_->writer().remove(RecordRef{copy.bytes(), std::nullopt, 0});
    }

    // Names sort as their ids do.
    static std::string name_of(std::int64_t id) {
        std::string digits = std::to_string(id);
        return "item " + std::string(6 - digits.size(), '0') + digits;
    }

    static std::int64_t id_of(const Cursor& cursor) { return cursor.value(0).as_integer(); }

    // Moves `cursor` forward onto `id`.
    static void walk_to(Cursor& cursor, std::int64_t id) {
        while (!cursor.eof() && id_of(cursor) != id)
            cursor.next();
        ASSERT_FALSE(cursor.eof()) << id;
    }

    // The ids from the cursor's record to the end of the table.
    static std::vector<std::int64_t> rest_of(Cursor& cursor) {
        std::vector<std::int64_t> ids;
        for (; !cursor.eof(); cursor.next())
            ids.push_back(id_of(cursor));
        return ids;
    }

    // The ids of the table as a fresh cursor reads them, and their record numbers.
    std::vector<std::int64_t> all_ids() const {
        auto fresh = table_->open_cursor();
        return rest_of(*fresh);
    }

    std::vector<std::int64_t> ids_from(std::int64_t id) const {
        std::vector<std::int64_t> ids = all_ids();
        ids.erase(ids.begin(), std::find(ids.begin(), ids.end(), id));
        return ids;
    }

    std::uint32_t number_of(std::int64_t id) const {
        const std::vector<std::int64_t> ids = all_ids();
        return static_cast<std::uint32_t>(std::find(ids.begin(), ids.end(), id) - ids.begin() + 1);
    }

    TempDir dir_;
    std::shared_ptr<Table> table_;
};

TEST_F(RefreshTest, KeyedReaderFollowsSplitsOfItsBlockAndInsertsBeforeIt) {
    make(true, 200);
    auto reader = table_->open_cursor();
    walk_to(*reader, 500);
    const std::size_t blocks_before = testing::data_chain(*table_).size();

    for (std::int64_t id = 501; id <= 560; ++id)
        if (id % 10 != 0) insert(id);  // into the reader's block, which splits several times
    for (std::int64_t id = 1; id <= 5; ++id)
        insert(id);  // before it: its number moves on
    ASSERT_GT(testing::data_chain(*table_).size(), blocks_before + 2);

    EXPECT_EQ(id_of(*reader), 500);
    EXPECT_EQ(reader->record_number(), number_of(500));
    EXPECT_EQ(reader->bookmark().record_number, number_of(500));
    EXPECT_THAT(rest_of(*reader), ElementsAreArray(ids_from(500)));
    EXPECT_EQ(reader->record_number(), table_->record_count());

    // The cursor in key order walks the chain the same way and sees the keys ascend.
    auto by_key = open_primary_cursor(*table_);
    walk_to(*by_key, 1000);
    for (std::int64_t id = 1001; id <= 1040; ++id)
        if (id % 10 != 0) insert(id);
    EXPECT_THAT(rest_of(*by_key), ElementsAreArray(ids_from(1000)));
}

TEST_F(RefreshTest, KeyedReaderStandsOnTheNextKeyWhenItsRecordOrItsBlockGoes) {
    make(true, 200);
    auto reader = table_->open_cursor();
    walk_to(*reader, 500);

    remove(500);
    EXPECT_EQ(id_of(*reader), 510);
    EXPECT_EQ(reader->record_number(), number_of(510));

    // Every record from the reader's on to far beyond: blocks leave the chain and merge.
    for (std::int64_t id = 510; id <= 900; id += 10)
        remove(id);
    EXPECT_EQ(id_of(*reader), 910);
    EXPECT_EQ(reader->record_number(), number_of(910));

    // A key changed under the reader moves its record; the reader stays at the old key's
    // place and still walks in ascending order.
    auto mover = table_->open_cursor();
    RecordEditor move(table_, *mover);
    ASSERT_TRUE(mover->locate("Id", std::int64_t{910}));
    move.edit();
    move.set_field("Id", std::int64_t{5});
    move.post();
    EXPECT_EQ(id_of(*reader), 920);
    EXPECT_THAT(rest_of(*reader), ElementsAreArray(ids_from(920)));
}

TEST_F(RefreshTest, UnkeyedReaderSeesAppendsIntoItsBlockAndSkipsDeletedRecords) {
    make(false, 100);
    auto reader = table_->open_cursor();
    walk_to(*reader, 980);  // in the last block, which has room left
    for (std::int64_t id = 1001; id <= 1040; ++id)
        insert(id);
    EXPECT_THAT(rest_of(*reader), ElementsAreArray(ids_from(980)));

    reader->first();
    walk_to(*reader, 300);
    remove(300);
    EXPECT_EQ(id_of(*reader), 310);  // the follower took its slot
    remove(200);                     // before it, in another block
    EXPECT_EQ(id_of(*reader), 310);
    EXPECT_EQ(reader->record_number(), number_of(310));

    // Every record of the reader's block goes: the block leaves the chain.
    const std::uint32_t block = reader->bookmark().block;
    std::vector<std::int64_t> in_block;
    for (auto c = table_->open_cursor(); !c->eof(); c->next())
        if (c->bookmark().block == block) in_block.push_back(id_of(*c));
    for (std::int64_t id : in_block)
        remove(id);
    ASSERT_TRUE(reader->has_record());
    const std::int64_t now = id_of(*reader);
    EXPECT_GT(now, in_block.back());
    EXPECT_EQ(reader->record_number(), number_of(now));
    EXPECT_THAT(rest_of(*reader), ElementsAreArray(ids_from(now)));
}

TEST_F(RefreshTest, EditsThroughAnotherCursorAreSeenAsTheReaderWalks) {
    for (const bool keyed : {false, true}) {
        SCOPED_TRACE(keyed ? "keyed" : "unkeyed");
        make(keyed, 120, keyed ? "Keyed" : "Plain");
        auto writer_cursor = table_->open_cursor();
        RecordEditor editor(table_, *writer_cursor);
        std::size_t seen = 0;
        for (auto reader = table_->open_cursor(); !reader->eof(); reader->next()) {
            const std::int64_t id = id_of(*reader);
            // The record two ahead was changed when the reader stood on its predecessor.
            EXPECT_EQ(reader->value(1).as_text(), id >= 30 ? "changed" : name_of(id));
            ++seen;
            if (writer_cursor->locate("Id", id + 20)) {
                editor.edit();
                editor.set_field("Name", "changed");
                editor.post();
            }
        }
        EXPECT_EQ(seen, 120u);
    }
}

// Records changed where they stand move nothing: the reader keeps its place and reads the
// new bytes of its own record, of several records of its block changed at once, and of a
// record changed in the next block while it stood in its own.
TEST_F(RefreshTest, InPlaceEditsOfTheReadersBlockAreSeenWithoutLosingItsPlace) {
    make(false, 40);
    auto writer_cursor = table_->open_cursor();
    RecordEditor editor(table_, *writer_cursor);
    const auto rename = [&](std::int64_t id, const std::string& name) {
        ASSERT_TRUE(writer_cursor->locate("Id", id));
        editor.edit();
        editor.set_field("Name", name);
        editor.post();
    };
    auto reader = table_->open_cursor();
    walk_to(*reader, 30);
    rename(30, "own record");
    EXPECT_EQ(reader->value(1).as_text(), "own record");
    rename(40, "next one");
    rename(50, "and the one after");
    rename(200, "next block");  // slot 6 of block 2
    EXPECT_EQ(reader->record_number(), 3u);
    reader->next();
    EXPECT_EQ(reader->value(1).as_text(), "next one");
    reader->next();
    EXPECT_EQ(reader->value(1).as_text(), "and the one after");
    walk_to(*reader, 200);
    EXPECT_EQ(reader->value(1).as_text(), "next block");
    EXPECT_EQ(reader->record_number(), 20u);
}

// In the order of a secondary index (maintained on a keyed table, a list of positions on an
// unkeyed one), here descending by name: the cursor finds its entry again, or the next one.
TEST_F(RefreshTest, IndexCursorsFindTheirPlaceAgainAfterChanges) {
    for (const bool keyed : {true, false}) {
        SCOPED_TRACE(keyed ? "maintained" : "not maintained");
        make(keyed, 150, keyed ? "Keyed" : "Plain");
        SecondaryIndexRequest request;
        request.name = "ByName";
        request.fields = {"Name"};
        request.descending = true;
        create_secondary_index(*table_, request);
        const auto in_index_from = [&](std::int64_t id) {
            auto fresh = open_index_cursor(*table_, "ByName");
            std::vector<std::int64_t> ids = rest_of(*fresh);
            ids.erase(ids.begin(), std::find(ids.begin(), ids.end(), id));
            return ids;
        };
        auto reader = open_index_cursor(*table_, "ByName");
        walk_to(*reader, 1000);
        insert(1005);  // passed already
        insert(995);   // ahead
        EXPECT_EQ(id_of(*reader), 1000);
        remove(1000);
        EXPECT_EQ(id_of(*reader), 995);
        for (std::int64_t id = 900; id >= 500; id -= 10)
            remove(id);
        reader->next();
        EXPECT_EQ(id_of(*reader), 990);
        EXPECT_THAT(rest_of(*reader), ElementsAreArray(in_index_from(990)));
        EXPECT_EQ(id_of(*reader), 10);

        insert(1);  // at the end of the order, after the reader's end
        EXPECT_TRUE(reader->eof());
        EXPECT_EQ(id_of(*reader), 1);
    }
}

TEST_F(RefreshTest, ReaderAtTheEndStaysThereOnTheNewLastRecord) {
    make(true, 30);
    auto reader = table_->open_cursor();
    rest_of(*reader);
    ASSERT_TRUE(reader->eof());
    insert(5000);
    EXPECT_TRUE(reader->eof());
    EXPECT_EQ(id_of(*reader), 5000);
    EXPECT_EQ(reader->record_number(), 31u);

    for (const std::int64_t id : all_ids())
        remove(id);
    EXPECT_TRUE(reader->eof());
    EXPECT_FALSE(reader->has_record());
    EXPECT_THROW(reader->record(), vaq::Error);
    reader->next();
    reader->first();
    EXPECT_TRUE(reader->eof());

    insert(70);  // a cursor at the end of an empty table ends up on its only record
    EXPECT_TRUE(reader->eof());
    EXPECT_EQ(id_of(*reader), 70);
    EXPECT_EQ(reader->record_number(), 1u);
}

TEST_F(RefreshTest, OldBookmarkLeadsToARecordNotToAnError) {
    make(false, 60);
    auto reader = table_->open_cursor();
    walk_to(*reader, 600);  // the last record
    const Bookmark mark = reader->bookmark();
    for (std::int64_t id = 450; id <= 600; id += 10)
        remove(id);
    reader->first();
    reader->go_to(mark);
    EXPECT_TRUE(reader->has_record());
    EXPECT_EQ(id_of(*reader), 440);
    EXPECT_EQ(reader->record_number(), 44u);
}

TEST_F(RefreshTest, RestructureIsRefusedUnderAnOpenReaderWhichReadsOn) {
    make(true, 50);
    auto reader = table_->open_cursor();
    walk_to(*reader, 200);
    try {
        restructure_table(dir_.path(), "Items", current_layout(*table_));
        FAIL() << "a restructure under an open table went ahead";
    } catch (const vaq::Error& error) {
        EXPECT_THAT(error.what(), HasSubstr("busy"));
    }
    EXPECT_THAT(rest_of(*reader), ElementsAreArray(ids_from(200)));
}

}  // namespace
}  // namespace pdx
