// SELECT over an order table and a customer table, written by the engine (order_tables.h)
// and, where the corpus is present, copied from it: field lists, WHERE, ORDER BY, table
// names, and statements that must fail with a message naming what is wrong and where.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "engine/sql/executor.h"
#include "engine/sql/tests/executor_test_support.h"
#include "engine/sql/tests/order_tables.h"
#include "engine/table/table.h"

namespace pdx::sql::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

enum class Tables { kWritten, kCorpus };

class SelectTest : public ::testing::TestWithParam<Tables> {
  protected:
    void SetUp() override {
        if (GetParam() == Tables::kWritten) {
            write_order_tables(dir_.path());
        } else {
            if (!have_corpus()) GTEST_SKIP() << "The Paradox corpus folder is absent.";
            copy_corpus_table("paradoxdriver/db/ORDERS.DB", dir_.path());
            copy_corpus_table("paradoxdriver/db/CUSTOMER.DB", dir_.path());
        }
        // Results read their table as they go; SmallResultsAreReadAtOnce covers the other way.
        executor_.set_snapshot_limit(0);
    }

    // The "Order No" of every row of a result, in its order.
    std::vector<std::int64_t> order_numbers(std::string_view sql) {
        auto result = executor_.open(sql);
        std::vector<std::int64_t> numbers;
        for (; !result->eof(); result->next())
            numbers.push_back(static_cast<std::int64_t>(result->value("Order No").as_double()));
        return numbers;
    }

    // The same list made by walking the table and testing each record here.
    std::vector<std::int64_t> order_numbers_where(
        const std::function<bool(const Cursor&)>& keep) const {
        auto cursor = Table::open(dir_.path(), "Orders")->open_cursor();
        std::vector<std::int64_t> numbers;
        for (; !cursor->eof(); cursor->next())
            if (keep(*cursor)) numbers.push_back(cursor->field("Order No").as_integer());
        return numbers;
    }

    pdx::testing::TempDir dir_;
    Executor executor_{dir_.path()};
};

TEST_P(SelectTest, StarGivesEveryFieldAndRecordInTableOrder) {
    auto result = executor_.open("Select * from Orders");
    ASSERT_EQ(result->fields().size(), 11u);
    EXPECT_EQ(result->fields()[0].name, "Order No");
    EXPECT_EQ(result->fields()[10].name, "Month");
    EXPECT_EQ(result->find_field("payment METHOD"), 9u);
    EXPECT_FALSE(result->find_field("PaymentMethod"));
    EXPECT_EQ(result->record_count(), 224u);
    EXPECT_EQ(result->record_number(), 1u);
    EXPECT_EQ(result->value("order no").as_double(), 1001);
    EXPECT_EQ(describe(result->value("Sale Date")), "1988-04-03");
    EXPECT_EQ(result->value("Ship VIA").text, "UPS");
    std::uint32_t rows = 0;
    for (result->first(); !result->eof(); result->next())
        ++rows;
    EXPECT_EQ(rows, 224u);
    // The last row stays current at the end.
    EXPECT_EQ(result->record_number(), 224u);
    EXPECT_EQ(order_numbers("Select * from Orders"),
              order_numbers_where([](const Cursor&) { return true; }));
}

TEST_P(SelectTest, TableNamesIgnoreCaseQuotesAndExtension) {
    for (std::string_view sql :
         {"Select * from orders", "Select * from 'ORDERS'", "Select * from \"Orders.db\"",
          "SELECT * FROM orders.DB", "select\t*\nfrom\t'orders.DB' ;"}) {
        SCOPED_TRACE(sql);
        EXPECT_EQ(executor_.open(sql)->record_count(), 224u);
    }
}

TEST_P(SelectTest, WhereComparesNumbersTextAndDatesWrittenMonthFirst) {
    const auto big_ups = order_numbers_where([](const Cursor& c) {
        return c.field("Ship VIA").as_text() == "UPS" && *c.field("Total Invoice").number() > 7000;
    });
    ASSERT_FALSE(big_ups.empty());
    EXPECT_EQ(order_numbers("Select * from Orders where Orders.\"Ship VIA\" = 'UPS' and "
                            "Orders.\"Total Invoice\" > 7000"),
              big_ups);
    // A number written as text compares as a number; letter case of text counts.
    EXPECT_EQ(order_numbers("Select * from Orders where Orders.\"Ship VIA\" = \"UPS\" and "
                            "Orders.\"Total Invoice\" > '7000'"),
              big_ups);
    EXPECT_TRUE(order_numbers("Select * from Orders where orders.\"Ship VIA\" = 'ups'").empty());

    EXPECT_EQ(order_numbers("Select * from Orders where Orders.\"Sale Date\" = '4/3/1988'"),
              std::vector<std::int64_t>{1001});
    EXPECT_EQ(order_numbers("Select * from Orders where Orders.\"Order No\" <= 1003 and "
                            "\"ORDERS.DB\".\"Order No\" <> 1002"),
              (std::vector<std::int64_t>{1001, 1003}));
}

TEST_P(SelectTest, NotOrParenthesesAndNullFollowThreeValuedLogic) {
    const auto all = order_numbers("Select * from Orders");
    const auto ups = order_numbers("Select * from Orders where Orders.\"Ship VIA\" = 'UPS'");
    const auto not_ups =
        order_numbers("Select * from Orders where not (Orders.\"Ship VIA\" = 'UPS')");
    const auto null_via = order_numbers("Select * from Orders where Orders.\"Ship VIA\" is null");
    const auto has_via =
        order_numbers("Select * from Orders where Orders.\"Ship VIA\" is not null");
    // An empty Ship VIA is neither UPS nor not UPS.
    EXPECT_EQ(ups.size() + not_ups.size() + null_via.size(), all.size());
    EXPECT_EQ(null_via.size() + has_via.size(), all.size());

    const auto either = order_numbers_where([](const Cursor& c) {
        const std::string via = c.field("Ship VIA").as_text();
        const std::int64_t n = c.field("Order No").as_integer();
        return (via == "DHL" || via == "FedEx") && !(n > 1200);
    });
    EXPECT_EQ(
        order_numbers("Select * from Orders as o where (o.\"Ship VIA\" = 'DHL' or o.\"Ship VIA\" = "
                      "'FedEx') and not o.\"Order No\" > 1200"),
        either);
    // AND binds closer than OR.
    EXPECT_EQ(order_numbers(
                  "Select * from Orders where Orders.\"Order No\" = 1001 or Orders.\"Order No\" = "
                  "1002 and Orders.\"Order No\" = 1003"),
              std::vector<std::int64_t>{1001});
}

TEST_P(SelectTest, OrderByKeepsTableOrderAmongEqualKeys) {
    const auto rows = order_numbers(
        "Select \"Order No\" from Orders order by \"Ship VIA\", \"Total Invoice\" desc");
    ASSERT_EQ(rows.size(), 224u);
    auto result = executor_.open(
        "Select \"Ship VIA\", \"Total Invoice\", \"Order No\" from Orders order by \"Ship VIA\", "
        "\"Total Invoice\" desc");
    std::string previous_via;
    double previous_total = 0;
    double previous_number = 0;
    bool first = true;
    for (; !result->eof(); result->next()) {
        const std::string via = result->value("Ship VIA").text;
        const SqlValue invoice = result->value("Total Invoice");
        const double total = invoice.is_null() ? -1 : invoice.number;
        const double number = result->value("Order No").as_double();
        if (!first) {
            ASSERT_LE(previous_via, via);  // empty (NULL) first
            if (via == previous_via) {
                ASSERT_GE(previous_total, total);
                if (total == previous_total) {
                    ASSERT_LT(previous_number, number);
                }
            }
        }
        first = false;
        previous_via = via;
        previous_total = total;
        previous_number = number;
    }
}

TEST_P(SelectTest, SelectedColumnsFormTheFieldList) {
    auto result = executor_.open(
        "Select Month, \"order no\" as Number, o.Month, o.Terms from Orders as o "
        "where o.\"Order No\" = 1002");
    ASSERT_EQ(result->fields().size(), 4u);
    EXPECT_EQ(result->fields()[0].name, "Month");
    EXPECT_EQ(result->fields()[1].name, "Number");
    EXPECT_EQ(result->fields()[2].name, "Month_1");
    EXPECT_EQ(result->fields()[3].name, "Terms");
    EXPECT_TRUE(result->find_field("number"));
    EXPECT_FALSE(result->find_field("Order No"));
    EXPECT_EQ(result->record_count(), 1u);
    EXPECT_EQ(result->value("Number").as_double(), 1002);
    EXPECT_THROW(result->value("Balance Due"), vaq::Error);
}

TEST_P(SelectTest, DistinctKeepsTheFirstOfEqualRows) {
    auto result = executor_.open("Select distinct \"Ship VIA\" from Orders order by \"Ship VIA\"");
    std::vector<std::string> vias;
    for (; !result->eof(); result->next())
        vias.push_back(result->value(0).text);
    std::vector<std::string> expected;
    auto cursor = Table::open(dir_.path(), "orders")->open_cursor();
    for (; !cursor->eof(); cursor->next())
        expected.push_back(cursor->field("Ship VIA").as_text());
    std::sort(expected.begin(), expected.end());
    expected.erase(std::unique(expected.begin(), expected.end()), expected.end());
    EXPECT_EQ(vias, expected);
}

TEST_P(SelectTest, EmptyResultHasFieldsButNoRow) {
    auto result = executor_.open("Select * from Orders where Orders.\"Order No\" < 0");
    EXPECT_EQ(result->fields().size(), 11u);
    EXPECT_TRUE(result->eof());
    EXPECT_EQ(result->record_count(), 0u);
    EXPECT_EQ(result->record_number(), 0u);
    EXPECT_THROW(result->value(0), vaq::Error);
}

TEST_P(SelectTest, MemoAndDateFieldsCompare) {
    auto result = executor_.open("Select * from customer where Comments is not null");
    std::uint32_t with_notes = 0;
    auto cursor = Table::open(dir_.path(), "CUSTOMER")->open_cursor();
    for (; !cursor->eof(); cursor->next())
        with_notes += !cursor->field("Comments").is_null();
    EXPECT_EQ(result->record_count(), with_notes);
}

TEST_P(SelectTest, ResultLetsItsTableGoAndReadsOnFromMemory) {
    auto ordered = executor_.open("Select Month, \"Order No\" from Orders order by Month desc");
    auto plain = executor_.open("Select * from Orders");
    auto large = executor_.open("Select * from Orders");
    ordered->next();
    plain->next();
    plain->next();
    const SqlValue second_month = ordered->value(0);
    const double second_number = ordered->value(1).as_double();
    large->release_table(100);
    release_results(dir_.path() / "orders.db");
    EXPECT_FALSE(ordered->holds_table());
    EXPECT_FALSE(plain->holds_table());
    // The rows are the same and the place is kept.
    EXPECT_EQ(ordered->record_number(), 2u);
    EXPECT_EQ(ordered->value(0).text, second_month.text);
    EXPECT_EQ(ordered->value("Order No").as_double(), second_number);
    EXPECT_EQ(plain->record_number(), 3u);
    EXPECT_EQ(plain->value("Order No").as_double(), 1003);
    EXPECT_EQ(plain->record_count(), 224u);
    std::uint32_t rows = 0;
    for (plain->first(); !plain->eof(); plain->next())
        ++rows;
    EXPECT_EQ(rows, 224u);
    EXPECT_EQ(plain->record_number(), 224u);
    // Too large to keep: the field list stays, the rows are gone with a clear message.
    EXPECT_FALSE(large->holds_table());
    EXPECT_EQ(large->fields().size(), 11u);
    EXPECT_EQ(large->record_count(), 224u);
    try {
        large->value(0);
        ADD_FAILURE() << "a row was read after the table was let go";
    } catch (const vaq::Error& error) {
        EXPECT_THAT(error.what(), StartsWith("The result from ORDERS.DB can no longer be read"));
        EXPECT_THAT(error.what(), HasSubstr("Open the query again."));
    }
    // A result on another table keeps it.
    auto customers = executor_.open("Select * from Customer");
    release_results(dir_.path() / "ORDERS.DB");
    EXPECT_TRUE(customers->holds_table());
}

TEST_P(SelectTest, SmallResultsAreReadAtOnceAndReadTheSame) {
    Executor snapshots(dir_.path());
    for (std::string_view sql : {"Select * from Orders",
                                 "Select Terms, \"Order No\" from Orders where Orders.\"Order No\" "
                                 "> 1100 order by Terms desc"}) {
        SCOPED_TRACE(sql);
        auto live = executor_.open(sql);
        auto read = snapshots.open(sql);
        EXPECT_TRUE(live->holds_table());
        EXPECT_FALSE(read->holds_table());
        ASSERT_EQ(read->record_count(), live->record_count());
        for (; !live->eof(); live->next(), read->next()) {
            ASSERT_FALSE(read->eof());
            EXPECT_EQ(read->record_number(), live->record_number());
            for (std::size_t i = 0; i < live->fields().size(); ++i)
                EXPECT_EQ(describe(read->value(i)), describe(live->value(i)));
        }
        EXPECT_TRUE(read->eof());
    }
}

TEST_P(SelectTest, BadStatementsNameWhatIsWrongAndWhere) {
    const auto before = snapshot(dir_.path());
    EXPECT_EQ(error_of(executor_, "Select * from Door"),
              "Table does not exist: Door.DB (line 1, column 15)");
    EXPECT_EQ(error_of(executor_, "Select * from \"Door.db\""),
              "Table does not exist: Door.db (line 1, column 15)");
    EXPECT_EQ(error_of(executor_, "Select Mnth from Orders"),
              "Field not found: Mnth in ORDERS.DB (line 1, column 8)");
    EXPECT_EQ(error_of(executor_, "Select * from Orders\nwhere Mnth = 'Apr'"),
              "Field not found: Mnth in ORDERS.DB (line 2, column 7)");
    EXPECT_EQ(error_of(executor_, "Select * from Orders order by Mnth"),
              "Field not found: Mnth in ORDERS.DB (line 1, column 31)");
    EXPECT_THAT(error_of(executor_, "Select * from Orders where Month = 1"),
                StartsWith("Not a valid number for field Month: 'Apr'"));
    EXPECT_THAT(
        error_of(executor_, "Select * from Orders where Orders.\"Sale Date\" = '13/1/1988'"),
        AllOf(StartsWith("Not a valid date for field Sale Date: '13/1/1988'"),
              HasSubstr("(line 1, column 28)")));
    EXPECT_THAT(error_of(executor_, "Select * fromm Orders"),
                StartsWith("Syntax error at 'fromm' (line 1, column 10)"));
    EXPECT_THAT(error_of(executor_, "Select * from \"../db/Orders\""), HasSubstr("path"));
    EXPECT_THAT(error_of(executor_, "Select * from \"/tmp/Orders.db\""), HasSubstr("path"));
    EXPECT_THAT(error_of(executor_, "Select Month + 1 from Orders"),
                StartsWith("Only columns can be selected"));
    EXPECT_THAT(error_of(executor_, "Select * from Orders where Customers.Month = 'Apr'"),
                HasSubstr("is not the table of the statement"));
    EXPECT_THAT(error_of(executor_, "Select * from Orders where Orders.\"Order No\""),
                StartsWith("Expected a condition"));
    // Written bare, a name in double quotes is a text where a value is expected.
    EXPECT_THAT(error_of(executor_, "Select * from Orders where \"Order No\" = 1"),
                StartsWith("Not a valid number: 'Order No'"));
    try {
        executor_.open("Delete from Orders");
        ADD_FAILURE() << "a DELETE gave a result";
    } catch (const SqlError& error) {
        EXPECT_THAT(error.what(), HasSubstr("only a SELECT"));
    }
    EXPECT_EQ(snapshot(dir_.path()), before);
}

std::string tables_name(const ::testing::TestParamInfo<Tables>& tables) {
    return tables.param == Tables::kWritten ? "Written" : "Corpus";
}

INSTANTIATE_TEST_SUITE_P(Tables, SelectTest, ::testing::Values(Tables::kWritten, Tables::kCorpus),
                         tables_name);

// Long chains of AND and OR run on a table of our own, and keep the three-valued logic of
// two-term chains: the first deciding term wins, an unknown term leaves the rest unknown.
TEST(SelectChains, LongAndOrChainsRunAndDeepNestingIsRefused) {
    pdx::testing::TempDir dir;
    Executor executor(dir.path());
    executor.execute("CREATE TABLE T (X integer, Y integer)");
    executor.execute("INSERT INTO T VALUES (1, 1), (2, NULL), (3, 3)");
    const auto xs = [&](const std::string& where) {
        auto result = executor.open("SELECT X FROM T WHERE " + where);
        std::vector<std::int64_t> found;
        for (; !result->eof(); result->next())
            found.push_back(static_cast<std::int64_t>(result->value("X").as_double()));
        return found;
    };
    std::string ors = "X = 0";
    std::string ands = "X > 0";
    for (int i = 0; i < 20'000; ++i) {
        ors += i == 12'345 ? " OR X = 3" : " OR X = 0";
        ands += " AND X < 3";
    }
    EXPECT_EQ(xs(ors), (std::vector<std::int64_t>{3}));
    EXPECT_EQ(xs(ands), (std::vector<std::int64_t>{1, 2}));
    EXPECT_EQ(executor.execute("UPDATE T SET Y = 9 WHERE " + ors), 1u);
    EXPECT_EQ(xs("Y = 9"), (std::vector<std::int64_t>{3}));

    EXPECT_EQ(xs("Y = 1 OR X = 2 OR Y = 7"), (std::vector<std::int64_t>{1, 2}));
    EXPECT_EQ(xs("NOT (Y = 5 OR X = 0 OR Y = 1)"), (std::vector<std::int64_t>{3}));
    EXPECT_EQ(xs("NOT (Y = 1 AND X = 1 AND Y > 0)"), (std::vector<std::int64_t>{2, 3}));
    EXPECT_EQ(xs("X = 2 AND Y IS NULL AND X > 1"), (std::vector<std::int64_t>{2}));
    EXPECT_THAT(error_of(executor, "SELECT * FROM T WHERE X = 1 OR X OR X = 2"),
                StartsWith("Expected a condition"));

    std::string deep =
        "SELECT * FROM T WHERE " + std::string(5'000, '(') + "X = 1" + std::string(5'000, ')');
    EXPECT_THAT(error_of(executor, deep),
                HasSubstr("the expression nests more than 1000 levels deep"));
    EXPECT_EQ(xs(std::string(999, '(') + "X = 1" + std::string(999, ')')),
              (std::vector<std::int64_t>{1}));
}

}  // namespace
}  // namespace pdx::sql::testing

namespace pdx::sql::testing {
namespace {

TEST(SelectCount, CountsTheRecordsThatMeetTheCondition) {
    pdx::testing::TempDir dir;
    Executor executor(dir.path());
    executor.execute("CREATE TABLE Staff (ID integer, Name char(10), PRIMARY KEY (ID))");
    executor.execute("INSERT INTO Staff VALUES (1, 'Ann'), (2, 'Bob'), (3, NULL), (4, 'Bob')");
    const auto count = [&](std::string_view sql) {
        auto result = executor.open(sql);
        EXPECT_EQ(result->fields().size(), 1u);
        EXPECT_EQ(result->record_count(), 1u);
        EXPECT_FALSE(result->eof());
        const std::int64_t n = result->value(0).integer;
        result->next();
        EXPECT_TRUE(result->eof());
        return n;
    };
    EXPECT_EQ(count("select count(*) from staff"), 4);
    EXPECT_EQ(count("SELECT COUNT(*) FROM Staff WHERE Name = 'Bob'"), 2);
    EXPECT_EQ(count("SELECT COUNT(*) FROM Staff WHERE Name IS NULL OR ID > 3"), 2);
    EXPECT_EQ(count("SELECT COUNT(*) FROM Staff WHERE ID > 9"), 0);
    EXPECT_EQ(executor.open("SELECT COUNT(*) FROM Staff")->fields()[0].name, "COUNT(*)");
    EXPECT_EQ(executor.open("SELECT COUNT(*) AS n FROM Staff")->value("N").integer, 4);
    executor.execute("DELETE FROM Staff WHERE ID = 2");
    EXPECT_EQ(count("SELECT COUNT(*) FROM Staff"), 3);
    EXPECT_THROW(executor.open("SELECT COUNT(*) FROM Nowhere"), vaq::Error);
    EXPECT_THROW(executor.open("SELECT COUNT(*) FROM Staff WHERE Nope = 1"), vaq::Error);
}

}  // namespace
}  // namespace pdx::sql::testing
