#include "db/schema.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "common/text.h"

namespace vaq::db::schema {
namespace {

std::vector<std::string> created_columns(const TableLayout& table) {
    std::vector<std::string> names;
    for (const ColumnLayout& column : table.columns)
        if (column.created) names.emplace_back(column.name);
    return names;
}

TEST(Schema, ATableIsFoundUnderEveryNameTheSystemUses) {
    for (const char* name : {"WorkON", "WorkOn.db", "WorkON.DB", "workon"})
        EXPECT_EQ(find_table(name), find_table(WorkOn::kTable)) << name;
    for (const char* name : {"Ctrller.DB", "ctrller", "Ctrller.db"})
        EXPECT_EQ(find_table(name)->name, Ctrller::kTable) << name;
    EXPECT_EQ(find_table("SGCountTBl.DB")->name, SGCountTbl::kTable);
    EXPECT_EQ(find_table("Emailalert.DB")->name, EmailAlert::kTable);
    EXPECT_EQ(find_table("antiPassback.DB")->name, AntiPassBack::kTable);
    EXPECT_EQ(find_table("events")->name, events::kTable);
    EXPECT_EQ(find_table("WorkON.PX"), nullptr);
    EXPECT_EQ(find_table("Work"), nullptr);
    EXPECT_TRUE(same_table_name("User.DB", "user.db"));
    EXPECT_FALSE(same_table_name("Leave.db", "LeaveType.db"));
    EXPECT_EQ(table_stem("Transact.db"), "Transact");
    EXPECT_EQ(table_stem("events"), "events");
}

TEST(Schema, NamesAreUniqueAndKeysAndIndexesNameListedColumns) {
    std::set<std::string> table_names;
    for (const TableLayout& table : tables()) {
        EXPECT_TRUE(table_names.insert(ascii_lower(table_stem(table.name))).second) << table.name;
        std::set<std::string> columnNames;
        for (const ColumnLayout& column : table.columns) {
            EXPECT_TRUE(columnNames.insert(ascii_lower(column.name)).second)
                << table.name << "." << column.name;
            const bool text = column.type == ColumnType::kChar || column.type == ColumnType::kText;
            if (column.type == ColumnType::kChar) {
                EXPECT_GT(column.size, 0) << table.name << "." << column.name;
            }
            if (!text) {
                EXPECT_EQ(column.size, 0) << table.name << "." << column.name;
            }
        }
        for (std::string_view key : table.primaryKey)
            EXPECT_NE(find_column(table, key), nullptr) << table.name << " key " << key;
        for (const IndexLayout& index : table.indexes)
            EXPECT_NE(find_column(table, index.column), nullptr) << table.name << " " << index.name;
        if (table.group == TableGroup::kCreatedByUpgrade) {
            EXPECT_FALSE(created_columns(table).empty()) << table.name;
        }
    }
    EXPECT_EQ(tables().size(), 35u);
}

TEST(Schema, CreatedLayoutsKeepTheirColumnOrder) {
    const auto staff = created_columns(*find_table(StaffTimeTbl::kTable));
    ASSERT_EQ(staff.size(), 22u);
    EXPECT_EQ(staff[1], "MonS");
    EXPECT_EQ(staff[9], "FriS");
    EXPECT_EQ(staff[10], "SatS");
    EXPECT_EQ(staff.back(), "FriE");

    const TableLayout& dept = *find_table(DeptTimeTable::kTable);
    EXPECT_EQ(created_columns(dept).size(), 22u);
    EXPECT_EQ(created_columns(dept).back(), "FriE");
    EXPECT_EQ(dept.columns.back().name, DeptTimeTable::DeptName);
    EXPECT_FALSE(dept.columns.back().created);

    // A created LQ.DB ends with DateName; TTime and DateTime are added after it.
    const TableLayout& lq = *find_table(LQ::kTable);
    EXPECT_EQ(created_columns(lq).back(), "DateName");
    EXPECT_EQ(lq.columns[lq.columns.size() - 2].name, LQ::TTime);
    EXPECT_EQ(lq.columns.back().name, LQ::DateTime);
    EXPECT_FALSE(find_column(lq, LQ::DateName)->added);
    EXPECT_EQ(find_column(lq, "name")->size, 40);
    EXPECT_EQ(find_column(lq, "name")->addedSize, 20);

    // A created ActiveRelay.DB has seven columns; four more are added.
    EXPECT_EQ(created_columns(*find_table(ActiveRelay::kTable)).size(), 7u);

    const ColumnLayout& email = *find_column(*find_table(EmailAlert::kTable), "EmailAddress");
    EXPECT_EQ(email.size, 30);
    EXPECT_EQ(email.addedSize, 20);

    const TableLayout& door = *find_table("door");
    EXPECT_EQ(door.columns[14].name, Door::DoorRelaySN);  // the first fifteen, in order
    EXPECT_EQ(door.primaryKey.front(), Door::DoorID);
    EXPECT_EQ(door.indexes.front().name, Door::ControlID);
}

TEST(Schema, ReferencesNameKnownColumnsAndAreFoundFromTheKey) {
    // Every reference names a column the schema lists.
    for (const TableLayout& table : tables())
        for (const ColumnLayout& column : table.columns) {
            if (column.refersTo.table.empty()) continue;
            const TableLayout* target = find_table(column.refersTo.table);
            ASSERT_NE(target, nullptr) << column.name;
            EXPECT_NE(find_column(*target, column.refersTo.column), nullptr) << column.name;
        }
    // The transactions name their staff record; the other renumbered keys are named by none.
    const std::vector<ColumnRef> staff = references_to("personal", "personalid");
    ASSERT_EQ(staff.size(), 1U);
    EXPECT_EQ(staff[0].table, Transact::kTable);
    EXPECT_EQ(staff[0].column, Transact::PersonalID);
    EXPECT_TRUE(references_to("Transact.db", "TransID").empty());
    EXPECT_TRUE(references_to("MessForm", "MessID").empty());
    EXPECT_GE(references_to("Door.DB", "DoorID").size(), 3U);
}

TEST(Schema, EnsuredIndexesAndTableObjectsNameKnownTables) {
    ASSERT_EQ(ensured_indexes().size(), 11u);
    EXPECT_EQ(ensured_indexes()[3].created_name, Leave::idx_LeaveDate);
    EXPECT_EQ(ensured_indexes()[10].created_name, Leave::idx_StaffID);
    for (const EnsuredIndex& step : ensured_indexes()) {
        const TableLayout* table = find_table(step.table_name);
        ASSERT_NE(table, nullptr) << step.table_name;
        EXPECT_NE(find_column(*table, step.column), nullptr)
            << step.table_name << " " << step.column;
        EXPECT_TRUE(iequals(step.tested_name, step.created_name));
    }
    ASSERT_EQ(table_objects().size(), 14u);
    for (const TableObject& object : table_objects())
        if (!object.table_name.empty()) {
            EXPECT_NE(find_table(object.table_name), nullptr) << object.object;
        }
}

}  // namespace
}  // namespace vaq::db::schema
