// Appending, changing and deleting records through a cursor: every field type read back by
// our reader and by pxlib (memos decoded from the .MB by hand, since pxlib cannot), header
// bookkeeping, key violations, values that do not fit, auto-increment, free blocks, full
// tables.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "common/dateformat.h"
#include "common/error.h"
#include "engine/format/field_codec.h"
#include "engine/table/record_editor.h"
#include "engine/table/table_writer.h"
#include "engine/table/tests/pxlib_reader.h"
#include "engine/table/tests/write_test_support.h"

namespace pdx {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using testing::read_file;
using testing::TempDir;

using Row = std::map<std::string, FieldInput>;

// Opens a table for writing with a cursor and an editor over it.
struct Session {
    Session(const fs::path& dir, const std::string& name)
        : table(Table::open(dir, name, Access::kWrite)),
          cursor(table->open_cursor()),
          editor(table, *cursor) {}

    void append(const Row& row) {
        editor.append();
        for (const auto& [field, value] : row)
            editor.set_field(field, value);
        editor.post();
    }

    bool find(const std::string& field, const FieldInput& value) {
        return cursor->locate(field, value);
    }

    std::shared_ptr<Table> table;
    std::unique_ptr<Cursor> cursor;
    RecordEditor editor;
};

// The value a blob pointer leads to in a .MB, decoded here without our reader.
std::vector<std::uint8_t> blob_by_hand(const std::vector<std::uint8_t>& mb, Bytes field) {
    const std::size_t leader = field.size() - 10;
    const std::uint32_t where = load_u32le(field.data() + leader);
    const std::uint32_t length = load_u32le(field.data() + leader + 4);
    const std::uint16_t modification = load_u16le(field.data() + leader + 8);
    if (length <= leader) return {field.begin(), field.begin() + length};
    const std::size_t block = where & 0xFFFFFF00u;
    const std::size_t slot = where & 0xFF;
    EXPECT_LT(block + 9, mb.size());
    if (slot == 0xFF) {
        EXPECT_EQ(mb[block], 2);
        EXPECT_EQ(load_u32le(&mb[block + 3]), length);
        EXPECT_EQ(load_u16le(&mb[block + 7]), modification);
        return {mb.begin() + static_cast<long>(block + 9),
                mb.begin() + static_cast<long>(block + 9 + length)};
    }
    EXPECT_EQ(mb[block], 3);
    const std::uint8_t* entry = &mb[block + 0x0C + 5 * slot];
    EXPECT_EQ(load_u16le(entry + 2), modification);
    EXPECT_EQ((entry[1] - 1u) * 16u + entry[4], length);
    const std::size_t start = block + entry[0] * 16u;
    return {mb.begin() + static_cast<long>(start), mb.begin() + static_cast<long>(start + length)};
}

std::vector<std::uint8_t> bytes_of(const std::string& text) {
    return {text.begin(), text.end()};
}

TEST(RecordWrite, EveryTypeReadsBackThroughOurReaderAndPxlib) {
    TempDir dir;
    create_table(dir.path(), "Types", testing::every_type_spec());
    const std::string medium(700, 'm');                      // a slot of a small-value block
    const std::string large = std::string(5000, 'L') + "!";  // a block of its own
    const std::vector<Row> rows = {
        {{"Id", std::int64_t{1}}},  // everything else NULL
        {{"Id", std::int64_t{2}},
         {"Name", "Zoë Ärger"},
         {"Small", std::int64_t{-32767}},
         {"Flag", false},
         {"Day", "1066-10-14"},
         {"Clock", "00:00:00"},
         {"Moment", "1899-12-31 23:59:59.999"},
         {"Amount", -1.5e300},
         {"Price", -0.01},
         {"Exact", "-123.45"},
         {"Raw", "0x00ff10"},
         {"Note", "short"},
         {"Picture", "0x0102"}},
        {{"Id", std::int64_t{2147483647}},
         {"Name", "twenty characters!!!"},
         {"Small", "32767"},
         {"Flag", "true"},
         {"Day", "2100-02-28"},
         {"Clock", "23:59:59.999"},
         {"Moment", "2040-06-30 12:34:56.789"},
         {"Amount", "0"},
         {"Price", 1234.56},
         {"Exact", "99999.99"},
         {"Raw", "0xffffffffffff"},
         {"Note", medium},
         {"Picture", "0x" + std::string(6000, 'a')}},
        {{"Id", std::int64_t{-2147483647}}, {"Note", large}, {"Amount", 2.5e-300}},
    };
    {
        Session s(dir.path(), "Types");
        for (const Row& row : rows)
            s.append(row);
    }

    const auto table = Table::open(dir.path(), "Types");
    ASSERT_EQ(table->record_count(), rows.size());
    const auto records = testing::all_records(*table);
    // Key order: -2147483647, 1, 2, 2147483647.
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[0][0], "-2147483647");
    EXPECT_EQ(records[0][12], large);
    EXPECT_EQ(records[0][8], "2.5e-300");
    EXPECT_EQ(records[1][0], "1");
    for (std::size_t f = 1; f < records[1].size(); ++f) {
        if (f != 3) {
            EXPECT_EQ(records[1][f], "") << "field " << f;
        }
    }
    const std::vector<std::string> second = {
        "2",         "Zoë Ärger",  "-32767",   "2",
        "false",     "1066-10-14", "00:00:00", "1899-12-31 23:59:59.999",
        "-1.5e+300", "-0.01",      "-123.45",  "0x00ff10000000",
        "short",     "0x0102"};
    EXPECT_EQ(records[2], second);
    EXPECT_EQ(records[3][1], "twenty characters!!!");
    EXPECT_EQ(records[3][5], "2100-02-28");
    EXPECT_EQ(records[3][6], "23:59:59.999");
    EXPECT_EQ(records[3][7], "2040-06-30 12:34:56.789");
    EXPECT_EQ(records[3][8], "0");
    EXPECT_EQ(records[3][10], "99999.99");
    EXPECT_EQ(records[3][12], medium);
    EXPECT_EQ(records[3][13], "0x" + std::string(6000, 'a'));
    // Auto-increment values in the order of appending.
    EXPECT_EQ(records[1][3], "1");
    EXPECT_EQ(records[3][3], "3");
    EXPECT_EQ(records[0][3], "4");
    EXPECT_EQ(table->header().auto_inc, 4u);
    testing::expect_primary_index_matches(*table);

    // pxlib: the same record bytes in the same order, and its own decoding of the values.
    testing::PxlibTable pxlib((dir / "Types.DB").string());
    ASSERT_EQ(pxlib.record_count(), 4);
    const auto mb = read_file(dir / "Types.MB");
    auto cursor = table->open_cursor();
    for (int n = 0; n < 4; ++n, cursor->next()) {
        const char* raw = pxlib.read_record(n);
        const Bytes ours = cursor->record();
        ASSERT_EQ(std::memcmp(raw, ours.data(), ours.size()), 0) << "record " << n;
        long id = 0;
        PX_get_data_long(pxlib.doc(), const_cast<char*>(raw), 4, &id);
        EXPECT_EQ(std::to_string(id), records[n][0]);
        const Field& note = table->schema()[12];
        EXPECT_EQ(blob_by_hand(mb, ours.subspan(note.offset, note.width())),
                  bytes_of(records[n][12]));
    }
    const char* raw = pxlib.read_record(2);
    short small = 0;
    PX_get_data_short(pxlib.doc(), const_cast<char*>(raw) + 24, 2, &small);
    EXPECT_EQ(small, -32767);
    long day = 0;
    PX_get_data_long(pxlib.doc(), const_cast<char*>(raw) + 31, 4, &day);
    EXPECT_EQ(day, 389'270);  // 1066-10-14 as a day number, 0001-01-01 = 1
    double amount = 0;
    PX_get_data_double(pxlib.doc(), const_cast<char*>(raw) + 47, 8, &amount);
    EXPECT_EQ(amount, -1.5e300);
    char* exact = nullptr;
    ASSERT_GT(
        PX_get_data_bcd(pxlib.doc(), reinterpret_cast<unsigned char*>(const_cast<char*>(raw)) + 63,
                        2, &exact),
        0);
    EXPECT_STREQ(exact, "-123.45");
    pxlib.doc()->free(pxlib.doc(), exact);
}

TEST(RecordWrite, EditsAndDeletesKeepKeyOrderCountsAndIndex) {
    TempDir dir;
    create_table(dir.path(), "People",
                 {{{"Id", FieldType::kLong, 0},
                   {"Name", FieldType::kAlpha, 30},
                   {"Note", FieldType::kMemo, 15}},
                  1},
                 {7, 1024});
    Session s(dir.path(), "People");
    for (int i = 1; i <= 300; ++i)
        s.append({{"Id", std::int64_t{i * 10}},
                  {"Name", "person " + std::to_string(i)},
                  {"Note", std::string(static_cast<std::size_t>(i * 7), 'n')}});

    // A change of a field outside the key stays in place.
    ASSERT_TRUE(s.find("Id", std::int64_t{1500}));
    const std::uint32_t before = s.cursor->record_number();
    s.editor.edit();
    s.editor.set_field("Name", "renamed");
    s.editor.post();
    EXPECT_EQ(s.cursor->record_number(), before);
    EXPECT_EQ(s.cursor->field("Name").as_text(), "renamed");

    // A new key moves the record; the cursor follows it.
    s.editor.edit();
    s.editor.set_field("Id", std::int64_t{5});
    s.editor.set_field("Note", "");
    s.editor.post();
    EXPECT_EQ(s.cursor->record_number(), 1u);
    EXPECT_EQ(s.cursor->field("Id").as_text(), "5");
    EXPECT_EQ(s.cursor->field("Name").as_text(), "renamed");

    // Delete every third record; the cursor stands on the one that followed.
    int deleted = 0;
    for (s.cursor->first(); !s.cursor->eof();) {
        const auto id = *s.cursor->field("Id").integer();
        if (id % 30 == 0) {
            const std::uint32_t number = s.cursor->record_number();
            s.editor.remove();
            ++deleted;
            if (!s.cursor->eof()) {
                EXPECT_EQ(s.cursor->record_number(), number);
                EXPECT_GT(*s.cursor->field("Id").integer(), id);
            }
        } else {
            s.cursor->next();
        }
    }
    EXPECT_EQ(s.table->record_count(), 300u - deleted);
    s.editor.save_changes();

    const auto reread = Table::open(dir.path(), "People");
    std::int64_t previous = 0;
    std::uint32_t count = 0;
    for (auto c = reread->open_cursor(); !c->eof(); c->next(), ++count) {
        const auto id = *c->field("Id").integer();
        EXPECT_GT(id, previous);
        EXPECT_NE(id % 30, 0);
        if (id != 5) {
            EXPECT_EQ(c->field("Note").as_text().size(), static_cast<std::size_t>(id / 10 * 7));
        }
        previous = id;
    }
    EXPECT_EQ(count, reread->record_count());
    testing::expect_primary_index_matches(*reread);
    testing::PxlibTable pxlib((dir / "People.DB").string());
    EXPECT_EQ(static_cast<std::uint32_t>(pxlib.record_count()), count);
}

TEST(RecordWrite, KeyViolationWritesNothing) {
    TempDir dir;
    create_table(dir.path(), "Keys",
                 {{{"Code", FieldType::kAlpha, 8}, {"Note", FieldType::kMemo, 11}}, 1});
    Session s(dir.path(), "Keys");
    s.append({{"Code", "A"}, {"Note", std::string(100, 'x')}});
    s.append({{"Code", "B"}});
    s.editor.save_changes();
    const auto db = read_file(dir / "Keys.DB");
    const auto px = read_file(dir / "Keys.PX");
    const auto mb = read_file(dir / "Keys.MB");

    s.editor.append();
    s.editor.set_field("Code", "A");
    s.editor.set_field("Note", std::string(3000, 'y'));
    try {
        s.editor.post();
        ADD_FAILURE() << "a duplicate key was stored";
    } catch (const vaq::Error& e) {
        EXPECT_STREQ(e.what(), "Key violation in Keys.DB.");
    }
    EXPECT_EQ(s.editor.state(), RecordEditor::State::kInsert);
    EXPECT_EQ(read_file(dir / "Keys.DB"), db);
    EXPECT_EQ(read_file(dir / "Keys.PX"), px);
    EXPECT_EQ(read_file(dir / "Keys.MB"), mb);

    // Changing a key onto another record's key is refused the same way.
    s.editor.cancel();
    ASSERT_TRUE(s.find("Code", "B"));
    s.editor.edit();
    s.editor.set_field("Code", "A");
    EXPECT_THROW(s.editor.post(), vaq::Error);
    s.editor.cancel();
    EXPECT_EQ(read_file(dir / "Keys.DB"), db);

    // The writer goes on working after a refusal.
    s.editor.append();
    s.editor.set_field("Code", "C");
    s.editor.set_field("Note", std::string(3000, 'z'));
    s.editor.post();
    EXPECT_EQ(s.table->record_count(), 3u);
    EXPECT_EQ(s.cursor->field("Note").as_text(), std::string(3000, 'z'));
}

// A header that miscounts the chain's blocks: records can still be changed where they stand,
// but nothing is added to the chain or taken from it.
TEST(RecordWrite, ADamagedChainIsRefusedBeforeAnythingIsAddedToIt) {
    TempDir dir;
    create_table(dir.path(), "Chain", {{{"Name", FieldType::kAlpha, 8}}, 0});
    {
        Session s(dir.path(), "Chain");
        s.append({{"Name", "one"}});
        s.append({{"Name", "two"}});
    }
    std::vector<std::uint8_t> db = read_file(dir / "Chain.DB");
    store_u16le(db.data() + 0x0A, 2);  // blocks in use: the chain has 1
    testing::write_file(dir / "Chain.DB", db);

    Session s(dir.path(), "Chain");
    ASSERT_TRUE(s.find("Name", "two"));
    s.editor.edit();
    s.editor.set_field("Name", "TWO");
    s.editor.post();
    s.editor.save_changes();
    db = read_file(dir / "Chain.DB");
    try {
        s.append({{"Name", "three"}});
        ADD_FAILURE() << "a record was added to a damaged chain";
    } catch (const vaq::Error& e) {
        EXPECT_THAT(e.what(), HasSubstr("its chain holds 1 blocks but its header counts 2"));
    }
    EXPECT_EQ(read_file(dir / "Chain.DB"), db);
    EXPECT_EQ(s.table->record_count(), 2u);
}

TEST(RecordWrite, ValuesThatDoNotFitAreRefusedNamingTheField) {
    TempDir dir;
    create_table(dir.path(), "Fit", testing::every_type_spec());
    Session s(dir.path(), "Fit");
    s.editor.append();
    s.editor.set_field("Name", "fits");
    const auto refused = [&](const std::string& field, const FieldInput& value,
                             const std::string& expected) {
        try {
            s.editor.set_field(field, value);
            ADD_FAILURE() << field << " took a value it cannot hold";
        } catch (const vaq::Error& e) {
            EXPECT_THAT(e.what(), HasSubstr(expected));
            EXPECT_THAT(e.what(), HasSubstr("field " + field + " of Fit.DB"));
        }
    };
    refused("Name", std::string(21, 'x'), "too long");
    refused("Name", "€uro but 21 bytes long", "too long");
    refused("Small", std::int64_t{32768}, "out of range");
    refused("Small", "-32768", "out of range");
    refused("Id", "12x", "not a valid integer");
    refused("Id", 1.5, "not a valid integer");
    refused("Id", std::int64_t{1} << 40, "out of range");
    refused("Amount", "1,5", "not a valid floating point");
    refused("Flag", "perhaps", "not a valid boolean");
    refused("Day", "2024-02-30", "not a valid date");
    refused("Clock", "25:00", "not a valid time");
    refused("Exact", "1e40", "out of range");
    refused("Exact", "12,5", "not a valid decimal");
    refused("Raw", "0x00112233445566", "too long");
    refused("Raw", "plain", "not a valid byte string");
    EXPECT_EQ(s.editor.field_text("Name"), "fits");
    EXPECT_EQ(s.editor.field_text("Small"), "");
}

TEST(RecordWrite, DatesAndTimesFollowTheProcessFormats) {
    TempDir dir;
    create_table(dir.path(), "Days",
                 {{{"Day", FieldType::kDate, 0},
                   {"Clock", FieldType::kTime, 0},
                   {"Moment", FieldType::kTimestamp, 0}},
                  0});
    const vaq::DateTimeFormats saved = vaq::date_time_formats();
    vaq::set_short_date_format("dd/mm/yyyy");
    vaq::set_date_separator('/');
    {
        Session s(dir.path(), "Days");
        s.append({{"Day", "15/01/2024"}, {"Clock", "7:05:09"}, {"Moment", "02/03/1999 10:11:12"}});
        s.append({{"Day", "2024-01-16"}, {"Clock", "07:05:09.250"}});
        vaq::set_short_date_format("mm/dd/yyyy");
        s.append({{"Day", "01/17/2024"}});
    }
    vaq::set_date_time_formats(saved);
    const auto rows = testing::all_records(dir.path(), "Days");
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"2024-01-15", "07:05:09", "1999-03-02 10:11:12"}));
    EXPECT_EQ(rows[1][0], "2024-01-16");
    EXPECT_EQ(rows[1][1], "07:05:09.250");
    EXPECT_EQ(rows[2][0], "2024-01-17");
}

TEST(RecordWrite, AutoIncrementComesFromTheHeaderAndStaysAboveEveryValue) {
    TempDir dir;
    create_table(dir.path(), "Auto",
                 {{{"Id", FieldType::kAutoInc, 0}, {"Name", FieldType::kAlpha, 10}}, 1});
    Session s(dir.path(), "Auto");
    for (const char* name : {"a", "b", "c"})
        s.append({{"Name", name}});
    EXPECT_EQ(s.cursor->field("Id").as_text(), "3");
    s.editor.remove();  // the last one: its number is not handed out again
    s.append({{"Name", "d"}});
    EXPECT_EQ(s.cursor->field("Id").as_text(), "4");
    s.append({{"Id", std::int64_t{100}}, {"Name", "e"}});
    s.append({{"Name", "f"}});
    EXPECT_EQ(s.cursor->field("Id").as_text(), "101");
    EXPECT_EQ(s.table->header().auto_inc, 101u);
    s.editor.save_changes();
    EXPECT_EQ(load_u32le(&read_file(dir / "Auto.DB")[0x49]), 101u);
}

TEST(RecordWrite, MemosMoveBetweenTheRecordAndTheBlobFileAndSpaceIsReused) {
    TempDir dir;
    create_table(dir.path(), "Memo",
                 {{{"Id", FieldType::kLong, 0}, {"Note", FieldType::kMemo, 30}}, 1});
    Session s(dir.path(), "Memo");
    for (int i = 0; i < 40; ++i)
        s.append({{"Id", std::int64_t{i}},
                  {"Note", std::string(static_cast<std::size_t>(300 + i), 'a')}});
    s.append({{"Id", std::int64_t{100}}, {"Note", std::string(9000, 'b')}});
    const auto size_after_fill = fs::file_size(dir / "Memo.MB");
    // Rewriting every value many times must not grow the file without bound.
    for (int round = 0; round < 5; ++round) {
        for (s.cursor->first(); !s.cursor->eof(); s.cursor->next()) {
            s.editor.edit();
            const std::size_t length = s.editor.field_text("Note").size();
            s.editor.set_field("Note", std::string(length, static_cast<char>('c' + round)));
            s.editor.post();
        }
    }
    EXPECT_LE(fs::file_size(dir / "Memo.MB"), size_after_fill + 3 * 4096);
    // Down into the leader and back out.
    ASSERT_TRUE(s.find("Id", std::int64_t{100}));
    s.editor.edit();
    s.editor.set_field("Note", "tiny");
    s.editor.post();
    EXPECT_EQ(s.cursor->field("Note").as_text(), "tiny");
    const Field& note = s.table->schema()[1];
    EXPECT_EQ(BlobPointer::decode(s.cursor->record().data() + note.offset + 20).block_offset, 0u);
    s.editor.edit();
    s.editor.set_field("Note", std::string(2500, 'd'));
    s.editor.post();
    EXPECT_EQ(s.cursor->field("Note").as_text(), std::string(2500, 'd'));

    const auto mb = read_file(dir / "Memo.MB");
    for (s.cursor->first(); !s.cursor->eof(); s.cursor->next()) {
        const Bytes field = s.cursor->record().subspan(note.offset, note.width());
        EXPECT_EQ(blob_by_hand(mb, field), bytes_of(s.cursor->field("Note").as_text()));
    }
}

// An unkeyed table takes records stored many to a change where one change each puts them:
// after its last record, in blocks from its free list first, with the same auto-increment
// values; a record refused ends the call with the records before it stored.
TEST(RecordWrite, AnUnkeyedTableTakesRecordsStoredTogetherAsOneByOne) {
    TempDir dir;
    for (const char* name : {"Single", "Together"})
        create_table(dir.path(), name,
                     {{{"Id", FieldType::kAutoInc, 0}, {"Name", FieldType::kAlpha, 20}}, 0},
                     {7, 1024});  // 40 records a block
    const auto row = [](const std::shared_ptr<Table>& table, int n) {
        EditBuffer record = EditBuffer::blank(table);
        if (n % 97 == 0) record.set("Id", std::int64_t{5000 + n});  // moves the counter up
        record.set("Name", "row " + std::to_string(n));
        return record;
    };
    for (const bool together : {false, true}) {
        Session s(dir.path(), together ? "Together" : "Single");
        for (int n = 1; n <= 300; ++n)
            s.table->writer().insert(row(s.table, n));
        for (int n = 100; n <= 200; ++n) {
            ASSERT_TRUE(s.find("Name", "row " + std::to_string(n)));
            s.editor.remove();
        }
        ASSERT_NE(s.table->header().first_free_block, 0);
        std::vector<EditBuffer> batch;
        for (int n = 301; n <= 1300; ++n) {
            if (!together) {
                s.table->writer().insert(row(s.table, n));
                continue;
            }
            batch.push_back(row(s.table, n));
            if (batch.size() < 170 && n < 1300) continue;
            std::size_t stored = 0;
            s.table->writer().insert_all(batch, stored);
            ASSERT_EQ(stored, batch.size());
            batch.clear();
        }
        s.editor.save_changes();
    }
    const auto single = Table::open(dir.path(), "Single");
    const auto together = Table::open(dir.path(), "Together");
    for (const auto* header : {&single->header(), &together->header()}) {
        EXPECT_EQ(header->num_records, 1199u);
        EXPECT_EQ(header->first_free_block, 0);
    }
    EXPECT_EQ(single->header().auto_inc, together->header().auto_inc);
    EXPECT_EQ(single->header().file_blocks, together->header().file_blocks);
    EXPECT_EQ(single->header().last_block, together->header().last_block);
    const auto blocks = [&](const char* name) {
        std::vector<std::uint8_t> bytes = read_file(dir / name);
        bytes.erase(bytes.begin(), bytes.begin() + (bytes.at(2) | bytes.at(3) << 8));
        return bytes;
    };
    EXPECT_EQ(blocks("Single.DB"), blocks("Together.DB"));

    // The counter used up halfway: the records before the one refused are stored.
    const auto table = Table::open(dir.path(), "Together", Access::kWrite);
    std::vector<EditBuffer> batch(4, EditBuffer::blank(table));
    batch[1].set("Id", std::int64_t{2147483647});
    std::size_t stored = 99;
    std::vector<RecordPosition> placed;
    EXPECT_THROW(table->writer().insert_all(batch, stored, &placed), vaq::Error);
    EXPECT_EQ(stored, 2u);
    EXPECT_EQ(placed.size(), 2u);
    table->writer().flush();
    EXPECT_EQ(testing::PxlibTable((dir / "Together.DB").string()).record_count(), 1201);
}

TEST(RecordWrite, EmptiedBlocksGoToTheFreeListAndAreUsedAgain) {
    TempDir dir;
    create_table(dir.path(), "Free",
                 {{{"Id", FieldType::kLong, 0}, {"Pad", FieldType::kAlpha, 96}}, 1},
                 {7, 1024});  // 10 records a block
    Session s(dir.path(), "Free");
    for (int i = 1; i <= 200; ++i)
        s.append({{"Id", std::int64_t{i}}, {"Pad", "x"}});
    for (int i = 50; i <= 150; ++i) {
        ASSERT_TRUE(s.find("Id", std::int64_t{i}));
        s.editor.remove();
    }
    const TableHeader& h = s.table->header();
    EXPECT_NE(h.first_free_block, 0);
    EXPECT_LT(h.blocks_in_use, h.file_blocks);
    testing::expect_primary_index_matches(*s.table);
    // New blocks come from the free list as long as it has any.
    for (int i = 50; i <= 150; ++i) {
        const bool had_free = s.table->header().first_free_block != 0;
        const std::uint16_t blocks = s.table->header().file_blocks;
        s.append({{"Id", std::int64_t{i}}, {"Pad", "y"}});
        if (had_free) {
            EXPECT_EQ(s.table->header().file_blocks, blocks) << "record " << i;
        }
    }
    EXPECT_EQ(s.table->header().first_free_block, 0);
    testing::expect_primary_index_matches(*s.table);

    // Emptying the table keeps block 1 in the chain.
    for (s.cursor->first(); !s.cursor->eof();)
        s.editor.remove();
    EXPECT_EQ(s.table->record_count(), 0u);
    EXPECT_EQ(s.table->header().first_block, 1);
    EXPECT_EQ(s.table->header().last_block, 1);
    EXPECT_EQ(s.table->header().blocks_in_use, 1);
    s.append({{"Id", std::int64_t{7}}});
    EXPECT_EQ(s.cursor->bookmark().block, 1u);
    testing::expect_primary_index_matches(*s.table);
    testing::PxlibTable pxlib((dir / "Free.DB").string());
    EXPECT_EQ(pxlib.record_count(), 1);
}

TEST(RecordWrite, AfterPostRunsOnceForEveryStoredRecord) {
    TempDir dir;
    create_table(dir.path(), "Events", {{{"Name", FieldType::kAlpha, 10}}, 1});
    Session s(dir.path(), "Events");
    int calls = 0;
    s.editor.set_after_post([&] {
        ++calls;
        s.editor.save_changes();
    });
    s.append({{"Name", "one"}});
    s.append({{"Name", "two"}});
    s.editor.append();
    s.editor.set_field("Name", "one");
    EXPECT_THROW(s.editor.post(), vaq::Error);
    s.editor.cancel();
    s.editor.append();
    s.editor.cancel();
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(s.table->record_count(), 2u);
}

TEST(RecordWrite, AFullTableIsRefusedAndStaysReadable) {
    TempDir dir;
    // One record a block: 65535 records fill the table.
    create_table(dir.path(), "Full",
                 {{{"A", FieldType::kAlpha, 255},
                   {"B", FieldType::kAlpha, 255},
                   {"C", FieldType::kAlpha, 255},
                   {"D", FieldType::kAlpha, 200}},
                  0},
                 {7, 1024});
    Session s(dir.path(), "Full");
    for (int i = 0; i < 0xFFFF; ++i) {
        s.editor.append();
        s.editor.set_field("A", std::to_string(i));
        s.editor.post();
    }
    const auto size = fs::file_size(dir / "Full.DB");
    s.editor.append();
    s.editor.set_field("A", "one too many");
    try {
        s.editor.post();
        ADD_FAILURE() << "the 65536th block was written";
    } catch (const vaq::Error& e) {
        EXPECT_THAT(e.what(), HasSubstr("Table is full: Full.DB"));
    }
    s.editor.cancel();
    EXPECT_EQ(fs::file_size(dir / "Full.DB"), size);
    // A record goes in again once one was deleted: its block is free.
    s.cursor->first();
    s.editor.remove();
    s.append({{"A", "again"}});
    EXPECT_EQ(s.table->record_count(), 0xFFFFu);
    s.table.reset();
    testing::PxlibTable pxlib((dir / "Full.DB").string());
    EXPECT_EQ(pxlib.record_count(), 0xFFFF);
}

}  // namespace
}  // namespace pdx
