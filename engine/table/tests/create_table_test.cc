// New tables: the header bookkeeping of a fresh family, byte by byte where the format fixes
// the bytes, read back by our reader and by pxlib, and the descriptions that are refused.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/error.h"
#include "engine/format/coding.h"
#include "engine/format/table_header.h"
#include "engine/table/tests/pxlib_reader.h"
#include "engine/table/tests/write_test_support.h"

namespace pdx {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using testing::read_file;
using testing::TempDir;

TEST(CreateTable, FreshKeyedTableHasTheTemplateOfAnEmptyTable) {
    TempDir dir;
    const fs::path path = create_table(dir.path(), "Fresh", testing::every_type_spec(2));
    EXPECT_EQ(path.filename(), "Fresh.DB");

    const auto db = read_file(path);
    ASSERT_EQ(db.size(), 2048u);  // header only, no blocks
    EXPECT_EQ(load_u16le(&db[0x02]), 2048);
    EXPECT_EQ(db[0x04], 0);  // keyed
    EXPECT_EQ(db[0x05], 4);  // 4096-byte blocks
    for (std::size_t at = 0x06; at < 0x12; ++at)
        EXPECT_EQ(db[at], 0) << "byte " << at;
    EXPECT_EQ(load_u16le(&db[0x21]), 14);
    EXPECT_EQ(load_u16le(&db[0x23]), 2);
    EXPECT_EQ(load_u32le(&db[0x25]), 0xFF00FF00u);
    EXPECT_EQ(db[0x29], 0);  // 'ascii'
    EXPECT_GE(db[0x2D], 2);
    EXPECT_EQ(db[0x39], 0x0C);
    EXPECT_EQ(load_u16le(&db[0x3A]), 0);
    EXPECT_EQ(db[0x3E], 0x1F);
    EXPECT_EQ(db[0x3F], 0x0F);
    EXPECT_EQ(load_u32le(&db[0x49]), 0u);
    EXPECT_EQ(load_u16le(&db[0x4D]), 0);
    EXPECT_EQ(db[0x56], 0x20);
    EXPECT_EQ(load_u16le(&db[0x58]), 0x010C);
    EXPECT_EQ(load_u16le(&db[0x5A]), 0x010C);
    EXPECT_EQ(load_u32le(&db[0x5C]), 0u);
    EXPECT_NE(load_u32le(&db[0x60]), 0u);
    EXPECT_EQ(load_u16le(&db[0x64]), 15);
    EXPECT_EQ(load_u16le(&db[0x6A]), 1252);
    EXPECT_EQ(db[0x6C], 1);
    EXPECT_EQ(db[0x6D], 1);
    EXPECT_EQ(load_u16le(&db[0x70]), 1);

    const TableHeader h = TableHeader::decode(db, "Fresh.DB");
    EXPECT_EQ(h.sort_order_id, "ascii");
    EXPECT_EQ(h.fields[1].name, "Name");
    EXPECT_EQ(h.fields[12].descriptor, (FieldDescriptor{FieldType::kMemo, 20}));
    EXPECT_EQ(h.fields[10].descriptor, (FieldDescriptor{FieldType::kBcd, 2}));
    EXPECT_EQ(h.fields[13].number, 14);
    EXPECT_EQ(h.record_size, h.fields_width());

    const auto px = read_file(dir / "Fresh.PX");
    ASSERT_EQ(px.size(), 2048u);
    const TableHeader ph = TableHeader::decode(px, "Fresh.PX");
    EXPECT_EQ(ph.file_type, FileType::kPrimaryIndex);
    EXPECT_EQ(ph.record_size, 4 + 20 + 6);
    EXPECT_EQ(ph.index_root, 1);
    EXPECT_EQ(ph.index_levels, 0);
    EXPECT_EQ(ph.num_records, 0u);
    EXPECT_EQ(ph.fields.size(), 2u);
    EXPECT_EQ(ph.table_name, "Fresh.PX");

    const auto mb = read_file(dir / "Fresh.MB");
    ASSERT_EQ(mb.size(), 4096u);
    EXPECT_EQ(mb[0], 0);
    EXPECT_EQ(load_u16le(&mb[1]), 1);

    testing::PxlibTable pxlib(path.string());
    EXPECT_EQ(pxlib.record_count(), 0);
    ASSERT_EQ(pxlib.field_count(), 14);
    EXPECT_EQ(pxlib.field(1).px_ftype, pxfAlpha);
    EXPECT_EQ(pxlib.field(1).px_flen, 20);
    EXPECT_EQ(pxlib.field(3).px_ftype, pxfAutoInc);
    EXPECT_EQ(pxlib.field(12).px_ftype, pxfMemoBLOb);

    const auto table = Table::open(dir.path(), "fresh");
    EXPECT_EQ(table->record_count(), 0u);
    EXPECT_TRUE(table->is_keyed());
    EXPECT_TRUE(table->open_cursor()->eof());
}

TEST(CreateTable, LevelAndBlockSizeAreChosenByTheCaller) {
    TempDir dir;
    TableSpec numbers{{{"Id", FieldType::kLong, 0}, {"Name", FieldType::kAlpha, 10}}, 1};
    create_table(dir.path(), "five.db", numbers, {5, 2048});
    auto h = TableHeader::decode(read_file(dir / "five.db"), "five.db");
    EXPECT_EQ(h.file_version, kVersion50);
    EXPECT_EQ(h.block_size(), 2048u);

    // A long integer needs level 5: a level-4 request is raised, as the BDE raises it.
    create_table(dir.path(), "raised", numbers, {4, 4096});
    h = TableHeader::decode(read_file(dir / "raised.DB"), "raised.DB");
    EXPECT_EQ(h.file_version, kVersion50);

    TableSpec old_types{{{"Name", FieldType::kAlpha, 10}, {"Day", FieldType::kDate, 0}}, 0};
    create_table(dir.path(), "three", old_types, {3, 1024});
    h = TableHeader::decode(read_file(dir / "three.DB"), "three.DB");
    EXPECT_EQ(h.file_version, kVersion35);
    EXPECT_FALSE(h.has_extension());
    EXPECT_EQ(h.file_type, FileType::kUnkeyedTable);
    testing::PxlibTable pxlib((dir / "three.DB").string());
    EXPECT_EQ(pxlib.field_count(), 2);
    EXPECT_FALSE(fs::exists(dir / "three.PX"));
    EXPECT_FALSE(fs::exists(dir / "three.MB"));
}

TEST(CreateTable, RefusesWhatTheFormatCannotHold) {
    TempDir dir;
    const auto refused = [&](const TableSpec& spec, const std::string& expected,
                             CreateOptions options = {}) {
        try {
            create_table(dir.path(), "Bad", spec, options);
            ADD_FAILURE() << "accepted; expected: " << expected;
        } catch (const vaq::Error& e) {
            EXPECT_THAT(e.what(), HasSubstr(expected));
        }
        EXPECT_FALSE(fs::exists(dir / "Bad.DB"));
    };
    refused({{}, 0}, "at least one field");
    refused({{{"A", FieldType::kAlpha, 5}, {"a", FieldType::kLong, 0}}, 0},
            "Field already exists: a");
    refused({{{"Name", FieldType::kAlpha, 0}}, 0}, "Field Name of Bad.DB");
    refused({{{"Name", FieldType::kAlpha, 256}}, 0}, "between 1 and 255");
    refused({{{"Note", FieldType::kMemo, 10}}, 0}, "Field Note");
    refused({{{"Exact", FieldType::kBcd, 33}}, 0}, "decimals");
    refused({{{"Note", FieldType::kMemo, 20}, {"Id", FieldType::kLong, 0}}, 1},
            "cannot be part of the primary key");
    refused({{{"A", FieldType::kAutoInc, 0}, {"B", FieldType::kAutoInc, 0}}, 0},
            "only one auto-increment");
    refused({{{"Name", FieldType::kAlpha, 255}, {"More", FieldType::kAlpha, 255}}, 2},
            "too long for blocks", {7, 1024});
    refused({{{"A", FieldType::kAlpha, 255},
              {"B", FieldType::kAlpha, 255},
              {"C", FieldType::kAlpha, 255},
              {"D", FieldType::kAlpha, 255},
              {"E", FieldType::kAlpha, 255}},
             0},
            "does not fit in a block", {7, 1024});
    refused({{{"Name", FieldType::kAlpha, 5}}, 0}, "block size", {7, 3000});
    refused({{{"Name", FieldType::kAlpha, 5}}, 0}, "level", {6, 4096});
    refused({{{"AVeryLongFieldNameBeyondTheLimit", FieldType::kAlpha, 5}}, 0}, "longer than 25");
    EXPECT_THROW(create_table(dir.path(), "../Bad", {{{"A", FieldType::kAlpha, 5}}, 0}),
                 vaq::Error);

    create_table(dir.path(), "Taken", {{{"A", FieldType::kAlpha, 5}}, 0});
    try {
        create_table(dir.path(), "TAKEN.db", {{{"B", FieldType::kAlpha, 5}}, 0});
        ADD_FAILURE() << "a second table of the same name was accepted";
    } catch (const vaq::Error& e) {
        EXPECT_STREQ(e.what(), "Table already exists: TAKEN.db.");
    }
}

TEST(CreateTable, FilesLeftByAnEarlierTableOfTheSameNameGo) {
    TempDir dir;
    testing::write_file(dir / "Old.PX", std::vector<std::uint8_t>(2048, 1));
    testing::write_file(dir / "old.x02", std::vector<std::uint8_t>(2048, 1));
    testing::write_file(dir / "Old.VAL", std::vector<std::uint8_t>(16, 1));
    create_table(dir.path(), "Old", {{{"Name", FieldType::kAlpha, 5}}, 0});
    EXPECT_TRUE(fs::exists(dir / "Old.DB"));
    EXPECT_FALSE(fs::exists(dir / "Old.PX"));
    EXPECT_FALSE(fs::exists(dir / "old.x02"));
    EXPECT_FALSE(fs::exists(dir / "Old.VAL"));
    // Nothing else is left in the directory: no staging folder, no journal.
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.path()))
        names.push_back(entry.path().filename().string());
    EXPECT_THAT(names, ::testing::ElementsAre("Old.DB"));
}

}  // namespace
}  // namespace pdx
