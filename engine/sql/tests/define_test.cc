// CREATE TABLE, ALTER TABLE and DROP TABLE: the tables they make, the columns they add and
// drop, the identity key of the key re-arrangement, and what they refuse without changing
// anything. Tables changed this way are read back through pxlib.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/sql/executor.h"
#include "engine/sql/tests/executor_test_support.h"
#include "engine/table/index_catalog.h"
#include "engine/table/index_cursor.h"
#include "engine/table/table.h"
#include "engine/table/tests/pxlib_reader.h"

namespace pdx::sql::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

// name:type:size of every field, then "key N".
std::vector<std::string> layout(const fs::path& directory, std::string_view table) {
    const auto t = Table::open(directory, table);
    std::vector<std::string> fields;
    for (const Field& f : t->schema().fields())
        fields.push_back(f.name + ":" + field_type_letter(f.type()) + ":" +
                         std::to_string(f.descriptor.size));
    fields.push_back("key " + std::to_string(t->schema().key_fields()));
    return fields;
}

using Strings = std::vector<std::string>;

class DefineTest : public ::testing::Test {
  protected:
    std::vector<std::vector<std::string>> rows(std::string_view sql) {
        return result_rows(executor_, sql);
    }

    // The table's records as pxlib reads them: numbers, logical values and text.
    std::vector<std::vector<std::string>> pxlib_rows(std::string_view table) {
        const auto path = Table::open(dir_.path(), table)->path();
        pdx::testing::PxlibTable px(path.string());
        std::vector<std::vector<std::string>> out;
        for (int r = 0; r < px.record_count(); ++r) {
            char* record = px.read_record(r);
            std::vector<std::string> row;
            int offset = 0;
            for (int f = 0; f < px.field_count(); ++f) {
                const pxfield_t& field = px.field(f);
                char* data = record + offset;
                offset += field.px_flen;
                row.push_back(pxlib_text(px, field, data));
            }
            out.push_back(std::move(row));
        }
        return out;
    }

    static std::string pxlib_text(pdx::testing::PxlibTable& px, const pxfield_t& field,
                                  char* data) {
        switch (field.px_ftype) {
            case pxfShort: {
                short value = 0;
                return PX_get_data_short(px.doc(), data, field.px_flen, &value) > 0
                           ? std::to_string(value)
                           : "NULL";
            }
            case pxfLong:
            case pxfAutoInc: {
                long value = 0;
                return PX_get_data_long(px.doc(), data, field.px_flen, &value) > 0
                           ? std::to_string(value)
                           : "NULL";
            }
            case pxfLogical: {
                char value = 0;
                return PX_get_data_byte(px.doc(), data, field.px_flen, &value) > 0
                           ? (value ? "true" : "false")
                           : "NULL";
            }
            case pxfAlpha: {
                char* value = nullptr;
                if (PX_get_data_alpha(px.doc(), data, field.px_flen, &value) <= 0) return "";
                std::string text(value);
                px.doc()->free(px.doc(), value);
                return text;
            }
            default:
                return "?";
        }
    }

    pdx::testing::TempDir dir_;
    Executor executor_{dir_.path()};
};

TEST_F(DefineTest, CreateTableMakesEveryTypeWithItsKey) {
    executor_.execute(
        "CREATE TABLE \"Every.db\" (Id autoinc, Code char(20), S smallint, I integer, N int, "
        "L boolean, D date, T time, DT datetime, TS timestamp, F float, M money, B bcd(4), "
        "Memo memo(30), Raw bytes(8), Primary Key(ID))");
    EXPECT_EQ(
        layout(dir_.path(), "every"),
        (Strings{"Id:+:4", "Code:A:20", "S:S:2", "I:I:4", "N:I:4", "L:L:1", "D:D:4", "T:T:4",
                 "DT:@:8", "TS:@:8", "F:N:8", "M:$:8", "B:#:4", "Memo:M:30", "Raw:Y:8", "key 1"}));
    EXPECT_TRUE(fs::exists(dir_ / "Every.db"));
    executor_.execute(
        " Create TABLE \"DoorStatus.db\" (DoorID smallint,\tStatus smallint, Primary Key(DoorID, "
        "Status) )");
    EXPECT_EQ(layout(dir_.path(), "DoorStatus.db"), (Strings{"DoorID:S:2", "Status:S:2", "key 2"}));
    executor_.execute("Create TABLE \"Department.db\" ( DeptID smallint , DeptName Char(40) )");
    EXPECT_EQ(layout(dir_.path(), "department"), (Strings{"DeptID:S:2", "DeptName:A:40", "key 0"}));
}

TEST_F(DefineTest, AlterAddsAtTheEndAndDropsSeveralAtOnce) {
    executor_.execute("Create table Door (DoorID smallint, Name char(20), Primary Key (DoorID))");
    executor_.execute("Insert into Door Values (1, 'Front'), (2, 'Back')");
    executor_.execute("alter table 'Door'  add  MainEntrance Boolean");
    executor_.execute("alter table Door add DoorPIN char(4), add Opened datetime, drop Name");
    EXPECT_EQ(layout(dir_.path(), "door"),
              (Strings{"DoorID:S:2", "MainEntrance:L:1", "DoorPIN:A:4", "Opened:@:8", "key 1"}));
    executor_.execute("update Door set MainEntrance = false, DoorPIN = '1234'");
    EXPECT_EQ(rows("Select DoorID, MainEntrance, DoorPIN from Door"),
              (std::vector<Strings>{{"1", "false", "1234"}, {"2", "false", "1234"}}));
    EXPECT_EQ(pxlib_rows("Door"),
              (std::vector<Strings>{{"1", "false", "1234", "?"}, {"2", "false", "1234", "?"}}));
}

TEST_F(DefineTest, IdentityPrimaryKeyIsPlacedFirstAndNumberedInTableOrder) {
    executor_.execute("Create table MessForm (Text char(10), MessID integer, Kind smallint)");
    executor_.execute(
        "Insert into MessForm Values ('c', 7, 1), ('a', 7, 2), ('b', 3, 3), ('d', NULL, 4)");
    executor_.execute("ALTER TABLE MessForm DROP COLUMN MessID");
    executor_.execute(
        "ALTER TABLE MessForm ADD MessID int IDENTITY(1,1) CONSTRAINT PK_MessForm PRIMARY KEY");
    EXPECT_EQ(layout(dir_.path(), "MessForm"),
              (Strings{"MessID:+:4", "Text:A:10", "Kind:S:2", "key 1"}));
    EXPECT_EQ(
        rows("Select * from MessForm"),
        (std::vector<Strings>{{"1", "c", "1"}, {"2", "a", "2"}, {"3", "b", "3"}, {"4", "d", "4"}}));
    EXPECT_EQ(
        pxlib_rows("MessForm"),
        (std::vector<Strings>{{"1", "c", "1"}, {"2", "a", "2"}, {"3", "b", "3"}, {"4", "d", "4"}}));
    // New records go on from there.
    executor_.execute("Insert into MessForm (Text) Values ('e')");
    EXPECT_EQ(rows("Select MessID from MessForm where MessForm.Text = 'e'"),
              (std::vector<Strings>{{"5"}}));
}

TEST_F(DefineTest, DroppingTheKeyColumnDropsTheKey) {
    executor_.execute(
        "Create table Personal (PersonalID autoinc, CardID char(10), Primary Key (PersonalID))");
    executor_.execute("Insert into Personal (CardID) Values ('x'), ('y')");
    executor_.execute("ALTER TABLE Personal DROP COLUMN PersonalID");
    EXPECT_EQ(layout(dir_.path(), "Personal"), (Strings{"CardID:A:10", "key 0"}));
    executor_.execute(
        "ALTER TABLE Personal ADD PersonalID int IDENTITY(1,1) CONSTRAINT PK_Personal PRIMARY "
        "KEY");
    EXPECT_EQ(rows("Select * from Personal"), (std::vector<Strings>{{"1", "x"}, {"2", "y"}}));
}

TEST_F(DefineTest, DropTableRemovesTheFamily) {
    executor_.execute(
        "CREATE TABLE \"tmpdb.DB\" ( Pkey Autoinc, ControllerID SmallINt,\n"
        "PRIMARY KEY (pkey))");
    executor_.execute("Insert into Tmpdb.DB (ControllerID) Values (3)");
    executor_.execute("Drop Table \"tmpdb.db\"");
    EXPECT_FALSE(fs::exists(dir_ / "tmpdb.DB"));
    EXPECT_FALSE(fs::exists(dir_ / "tmpdb.PX"));
    EXPECT_EQ(error_of(executor_, "Drop Table \"tmpdb.db\""),
              "Table does not exist: tmpdb.db (line 1, column 12)");
}

TEST_F(DefineTest, OpenResultLetsGoOfTheTableItsStatementChanges) {
    executor_.execute("Create table Ctrller (ID smallint, Name char(10))");
    executor_.execute("Insert into Ctrller Values (1, 'one'), (2, 'two')");
    executor_.set_snapshot_limit(0);
    auto before = executor_.open("Select * from 'Ctrller.db'");
    EXPECT_TRUE(before->holds_table());
    executor_.execute("alter table ctrller add EnablePanicPIN boolean");
    executor_.execute("update ctrller set EnablePanicPIN=false");
    // The field list stays as it was read; the rows read on.
    EXPECT_FALSE(before->find_field("EnablePanicPIN"));
    EXPECT_EQ(before->record_count(), 2u);
    before->next();
    EXPECT_EQ(before->value("Name").text, "two");
    EXPECT_TRUE(executor_.open("Select * from Ctrller")->find_field("enablepanicpin"));
}

TEST_F(DefineTest, IndexesAreCreatedListedAndDropped) {
    executor_.execute(
        "Create table Leave (idLeave smallint, StaffID char(20), Primary Key "
        "(idLeave))");
    executor_.execute("Insert into Leave Values (1, 'b'), (2, 'a'), (3, 'c')");
    executor_.execute("  CREATE INDEX idx_StaffID ON Leave (StaffID) ");
    auto table = Table::open(dir_.path(), "Leave");
    auto names = [&] {
        std::vector<std::string> list;
        for (const SecondaryIndex& index :
             list_secondary_indexes(*Table::open(dir_.path(), "Leave")))
            list.push_back(index.name);
        return list;
    };
    EXPECT_EQ(names(), Strings{"idx_StaffID"});
    EXPECT_THAT(error_of(executor_, "CREATE INDEX IDX_STAFFID ON \"Leave.DB\"(StaffID)"),
                HasSubstr("Index already exists: IDX_STAFFID on Leave.DB"));
    // Maintained on every change.
    executor_.execute("Insert into Leave Values (4, '0')");
    std::vector<std::string> order;
    for (auto cursor = open_index_cursor(*table, "idx_staffid"); !cursor->eof(); cursor->next())
        order.push_back(cursor->field("StaffID").as_text());
    EXPECT_EQ(order, (Strings{"0", "a", "b", "c"}));
    table.reset();
    executor_.execute("DROP INDEX Leave.idx_StaffID");
    EXPECT_TRUE(names().empty());
    EXPECT_THAT(error_of(executor_, "DROP INDEX Leave.idx_StaffID"),
                HasSubstr("Index does not exist: idx_StaffID on Leave.DB"));
    EXPECT_EQ(error_of(executor_, "CREATE INDEX i ON Leave (Nobody)"),
              "Field not found: Nobody in Leave.DB (line 1, column 26)");
    EXPECT_EQ(
        error_of(executor_, "CREATE UNIQUE INDEX i ON Leave (StaffID)"),
        "UNIQUE secondary indexes are not supported; index i would be one (line 1, column 21)");
    EXPECT_EQ(error_of(executor_, "CREATE INDEX i ON Holiday (TDate)"),
              "Table does not exist: Holiday.DB (line 1, column 19)");
}

TEST_F(DefineTest, FailingDefinitionsChangeNothing) {
    executor_.execute("Create table Door (DoorID smallint, DoorPIN char(4), Primary Key (DoorID))");
    executor_.execute("Insert into Door Values (1, '1'), (2, '2')");
    const auto before = snapshot(dir_.path());
    struct Case {
        std::string_view sql;
        std::string_view message;
    };
    const Case cases[] = {
        {"alter table Door add DoorPIN char(4)",
         "Field already exists: DoorPIN in Door.DB (line 1, column 22)"},
        {"alter table Door add X smallint, add x boolean",
         "Field already exists: x in Door.DB (line 1, column 38)"},
        {"alter table Door add X smallint, drop Nowhere",
         "Field not found: Nowhere in Door.DB (line 1, column 39)"},
        {"alter table Doors add X smallint", "Table does not exist: Doors.DB (line 1, column 13)"},
        {"alter table Door drop DoorID, drop DoorPIN",
         "Cannot drop DoorPIN, the last field of Door.DB (line 1, column 36)"},
        {"alter table Door add K int IDENTITY(1,1) CONSTRAINT PK PRIMARY KEY",
         "Door.DB already has a primary key; K cannot become a second one (line 1, column 22)"},
        {"alter table Door add K int IDENTITY(5,1)",
         "The table numbers IDENTITY column K from 1 upwards by 1; write IDENTITY(1,1)"},
        {"Create table Door (A smallint)", "Table already exists: Door.DB (line 1, column 14)"},
        {"Create table New (A smallint, a char(2))",
         "Field already exists: a in New.DB (line 1, column 31)"},
        {"Create table New (A smallint, B smallint, Primary Key (B))",
         "The primary key of New.DB must be made of its first columns, but B is column 2"},
        {"Create table New (A smallint, Primary Key (C))",
         "Field not found: C in New.DB (line 1, column 44)"},
        {"Create table New (A char(300))", "Invalid size 300 for the char column A"},
        {"Create table \"../New\" (A smallint)", "path"},
        {"Create table New (A smallint,)", "Syntax error at ')' (line 1, column 30)"},
        {"Create table New (A varchar(2))", "Syntax error at 'varchar'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sql);
        EXPECT_THAT(error_of(executor_, c.sql), HasSubstr(std::string(c.message)));
    }
    EXPECT_EQ(snapshot(dir_.path()), before);
}

}  // namespace
}  // namespace pdx::sql::testing
