// The query object: SQL text in lines, results read like a table, find field.

#include "db/query.h"

#include <gtest/gtest.h>

#include "db/tests/db_test_support.h"
#include "engine/table/table.h"

namespace vaq::db {
namespace {

class QueryObject : public testing::AliasDirectory {
  protected:
    void SetUp() override {
        AliasDirectory::SetUp();
        if (!have_corpus()) GTEST_SKIP() << "The Paradox corpus folder is absent.";
        copy_corpus_table("paradoxdriver/db/ORDERS.DB");
    }
};

TEST_F(QueryObject, TextIsItsLinesJoinedByLineBreaks) {
    Query q1;
    EXPECT_EQ(q1.alias_name(), "VAQ");
    q1.add_sql(" Select *\t");
    q1.add_sql("  from 'Orders' ");
    EXPECT_EQ(q1.text(), " Select *\t\n  from 'Orders' ");
    q1.set_sql("Select * from Orders\nwhere Orders.\"Order No\" = 1002");
    EXPECT_EQ(q1.lines().size(), 2u);
    q1.clear_sql();
    EXPECT_TRUE(q1.lines().empty());
    EXPECT_EQ(q1.text(), "");
}

TEST_F(QueryObject, OpenReadsTheResultLikeATable) {
    Query q2;
    q2.set_sql("Select * from \"ORDERS.db\"");
    q2.open();
    EXPECT_TRUE(q2.active());
    EXPECT_TRUE(q2.find_field("ship via"));
    EXPECT_FALSE(q2.find_field("MainEntrance"));
    EXPECT_EQ(q2.field_names().size(), 11u);
    EXPECT_EQ(q2.record_count(), 224u);
    EXPECT_EQ(q2.field_by_name("Order No").as_string(), "1001");
    q2.next();
    EXPECT_EQ(q2.rec_no(), 2u);
    EXPECT_EQ(q2.field_by_name("order no").as_integer(), 1002);
    std::uint32_t rows = 0;
    for (q2.first(); !q2.eof(); q2.next())
        ++rows;
    EXPECT_EQ(rows, 224u);
    // Opening an open query keeps its place; changing the text closes it.
    q2.open();
    EXPECT_EQ(q2.rec_no(), 224u);
    q2.add_sql("where Orders.\"Order No\" > 1100");
    EXPECT_FALSE(q2.active());
    q2.open();
    EXPECT_LT(q2.record_count(), 224u);
    EXPECT_GT(q2.field_by_name("Order No").as_integer(), 1100);
}

TEST_F(QueryObject, ExecutingASelectLeavesNoResult) {
    Query q1;
    q1.set_sql("Select * from Orders");
    q1.exec_sql();
    EXPECT_FALSE(q1.active());
    EXPECT_EQ(q1.rows_affected(), 0u);
}

TEST_F(QueryObject, CreatedTablesFollowTheEngineConfiguration) {
    pdx::use_configuration(pdx::Configuration::from_text(
        "[alias VAQ]\npath = data\n[engine]\ncreate_level = 5\nblock_size = 2048\n", root_,
        "test"));
    Query q1;
    q1.set_sql("CREATE TABLE \"LeaveType.db\" (LeaveTypeID smallint, Name char(40))");
    q1.exec_sql();
    q1.set_sql(" Insert into LeaveType.db Values (1, \"Annual Leave\") ");
    q1.exec_sql();
    EXPECT_EQ(q1.rows_affected(), 1u);
    const auto table = pdx::Table::open(data(), "LeaveType");
    EXPECT_EQ(table->header().level(), 5);
    EXPECT_EQ(table->header().block_size(), 2048u);
}

TEST_F(QueryObject, FailuresCarryTheEngineMessageAndLeaveTheQueryClosed) {
    Query q1;
    q1.set_sql("Select * from 'Door'");
    EXPECT_EQ(failure_of([&] { q1.open(); }), "Table does not exist: Door.DB (line 1, column 15)");
    EXPECT_FALSE(q1.active());
    q1.set_sql("Select * from Orders where Orders.Mnth = 1");
    EXPECT_EQ(failure_of([&] { q1.open(); }),
              "Field not found: Mnth in ORDERS.DB (line 1, column 35)");
    q1.set_sql("Delete from Orders");
    EXPECT_EQ(failure_of([&] { q1.open(); }), "DELETE gives no result to open; only a SELECT does");
    EXPECT_EQ(failure_of([&] { q1.field_by_name("Order No"); }),
              "Cannot read a field: the query is not open.");
    Query elsewhere("Nowhere");
    elsewhere.set_sql("Select * from Orders");
    EXPECT_EQ(failure_of([&] { elsewhere.open(); }), "Alias not found: Nowhere");
    q1.set_sql("Select * from Orders");
    q1.open();
    EXPECT_EQ(failure_of([&] { q1.field_by_name("Mnth"); }),
              "Field not found: Mnth in the result from ORDERS.DB.");
}

}  // namespace
}  // namespace vaq::db
