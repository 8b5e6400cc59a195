// INSERT, UPDATE and DELETE over tables made by CREATE TABLE and over copies of real ones:
// values converted by their fields, counts, keys, and statements that fail without changing
// anything.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/sql/executor.h"
#include "engine/sql/tests/executor_test_support.h"
#include "engine/table/crash_points.h"
#include "engine/table/table.h"

namespace pdx::sql::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

class ModifyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        executor_.execute(
            "CREATE TABLE \"Kinds.db\" (Id smallint, Name char(12), Day date, At time, "
            "Stamp timestamp, Rate float, Paid money, Big integer, Done boolean, "
            "PRIMARY KEY (Id))");
        executor_.execute("Create table Log (Pkey autoinc, Text char(20), Primary Key (Pkey))");
    }

    // Every row of a select, each field as the result gives it in a message.
    std::vector<std::vector<std::string>> rows(std::string_view sql) {
        return result_rows(executor_, sql);
    }

    pdx::testing::TempDir dir_;
    Executor executor_{dir_.path()};
};

using Rows = std::vector<std::vector<std::string>>;

TEST_F(ModifyTest, ConstantsAreReadByTheFieldTheyGoInto) {
    EXPECT_EQ(executor_.execute("Insert into Kinds Values (1, \"First\", '1/1/2000', '0:0:0:', "
                                "'2/29/2004 13:45:10', 1001, 2.5, -7, true)"),
              1u);
    EXPECT_EQ(executor_.execute("insert into kinds.DB (Id, Day, At, Rate, Done) values "
                                "(2, '12/31/99', '9:30', '0.5', 'false')"),
              1u);
    EXPECT_EQ(
        rows("Select * from Kinds"),
        (Rows{{"1", "First", "2000-01-01", "00:00:00", "2004-02-29 13:45:10", "1001", "2.5", "-7",
               "true"},
              {"2", "NULL", "1999-12-31", "09:30:00", "NULL", "0.5", "NULL", "NULL", "false"}}));
    // An empty text empties a field; NULL too.
    executor_.execute("update Kinds set Name = '', Day = NULL where Kinds.Id = 1");
    EXPECT_EQ(rows("Select Name, Day from Kinds where Kinds.Id = 1"), (Rows{{"NULL", "NULL"}}));
}

TEST_F(ModifyTest, SeveralRowsAndAutoIncrementNumbers) {
    EXPECT_EQ(executor_.execute("Insert into Log (Text) Values ('a'), ('b'), ('c')"), 3u);
    EXPECT_EQ(rows("Select Pkey, Text from Log"), (Rows{{"1", "a"}, {"2", "b"}, {"3", "c"}}));
    EXPECT_THAT(error_of(executor_, "Insert into Log Values (7, 'x')"),
                StartsWith("Field Pkey of Log.DB is numbered by the table and takes no value"));
}

TEST_F(ModifyTest, InsertSelectCopiesColumnsByPosition) {
    executor_.execute("Insert into Log (Text) Values ('a'), ('b')");
    executor_.execute("Create table Copy (N autoinc, Words char(20), Primary key (N))");
    EXPECT_EQ(executor_.execute("Insert into Copy (Words) Select Text From Log"), 2u);
    // From the table itself: the rows it had when the statement began.
    EXPECT_EQ(executor_.execute("Insert into Copy (Words) Select Words From Copy"), 2u);
    EXPECT_EQ(rows("Select * from Copy"), (Rows{{"1", "a"}, {"2", "b"}, {"3", "a"}, {"4", "b"}}));
    EXPECT_THAT(error_of(executor_, "Insert into Copy (Words) Select Pkey, Text From Log"),
                StartsWith("INSERT into Copy.DB names 1 columns but its SELECT gives 2"));
}

TEST_F(ModifyTest, UpdateComputesFromTheRecordAsItWas) {
    executor_.execute("Insert into Kinds (Id, Big) Values (1, 10), (2, 20), (3, 30)");
    EXPECT_EQ(executor_.execute("update Kinds set Big = Big * 2 + 1 where Kinds.Id >= 2"), 2u);
    EXPECT_EQ(rows("Select Id, Big from Kinds"), (Rows{{"1", "10"}, {"2", "41"}, {"3", "61"}}));
    EXPECT_EQ(executor_.execute("update Kinds set Done=false"), 3u);
    EXPECT_EQ(rows("Select Done from Kinds"), (Rows{{"false"}, {"false"}, {"false"}}));
    // A key may change when the new keys stay unique.
    EXPECT_EQ(executor_.execute("update Kinds set Id = Id + 10"), 3u);
    EXPECT_EQ(rows("Select Id from Kinds"), (Rows{{"11"}, {"12"}, {"13"}}));
}

TEST_F(ModifyTest, DeleteRemovesWhatMeetsTheCondition) {
    executor_.execute("Insert into Log (Text) Values ('a'), ('b'), ('c'), ('b')");
    EXPECT_EQ(executor_.execute("Delete from Log where Log.Text = 'b'"), 2u);
    EXPECT_EQ(rows("Select Text from Log"), (Rows{{"a"}, {"c"}}));
    EXPECT_EQ(executor_.execute("delete from log"), 2u);
    EXPECT_TRUE(rows("Select * from Log").empty());
    EXPECT_EQ(executor_.execute("delete from log"), 0u);
    // Numbering goes on after the last value handed out.
    executor_.execute("Insert into Log (Text) Values ('d')");
    EXPECT_EQ(rows("Select Pkey from Log"), (Rows{{"5"}}));
}

TEST_F(ModifyTest, ManyRowsAcrossBlocks) {
    std::string sql = "Insert into Log (Text) Values ('row 1')";
    for (int i = 2; i <= 600; ++i)
        sql += ", ('row " + std::to_string(i) + "')";
    EXPECT_EQ(executor_.execute(sql), 600u);
    EXPECT_EQ(executor_.open("Select * from Log")->record_count(), 600u);
    EXPECT_EQ(executor_.execute("Delete from Log where Log.Pkey > 100 and Log.Pkey <= 550"), 450u);
    EXPECT_EQ(executor_.execute("update Log set Text = 'kept'"), 150u);
    const Rows left = rows("Select Pkey from Log where Log.Text = 'kept'");
    ASSERT_EQ(left.size(), 150u);
    EXPECT_EQ(left[99][0], "100");
    EXPECT_EQ(left[100][0], "551");
}

TEST_F(ModifyTest, FailingStatementsChangeNothing) {
    executor_.execute("Insert into Kinds (Id, Name) Values (1, 'one'), (2, 'two')");
    const auto before = snapshot(dir_.path());
    struct Case {
        std::string_view sql;
        std::string_view message;
    };
    const Case cases[] = {
        {"Insert into Kinds (Id, Name) Values (3, 'three'), (1, 'again')",
         "Key violation in Kinds.db."},
        {"Insert into Kinds (Id, Name) Values (3, 'x'), (3, 'y')", "Key violation in Kinds.db."},
        {"update Kinds set Id = 2", "Key violation in Kinds.db."},
        {"Insert into Kinds (Id, Day) Values (3, '1/1/2000'), (4, '13/1/2000')",
         "Not a valid date for field Day of Kinds.db: '13/1/2000' (there is no month 13; dates "
         "are written month first, as 1/31/2000) (row 2, line 1, column 57)"},
        {"Insert into Kinds (Id, Name) Values (5, 'a name far too long')",
         "The text 'a name far too long' is too long for field Name of Kinds.db: it has 19 "
         "characters, the field holds 12 (line 1, column 41)"},
        {"Insert into Kinds (Id) Values (40000)",
         "Not a valid whole number for field Id of Kinds.db: 40000 (it must be from -32767 to "
         "32767) (line 1, column 32)"},
        {"Insert into Kinds (Id, Done) Values (6, 'perhaps')",
         "Not a valid logical value for field Done of Kinds.db: 'perhaps' (expected true or "
         "false) (line 1, column 41)"},
        {"Insert into Kinds (Id, At) Values (7, '25:00')",
         "Not a valid time for field At of Kinds.db: '25:00' (there is no hour 25) (line 1, "
         "column 39)"},
        {"update Kinds set Day = true",
         "Cannot store the logical value true in the date field Day of Kinds.db (line 1, "
         "column 24)"},
        {"update Kinds set Big = Name", "Not a valid whole number for field Big of Kinds.db"},
        {"Insert into Kinds (Id, Name, Id) Values (1, 'a', 1)",
         "Field Id of Kinds.db is named twice (line 1, column 30)"},
        {"Insert into Kinds (Id, Nmae) Values (8, 'x')",
         "Field not found: Nmae in Kinds.db (line 1, column 24)"},
        {"Insert into Kinds (Id, Name) Values (8)",
         "INSERT into Kinds.db gives 1 values for 2 columns (line 1, column 38)"},
        {"Insert into Kinds (Id) Values (Big)",
         "A value of INSERT cannot name a column (line 1, column 32)"},
        {"update Kinds set Nmae = 'x'", "Field not found: Nmae in Kinds.db (line 1, column 18)"},
        {"update Kinds set Name = 'x' where Kinds.Nmae = 1",
         "Field not found: Nmae in Kinds.db (line 1, column 41)"},
        {"delete from Kinds where Kinds.Name = 1", "Not a valid number for field Name: 'one'"},
        {"delete from Doors", "Table does not exist: Doors.DB (line 1, column 13)"},
        {"Insert into \"../Kinds\" Values (1)", "path"},
        {"update Kinds Name = 'x'", "Syntax error at 'Name' (line 1, column 14): expected SET"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sql);
        EXPECT_THAT(error_of(executor_, c.sql), HasSubstr(std::string(c.message)));
    }
    EXPECT_EQ(snapshot(dir_.path()), before);
}

// Makes the write of the n-th record change of a statement fail, as a full disk would.
class FailingWrite {
  public:
    explicit FailingWrite(int failing_change) {
        set_crash_point_handler([this, failing_change](std::string_view where) {
            if (where == "journal written") ++changes_;
            if (where == "change written" && changes_ == failing_change)
                throw vaq::Error("No space left on the device.");
        });
    }
    ~FailingWrite() { set_crash_point_handler(nullptr); }
    FailingWrite(const FailingWrite&) = delete;
    FailingWrite& operator=(const FailingWrite&) = delete;

  private:
    int changes_ = 0;
};

TEST_F(ModifyTest, AWriteThatFailsMidwayIsUndone) {
    executor_.execute("Insert into Kinds (Id, Name) Values (1, 'one'), (2, 'two'), (3, 'three')");
    executor_.execute("Insert into Log (Text) Values ('a'), ('b'), ('c'), ('d')");
    const Rows kinds = rows("Select * from Kinds");
    const Rows log = rows("Select * from Log");
    // The rows an INSERT stores go into the table as one change; an UPDATE or a DELETE makes
    // one change a row. The write fails midway through the statement's last change or its
    // third.
    const std::pair<std::string_view, int> statements[] = {
        {"Insert into Kinds (Id, Name) Values (4, 'four'), (5, 'five'), (6, 'six')", 1},
        {"update Kinds set Name = 'changed', Id = Id + 10", 3},
        {"Delete from Log", 3},
        {"Insert into Log (Text) Select Text From Log", 1}};
    for (const auto& [sql, failing_change] : statements) {
        SCOPED_TRACE(sql);
        {
            FailingWrite failing(failing_change);
            EXPECT_EQ(error_of(executor_, sql), "No space left on the device.");
        }
        EXPECT_EQ(rows("Select * from Kinds"), kinds);
        EXPECT_EQ(rows("Select * from Log"), log);
    }
    // The tables take changes as before.
    executor_.execute("Insert into Kinds (Id, Name) Values (4, 'four')");
    EXPECT_EQ(rows("Select Name from Kinds where Kinds.Id = 4"), (Rows{{"four"}}));
}

TEST_F(ModifyTest, ChangesToACopiedRealTableKeepItsOtherValues) {
    if (!have_corpus()) GTEST_SKIP() << "The Paradox corpus folder is absent.";
    copy_corpus_table("paradoxdriver/db/ORDERS.DB", dir_.path());
    const auto before = rows("Select * from Orders");
    EXPECT_EQ(executor_.execute("update Orders set Terms = 'Net 30' where Orders.\"Order No\" = "
                                "1003"),
              1u);
    auto after = rows("Select * from Orders");
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(after[2][8], "Net 30");
    after[2][8] = before[2][8];
    EXPECT_EQ(after, before);
    const std::size_t later =
        executor_.open("Select * from Orders where Orders.\"Order No\" > 1100")->record_count();
    EXPECT_EQ(executor_.execute("Delete from Orders where Orders.\"Order No\" > 1100"), later);
    EXPECT_EQ(executor_.open("Select * from Orders")->record_count(), before.size() - later);
}

}  // namespace
}  // namespace pdx::sql::testing
