#include "db/schema.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "common/text.h"

namespace vaq::db::schema {
namespace {

std::vector<std::string> createdColumns(const TableLayout& table) {
    std::vector<std::string> names;
    for (const ColumnLayout& column : table.columns)
        if (column.created) names.emplace_back(column.name);
    return names;
}

TEST(Schema, ATableIsFoundUnderEveryNameTheSystemUses) {
    for (const char* name : {"WorkON", "WorkOn.db", "WorkON.DB", "workon"})
        EXPECT_EQ(findTable(name), findTable(WorkOn::kTable)) << name;
    for (const char* name : {"Ctrller.DB", "ctrller", "Ctrller.db"})
        EXPECT_EQ(findTable(name)->name, Ctrller::kTable) << name;
    EXPECT_EQ(findTable("SGCountTBl.DB")->name, SGCountTbl::kTable);
    EXPECT_EQ(findTable("Emailalert.DB")->name, EmailAlert::kTable);
    EXPECT_EQ(findTable("antiPassback.DB")->name, AntiPassBack::kTable);
    EXPECT_EQ(findTable("events")->name, events::kTable);
    EXPECT_EQ(findTable("WorkON.PX"), nullptr);
    EXPECT_EQ(findTable("Work"), nullptr);
    EXPECT_TRUE(sameTableName("User.DB", "user.db"));
    EXPECT_FALSE(sameTableName("Leave.db", "LeaveType.db"));
    EXPECT_EQ(tableStem("Transact.db"), "Transact");
    EXPECT_EQ(tableStem("events"), "events");
}

TEST(Schema, NamesAreUniqueAndKeysAndIndexesNameListedColumns) {
    std::set<std::string> tableNames;
    for (const TableLayout& table : tables()) {
        EXPECT_TRUE(tableNames.insert(ascii_lower(tableStem(table.name))).second) << table.name;
        std::set<std::string> columnNames;
        for (const ColumnLayout& column : table.columns) {
            EXPECT_TRUE(columnNames.insert(ascii_lower(column.name)).second)
                << table.name << "." << column.name;
            const bool text = column.type == ColumnType::Char || column.type == ColumnType::Text;
            if (column.type == ColumnType::Char) {
                EXPECT_GT(column.size, 0) << table.name << "." << column.name;
            }
            if (!text) {
                EXPECT_EQ(column.size, 0) << table.name << "." << column.name;
            }
        }
        for (std::string_view key : table.primaryKey)
            EXPECT_NE(findColumn(table, key), nullptr) << table.name << " key " << key;
        for (const IndexLayout& index : table.indexes)
            EXPECT_NE(findColumn(table, index.column), nullptr) << table.name << " " << index.name;
        if (table.group == TableGroup::CreatedByUpgrade) {
            EXPECT_FALSE(createdColumns(table).empty()) << table.name;
        }
    }
    EXPECT_EQ(tables().size(), 35u);
}

TEST(Schema, CreatedLayoutsKeepTheirColumnOrder) {
    const auto staff = createdColumns(*findTable(StaffTimeTbl::kTable));
    ASSERT_EQ(staff.size(), 22u);
    EXPECT_EQ(staff[1], "MonS");
    EXPECT_EQ(staff[9], "FriS");
    EXPECT_EQ(staff[10], "SatS");
    EXPECT_EQ(staff.back(), "FriE");

    const TableLayout& dept = *findTable(DeptTimeTable::kTable);
    EXPECT_EQ(createdColumns(dept).size(), 22u);
    EXPECT_EQ(createdColumns(dept).back(), "FriE");
    EXPECT_EQ(dept.columns.back().name, DeptTimeTable::DeptName);
    EXPECT_FALSE(dept.columns.back().created);

    // A created LQ.DB ends with DateName; TTime and DateTime are added after it.
    const TableLayout& lq = *findTable(LQ::kTable);
    EXPECT_EQ(createdColumns(lq).back(), "DateName");
    EXPECT_EQ(lq.columns[lq.columns.size() - 2].name, LQ::TTime);
    EXPECT_EQ(lq.columns.back().name, LQ::DateTime);
    EXPECT_FALSE(findColumn(lq, LQ::DateName)->added);
    EXPECT_EQ(findColumn(lq, "name")->size, 40);
    EXPECT_EQ(findColumn(lq, "name")->addedSize, 20);

    // A created ActiveRelay.DB has seven columns; four more are added.
    EXPECT_EQ(createdColumns(*findTable(ActiveRelay::kTable)).size(), 7u);

    const ColumnLayout& email = *findColumn(*findTable(EmailAlert::kTable), "EmailAddress");
    EXPECT_EQ(email.size, 30);
    EXPECT_EQ(email.addedSize, 20);

    const TableLayout& door = *findTable("door");
    EXPECT_EQ(door.columns[14].name, Door::DoorRelaySN);  // the first fifteen, in order
    EXPECT_EQ(door.primaryKey.front(), Door::DoorID);
    EXPECT_EQ(door.indexes.front().name, Door::ControlID);
}

TEST(Schema, ReferencesNameKnownColumnsAndAreFoundFromTheKey) {
    // Every reference names a column the schema lists.
    for (const TableLayout& table : tables())
        for (const ColumnLayout& column : table.columns) {
            if (column.refersTo.table.empty()) continue;
            const TableLayout* target = findTable(column.refersTo.table);
            ASSERT_NE(target, nullptr) << column.name;
            EXPECT_NE(findColumn(*target, column.refersTo.column), nullptr) << column.name;
        }
    // The transactions name their staff record; the other renumbered keys are named by none.
    const std::vector<ColumnRef> staff = referencesTo("personal", "personalid");
    ASSERT_EQ(staff.size(), 1U);
    EXPECT_EQ(staff[0].table, Transact::kTable);
    EXPECT_EQ(staff[0].column, Transact::PersonalID);
    EXPECT_TRUE(referencesTo("Transact.db", "TransID").empty());
    EXPECT_TRUE(referencesTo("MessForm", "MessID").empty());
    EXPECT_GE(referencesTo("Door.DB", "DoorID").size(), 3U);
}

TEST(Schema, EnsuredIndexesAndTableObjectsNameKnownTables) {
    ASSERT_EQ(ensuredIndexes().size(), 11u);
    EXPECT_EQ(ensuredIndexes()[3].createdName, Leave::idx_LeaveDate);
    EXPECT_EQ(ensuredIndexes()[10].createdName, Leave::idx_StaffID);
    for (const EnsuredIndex& step : ensuredIndexes()) {
        const TableLayout* table = findTable(step.tableName);
        ASSERT_NE(table, nullptr) << step.tableName;
        EXPECT_NE(findColumn(*table, step.column), nullptr) << step.tableName << " " << step.column;
        EXPECT_TRUE(iequals(step.testedName, step.createdName));
    }
    ASSERT_EQ(tableObjects().size(), 14u);
    for (const TableObject& object : tableObjects())
        if (!object.tableName.empty()) {
            EXPECT_NE(findTable(object.tableName), nullptr) << object.object;
        }
}

}  // namespace
}  // namespace vaq::db::schema
