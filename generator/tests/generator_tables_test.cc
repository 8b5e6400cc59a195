// The old layouts against the schema, and every generated cell against its column.

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "common/text.h"
#include "db/schema.h"
#include "generator/generator_tables.h"

namespace vaq::bench {
namespace {

namespace schema = vaq::db::schema;
using pdx::FieldType;

SiteOptions small_site(NewerTables newer) {
    SiteOptions options;
    options.controllers = 3;
    options.doorsPerController = 2;
    options.staff = 50;
    options.transactions = 100;
    options.newerTables = newer;
    return options;
}

const TableDef* find_def(const std::vector<GeneratedTable>& tables, std::string_view name) {
    if (schema::same_table_name(name, transact_table().file)) return &transact_table();
    for (const GeneratedTable& t : tables) {
        if (schema::same_table_name(t.def.file, name)) return &t.def;
    }
    return nullptr;
}

bool fits(const schema::ColumnLayout& want, const ColumnDef& have) {
    using T = schema::ColumnType;
    switch (want.type) {
        case T::kChar:
            return have.type == FieldType::kAlpha && have.size == want.size;
        case T::kSmallInt:
            return have.type == FieldType::kShort;
        case T::kInteger:
            return have.type == FieldType::kLong;
        case T::kAutoInc:
            return have.type == FieldType::kAutoInc;
        case T::kBoolean:
            return have.type == FieldType::kLogical;
        case T::kDate:
            return have.type == FieldType::kDate;
        case T::kTime:
            return have.type == FieldType::kTime;
        case T::kDateTime:
            return have.type == FieldType::kTimestamp;
        case T::kFloat:
            return have.type == FieldType::kNumber;
        case T::kNumber:
            return pdx::is_integer_type(have.type) || pdx::is_float_type(have.type);
        case T::kText:
            return have.type == FieldType::kAlpha && have.size >= want.size;
    }
    return false;
}

// Whether an old database has the column. StaffID of the staff table came with an earlier
// version although the layout marks it as added; AntiPassBack.db is listed in the layout the
// upgrade rebuilds it in, and the old table lacks that layout's key.
bool in_old_table(std::string_view table, const schema::ColumnLayout& column) {
    if (schema::same_table_name(table, schema::AntiPassBack::kTable)) {
        return !schema::same_column_name(column.name, schema::AntiPassBack::Pkey);
    }
    if (schema::same_table_name(table, schema::Personal::kTable) &&
        schema::same_column_name(column.name, schema::Personal::StaffID)) {
        return true;
    }
    return !column.added;
}

std::optional<std::size_t> position(const TableDef& def, std::string_view column) {
    for (std::size_t i = 0; i < def.columns.size(); ++i) {
        if (schema::same_column_name(def.columns[i].name, column)) return i;
    }
    return std::nullopt;
}

TEST(GeneratorTables, TablesOfTheProgramHaveTheOldLayout) {
    const Site site = make_site(small_site(NewerTables::kNone));
    const std::vector<GeneratedTable> tables = site_tables(site);
    for (const schema::TableLayout& layout : schema::tables()) {
        if (layout.group != schema::TableGroup::kAccessControl) continue;
        SCOPED_TRACE(std::string(layout.name));
        const TableDef* def = find_def(tables, layout.name);
        ASSERT_NE(def, nullptr) << "table missing";
        for (const schema::ColumnLayout& column : layout.columns) {
            SCOPED_TRACE(std::string(column.name));
            const auto at = position(*def, column.name);
            if (!in_old_table(layout.name, column)) {
                EXPECT_FALSE(at) << "a column of the new layout is in the old table";
                continue;
            }
            ASSERT_TRUE(at) << "column missing";
            EXPECT_TRUE(fits(column, def->columns[*at]));
        }
        for (const std::string_view key : layout.primaryKey) {
            // Only keys the old program had: AntiPassBack.db gets its key from the upgrade.
            if (const auto at = position(*def, key)) {
                EXPECT_LT(*at, def->keyFields);
            }
        }
    }
}

TEST(GeneratorTables, DoorTableHasItsKeyAndControllerIndex) {
    const std::vector<GeneratedTable> tables =
        site_tables(make_site(small_site(NewerTables::kNone)));
    const TableDef* door = find_def(tables, schema::Door::kTable);
    ASSERT_NE(door, nullptr);
    EXPECT_EQ(door->keyFields, 1u);
    EXPECT_EQ(door->columns.front().name, schema::Door::DoorID);
    EXPECT_EQ(door->columns.front().type, FieldType::kAutoInc);
    ASSERT_EQ(door->columns.size(), 15u) << "the first fifteen columns, nothing added";
    ASSERT_EQ(door->indexes.size(), 1u);
    EXPECT_EQ(door->indexes[0].name, schema::Door::ControlID);
    EXPECT_EQ(door->indexes[0].column, schema::Door::ControllerID);
}

TEST(GeneratorTables, NewerTablesArePresentAsAskedInTheirCreatedLayout) {
    const auto groupTwoNames = [](NewerTables newer) {
        std::set<std::string> names;
        for (const GeneratedTable& t : site_tables(make_site(small_site(newer)))) {
            const schema::TableLayout* layout = schema::find_table(t.def.file);
            EXPECT_NE(layout, nullptr) << t.def.file;
            if (layout == nullptr || layout->group != schema::TableGroup::kCreatedByUpgrade) {
                continue;
            }
            std::size_t created = 0;
            for (const schema::ColumnLayout& c : layout->columns) {
                if (!c.created) continue;
                EXPECT_LT(created, t.def.columns.size()) << t.def.file;
                if (created >= t.def.columns.size()) break;
                EXPECT_EQ(t.def.columns[created].name, c.name) << t.def.file;
                EXPECT_TRUE(fits(c, t.def.columns[created])) << t.def.file << " " << c.name;
                ++created;
            }
            EXPECT_EQ(created, t.def.columns.size()) << t.def.file << ": extra columns";
            EXPECT_EQ(t.def.keyFields, layout->primaryKey.size()) << t.def.file;
            names.insert(ascii_lower(schema::table_stem(t.def.file)));
        }
        return names;
    };
    EXPECT_TRUE(groupTwoNames(NewerTables::kNone).empty());
    EXPECT_EQ(
        groupTwoNames(NewerTables::kSome),
        (std::set<std::string>{"activerelay", "department", "depttimetable", "lq", "workon"}));
    std::size_t all = 0;
    for (const schema::TableLayout& layout : schema::tables()) {
        all += layout.group == schema::TableGroup::kCreatedByUpgrade;
    }
    EXPECT_EQ(groupTwoNames(NewerTables::kAll).size(), all);
}

// Each cell must be a value its field can take: the writer would refuse it otherwise, in
// the middle of a long run.
void expect_cells_fit(const TableDef& def, const Row& row) {
    ASSERT_EQ(row.size(), def.columns.size()) << def.file;
    for (std::size_t i = 0; i < row.size(); ++i) {
        const ColumnDef& column = def.columns[i];
        const Cell& cell = row[i];
        SCOPED_TRACE(std::string(def.file) + "." + std::string(column.name));
        if (std::holds_alternative<std::monostate>(cell)) continue;
        switch (column.type) {
            case FieldType::kAlpha:
                ASSERT_TRUE(std::holds_alternative<std::string>(cell));
                EXPECT_LE(std::get<std::string>(cell).size(), column.size);
                break;
            case FieldType::kShort:
                ASSERT_TRUE(std::holds_alternative<std::int64_t>(cell));
                EXPECT_LE(std::get<std::int64_t>(cell), 32767);
                EXPECT_GE(std::get<std::int64_t>(cell), -32767);
                break;
            case FieldType::kLong:
                ASSERT_TRUE(std::holds_alternative<std::int64_t>(cell));
                break;
            case FieldType::kAutoInc:
                ADD_FAILURE() << "auto-increment fields are numbered by the table";
                break;
            case FieldType::kLogical:
                EXPECT_TRUE(std::holds_alternative<bool>(cell));
                break;
            case FieldType::kDate:
                EXPECT_TRUE(std::holds_alternative<Date>(cell));
                break;
            case FieldType::kTime:
                EXPECT_TRUE(std::holds_alternative<Time>(cell));
                break;
            default:
                ADD_FAILURE() << "no values are made for this type";
        }
    }
}

TEST(GeneratorTables, EveryCellFitsItsColumn) {
    const Site site = make_site(small_site(NewerTables::kAll));
    for (const GeneratedTable& t : site_tables(site)) {
        for (const Row& row : t.rows)
            expect_cells_fit(t.def, row);
    }
    TransactionStream stream(site);
    Transaction transaction;
    while (stream.next(transaction))
        expect_cells_fit(transact_table(), transaction_row(transaction));
}

TEST(GeneratorTables, RowsFollowTheSite) {
    const Site site = make_site(small_site(NewerTables::kSome));
    const std::vector<GeneratedTable> tables = site_tables(site);
    const auto rows_of = [&](std::string_view name) -> const std::vector<Row>& {
        for (const GeneratedTable& t : tables) {
            if (schema::same_table_name(t.def.file, name)) return t.rows;
        }
        throw std::runtime_error("no table " + std::string(name));
    };
    EXPECT_EQ(rows_of(schema::Ctrller::kTable).size(), site.controllers.size());
    EXPECT_EQ(rows_of(schema::Door::kTable).size(), site.doors.size());
    EXPECT_EQ(rows_of(schema::Personal::kTable).size(), site.staff.size());
    EXPECT_EQ(rows_of(schema::Holiday::kTable).size(), site.holidays.size());
    EXPECT_EQ(rows_of(schema::AntiPassBack::kTable).size(), site.antiPassBack.size());
    EXPECT_EQ(rows_of(schema::events::kTable).size(), 30u);
    EXPECT_EQ(rows_of(schema::Department::kTable).size(), site.departments.size());

    const Row& firstEvent = rows_of(schema::events::kTable).front();
    EXPECT_EQ(std::get<std::int64_t>(firstEvent[0]), 0);
    EXPECT_EQ(std::get<std::string>(firstEvent[1]), "Access Granted");
}

}  // namespace
}  // namespace vaq::bench
