// Damaged and foreign files never crash, hang or read outside the file: opening or reading
// them throws an error that names the table and says what is wrong.

#include <gtest/gtest.h>

#include <gmock/gmock.h>

#include <random>

#include "common/error.h"
#include "engine/format/block_file.h"
#include "engine/table/cursor.h"
#include "engine/table/table.h"
#include "engine/table/tests/generated_family.h"
#include "engine/table/tests/test_support.h"
#include "test_support/corpus.h"

namespace pdx {
namespace {

using ::testing::HasSubstr;
using testing::TableBuilder;
using testing::TempDir;

constexpr std::size_t kHeaderSize = 2048;
constexpr std::size_t kBlockSize = 1024;
constexpr std::size_t kRecordSize = 24;  // I4 + A20: 42 records per 1 KiB block

// 100 records in 3 blocks of 42, 42 and 16.
std::vector<std::uint8_t> sound_table() {
    TableBuilder b({{"ID", {FieldType::kLong, 4}}, {"Name", {FieldType::kAlpha, 20}}});
    for (int i = 1; i <= 100; ++i) {
        auto r = b.record();
        b.set_long(r, 0, i);
        b.set_alpha(r, 1, "Name " + std::to_string(i));
        b.add(r);
    }
    return b.build();
}

std::size_t block_at(int block) {
    return kHeaderSize + (block - 1) * kBlockSize;
}

void put_u16(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint16_t v) {
    store_u16le(bytes.data() + at, v);
}

// Opens the table and reads every value of every record.
std::size_t read_everything(const std::filesystem::path& dir) {
    auto table = Table::open(dir, "Damaged");
    auto cursor = table->open_cursor();
    std::size_t values = 0;
    for (; !cursor->eof(); cursor->next())
        for (std::size_t i = 0; i < table->schema().size(); ++i)
            values += cursor->value(i).as_text().size();
    return values;
}

class DamagedTable : public ::testing::Test {
  protected:
    // Writes `bytes` as Damaged.DB and expects reading to fail with a message naming the
    // table and containing `what`.
    void expect_refused(const std::vector<std::uint8_t>& bytes, const std::string& what) {
        testing::write_file(dir_ / "Damaged.DB", bytes);
        try {
            read_everything(dir_.path());
            ADD_FAILURE() << "no error for a table that should fail with: " << what;
        } catch (const vaq::Error& e) {
            EXPECT_THAT(e.what(), HasSubstr("Damaged.DB"));
            EXPECT_THAT(e.what(), HasSubstr(what));
        }
    }

    TempDir dir_;
};

TEST_F(DamagedTable, SoundTableReadsCompletely) {
    testing::write_file(dir_ / "Damaged.DB", sound_table());
    auto table = Table::open(dir_.path(), "Damaged");
    auto cursor = table->open_cursor();
    int n = 0;
    for (; !cursor->eof(); cursor->next())
        EXPECT_EQ(cursor->field("ID").as_integer(), ++n);
    EXPECT_EQ(n, 100);
}

TEST_F(DamagedTable, EmptyAndCutHeadersAreRefused) {
    expect_refused({}, "too short");
    auto bytes = sound_table();
    expect_refused({bytes.begin(), bytes.begin() + 40}, "too short");
    expect_refused({bytes.begin(), bytes.begin() + 1000}, "inside its header");
}

TEST_F(DamagedTable, ForeignBytesAreRefused) {
    std::mt19937 random(7);
    for (int seed = 0; seed < 200; ++seed) {
        std::vector<std::uint8_t> bytes(100 + random() % 9000);
        for (auto& b : bytes)
            b = static_cast<std::uint8_t>(random());
        SCOPED_TRACE("seed " + std::to_string(seed));
        testing::write_file(dir_ / "Damaged.DB", bytes);
        try {
            read_everything(dir_.path());
        } catch (const vaq::Error& e) {
            EXPECT_THAT(e.what(), HasSubstr("Damaged."));
        }
    }
    // A text file is no table either.
    const std::string text = "This is a text file, not a table.\n";
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    bytes.resize(3000, ' ');
    expect_refused(bytes, "Damaged.DB");
}

TEST_F(DamagedTable, ImpossibleHeaderValuesAreRefused) {
    auto bytes = sound_table();
    auto header_size = bytes, file_type = bytes, version = bytes, block_code = bytes,
         record_size = bytes, field_type = bytes;
    put_u16(header_size, 0x02, 60000);
    expect_refused(header_size, "inside its header");
    file_type[0x04] = 0x30;
    expect_refused(file_type, "file type");
    version[0x39] = 0x40;
    expect_refused(version, "file version");
    block_code[0x05] = 0;
    expect_refused(block_code, "block size");
    put_u16(record_size, 0x00, 25);
    expect_refused(record_size, "record size");
    field_type[0x78] = 0x33;
    expect_refused(field_type, "unknown field type");
}

// A keyed table's header counts its leading key fields; a count beyond the fields, or a field
// without a name, is refused when the table opens, before anything indexes the field list.
TEST_F(DamagedTable, KeyCountBeyondTheFieldsAndNamelessFieldsAreRefused) {
    auto too_many_keys = sound_table();
    too_many_keys[0x04] = static_cast<std::uint8_t>(FileType::kKeyedTable);
    put_u16(too_many_keys, 0x23, 64);
    expect_refused(too_many_keys, "64 key fields but 2 fields");

    TableBuilder b({{"ID", {FieldType::kLong, 4}}, {"", {FieldType::kAlpha, 20}}});
    auto r = b.record();
    b.set_long(r, 0, 1);
    b.add(r);
    expect_refused(b.build(), "field 2 has no name");
}

// A damaged timestamp can hold any number; one beyond every calendar date is shown as the
// number it is instead of overflowing into a made-up date.
TEST_F(DamagedTable, TimestampBeyondEveryDateShowsItsNumber) {
    TableBuilder b({{"ID", {FieldType::kLong, 4}}, {"At", {FieldType::kTimestamp, 8}}});
    const double stored[] = {1e300, -1e300, 1.9e17, 63'000'000'000'000.0};
    for (double ms : stored) {
        auto r = b.record();
        b.set_long(r, 0, 1);
        b.set_double(r, 1, ms);
        b.add(r);
    }
    testing::write_file(dir_ / "Damaged.DB", b.build());
    auto table = Table::open(dir_.path(), "Damaged");
    std::vector<std::string> shown;
    for (auto cursor = table->open_cursor(); !cursor->eof(); cursor->next())
        shown.push_back(cursor->value(1).as_text());
    EXPECT_EQ(shown,
              (std::vector<std::string>{"1e+300", "-1e+300", "1.9e+17", "1997-05-22 16:00:00"}));
}

TEST_F(DamagedTable, ChainLeadingOutsideTheFileIsRefused) {
    auto first = sound_table();
    put_u16(first, 0x0E, 999);
    expect_refused(first, "block 999");
    // Block 3 claims a successor that the file does not hold.
    auto next = sound_table();
    put_u16(next, block_at(3), 4);
    expect_refused(next, "block 4");
    // The header counts more blocks than the file holds and the chain goes there.
    auto beyond = sound_table();
    put_u16(beyond, 0x0C, 10);
    put_u16(beyond, block_at(3), 7);
    expect_refused(beyond, "beyond the end of the file");
}

TEST_F(DamagedTable, LoopingChainIsRefusedInsteadOfHanging) {
    auto back = sound_table();
    put_u16(back, block_at(3), 1);
    expect_refused(back, "loops");
    auto self = sound_table();
    put_u16(self, block_at(2), 2);
    expect_refused(self, "loops");
}

TEST_F(DamagedTable, ImpossibleRecordAreaIsRefused) {
    for (std::int16_t size : {std::int16_t{5}, std::int16_t{-100}, std::int16_t{2000},
                              std::int16_t{static_cast<std::int16_t>(42 * kRecordSize)}}) {
        auto bytes = sound_table();
        store_i16le(bytes.data() + block_at(2) + 4, size);
        SCOPED_TRACE(size);
        expect_refused(bytes, "record area");
    }
}

TEST_F(DamagedTable, RecordCountThatLiesIsRefused) {
    auto more = sound_table();
    store_u32le(more.data() + 0x06, 110);
    expect_refused(more, "counts 110 records but its blocks hold 100");
    auto fewer = sound_table();
    store_u32le(fewer.data() + 0x06, 50);
    expect_refused(fewer, "more records than the 50");
    auto impossible = sound_table();
    store_u32le(impossible.data() + 0x06, 1'000'000);
    expect_refused(impossible, "more than its 3 blocks can hold");
    auto headless = sound_table();
    put_u16(headless, 0x0E, 0);
    expect_refused(headless, "names no first block");
}

TEST_F(DamagedTable, CutLastBlockReadsWhenItsRecordsArePresent) {
    // The last block holds 16 records (6 + 384 bytes); the file may end after them.
    auto bytes = sound_table();
    bytes.resize(block_at(3) + 6 + 16 * kRecordSize);
    testing::write_file(dir_ / "Damaged.DB", bytes);
    EXPECT_GT(read_everything(dir_.path()), 0u);

    bytes.resize(block_at(3) + 6 + 10 * kRecordSize);
    expect_refused(bytes, "the file ends inside them");
    bytes.resize(block_at(3) + 3);
    expect_refused(bytes, "cut short");
}

TEST_F(DamagedTable, BlobPointerOutsideTheBlobFileIsRefused) {
    TableBuilder b({{"ID", {FieldType::kLong, 4}}, {"Notes", {FieldType::kMemo, 15}}});
    auto r = b.record();
    b.set_long(r, 0, 1);
    std::copy_n("Hello", 5, r.begin() + 4);
    BlobPointer{0x10000, 0xFF, 100, 1}.encode(r.data() + 4 + 5);
    b.add(r);
    testing::write_file(dir_ / "Damaged.DB", b.build());
    // No .MB at all.
    try {
        read_everything(dir_.path());
        ADD_FAILURE() << "a missing blob file went unnoticed";
    } catch (const vaq::Error& e) {
        EXPECT_THAT(e.what(), HasSubstr("Damaged.DB"));
        EXPECT_THAT(e.what(), HasSubstr("missing"));
    }
    // An .MB too short for the pointer.
    std::vector<std::uint8_t> mb(8192, 0);
    mb[4096] = 2;
    testing::write_file(dir_ / "damaged.mb", mb);
    try {
        read_everything(dir_.path());
        ADD_FAILURE() << "a blob pointer outside the blob file went unnoticed";
    } catch (const vaq::Error& e) {
        EXPECT_THAT(e.what(), HasSubstr("damaged.mb is damaged"));
    }
    // A pointer to a block of the wrong kind.
    mb.resize(0x11000, 0);
    mb[0x10000] = 4;
    testing::write_file(dir_ / "damaged.mb", mb);
    try {
        read_everything(dir_.path());
        ADD_FAILURE() << "a blob pointer to a free block went unnoticed";
    } catch (const vaq::Error& e) {
        EXPECT_THAT(e.what(), HasSubstr("type 4"));
    }
}

// Tables with bytes changed at random (header, blocks and blob file alike) either read or
// fail with an error; nothing else may happen. Returns how many rounds failed.
int damage_at_random(const std::filesystem::path& dir, const std::string& name,
                     const std::vector<std::uint8_t>& table, const std::vector<std::uint8_t>& blobs,
                     std::mt19937& random) {
    int failures = 0;
    for (int round = 0; round < 60; ++round) {
        auto damaged_table = table;
        auto damaged_blobs = blobs;
        for (int hits = 1 + static_cast<int>(random() % 4); hits > 0; --hits) {
            auto& target =
                (!damaged_blobs.empty() && random() % 3 == 0) ? damaged_blobs : damaged_table;
            target[random() % target.size()] = static_cast<std::uint8_t>(random());
        }
        testing::write_file(dir / "Damaged.DB", damaged_table);
        if (!damaged_blobs.empty()) testing::write_file(dir / "Damaged.MB", damaged_blobs);
        SCOPED_TRACE(name + " round " + std::to_string(round));
        try {
            read_everything(dir);
        } catch (const vaq::Error& e) {
            EXPECT_THAT(e.what(), HasSubstr("Damaged."));
            ++failures;
        }
    }
    return failures;
}

// Tables the engine writes: keyed, with memo values in the record and in the .MB; and an
// unkeyed one laid out byte by byte.
TEST_F(DamagedTable, WrittenTablesWithRandomDamageFailCleanly) {
    TempDir source;
    const std::filesystem::path family =
        testing::copy_of_family("Customers", 20, 2048, false, source.path());
    std::mt19937 random(11);
    int failures = damage_at_random(dir_.path(), "Customers.DB", testing::read_file(family),
                                    testing::read_file(source / "Customers.MB"), random);
    std::filesystem::remove(dir_ / "Damaged.MB");
    failures += damage_at_random(dir_.path(), "sound table", sound_table(), {}, random);
    EXPECT_GT(failures, 0);
}

// Real tables, laid out by other software: Paradox's own encryption among them.
TEST_F(DamagedTable, RealTablesWithRandomDamageFailCleanly) {
    const std::filesystem::path corpus = vaq::test_support::corpus_folder();
    if (!std::filesystem::is_directory(corpus)) GTEST_SKIP() << "corpus folder absent: " << corpus;
    const std::vector<std::pair<std::string, std::string>> sources = {
        {"paradox-reader/testtab.DB", "paradox-reader/testtab.MB"},
        {"paradoxdriver/db/CUSTOMER.DB", "paradoxdriver/db/CUSTOMER.MB"},
        {"paradoxdriver/encrypt/encryptedmemo.db", "paradoxdriver/encrypt/encryptedmemo.mb"},
        {"paradoxdriver/mtdemo/AMOUNT.DB", ""},
        {"pxlib/TypSammlung.DB", "pxlib/TypSammlung.MB"}};
    std::mt19937 random(11);
    int failures = 0;
    for (const auto& [db, mb] : sources)
        failures += damage_at_random(
            dir_.path(), db, testing::read_file(corpus / db),
            mb.empty() ? std::vector<std::uint8_t>{} : testing::read_file(corpus / mb), random);
    EXPECT_GT(failures, 0);
}

TEST_F(DamagedTable, IndexFileIsNotOpenedAsATable) {
    TempDir source;
    testing::copy_of_family("Customers", 20, 2048, false, source.path());
    std::filesystem::copy_file(source / "Customers.PX", dir_ / "Damaged.DB");
    try {
        read_everything(dir_.path());
        ADD_FAILURE() << "a primary index was read as a table";
    } catch (const vaq::Error& e) {
        EXPECT_THAT(e.what(), HasSubstr("Damaged.DB is not a Paradox table"));
    }
}

}  // namespace
}  // namespace pdx
