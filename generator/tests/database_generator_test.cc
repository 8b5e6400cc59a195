// The generator's command line, and the database it writes read back through our reader:
// layouts on disk, row counts, references between the tables, the same seed giving the same
// database.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "common/datetime.h"
#include "common/error.h"
#include "common/text.h"
#include "db/schema.h"
#include "engine/table/cursor.h"
#include "engine/table/index_catalog.h"
#include "engine/table/table.h"
#include "engine/table/value.h"
#include "generator/database_generator.h"
#include "generator/generator_tables.h"

namespace vaq::bench {
namespace {

namespace fs = std::filesystem;
namespace schema = vaq::db::schema;

class TempDir {
  public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "vaq-generate-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

GeneratorOptions parse(std::vector<std::string_view> arguments) {
    return parse_generator_arguments(arguments);
}

std::string parse_error(std::vector<std::string_view> arguments) {
    try {
        parse(std::move(arguments));
    } catch (const Error& error) {
        return error.what();
    }
    return "";
}

TEST(GeneratorArguments, ReadEveryOptionInBothForms) {
    const GeneratorOptions o =
        parse({"--controllers", "7", "--doors-per-controller=3", "--staff", "90",
               "--transactions=1000000", "--seed", "12345678901", "--events", "40", "--first-year",
               "1999", "--years=3", "--newer-tables", "ALL", "--out", "db", "--replace"});
    EXPECT_EQ(o.site.controllers, 7);
    EXPECT_EQ(o.site.doorsPerController, 3);
    EXPECT_EQ(o.site.staff, 90);
    EXPECT_EQ(o.site.transactions, 1'000'000);
    EXPECT_EQ(o.site.seed, 12345678901u);
    EXPECT_EQ(o.site.events, 40);
    EXPECT_EQ(o.site.firstYear, 1999);
    EXPECT_EQ(o.site.years, 3);
    EXPECT_EQ(o.site.newerTables, NewerTables::kAll);
    EXPECT_EQ(o.out, fs::path("db"));
    EXPECT_TRUE(o.replace);
    EXPECT_FALSE(o.help);
    EXPECT_TRUE(parse({"--help"}).help);
}

TEST(GeneratorArguments, MistakesAreNamed) {
    EXPECT_NE(parse_error({"--staff", "10"}).find("--out is missing"), std::string::npos);
    EXPECT_NE(parse_error({"--out", "d", "--stuff", "1"}).find("Unknown option: --stuff"),
              std::string::npos);
    EXPECT_NE(parse_error({"--out", "d", "--staff"}).find("--staff needs a value"),
              std::string::npos);
    EXPECT_NE(parse_error({"--out", "d", "--staff", "12x"}).find("'12x'"), std::string::npos);
    EXPECT_NE(parse_error({"--out", "d", "--newer-tables", "most"}).find("none, some or all"),
              std::string::npos);
    EXPECT_NE(parse_error({"--out", "d", "--transactions", "-5"}).find("--transactions"),
              std::string::npos);
    EXPECT_NE(parse_error({"d"}).find("Unknown argument: d"), std::string::npos);
}

// Every field of every record as text, table by table.
using Contents = std::map<std::string, std::vector<std::vector<std::string>>>;

std::vector<std::vector<std::string>> read_rows(const fs::path& folder, std::string_view name) {
    auto table = pdx::Table::open(folder, name);
    std::vector<std::vector<std::string>> rows;
    for (auto cursor = table->open_cursor(); !cursor->eof(); cursor->next()) {
        std::vector<std::string> row;
        for (std::size_t i = 0; i < table->schema().size(); ++i) {
            row.push_back(cursor->value(i).as_text());
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

Contents read_all(const fs::path& folder) {
    Contents contents;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        if (ascii_lower(entry.path().extension().string()) != ".db") continue;
        const std::string name = entry.path().filename().string();
        contents[name] = read_rows(folder, name);
    }
    return contents;
}

class GeneratedDatabaseTest : public ::testing::Test {
  protected:
    static GeneratorOptions options(const fs::path& out, std::uint64_t seed = 5) {
        GeneratorOptions o;
        o.site.controllers = 3;
        o.site.doorsPerController = 2;
        o.site.staff = 40;
        o.site.transactions = 500;
        o.site.seed = seed;
        o.site.newerTables = NewerTables::kAll;
        o.out = out;
        return o;
    }

    static void SetUpTestSuite() {
        dir_ = new TempDir;
        written_ = new GeneratedDatabase(generate_database(options(dir_->path() / "db")));
    }
    static void TearDownTestSuite() {
        delete written_;
        delete dir_;
    }

    static fs::path folder() { return dir_->path() / "db"; }

    static TempDir* dir_;
    static GeneratedDatabase* written_;
};

TempDir* GeneratedDatabaseTest::dir_ = nullptr;
GeneratedDatabase* GeneratedDatabaseTest::written_ = nullptr;

TEST_F(GeneratedDatabaseTest, EveryTableHasItsLayoutOnDisk) {
    const Site site = make_site(options(folder()).site);
    std::vector<const TableDef*> defs{&transact_table()};
    const std::vector<GeneratedTable> tables = site_tables(site);
    for (const GeneratedTable& t : tables)
        defs.push_back(&t.def);

    for (const TableDef* def : defs) {
        SCOPED_TRACE(std::string(def->file));
        auto table = pdx::Table::open(folder(), def->file);
        ASSERT_EQ(table->schema().size(), def->columns.size());
        for (std::size_t i = 0; i < def->columns.size(); ++i) {
            const pdx::Field& field = table->schema()[i];
            EXPECT_EQ(field.name, def->columns[i].name);
            EXPECT_EQ(field.type(), def->columns[i].type) << field.name;
            EXPECT_EQ(field.descriptor.size, def->columns[i].size) << field.name;
        }
        EXPECT_EQ(table->schema().key_fields(), def->keyFields);
        EXPECT_EQ(table->record_count(), written_->rows.at(std::string(def->file)));
    }
    EXPECT_EQ(written_->rows.size(), defs.size());
}

TEST_F(GeneratedDatabaseTest, DoorsAreKeyedAndIndexedByController) {
    auto door = pdx::Table::open(folder(), schema::Door::kTable);
    EXPECT_TRUE(door->is_keyed());
    const pdx::SecondaryIndex index = pdx::find_secondary_index(*door, schema::Door::ControlID);
    ASSERT_EQ(index.fields.size(), 1u);
    EXPECT_EQ(door->schema()[index.fields[0]].name, schema::Door::ControllerID);
    EXPECT_TRUE(index.layout.case_insensitive);
    EXPECT_TRUE(index.layout.maintained);
    EXPECT_EQ(index.entries, door->record_count());

    auto leave = pdx::Table::open(folder(), schema::Leave::kTable);
    EXPECT_NO_THROW(pdx::find_secondary_index(*leave, schema::Leave::idx_StaffID));
    auto transact = pdx::Table::open(folder(), schema::Transact::kTable);
    EXPECT_TRUE(pdx::list_secondary_indexes(*transact).empty()) << "the upgrade makes it";
}

TEST_F(GeneratedDatabaseTest, ColumnsTheUpgradeAddsAreAbsent) {
    for (const schema::TableLayout& layout : schema::tables()) {
        if (layout.group != schema::TableGroup::kAccessControl) continue;
        SCOPED_TRACE(std::string(layout.name));
        auto table = pdx::Table::open(folder(), layout.name);
        for (const schema::ColumnLayout& column : layout.columns) {
            const bool present = table->schema().find(column.name).has_value();
            if (schema::same_column_name(column.name, schema::Personal::StaffID)) {
                EXPECT_TRUE(present) << "the back-fill reads it";
            } else if (schema::same_column_name(column.name, schema::AntiPassBack::Pkey)) {
                EXPECT_FALSE(present) << "the upgrade rebuilds a table without it";
            } else {
                EXPECT_EQ(present, !column.added) << column.name;
            }
        }
    }
}

TEST_F(GeneratedDatabaseTest, RowCountsAreTheRequestedSizes) {
    const auto count = [](std::string_view name) {
        return pdx::Table::open(folder(), name)->record_count();
    };
    EXPECT_EQ(count(schema::Ctrller::kTable), 3u);
    EXPECT_EQ(count(schema::Door::kTable), 6u);
    EXPECT_EQ(count(schema::Personal::kTable), 40u);
    EXPECT_EQ(count(schema::Transact::kTable), 500u);
    EXPECT_EQ(count(schema::events::kTable), 30u);
    EXPECT_EQ(count(schema::DoorStatus::kTable), 6u);
}

TEST_F(GeneratedDatabaseTest, TransactionsReferToStoredDoorsControllersAndStaff) {
    const auto doors = read_rows(folder(), schema::Door::kTable);
    const auto staff = read_rows(folder(), schema::Personal::kTable);
    const auto controllers = read_rows(folder(), schema::Ctrller::kTable);
    // Door: DoorID, ControllerID, ID, Name; Personal: PersonalID, CardID, StaffID.
    std::map<std::string, std::pair<std::string, std::string>> doorById;
    for (std::size_t i = 0; i < doors.size(); ++i) {
        EXPECT_EQ(doors[i][0], std::to_string(i + 1)) << "doors are numbered by the table";
        doorById[doors[i][0]] = {doors[i][1], doors[i][3]};
    }
    std::set<std::string> controllerIds;
    for (const auto& c : controllers)
        controllerIds.insert(c[0]);
    std::map<std::string, std::string> cardByPersonalId;
    for (std::size_t i = 0; i < staff.size(); ++i) {
        EXPECT_EQ(staff[i][0], std::to_string(i + 1));
        cardByPersonalId[staff[i][0]] = staff[i][1];
    }

    const TableDef& t = transact_table();
    const std::size_t transId = t.column(schema::Transact::TransID);
    const std::size_t doorId = t.column(schema::Transact::DoorID);
    const std::size_t controllerId = t.column(schema::Transact::ControllerID);
    const std::size_t doorName = t.column(schema::Transact::Door);
    const std::size_t card = t.column(schema::Transact::CardID);
    const std::size_t personalId = t.column(schema::Transact::PersonalID);
    const std::size_t staffId = t.column(schema::Transact::StaffID);
    const std::size_t date = t.column(schema::Transact::TDate);
    const std::size_t time = t.column(schema::Transact::TTime);
    const auto transactions = read_rows(folder(), schema::Transact::kTable);
    const Site site = make_site(options(folder()).site);
    TransactionStream made(site);
    Transaction expected;
    std::size_t blank = 0;
    for (std::size_t i = 0; i < transactions.size(); ++i) {
        const auto& row = transactions[i];
        SCOPED_TRACE("transaction " + row[transId]);
        EXPECT_EQ(row[transId], std::to_string(i + 1));
        ASSERT_TRUE(made.next(expected));
        EXPECT_EQ(row[date],
                  pdx::format_date({expected.date.year, expected.date.month, expected.date.day}));
        EXPECT_EQ(row[time], pdx::format_time(to_milliseconds(expected.time)));
        EXPECT_EQ(row[card], expected.cardId);
        ASSERT_EQ(doorById.count(row[doorId]), 1u);
        EXPECT_EQ(row[controllerId], doorById[row[doorId]].first);
        EXPECT_EQ(row[doorName], doorById[row[doorId]].second);
        EXPECT_EQ(controllerIds.count(row[controllerId]), 1u);
        if (!row[personalId].empty()) {
            ASSERT_EQ(cardByPersonalId.count(row[personalId]), 1u);
            EXPECT_TRUE(iequals(row[card], cardByPersonalId[row[personalId]]));
        }
        blank += row[staffId].empty();
    }
    EXPECT_GT(blank, transactions.size() / 2);
}

TEST_F(GeneratedDatabaseTest, TheSameSeedWritesTheSameDatabase) {
    TempDir other;
    generate_database(options(other.path() / "same"));
    generate_database(options(other.path() / "seed6", 6));
    const Contents first = read_all(folder());
    EXPECT_EQ(read_all(other.path() / "same"), first);
    const Contents sixth = read_all(other.path() / "seed6");
    EXPECT_NE(sixth.at("Transact.db"), first.at("Transact.db"));
    EXPECT_NE(sixth.at("Personal.DB"), first.at("Personal.DB"));
}

TEST_F(GeneratedDatabaseTest, AFolderWithTablesIsWrittenOverOnlyWhenAsked) {
    TempDir other;
    GeneratorOptions o = options(other.path());
    o.site.newerTables = NewerTables::kNone;
    generate_database(o);
    try {
        generate_database(o);
        FAIL() << "a folder with tables must be refused";
    } catch (const Error& error) {
        EXPECT_NE(std::string(error.what()).find("--replace"), std::string::npos);
    }
    o.replace = true;
    o.site.transactions = 10;
    EXPECT_EQ(generate_database(o).rows.at("Transact.db"), 10);
    EXPECT_EQ(pdx::Table::open(other.path(), "Transact")->record_count(), 10u);
}

}  // namespace
}  // namespace vaq::bench
