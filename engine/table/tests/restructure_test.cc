// Restructures, deletes and renames of whole tables: every record and value carried, the
// companions following the table, errors that leave everything as it was, and the leftovers
// of interrupted family changes cleaned up or finished when the directory is next used.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <numeric>
#include <random>
#include <set>

#include <sys/wait.h>
#include <unistd.h>

#include "common/error.h"
#include "engine/format/deferred_sync.h"
#include "engine/format/field_codec.h"
#include "engine/table/index_maintenance.h"
#include "engine/table/record_editor.h"
#include "engine/table/restructure.h"
#include "engine/table/table_name.h"
#include "engine/table/tests/pxlib_reader.h"
#include "engine/table/tests/write_test_support.h"

namespace pdx {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using testing::read_file;
using testing::TempDir;

std::vector<std::string> directory_listing(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Snapshot of every file of a directory.
std::map<std::string, std::vector<std::uint8_t>> directory_bytes(const fs::path& dir) {
    std::map<std::string, std::vector<std::uint8_t>> files;
    for (const auto& entry : fs::directory_iterator(dir))
        files[entry.path().filename().string()] = read_file(entry.path());
    return files;
}

void fill_every_type(const fs::path& dir, const std::string& name, int count) {
    const auto table = Table::open(dir, name, Access::kWrite);
    TableWriter& writer = table->writer();
    for (int i = 0; i < count; ++i) {
        EditBuffer r = EditBuffer::blank(table);
        r.set("Id", std::int64_t{i * 3});
        r.set("Name", "name " + std::to_string(i));
        if (i % 2) r.set("Small", std::int64_t{-i});
        r.set("Flag", i % 3 == 0);
        r.set("Day", "1850-05-" + std::to_string(10 + i % 18));
        r.set("Moment", "2050-01-01 00:00:0" + std::to_string(i % 10) + ".500");
        r.set("Amount", i * 1.25);
        r.set("Exact", std::to_string(i) + ".07");
        r.set("Note", std::string(static_cast<std::size_t>(i % 3 == 0 ? 5 : i * 97), 'n'));
        if (i % 4 == 1)
            r.set("Picture", "0x" + std::string(static_cast<std::size_t>(i * 200), 'f'));
        writer.insert(r);
    }
}

// The modification numbers of every blob stored in the .MB by the records of a table.
std::set<std::uint16_t> blob_modifications(const Table& table) {
    std::set<std::uint16_t> numbers;
    for (auto cursor = table.open_cursor(); !cursor->eof(); cursor->next()) {
        for (const Field& f : table.schema().fields()) {
            if (!is_blob_type(f.type())) continue;
            const BlobPointer p = BlobPointer::decode(cursor->record().data() + f.offset +
                                                      f.descriptor.blob_leader());
            if (p.length > f.descriptor.blob_leader()) numbers.insert(p.modification);
        }
    }
    return numbers;
}

TEST(Restructure, AnAddedFieldComesLastAndEveryValueIsCarried) {
    TempDir dir;
    create_table(dir.path(), "Types", testing::every_type_spec());
    fill_every_type(dir.path(), "Types", 60);
    // A validity file: opaque, but its first byte names the table's family.
    std::vector<std::uint8_t> validity = {0, 0x0C, 1, 2, 3, 4, 5};
    validity[0] = Table::open(dir.path(), "Types")->header().family_stamp;
    testing::write_file(dir / "Types.VAL", validity);
    testing::write_file(dir / "Types.TV", {7, 7, 7});
    const auto before = testing::all_records(dir.path(), "Types");
    const std::uint8_t stamp = Table::open(dir.path(), "Types")->header().family_stamp;
    const std::uint32_t counter = Table::open(dir.path(), "Types")->header().auto_inc;

    RestructurePlan plan = current_layout(*Table::open(dir.path(), "Types"));
    plan.fields.push_back({{"Extra", FieldType::kAlpha, 10}, std::nullopt});
    restructure_table(dir.path(), "types", plan);

    const auto table = Table::open(dir.path(), "Types");
    ASSERT_EQ(table->schema().size(), 15u);
    EXPECT_EQ(table->schema()[14].name, "Extra");
    auto after = testing::all_records(*table);
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t i = 0; i < after.size(); ++i) {
        EXPECT_EQ(after[i].back(), "");
        after[i].pop_back();
        EXPECT_EQ(after[i], before[i]) << "record " << i;
    }
    EXPECT_EQ(table->header().family_stamp, static_cast<std::uint8_t>(stamp + 1));
    EXPECT_EQ(table->header().auto_inc, counter);
    EXPECT_EQ(table->header().fields[14].number, 15);
    auto validity_after = read_file(dir / "Types.VAL");
    EXPECT_EQ(validity_after[0], table->header().family_stamp);
    validity_after[0] = validity[0];
    EXPECT_EQ(validity_after, validity);
    // Blobs are written afresh, all with modification number 1, as the BDE does.
    EXPECT_EQ(blob_modifications(*table), std::set<std::uint16_t>{1});
    EXPECT_EQ(load_u16le(&read_file(dir / "Types.MB")[3]), 1);
    testing::expect_primary_index_matches(*table);
    // Bulk-built blocks are full but for the last one.
    const auto chain = testing::data_chain(*table);
    for (std::size_t i = 0; i + 1 < chain.size(); ++i)
        EXPECT_EQ(chain[i].second, table->header().records_per_block());
    testing::PxlibTable pxlib((dir / "Types.DB").string());
    EXPECT_EQ(pxlib.record_count(), 60);
    EXPECT_EQ(pxlib.field_count(), 15);
    EXPECT_EQ(read_file(dir / "Types.TV"), (std::vector<std::uint8_t>{7, 7, 7}));
    EXPECT_EQ(
        directory_listing(dir.path()),
        (std::vector<std::string>{"Types.DB", "Types.MB", "Types.PX", "Types.TV", "Types.VAL"}));
}

TEST(Restructure, DroppedFieldsGoAndChangedTypesConvertTheirValues) {
    TempDir dir;
    create_table(dir.path(), "Shape",
                 {{{"Id", FieldType::kShort, 0},
                   {"Name", FieldType::kAlpha, 20},
                   {"Old", FieldType::kAlpha, 5},
                   {"Count", FieldType::kShort, 0},
                   {"Text", FieldType::kAlpha, 30}},
                  1});
    {
        const auto table = Table::open(dir.path(), "Shape", Access::kWrite);
        for (int i = 1; i <= 30; ++i) {
            EditBuffer r = EditBuffer::blank(table);
            r.set("Id", std::int64_t{i});
            r.set("Name", std::string("n").append(std::to_string(i)));
            r.set("Old", "x");
            r.set("Count", std::int64_t{i * 100});
            r.set("Text", i % 2 ? "a longer text here " + std::to_string(i) : std::string("short"));
            table->writer().insert(r);
        }
    }
    RestructurePlan plan;
    plan.fields = {{{"Id", FieldType::kLong, 0}, 0},
                   {{"Name", FieldType::kAlpha, 40}, 1},
                   {{"Count", FieldType::kNumber, 0}, 3},
                   {{"Text", FieldType::kMemo, 15}, 4}};
    plan.key_fields = 1;
    restructure_table(dir.path(), "Shape", plan);
    const auto rows = testing::all_records(dir.path(), "Shape");
    ASSERT_EQ(rows.size(), 30u);
    EXPECT_EQ(rows[6], (std::vector<std::string>{"7", "n7", "700", "a longer text here 7"}));
    EXPECT_EQ(rows[7][3], "short");
    {
        const auto table = Table::open(dir.path(), "Shape");
        EXPECT_EQ(table->schema()[0].type(), FieldType::kLong);
        testing::expect_primary_index_matches(*table);
        plan = current_layout(*table);
    }

    // A value that does not fit its new field stops the restructure; nothing changes.
    const auto files = directory_bytes(dir.path());
    plan.fields[3].spec = {"Text", FieldType::kAlpha, 10};
    try {
        restructure_table(dir.path(), "Shape", plan);
        ADD_FAILURE() << "a text longer than its new field was cut";
    } catch (const vaq::Error& e) {
        EXPECT_THAT(e.what(), HasSubstr("field Text"));
        EXPECT_THAT(e.what(), HasSubstr("too long"));
    }
    EXPECT_EQ(directory_bytes(dir.path()), files);
}

TEST(Restructure, ANewAutoIncrementKeyIsPlacedFirstAndNumberedInTableOrder) {
    TempDir dir;
    create_table(dir.path(), "Plain", {{{"Name", FieldType::kAlpha, 10}}, 0});
    {
        const auto table = Table::open(dir.path(), "Plain", Access::kWrite);
        for (const char* name : {"delta", "alpha", "charlie", "bravo"}) {
            EditBuffer r = EditBuffer::blank(table);
            r.set("Name", name);
            table->writer().insert(r);
        }
    }
    RestructurePlan plan = current_layout(*Table::open(dir.path(), "Plain"));
    plan.fields.insert(plan.fields.begin(), {{"Pkey", FieldType::kAutoInc, 0}, std::nullopt});
    plan.key_fields = 1;
    restructure_table(dir.path(), "Plain", plan);
    const auto table = Table::open(dir.path(), "Plain", Access::kWrite);
    EXPECT_TRUE(table->is_keyed());
    EXPECT_EQ(testing::all_records(*table),
              (std::vector<std::vector<std::string>>{
                  {"1", "delta"}, {"2", "alpha"}, {"3", "charlie"}, {"4", "bravo"}}));
    EXPECT_EQ(table->header().auto_inc, 4u);
    EditBuffer r = EditBuffer::blank(table);
    r.set("Name", "echo");
    EXPECT_EQ(table->writer().insert(r).record_number, 5u);
    testing::expect_primary_index_matches(*table);
}

TEST(Restructure, ANewKeyOnAFieldSortsTheRecordsAndRefusesDuplicates) {
    TempDir dir;
    create_table(dir.path(), "Codes",
                 {{{"Name", FieldType::kAlpha, 10}, {"Code", FieldType::kLong, 0}}, 0}, {7, 1024});
    std::vector<int> codes(500);
    std::iota(codes.begin(), codes.end(), 1);
    std::shuffle(codes.begin(), codes.end(), std::mt19937(3));
    {
        const auto table = Table::open(dir.path(), "Codes", Access::kWrite);
        for (int code : codes) {
            EditBuffer r = EditBuffer::blank(table);
            r.set("Name", "c" + std::to_string(code));
            r.set("Code", std::int64_t{code});
            table->writer().insert(r);
        }
    }
    RestructurePlan plan;
    plan.fields = {{{"Code", FieldType::kLong, 0}, 1}, {{"Name", FieldType::kAlpha, 10}, 0}};
    plan.key_fields = 1;
    restructure_table(dir.path(), "Codes", plan);
    const auto rows = testing::all_records(dir.path(), "Codes");
    ASSERT_EQ(rows.size(), 500u);
    for (std::size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(rows[i][0], std::to_string(i + 1));
    testing::expect_primary_index_matches(*Table::open(dir.path(), "Codes"));

    // Keyed on Name with two equal names: refused, nothing changed.
    {
        const auto table = Table::open(dir.path(), "Codes", Access::kWrite);
        EditBuffer r = EditBuffer::blank(table);
        r.set("Code", std::int64_t{1000});
        r.set("Name", "c7");
        table->writer().insert(r);
    }
    const auto files = directory_bytes(dir.path());
    plan.fields = {{{"Name", FieldType::kAlpha, 10}, 1}, {{"Code", FieldType::kLong, 0}, 0}};
    try {
        restructure_table(dir.path(), "Codes", plan);
        ADD_FAILURE() << "a key with duplicates was built";
    } catch (const vaq::Error& e) {
        EXPECT_STREQ(e.what(), "Key violation in Codes.DB.");
    }
    EXPECT_EQ(directory_bytes(dir.path()), files);
}

TEST(Restructure, CorpusTablesOfOldLevelsAreCarriedAndRaisedWhenNeeded) {
    SKIP_WITHOUT_CORPUS();
    for (const std::string relative :
         {"paradoxdriver/mtdemo/KRENTAL.DB", "paradoxdriver/db/AREACODE.DB",
          "paradox-pm/BIOLIFE.DB", "paradoxdriver/db/HERCULES.DB"}) {
        SCOPED_TRACE(relative);
        TempDir dir;
        const fs::path copy = testing::copy_corpus_table(relative, dir.path());
        const std::string name = copy.filename().string();
        const auto before = testing::all_records(dir.path(), name);
        const int level = Table::open(dir.path(), name)->header().level();
        RestructurePlan plan = current_layout(*Table::open(dir.path(), name));
        plan.fields.push_back({{"Remark", FieldType::kMemo, 20}, std::nullopt});
        restructure_table(dir.path(), name, plan);
        const auto table = Table::open(dir.path(), name);
        EXPECT_EQ(table->header().level(), std::max(level, 4));
        auto after = testing::all_records(*table);
        for (auto& row : after)
            row.pop_back();
        EXPECT_EQ(after, before);
        if (table->is_keyed()) testing::expect_primary_index_matches(*table);
        testing::PxlibTable pxlib(copy.string());
        EXPECT_EQ(static_cast<std::size_t>(pxlib.record_count()), before.size());
    }
}

TEST(Restructure, SecondaryIndexesAreRebuiltThroughTheHookOrTheTableIsLeftAlone) {
    TempDir dir;
    create_table(dir.path(), "Indexed",
                 {{{"Id", FieldType::kLong, 0}, {"City", FieldType::kAlpha, 10}}, 1});
    testing::write_file(dir / "Indexed.X02", {1, 2, 3});
    testing::write_file(dir / "Indexed.Y02", {4, 5, 6});
    const IndexRebuilder saved = index_rebuilder();
    set_index_rebuilder({});
    RestructurePlan plan = current_layout(*Table::open(dir.path(), "Indexed"));
    plan.fields.push_back({{"Zip", FieldType::kAlpha, 5}, std::nullopt});
    const auto files = directory_bytes(dir.path());
    try {
        restructure_table(dir.path(), "Indexed", plan);
        ADD_FAILURE() << "the secondary indexes would have been lost";
    } catch (const vaq::Error& e) {
        EXPECT_THAT(e.what(), HasSubstr("secondary indexes"));
    }
    EXPECT_EQ(directory_bytes(dir.path()), files);

    std::vector<std::optional<std::size_t>> sources;
    set_index_rebuilder([&](const IndexRebuildRequest& request) {
        sources = request.sources;
        EXPECT_EQ(request.old_index_files.size(), 2u);
        EXPECT_TRUE(fs::exists(request.new_table_file));
        testing::write_file(request.new_table_file.parent_path() / "Indexed.X02", {9, 9});
    });
    restructure_table(dir.path(), "Indexed", plan);
    set_index_rebuilder(saved);
    EXPECT_EQ(sources, (std::vector<std::optional<std::size_t>>{0, 1, std::nullopt}));
    EXPECT_EQ(read_file(dir / "Indexed.X02"), (std::vector<std::uint8_t>{9, 9}));
    EXPECT_FALSE(fs::exists(dir / "Indexed.Y02"));  // the rebuilder made no new tree
}

TEST(TableFamily, DeleteAndRenameTakeEveryCompanion) {
    TempDir dir;
    create_table(dir.path(), "Door",
                 {{{"Id", FieldType::kLong, 0}, {"Note", FieldType::kMemo, 20}}, 1});
    for (const char* companion : {"Door.VAL", "door.x02", "DOOR.Y02", "Door.TV"})
        testing::write_file(dir / companion, {1});
    testing::write_file(dir / "Doorway.DB", {1});  // another table, not a companion

    const fs::path renamed = rename_table(dir.path(), "door", "Portal");
    EXPECT_EQ(renamed.filename(), "Portal.DB");
    EXPECT_EQ(directory_listing(dir.path()),
              (std::vector<std::string>{"Doorway.DB", "Portal.DB", "Portal.MB", "Portal.PX",
                                        "Portal.TV", "Portal.VAL", "Portal.Y02", "Portal.x02"}));
    EXPECT_EQ(Table::open(dir.path(), "portal")->record_count(), 0u);

    create_table(dir.path(), "Gate", {{{"Id", FieldType::kLong, 0}}, 0});
    try {
        rename_table(dir.path(), "Portal", "GATE.db");
        ADD_FAILURE() << "a table was renamed over another";
    } catch (const vaq::Error& e) {
        EXPECT_STREQ(e.what(), "Table already exists: GATE.DB.");
    }
    {
        const auto open = Table::open(dir.path(), "Portal");
        try {
            delete_table(dir.path(), "Portal");
            ADD_FAILURE() << "an open table was deleted";
        } catch (const vaq::Error& e) {
            EXPECT_STREQ(e.what(), "Table is busy: Portal.DB.");
        }
        EXPECT_THROW(rename_table(dir.path(), "Portal", "Other"), vaq::Error);
        EXPECT_THROW(restructure_table(dir.path(), "Portal", current_layout(*open)), vaq::Error);
    }
    delete_table(dir.path(), "PORTAL.DB");
    EXPECT_EQ(directory_listing(dir.path()), (std::vector<std::string>{"Doorway.DB", "Gate.DB"}));
    try {
        delete_table(dir.path(), "Portal");
        ADD_FAILURE() << "a missing table was deleted";
    } catch (const vaq::Error& e) {
        EXPECT_STREQ(e.what(), "Table does not exist: Portal.");
    }
    // A new spelling of the same name only changes the letters' case.
    rename_table(dir.path(), "gate", "GATE");
    EXPECT_EQ(directory_listing(dir.path()), (std::vector<std::string>{"Doorway.DB", "GATE.DB"}));
}

TEST(TableFamily, LeftoversOfInterruptedChangesAreUndoneOrFinishedOnTheNextOpen) {
    TempDir dir;
    create_table(dir.path(), "Log", {{{"Line", FieldType::kAlpha, 20}}, 0});
    {
        const auto table = Table::open(dir.path(), "Log", Access::kWrite);
        EditBuffer r = EditBuffer::blank(table);
        r.set("Line", "old");
        table->writer().insert(r);
    }
    // A staging folder whose builder died: the new family is thrown away.
    fs::create_directory(dir / ".pdxnew.dead");
    fs::copy_file(dir / "Log.DB", dir / ".pdxnew.dead/Log.DB");
    testing::write_file(dir / ".pdxnew.dead/Log.PX", {1, 2});
    EXPECT_EQ(testing::all_records(dir.path(), "Log").size(), 1u);
    EXPECT_FALSE(fs::exists(dir / ".pdxnew.dead"));

    // A committed folder: its family replaces the old one.
    create_table(dir.path(), "Next",
                 {{{"Line", FieldType::kAlpha, 20}, {"More", FieldType::kShort, 0}}, 0});
    fs::create_directory(dir / ".pdxcommit.cut");
    fs::rename(dir / "Next.DB", dir / ".pdxcommit.cut/Log.DB");
    testing::write_file(dir / ".pdxcommit.cut/manifest",
                        std::vector<std::uint8_t>{'L', 'o', 'g', '.', 'T', 'V', '\n'});
    testing::write_file(dir / "Log.TV", {1});
    EXPECT_EQ(Table::open(dir.path(), "Log")->schema().size(), 2u);
    EXPECT_EQ(directory_listing(dir.path()), (std::vector<std::string>{"Log.DB"}));

    // A drop folder: the deletion is finished.
    testing::write_file(dir / "Gone.DB", {1});
    testing::write_file(dir / "Gone.PX", {1});
    fs::create_directory(dir / ".pdxdrop.half");
    fs::rename(dir / "Gone.DB", dir / ".pdxdrop.half/Gone.DB");
    testing::write_file(dir / ".pdxdrop.half/manifest",
                        std::vector<std::uint8_t>{'G', 'o', 'n', 'e', '.', 'D', 'B', '\n', 'G', 'o',
                                                  'n', 'e', '.', 'P', 'X', '\n'});
    EXPECT_THROW(Table::open(dir.path(), "Gone"), vaq::Error);
    EXPECT_EQ(directory_listing(dir.path()), (std::vector<std::string>{"Log.DB"}));
}

// The folders staging the family changes of a durable point (deferred_sync.h).
std::vector<std::string> staging_folders(const fs::path& dir) {
    std::vector<std::string> folders;
    for (const std::string& name : directory_listing(dir))
        if (name.starts_with(".pdx")) folders.push_back(name);
    return folders;
}

TEST(TableFamily, ChangesUnderOneDurablePointShareOneStagingFolderAndLeaveNoneBehind) {
    TempDir dir;
    create_table(dir.path(), "Log", {{{"Line", FieldType::kAlpha, 20}}, 0});
    {
        const auto table = Table::open(dir.path(), "Log", Access::kWrite);
        for (int i = 0; i < 300; ++i) {
            EditBuffer r = EditBuffer::blank(table);
            r.set("Line", "line " + std::to_string(i));
            table->writer().insert(r);
        }
    }
    const auto add_field = [&](const std::string& name) {
        RestructurePlan plan = current_layout(*Table::open(dir.path(), "Log"));
        plan.fields.push_back({{name, FieldType::kShort, 0}, std::nullopt});
        restructure_table(dir.path(), "Log", plan);
    };
    {
        DeferredSync sync;
        add_field("First");
        // Kept empty for the next change, old files and lists gone.
        const std::vector<std::string> kept = staging_folders(dir.path());
        ASSERT_EQ(kept.size(), 1u);
        EXPECT_EQ(directory_listing(dir / kept[0]), std::vector<std::string>{".old"});
        EXPECT_TRUE(directory_listing(dir / kept[0] / ".old").empty());
        // Another process's recovery leaves it alone while this one holds it.
        const pid_t child = ::fork();
        if (child == 0) {
            try {
                recover_family_changes(dir.path());
            } catch (...) {
                ::_exit(1);
            }
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        EXPECT_EQ(staging_folders(dir.path()), kept);

        add_field("Second");
        create_table(dir.path(), "Other", {{{"Id", FieldType::kLong, 0}}, 1});
        EXPECT_EQ(staging_folders(dir.path()), kept);
        sync.finish();
    }
    EXPECT_EQ(directory_listing(dir.path()),
              (std::vector<std::string>{"Log.DB", "Other.DB", "Other.PX"}));
    const auto table = Table::open(dir.path(), "Log");
    EXPECT_EQ(table->schema().size(), 3u);
    const auto records = testing::all_records(*table);
    ASSERT_EQ(records.size(), 300u);
    EXPECT_EQ(records[299][0], "line 299");
    EXPECT_EQ(testing::PxlibTable((dir / "Log.DB").string()).record_count(), 300);
}

}  // namespace
}  // namespace pdx
