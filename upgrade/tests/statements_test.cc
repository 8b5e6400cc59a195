// The statements of the upgrade's step tables against the list of every statement the
// access-control program's upgrade sends (engine/sql/tests/quoted_statements), which was
// copied from its step lists separately: same origins, same bytes, none missing.

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "common/error.h"
#include "common/text.h"
#include "db/schema.h"
#include "engine/sql/parser.h"
#include "engine/sql/printer.h"
#include "engine/sql/tests/quoted_statements.h"
#include "upgrade/column_blocks.h"
#include "upgrade/column_run.h"
#include "upgrade/reference_data.h"
#include "upgrade/statements.h"
#include "upgrade/table_steps.h"

namespace vaq::upgrade {
namespace {

using Statements = std::map<std::string, std::string>;

std::string joined_lines(std::span<const std::string_view> lines) {
    std::string text;
    for (const std::string_view line : lines) {
        if (!text.empty()) text += '\n';
        text += line;
    }
    return text;
}

void add_table_steps(Statements& out) {
    for (const TableStep& step : table_steps()) {
        const std::string origin = "table step " + std::string(step.name);
        out[origin] = joined_lines(step.lines);
        for (std::size_t i = 0; i < step.followUps.size(); ++i) {
            const std::string suffix =
                step.followUps.size() == 1 ? ", follow-up" : ", follow-up " + std::to_string(i + 1);
            out[origin + suffix] = std::string(step.followUps[i]);
        }
    }
}

void add_anti_pass_back(Statements& out) {
    const std::string origin = "anti-pass-back rebuild: ";
    out[origin + "test select"] = std::string(kAntiPassBackSelect);
    out[origin + "drop"] = std::string(kDropTmpdb);
    out[origin + "create"] = joined_lines(kCreateTmpdbLines);
    out[origin + "copy"] = joined_lines(kCopyIntoTmpdbLines);
}

void add_index_steps(Statements& out) {
    int number = 0;
    for (const db::schema::EnsuredIndex& step : db::schema::ensured_indexes())
        out["index step I" + std::to_string(++number)] =
            create_index_statement(step.table_name, step.created_name, step.column);
}

void add_reference_data(Statements& out) {
    out["event names: empty"] = std::string(kDeleteEvents);
    for (const CodeName& event : event_names())
        out["event names: " + std::to_string(event.code)] = event_insert(event.code, event.name);
    out["card formats: empty"] = std::string(kDeleteCardFormats);
    for (const CodeName& format : card_formats())
        out["card formats: " + std::to_string(format.code)] =
            card_format_insert(format.code, format.name);
    out["door status refill: empty"] = std::string(kDeleteDoorStatus);
    out["door status refill: doors"] = std::string(kSelectDoors);
    out["door status refill: door 7"] = door_status_insert("7");
}

void add_add_field(Statements& out, const std::string& origin, const AddFieldCall& call) {
    out[origin + "select"] = add_field_select(call.table);
    out[origin + "alter"] = add_field_alter(call.table, call.column, call.type);
}

void add_column_blocks(Statements& out) {
    for (const ColumnBlock& block : column_blocks()) {
        const std::string prefix = "column block " + std::to_string(block.number) + ": ";
        for (const AddFieldCall& call : block.addFields)
            add_add_field(out, prefix + std::string(call.column) + ": ", call);
        if (!block.select.empty()) out[prefix + "select"] = std::string(block.select);
        for (const GroupRow& row : block.rows) {
            const std::string origin = prefix + std::string(row.testedColumn) + ": ";
            if (row.add_field) {
                add_add_field(out, origin, *row.add_field);
                continue;
            }
            out[origin + "alter"] = std::string(row.alter);
            if (row.update) out[origin + "update"] = std::string(*row.update);
        }
    }
}

Statements upgrade_statements() {
    Statements out;
    out["hidden button Button3: select"] = add_field_select("Personal");
    out["hidden button Button3: alter"] = add_field_alter("Personal", "StaffID", "Char(20)");
    add_table_steps(out);
    add_anti_pass_back(out);
    add_index_steps(out);
    add_reference_data(out);
    add_column_blocks(out);
    return out;
}

TEST(UpgradeStatements, AreByteForByteTheStatementsOfTheQuotedList) {
    const Statements ours = upgrade_statements();
    Statements quoted;
    for (const auto& statement : pdx::sql::testing::quoted_statements()) {
        // The key re-arrangement is another job's.
        if (statement.origin.starts_with("key re-arrangement")) continue;
        quoted[std::string(statement.origin)] = std::string(statement.text);
    }
    for (const auto& [origin, text] : quoted) {
        const auto found = ours.find(origin);
        if (found == ours.end()) {
            ADD_FAILURE() << "The upgrade never sends the statement of " << origin;
            continue;
        }
        EXPECT_EQ(found->second, text) << origin;
    }
    for (const auto& [origin, text] : ours)
        EXPECT_TRUE(quoted.contains(origin))
            << "Not in the quoted list: " << origin << ": " << text;
}

TEST(UpgradeStatements, PanicPinOfBlockFiveIsTheListedConstant) {
    EXPECT_EQ(kDefaultPanicPin, pdx::sql::testing::kPanicPin);
    EXPECT_EQ(kDefaultPanicPin.size(), 4u);
    EXPECT_EQ(kDefaultPanicPin.find_first_not_of("0123456789"), std::string_view::npos);
}

// Every ALTER of the column blocks, in the order of its block.
std::vector<std::string> block_alters(const ColumnBlock& block) {
    std::vector<std::string> alters;
    for (const AddFieldCall& call : block.addFields)
        alters.push_back(add_field_alter(call.table, call.column, call.type));
    for (const GroupRow& row : block.rows)
        alters.push_back(row.add_field ? add_field_alter(row.add_field->table,
                                                         row.add_field->column, row.add_field->type)
                                       : std::string(row.alter));
    return alters;
}

// The table a statement names, as the engine finds its file: letter case and ".db" aside.
std::string table_key(std::string_view table) {
    std::string key = ascii_lower(table);
    if (key.size() > 3 && key.ends_with(".db")) key.resize(key.size() - 3);
    return key;
}

std::vector<std::string> added_columns(const pdx::sql::AlterTable& alter) {
    std::vector<std::string> columns;
    for (const pdx::sql::AlterAction& action : alter.actions) {
        const auto& column = std::get<pdx::sql::AddColumn>(action).column;
        columns.push_back(column.name.text + " " + std::to_string(static_cast<int>(column.type)) +
                          " " + std::to_string(column.size));
    }
    return columns;
}

// The upgrade adds the missing columns of one table with one ALTER made of the block's single
// ALTERs (column_run.h); that statement must add, to the same table, what they add one by one.
TEST(UpgradeStatements, AltersOfOneTableJoinedAddTheColumnsTheyAddOneByOne) {
    int joined = 0;
    for (const ColumnBlock& block : column_blocks()) {
        SCOPED_TRACE("column block " + std::to_string(block.number));
        std::map<std::string, std::vector<std::string>> byTable;
        for (const std::string& alter : block_alters(block)) {
            const std::optional<AlterParts> parts = split_alter(alter);
            ASSERT_TRUE(parts) << alter;
            byTable[table_key(parts->table)].push_back(alter);
        }
        for (const auto& [table, alters] : byTable) {
            const AlterParts first = *split_alter(alters.front());
            std::vector<std::string_view> definitions;
            std::vector<std::string> singly;
            for (const std::string& alter : alters) {
                definitions.push_back(split_alter(alter)->definition);
                const auto one = std::get<pdx::sql::AlterTable>(pdx::sql::parse(alter));
                EXPECT_EQ(table_key(one.table.name), table) << alter;
                for (std::string& column : added_columns(one))
                    singly.push_back(std::move(column));
            }
            const std::string statement = joined_alter(first.head, definitions);
            const auto together = std::get<pdx::sql::AlterTable>(pdx::sql::parse(statement));
            EXPECT_EQ(table_key(together.table.name), table) << statement;
            EXPECT_EQ(added_columns(together), singly) << statement;
            ++joined;
        }
    }
    EXPECT_EQ(joined, 17);
}

TEST(UpgradeStatements, OnlyAnAlterAddingOneColumnIsSplit) {
    const auto parts = split_alter("alter table \"LQ.db\" add StaffID Char(20) ");
    ASSERT_TRUE(parts);
    EXPECT_EQ(parts->head, "alter table \"LQ.db\"");
    EXPECT_EQ(parts->table, "LQ.db");
    EXPECT_EQ(parts->definition, "StaffID Char(20)");
    EXPECT_EQ(parts->column, "StaffID");
    EXPECT_FALSE(split_alter("alter table Door drop DoorPIN"));
    EXPECT_FALSE(split_alter("alter table Door add A smallint, add B smallint"));
    EXPECT_FALSE(split_alter("alter table \"Door add A smallint"));
    EXPECT_FALSE(split_alter("update Door set A=1"));
}

// The table and every row of an INSERT, the rows as the engine prints their values.
std::pair<std::string, std::vector<std::string>> inserted_rows(const std::string& statement) {
    const auto insert = std::get<pdx::sql::Insert>(pdx::sql::parse(statement));
    std::string table = table_key(insert.table.name);
    for (const pdx::sql::Name& column : insert.columns)
        table += " " + column.text;
    std::vector<std::string> rows;
    for (const std::vector<pdx::sql::Expr>& row : insert.rows) {
        std::string values;
        for (const pdx::sql::Expr& value : row)
            values += pdx::sql::to_sql(value) + ";";
        rows.push_back(values);
    }
    return {table, rows};
}

// Each refill adds its rows with one INSERT made of its single INSERTs (joined_insert): the
// same table and columns, and the rows they add one by one, in their order.
TEST(UpgradeStatements, InsertsOfARefillJoinedAddTheRowsTheyAddOneByOne) {
    std::vector<std::vector<std::string>> refills(3);
    for (const CodeName& event : event_names())
        refills[0].push_back(event_insert(event.code, event.name));
    for (const CodeName& format : card_formats())
        refills[1].push_back(card_format_insert(format.code, format.name));
    for (const char* door : {"7", "12", "3", "255"})
        refills[2].push_back(door_status_insert(door));
    for (const std::vector<std::string>& inserts : refills) {
        ASSERT_GE(inserts.size(), 2u);
        std::string table;
        std::vector<std::string> singly;
        for (const std::string& insert : inserts) {
            auto [one_table, rows] = inserted_rows(insert);
            ASSERT_EQ(rows.size(), 1u) << insert;
            table = one_table;
            singly.push_back(rows.front());
        }
        const std::string statement = joined_insert(inserts);
        const auto [together_table, together] = inserted_rows(statement);
        EXPECT_EQ(together_table, table) << statement;
        EXPECT_EQ(together, singly) << statement;
    }
    EXPECT_EQ(joined_insert({}), "");
    const std::vector<std::string> mixed = {event_insert(1, "a"), card_format_insert(1, "a")};
    EXPECT_THROW(joined_insert(mixed), Error);
    const std::vector<std::string> no_row = {"Insert into DoorStatus"};
    EXPECT_THROW(joined_insert(no_row), Error);
}

}  // namespace
}  // namespace vaq::upgrade
