// "Upgrade DataBase" on databases written by the database generator: the oldest layout, an
// intermediate version with some newer tables, and one holding every newer table. From each
// the upgrade reaches the same layout, keeps every row, and logs the steps that had work.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "db/schema.h"
#include "engine/table/table.h"
#include "generator/database_generator.h"
#include "upgrade/tests/upgrade_expectations.h"
#include "upgrade/tests/upgrade_fixture.h"

namespace vaq::upgrade::testing {
namespace {

namespace schema = db::schema;
using bench::NewerTables;
using ::testing::Each;
using ::testing::EndsWith;

// A table as it was before the upgrade.
struct TableBefore {
    Lines fields;
    Lines rows;
};

// Tables whose rows the upgrade replaces on purpose.
bool is_refilled(std::string_view table) {
    for (const std::string_view refilled : {"events", "CardFormat", "DoorStatus"})
        if (schema::same_table_name(table, refilled)) return true;
    return false;
}

std::string_view name_of(const std::string& field) {
    return std::string_view(field).substr(0, field.find(' '));
}

class GeneratedDatabase : public UpgradeFixture {
  protected:
    void SetUp() override {
        UpgradeFixture::SetUp();
        repair_.install(window_, *form_);
    }

    void generate(NewerTables newerTables) {
        bench::GeneratorOptions options;
        options.site.controllers = 3;
        options.site.doorsPerController = 2;
        options.site.staff = 40;
        options.site.transactions = 400;
        options.site.newerTables = newerTables;
        options.out = data();
        bench::generate_database(options);
        for (const auto& entry : fs::directory_iterator(data())) {
            const std::string extension = entry.path().extension().string();
            if (extension != ".DB" && extension != ".db") continue;
            const std::string file = entry.path().filename().string();
            before_[file] = {fields_of(file), rows_of(file)};
        }
    }

    // The columns of a table as they were before, read now.
    Lines rows_by_former_columns(const std::string& table) const {
        std::vector<std::string_view> columns;
        for (const std::string& field : before_.at(table).fields)
            columns.push_back(name_of(field));
        return rows_of(table, columns);
    }

    void expect_every_table_of_the_layout_with_its_rows() {
        for (const auto& [file, before] : before_) {
            SCOPED_TRACE(file);
            if (schema::same_table_name(file, schema::AntiPassBack::kTable) || is_refilled(file))
                continue;
            const Lines after = fields_of(file);
            ASSERT_GE(after.size(), before.fields.size());
            EXPECT_TRUE(std::equal(before.fields.begin(), before.fields.end(), after.begin()));
            EXPECT_EQ(rows_by_former_columns(file), before.rows);
        }
        for (const auto& [added_to, added] : kAddedToOldTables) {
            const std::string_view table = added_to;  // clang lets no lambda capture a binding
            SCOPED_TRACE(table);
            const auto found = std::find_if(before_.begin(), before_.end(), [&](const auto& t) {
                return schema::same_table_name(t.first, table);
            });
            ASSERT_NE(found, before_.end());
            Lines expected = found->second.fields;
            expected.insert(expected.end(), added.begin(), added.end());
            EXPECT_EQ(fields_of(table), expected);
        }
        for (const schema::TableLayout& table : schema::tables()) {
            if (table.group != schema::TableGroup::kCreatedByUpgrade) continue;
            SCOPED_TRACE(table.name);
            EXPECT_EQ(fields_of(table.name), created_layout(table));
            EXPECT_EQ(pdx::Table::open(data(), table.name)->schema().key_fields(),
                      table.primaryKey.size());
        }
        for (const schema::TableLayout& table : schema::tables()) {
            if (!table_exists(table.name)) continue;
            SCOPED_TRACE(table.name);
            Lines expected;
            for (const schema::IndexLayout& index : table.indexes)
                expected.emplace_back(index.name);
            EXPECT_EQ(indexes_of(table.name), expected);
        }
    }

    void expect_anti_pass_back_rules_numbered_afresh() {
        const auto old = std::find_if(before_.begin(), before_.end(), [](const auto& t) {
            return schema::same_table_name(t.first, schema::AntiPassBack::kTable);
        });
        ASSERT_NE(old, before_.end());
        Lines expected;
        for (std::size_t i = 0; i < old->second.rows.size(); ++i)
            expected.push_back(std::to_string(i + 1) + "|" + old->second.rows[i]);
        EXPECT_EQ(rows_of("AntiPassBack", {"Pkey", "ControllerID", "FromDoorID", "FromDirection",
                                           "ToDOorID", "ToDirection"}),
                  expected);
    }

    // The log of the first run when the tables whose creation lines are listed existed.
    static std::string log_without(const Lines& creationLines) {
        Lines lines;
        for (const std::string& line : kFirstRunLog)
            if (std::find(creationLines.begin(), creationLines.end(), line) == creationLines.end())
                lines.push_back(line);
        return log_text(lines) + std::string(kRepairText);
    }

    std::map<std::string, TableBefore> before_;
    RepairStandIn repair_;
};

TEST_F(GeneratedDatabase, OldestLayoutReachesTheWholeLayoutWithTheFullLog) {
    generate(NewerTables::kNone);
    form_->BitBtn1Click();
    EXPECT_EQ(window_.log(), log_without({}));
    EXPECT_TRUE(window_.boxes.empty());
    expect_every_table_of_the_layout_with_its_rows();
    expect_anti_pass_back_rules_numbered_afresh();
}

TEST_F(GeneratedDatabase, IntermediateVersionLogsOnlyTheTablesItLacked) {
    generate(NewerTables::kSome);
    form_->BitBtn1Click();
    EXPECT_EQ(window_.log(), log_without({"Upgraded Successfully : Table WorkOn.db Added",
                                          "Upgraded Successfully : Table DeptTimeTable.db Added",
                                          "Upgraded Successfully : Table Department.db Added",
                                          "Upgraded Successfully : Table ActiveRelay Added",
                                          "Upgraded Successfully : Table LQ Added"}));
    expect_every_table_of_the_layout_with_its_rows();
    expect_anti_pass_back_rules_numbered_afresh();

    // Once the access-control program has given its staff departments, the next upgrade
    // writes their names; nothing else of the layout changes.
    const Lines layoutBefore = fields_of("Personal");
    sql({"update personal set DeptID=1 where PersonalID < 11",
         "update personal set DeptID=2 where PersonalID > 10"});
    const std::string firstLog = window_.log();
    form_->BitBtn1Click();
    EXPECT_EQ(window_.log(), firstLog + log_text(kLaterRunLog) + std::string(kRepairText));
    EXPECT_EQ(fields_of("Personal"), layoutBefore);
    const Lines departments = rows_of("Department", {"DeptID", "DeptName"});
    ASSERT_GE(departments.size(), 2u);
    const std::string first = departments[0].substr(departments[0].find('|') + 1);
    const std::string second = departments[1].substr(departments[1].find('|') + 1);
    Lines names = rows_of("Personal", {"Department"});
    ASSERT_EQ(names.size(), 40u);
    EXPECT_THAT(Lines(names.begin(), names.begin() + 10), Each(first));
    EXPECT_THAT(Lines(names.begin() + 10, names.end()), Each(second));
}

TEST_F(GeneratedDatabase, DatabaseWithEveryNewerTableGetsOnlyColumnsAndIndexes) {
    generate(NewerTables::kAll);
    form_->BitBtn1Click();
    Lines creationLines;
    for (const std::string& line : kFirstRunLog)
        if (line.starts_with("Upgraded Successfully : Table ") ||
            line == "Upgraded Successfully : LocationMap.DB  added ")
            creationLines.push_back(line);
    EXPECT_EQ(creationLines.size(), 17u);
    EXPECT_EQ(window_.log(), log_without(creationLines));
    expect_every_table_of_the_layout_with_its_rows();
    EXPECT_THAT(rows_of("DoorStatus", {"Status"}), Each(EndsWith("128")));
    EXPECT_EQ(rows_of("DoorStatus").size(), rows_of("Door").size());
}

}  // namespace
}  // namespace vaq::upgrade::testing
