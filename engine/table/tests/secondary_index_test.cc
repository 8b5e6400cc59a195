// Creating and deleting secondary indexes: on tables we create and on copies of corpus
// tables, read back through the index reader, with the table's own files untouched (pxlib
// still reads them as before); names, kinds and flags as listed; the errors of duplicate,
// missing and impossible indexes, which leave the table as it was.

#include <gtest/gtest.h>

#include <random>

#include "common/error.h"
#include "engine/table/index_cursor.h"
#include "engine/table/secondary_index.h"
#include "engine/table/secondary_index_build.h"
#include "engine/table/table_admin.h"
#include "engine/table/tests/pxlib_reader.h"
#include "engine/table/tests/secondary_index_checks.h"
#include "engine/table/tests/test_support.h"

namespace pdx {
namespace {

namespace fs = std::filesystem;
using testing::append;
using testing::check_all_indexes;
using testing::check_index;
using testing::copy_corpus_table;
using testing::file_bytes;
using testing::TempDir;

std::string error_of(const std::function<void()>& action) {
    try {
        action();
    } catch (const vaq::Error& e) {
        return e.what();
    }
    return "no error";
}

SecondaryIndexRequest request(std::string name, std::vector<std::string> fields,
                              bool case_insensitive = false) {
    SecondaryIndexRequest r;
    r.name = std::move(name);
    r.fields = std::move(fields);
    r.case_insensitive = case_insensitive;
    return r;
}

std::vector<std::string> names_of(const Table& table) {
    std::vector<std::string> names;
    for (const SecondaryIndex& index : list_secondary_indexes(table))
        names.push_back(index.name);
    return names;
}

// A keyed staff table with names in mixed case, some of them equal but for case, and
// blocks of 1 KiB so that the indexes span several blocks and tree levels.
class KeyedTable : public ::testing::Test {
  protected:
    void SetUp() override {
        install_secondary_index_writers();
        TableSpec spec;
        spec.fields = {{"ID", FieldType::kLong, 0},
                       {"Name", FieldType::kAlpha, 20},
                       {"Dept", FieldType::kShort, 0},
                       {"Hired", FieldType::kDate, 0},
                       {"Note", FieldType::kMemo, 20}};
        spec.key_fields = 1;
        create_table(dir_.path(), "Staff.DB", spec, {7, 1024});
        auto table = Table::open(dir_.path(), "Staff", Access::kWrite);
        std::mt19937 random(7);
        const char* names[] = {"anna", "Anna", "BOB", "bob", "Carl", "dora", "Eve", "eve"};
        for (int i = 1; i <= 600; ++i) {
            const std::string name =
                std::string(names[random() % 8]) + std::to_string(random() % 40);
            append(*table, {std::int64_t{i}, i % 50 == 0 ? std::string() : name,
                            std::int64_t(random() % 12),
                            std::string("2003-0") + std::to_string(1 + random() % 9) + "-1" +
                                std::to_string(random() % 10)});
        }
    }
    TempDir dir_;
};

TEST_F(KeyedTable, IndexesOfEveryKindReadBackThroughTheReader) {
    const std::vector<std::uint8_t> data_before = file_bytes(dir_ / "Staff.DB");
    const std::vector<std::uint8_t> primary_before = file_bytes(dir_ / "Staff.PX");

    create_secondary_index(dir_.path(), "staff", request("Name", {"name"}));
    create_secondary_index(dir_.path(), "Staff.db", request("idx_Dept", {"Dept"}));
    create_secondary_index(dir_.path(), "STAFF", request("NameCI", {"Name"}, true));
    create_secondary_index(dir_.path(), "Staff", request("DeptName", {"Dept", "Name"}));
    SecondaryIndexRequest down = request("Latest", {"Hired"});
    down.descending = true;
    create_secondary_index(dir_.path(), "Staff", down);

    // The table's own files are not touched, and pxlib reads them as before.
    EXPECT_EQ(file_bytes(dir_ / "Staff.DB"), data_before);
    EXPECT_EQ(file_bytes(dir_ / "Staff.PX"), primary_before);
    testing::PxlibTable pxlib((dir_ / "Staff.DB").string());
    EXPECT_EQ(pxlib.record_count(), 600);

    const auto table = Table::open(dir_.path(), "Staff");
    // Xnn files first, by field number, then XGn files by number.
    EXPECT_EQ(names_of(*table),
              (std::vector<std::string>{"Name", "idx_Dept", "NameCI", "DeptName", "Latest"}));
    const std::vector<SecondaryIndex> indexes = list_secondary_indexes(*table);
    EXPECT_EQ(indexes[0].index_file.filename(), "Staff.X02");
    EXPECT_EQ(indexes[0].tree_file->filename(), "Staff.Y02");
    EXPECT_EQ(indexes[1].index_file.filename(), "Staff.XG0");
    EXPECT_EQ(indexes[4].index_file.filename(), "Staff.XG3");
    for (const SecondaryIndex& index : indexes) {
        EXPECT_TRUE(index.layout.maintained) << index.name;
        EXPECT_FALSE(index.stale) << index.name;
    }
    EXPECT_TRUE(indexes[2].layout.case_insensitive);
    EXPECT_FALSE(indexes[3].layout.case_insensitive);
    EXPECT_EQ(indexes[3].fields, (std::vector<std::size_t>{2, 1}));
    EXPECT_TRUE(indexes[4].layout.fields[0].descending);

    // Header bytes as the BDE writes them.
    const TableHeader xg1 = BlockFile::open(indexes[2].index_file).header();
    EXPECT_EQ(xg1.file_type, FileType::kCompositeIndexMaintained);
    EXPECT_EQ(xg1.index_flags, kIndexCaseInsensitive);
    EXPECT_EQ(xg1.index_name, "NameCI");
    EXPECT_EQ(xg1.fields[0].name, "Name");
    EXPECT_EQ(xg1.fields[1].name, "ID");
    EXPECT_EQ(xg1.fields[2].name, "Blk Num");
    EXPECT_EQ(xg1.hi_field_id, 4);
    const TableHeader x02 = BlockFile::open(indexes[0].index_file).header();
    EXPECT_EQ(x02.file_type, FileType::kSecondaryIndexMaintained);
    EXPECT_EQ(x02.index_field_number, 2);
    EXPECT_EQ(BlockFile::open(*indexes[0].tree_file).header().file_type,
              FileType::kSecondaryIndexTree);
    EXPECT_EQ(BlockFile::open(*indexes[2].tree_file).header().file_type,
              FileType::kCompositeIndexTree);
    EXPECT_EQ(BlockFile::open(indexes[4].index_file).header().index_flags, kIndexDescending);

    check_all_indexes(*table);
}

TEST_F(KeyedTable, CaseInsensitiveKeysAreStoredInUpperCaseAndOrderedSo) {
    create_secondary_index(dir_.path(), "Staff", request("NameCI", {"Name"}, true));
    const auto table = Table::open(dir_.path(), "Staff");
    const SecondaryIndex index = find_secondary_index(*table, "nameci");
    const BlockFile x = BlockFile::open(index.index_file);
    IndexRecordReader reader(x);
    std::string previous;
    for (bool more = reader.first(); more; more = reader.next()) {
        const std::string name(decode_alpha(reader.record().first(20)));
        for (char c : name)
            EXPECT_FALSE(c >= 'a' && c <= 'z') << name;
        EXPECT_LE(previous, name);
        previous = name;
    }
}

TEST_F(KeyedTable, DuplicateMissingAndImpossibleIndexesAreRefusedAndLeaveNoFiles) {
    create_secondary_index(dir_.path(), "Staff", request("idx_Dept", {"Dept"}));
    const auto before = family_files(dir_ / "Staff.DB");

    EXPECT_EQ(error_of([&] {
                  create_secondary_index(dir_.path(), "Staff", request("IDX_DEPT", {"Name"}));
              }),
              "Index already exists: IDX_DEPT on Staff.DB");
    EXPECT_EQ(error_of([&] {
                  create_secondary_index(dir_.path(), "Staff", request("idx_X", {"Salary"}));
              }),
              "Field not found: Salary in Staff.DB.");
    EXPECT_EQ(
        error_of([&] { create_secondary_index(dir_.path(), "Staff", request("idx_N", {"Note"})); }),
        "Index idx_N on Staff.DB cannot be created: field Note holds memo or blob values, "
        "which cannot be indexed.");
    EXPECT_EQ(error_of([&] {
                  create_secondary_index(dir_.path(), "Staff", request("idx_2", {"Dept", "dept"}));
              }),
              "Index idx_2 on Staff.DB cannot be created: it names field Dept twice.");
    EXPECT_EQ(
        error_of([&] { create_secondary_index(dir_.path(), "Staff", request("Hired", {"Dept"})); }),
        "Index Hired on Staff.DB cannot be created: it would share the name of field "
        "Hired, which only a single-field, case-sensitive, ascending index on that field "
        "may.");
    EXPECT_EQ(
        error_of([&] { create_secondary_index(dir_.path(), "Staff", request("", {"Dept"})); }),
        "An index of Staff.DB needs a name.");
    EXPECT_EQ(
        error_of([&] { create_secondary_index(dir_.path(), "Nothing", request("idx", {"Dept"})); }),
        "Table does not exist: Nothing.");
    EXPECT_EQ(family_files(dir_ / "Staff.DB"), before);

    EXPECT_EQ(error_of([&] { delete_secondary_index(dir_.path(), "Staff", "idx_None"); }),
              "Index does not exist: idx_None on Staff.DB");
    // The primary index has no name to delete it by.
    EXPECT_EQ(error_of([&] { delete_secondary_index(dir_.path(), "Staff", ""); }),
              "Index does not exist:  on Staff.DB");
    EXPECT_EQ(family_files(dir_ / "Staff.DB"), before);
}

TEST_F(KeyedTable, DeleteByNameIgnoresCaseThroughAnOpenTableOrByTableName) {
    create_secondary_index(dir_.path(), "Staff", request("Name", {"Name"}));
    create_secondary_index(dir_.path(), "Staff", request("idx_Dept", {"Dept"}));
    create_secondary_index(dir_.path(), "Staff", request("idx_Hired", {"Hired"}));

    delete_secondary_index(dir_.path(), "staff.db", "IDX_DEPT");
    {
        const auto table = Table::open(dir_.path(), "Staff");
        EXPECT_EQ(names_of(*table), (std::vector<std::string>{"Name", "idx_Hired"}));
        // Through the open table, which is made writable for it.
        delete_secondary_index(*table, "name");
        EXPECT_EQ(names_of(*table), (std::vector<std::string>{"idx_Hired"}));
        EXPECT_FALSE(fs::exists(dir_ / "Staff.X02"));
        EXPECT_FALSE(fs::exists(dir_ / "Staff.Y02"));
        // The free number is taken again.
        create_secondary_index(*table, request("idx_Again", {"Dept"}));
        EXPECT_TRUE(fs::exists(dir_ / "Staff.XG0"));
        check_all_indexes(*table);
    }
    EXPECT_TRUE(fs::exists(dir_ / "Staff.XG1"));
}

TEST(UnkeyedTable, IndexOnATableWithoutKeyIsASnapshotThatIsCurrent) {
    install_secondary_index_writers();
    TempDir dir;
    TableSpec spec;
    spec.fields = {{"DeptID", FieldType::kShort, 0}, {"DeptName", FieldType::kAlpha, 30}};
    create_table(dir.path(), "Department.DB", spec, {7, 1024});
    {
        auto table = Table::open(dir.path(), "Department", Access::kWrite);
        for (int i = 0; i < 200; ++i)
            append(*table, {std::int64_t{i}, "Dept " + std::to_string((i * 37) % 101)});
    }
    const std::vector<std::uint8_t> data_before = file_bytes(dir / "Department.DB");
    create_secondary_index(dir.path(), "Department", request("idx_DeptName", {"DeptName"}));
    EXPECT_EQ(file_bytes(dir / "Department.DB"), data_before);

    const auto table = Table::open(dir.path(), "Department");
    const SecondaryIndex index = find_secondary_index(*table, "IDX_DEPTNAME");
    EXPECT_EQ(index.name, "idx_DeptName");
    EXPECT_FALSE(index.layout.maintained);
    EXPECT_FALSE(index.stale);
    const TableHeader x = BlockFile::open(index.index_file).header();
    EXPECT_EQ(x.file_type, FileType::kCompositeIndexSnapshot);
    ASSERT_EQ(x.fields.size(), 4u);
    EXPECT_EQ(x.fields[1].name, "Tup No");
    EXPECT_EQ(x.fields[2].name, "Blk Num");
    EXPECT_EQ(x.fields[3].name, "Tup Offset");
    EXPECT_EQ(x.key_fields, 3);
    check_index(*table, index);
}

// Keys of numbers only and longer than 8 bytes are sorted by comparing the entries
// themselves past their first 8 bytes, ascending and descending. The first 8 bytes of
// these keys repeat often and what follows is in no relation to the table's order.
TEST(UnkeyedTable, NumberKeysLongerThanEightBytesAreOrderedByEveryByte) {
    install_secondary_index_writers();
    TempDir dir;
    TableSpec spec;
    spec.fields = {{"Door", FieldType::kShort, 0},
                   {"Shift", FieldType::kLong, 0},
                   {"Badge", FieldType::kLong, 0}};
    create_table(dir.path(), "Events.DB", spec, {7, 1024});
    {
        auto table = Table::open(dir.path(), "Events", Access::kWrite);
        std::mt19937 random(11);
        for (int i = 0; i < 700; ++i)
            append(*table, {std::int64_t(random() % 3), std::int64_t(random() % 4),
                            std::int64_t(random() % 5000)});
    }
    create_secondary_index(dir.path(), "Events",
                           request("DoorShiftBadge", {"Door", "Shift", "Badge"}));
    SecondaryIndexRequest down = request("AllDown", {"Door", "Shift", "Badge"});
    down.descending = true;
    create_secondary_index(dir.path(), "Events", down);
    const auto table = Table::open(dir.path(), "Events");
    ASSERT_EQ(list_secondary_indexes(*table).size(), 2u);
    check_all_indexes(*table);
}

TEST(EmptyTable, IndexesOfAnEmptyTableHaveNoBlocksAndTakeRecordsLater) {
    install_secondary_index_writers();
    TempDir dir;
    TableSpec spec;
    spec.fields = {{"ID", FieldType::kLong, 0}, {"Name", FieldType::kAlpha, 10}};
    spec.key_fields = 1;
    create_table(dir.path(), "Empty.DB", spec);
    create_secondary_index(dir.path(), "Empty", request("Name", {"Name"}));
    {
        const auto table = Table::open(dir.path(), "Empty");
        const TableHeader x = BlockFile::open(dir / "Empty.X02").header();
        EXPECT_EQ(x.num_records, 0u);
        EXPECT_EQ(x.file_blocks, 0);
        EXPECT_EQ(fs::file_size(dir / "Empty.X02"), x.header_size);
        check_all_indexes(*table);
    }
    auto table = Table::open(dir.path(), "Empty", Access::kWrite);
    append(*table, {std::int64_t{1}, std::string("one")});
    check_all_indexes(*table);
}

TEST(SortOrder, KeysTheSortOrderCannotPlaceAreRefusedBeforeAnythingIsWritten) {
    install_secondary_index_writers();
    TempDir dir;
    // An 'intl' table: punctuation has no established place among letters there.
    testing::TableBuilder builder({{"Name", {FieldType::kAlpha, 10}}});
    builder.header().sort_order_id = "intl";
    for (const char* text : {"a-b", "a b", "ab"}) {
        auto r = builder.record();
        builder.set_alpha(r, 0, text);
        builder.add(r);
    }
    testing::write_file(dir / "Intl.DB", builder.build());
    const auto before = family_files(dir / "Intl.DB");
    const std::string error =
        error_of([&] { create_secondary_index(dir.path(), "Intl", request("idx_N", {"Name"})); });
    EXPECT_NE(error.find("Index idx_N on Intl.DB cannot be built: the sort order intl cannot put"),
              std::string::npos)
        << error;
    EXPECT_EQ(family_files(dir / "Intl.DB"), before);
}

// The bytes of an index file but for its header's update time (0x60), which a second
// build a moment later may set differently.
std::vector<std::uint8_t> index_bytes(const fs::path& path) {
    std::vector<std::uint8_t> bytes = file_bytes(path);
    if (bytes.size() >= 0x64) std::fill(bytes.begin() + 0x60, bytes.begin() + 0x64, 0);
    return bytes;
}

bool has_scratch_file(const fs::path& dir) {
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.path().string().ends_with(".sort.tmp")) return true;
    return false;
}

// Entries beyond the memory given are sorted in runs on disk and merged: every index of
// `table`, rebuilt with room for 2 entries (hundreds of runs), for some hundred and for all,
// is the same file to the byte as the one built in memory, and no scratch file stays behind.
void expect_same_when_sorted_in_runs(const Table& table, std::size_t index_count) {
    const std::vector<SecondaryIndex> indexes = list_secondary_indexes(table);
    ASSERT_EQ(indexes.size(), index_count);
    TempDir out;
    for (const SecondaryIndex& index : indexes) {
        ASSERT_TRUE(index.tree_file);
        for (const std::size_t memory : {std::size_t{1}, std::size_t{4096}, kDefaultSortMemory}) {
            SCOPED_TRACE(index.name + " in " + std::to_string(memory) + " bytes");
            // Same names: the header stores its file's name.
            const fs::path x = out / index.index_file.filename();
            const fs::path y = out / index.tree_file->filename();
            write_secondary_index(table, definition_of(index), index.name, x, y, memory);
            EXPECT_FALSE(has_scratch_file(out.path()));
            EXPECT_EQ(index_bytes(x), index_bytes(index.index_file));
            EXPECT_EQ(index_bytes(y), index_bytes(*index.tree_file));
            fs::remove(x);
            fs::remove(y);
        }
    }
    check_all_indexes(table);
}

TEST_F(KeyedTable, IndexesSortedInRunsOnDiskAreTheFilesSortedInMemory) {
    create_secondary_index(dir_.path(), "Staff", request("Name", {"Name"}));
    create_secondary_index(dir_.path(), "Staff", request("NameAnyCase", {"Name"}, true));
    create_secondary_index(dir_.path(), "Staff", request("Dept", {"Dept"}));
    SecondaryIndexRequest down = request("DeptNameDown", {"Dept", "Name"});
    down.descending = true;
    create_secondary_index(dir_.path(), "Staff", down);
    create_secondary_index(dir_.path(), "Staff", request("DeptHired", {"Dept", "Hired"}));
    expect_same_when_sorted_in_runs(*Table::open(dir_.path(), "Staff"), 5);
}

// Without a primary key equal keys are common (3 doors, 4 shifts): they keep table order
// across runs as within one.
TEST(UnkeyedTable, IndexesSortedInRunsOnDiskAreTheFilesSortedInMemory) {
    install_secondary_index_writers();
    TempDir dir;
    TableSpec spec;
    spec.fields = {{"Door", FieldType::kShort, 0},
                   {"Shift", FieldType::kLong, 0},
                   {"Badge", FieldType::kLong, 0},
                   {"Name", FieldType::kAlpha, 12}};
    create_table(dir.path(), "Events.DB", spec, {7, 1024});
    {
        auto table = Table::open(dir.path(), "Events", Access::kWrite);
        std::mt19937 random(5);
        const char* names[] = {"anna", "Anna", "bob", "BOB"};
        for (int i = 0; i < 700; ++i)
            append(*table, {std::int64_t(random() % 3), std::int64_t(random() % 4),
                            std::int64_t(random() % 5000), std::string(names[random() % 4])});
    }
    create_secondary_index(dir.path(), "Events", request("Door", {"Door"}));
    create_secondary_index(dir.path(), "Events", request("NameAnyCase", {"Name"}, true));
    create_secondary_index(dir.path(), "Events",
                           request("DoorShiftName", {"Door", "Shift", "Name"}));
    SecondaryIndexRequest down = request("ShiftBadgeDown", {"Shift", "Badge"});
    down.descending = true;
    create_secondary_index(dir.path(), "Events", down);
    expect_same_when_sorted_in_runs(*Table::open(dir.path(), "Events"), 4);
}

// Records added in the order of a key (transactions by date, a day's several together): the
// sort is spared and the runs follow each other, and each day's records still keep table
// order across the runs; the same key descending and after another field reverses or mixes
// that order.
TEST(UnkeyedTable, IndexesOfATableAddedInKeyOrderAreTheFilesSortedInMemory) {
    install_secondary_index_writers();
    TempDir dir;
    TableSpec spec;
    spec.fields = {{"Day", FieldType::kDate, 0},
                   {"Badge", FieldType::kLong, 0},
                   {"Door", FieldType::kShort, 0}};
    create_table(dir.path(), "Transact.DB", spec, {7, 1024});
    {
        auto table = Table::open(dir.path(), "Transact", Access::kWrite);
        std::mt19937 random(11);
        for (int i = 0; i < 600; ++i)
            append(*table, {"2004-03-" + std::to_string(10 + i / 40), std::int64_t(random() % 900),
                            std::int64_t(i % 3)});
    }
    create_secondary_index(dir.path(), "Transact", request("Day", {"Day"}));
    create_secondary_index(dir.path(), "Transact", request("DayBadge", {"Day", "Badge"}));
    create_secondary_index(dir.path(), "Transact", request("DoorDay", {"Door", "Day"}));
    SecondaryIndexRequest down = request("DayDown", {"Day"});
    down.descending = true;
    create_secondary_index(dir.path(), "Transact", down);
    const auto table = Table::open(dir.path(), "Transact");
    expect_same_when_sorted_in_runs(*table, 4);

    // The index by day walks the table in its own order.
    auto by_day = open_index_cursor(*table, "Day");
    auto in_table = table->open_cursor();
    std::size_t walked = 0;
    for (; !by_day->eof() && !in_table->eof(); by_day->next(), in_table->next(), ++walked) {
        const Bytes indexed = by_day->record();
        const Bytes stored = in_table->record();
        ASSERT_TRUE(std::equal(indexed.begin(), indexed.end(), stored.begin(), stored.end()))
            << "record " << walked + 1;
    }
    EXPECT_EQ(walked, 600u);
}

// Keys the sort order cannot place are found across runs as well; neither index file nor
// the scratch file stays behind.
TEST(SortOrder, KeysTheSortOrderCannotPlaceAreRefusedWhenSortedInRuns) {
    TempDir dir;
    testing::TableBuilder builder({{"Name", {FieldType::kAlpha, 10}}});
    builder.header().sort_order_id = "intl";
    for (const char* text : {"ab", "c", "a b", "d", "a-b"}) {
        auto r = builder.record();
        builder.set_alpha(r, 0, text);
        builder.add(r);
    }
    testing::write_file(dir / "Intl.DB", builder.build());
    const auto table = Table::open(dir.path(), "Intl");
    SecondaryIndexDefinition definition;
    definition.fields = {{1, false}};
    definition.maintained = false;
    definition.stored_name = "idx_N";
    TempDir out;
    const std::string error = error_of([&] {
        write_secondary_index(*table, definition, "idx_N", out / "Intl.XG0", out / "Intl.YG0", 1);
    });
    EXPECT_NE(error.find("Index idx_N on Intl.DB cannot be built: the sort order intl cannot put"),
              std::string::npos)
        << error;
    EXPECT_TRUE(fs::is_empty(out.path()));
}

// Copies of corpus tables: our indexes beside the BDE's, all readable, the table untouched.
class CorpusCopy : public ::testing::Test {
  protected:
    void SetUp() override {
        SKIP_WITHOUT_CORPUS();
        install_secondary_index_writers();
    }

    void create_and_check(const std::string& relative,
                          const std::vector<SecondaryIndexRequest>& requests,
                          const std::vector<std::string>& expected_names) {
        SCOPED_TRACE(relative);
        const fs::path table_file = copy_corpus_table(relative, dir_.path());
        const std::vector<std::uint8_t> before = file_bytes(table_file);
        const std::string stem = table_file.stem().string();
        for (const SecondaryIndexRequest& r : requests)
            create_secondary_index(dir_.path(), stem, r);
        EXPECT_EQ(file_bytes(table_file), before);
        testing::PxlibTable pxlib(table_file.string());
        const auto table = Table::open(dir_.path(), stem);
        EXPECT_EQ(static_cast<std::uint32_t>(pxlib.record_count()), table->record_count());
        EXPECT_EQ(names_of(*table), expected_names);
        // The BDE's indexes as well as ours, except a snapshot the BDE left stale.
        for (const SecondaryIndex& index : list_secondary_indexes(*table))
            if (!index.stale) check_index(*table, index);
    }

    TempDir dir_;
};

TEST_F(CorpusCopy, AreaCodes) {
    // 370 records in 16 KiB blocks, byte order; the BDE's case-insensitive 'ste' stays first
    // among the named ones.
    create_and_check("paradoxdriver/db/AREACODES.DB",
                     {request("State", {"State"}), request("idx_Cities", {"Cities"}, true)},
                     {"State", "ste", "idx_Cities"});
}

TEST_F(CorpusCopy, Zakazky) {
    // 3988 records, a two-level tree, next to the BDE's composite ISKUPINA.
    create_and_check("paradox-reader/zakazky.db",
                     {request("OPERATOR", {"OPERATOR"}), request("idx_Den", {"DEN", "SMENA"}),
                      request("idx_Typ", {"TYPL", "DATETIME"}, true)},
                     {"OPERATOR", "ISKUPINA", "idx_Den", "idx_Typ"});
}

TEST_F(CorpusCopy, CustomerUnderADictionarySortOrder) {
    // ANSII850: dates and numbers order by their bytes whatever the sort order.
    create_and_check("paradoxdriver/db/CUSTOMER.DB",
                     {request("DateEntered", {"DateEntered"}), request("idx_No", {"CustNo"})},
                     {"City", "DateEntered", "idx_No"});
}

TEST_F(CorpusCopy, UnkeyedTableOfLevelFour) {
    create_and_check("paradoxdriver/joins/case.db", {request("idx_C", {"C"})}, {"C", "idx_C"});
}

TEST_F(CorpusCopy, IndexesTheBdeWroteTakeRecordChanges) {
    // zakazky: 3988 records, the BDE's case-insensitive ISKUPINA over six fields with a
    // two-level tree, and our index beside it.
    const fs::path file = copy_corpus_table("paradox-reader/zakazky.db", dir_.path());
    create_secondary_index(dir_.path(), "zakazky", request("idx_Typ", {"TYPL"}, true));
    auto table = Table::open(dir_.path(), "zakazky", Access::kWrite);
    std::mt19937 random(5);
    std::vector<std::vector<std::uint8_t>> picked;
    for (auto cursor = table->open_cursor(); !cursor->eof(); cursor->next())
        if (random() % 40 == 0)
            picked.emplace_back(cursor->record().begin(), cursor->record().end());
    for (std::size_t i = 0; i < picked.size(); ++i) {
        const RecordRef ref{picked[i], std::nullopt, 0};
        if (i % 3 == 0) {
            table->writer().remove(ref);
            continue;
        }
        EditBuffer buffer = EditBuffer::of(table, picked[i]);
        buffer.set("TYPL", "40,0l-" + std::to_string(random() % 9) + ",0x1525");
        buffer.set("SMENA", std::int64_t(random() % 4));
        table->writer().update(ref, buffer);
    }
    for (int i = 0; i < 60; ++i) {
        EditBuffer buffer = EditBuffer::blank(table);
        buffer.set("ROK", std::int64_t{2009});
        buffer.set("MESIC", std::int64_t(1 + i % 12));
        buffer.set("TYPL", "new " + std::to_string(i));
        table->writer().insert(buffer);
    }
    check_all_indexes(*table);
}

TEST_F(CorpusCopy, TablesOfLevelThreeTakeSingleFieldIndexesOnly) {
    for (const char* relative :
         {"paradoxdriver/fields/date35.db", "paradoxdriver/mtdemo/AMOUNT.DB"}) {
        SCOPED_TRACE(relative);
        const fs::path file = copy_corpus_table(relative, dir_.path());
        const std::string stem = file.stem().string();
        std::string field;
        {
            const auto table = Table::open(dir_.path(), stem);
            field = table->schema()[table->schema().size() - 1].name;
        }
        EXPECT_NE(error_of([&] {
                      create_secondary_index(dir_.path(), stem, request("idx_Named", {field}));
                  }).find("needs table level 4 or above"),
                  std::string::npos);
        create_secondary_index(dir_.path(), stem, request(field, {field}));
        const auto table = Table::open(dir_.path(), stem, Access::kWrite);
        const SecondaryIndex index = find_secondary_index(*table, field);
        EXPECT_EQ(index.layout.maintained, table->is_keyed());
        check_index(*table, index);
    }
}

}  // namespace
}  // namespace pdx
