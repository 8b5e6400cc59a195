// The table object over copies of real tables: binding, opening, moving, reading fields as
// text and integer, locate, index order and index names.

#include "db/table.h"

#include <gtest/gtest.h>

#include "common/dateformat.h"
#include "db/schema.h"
#include "db/tests/db_test_support.h"
#include "generator/database_generator.h"

namespace vaq::db {
namespace {

class TableObject : public testing::AliasDirectory {
  protected:
    void SetUp() override {
        AliasDirectory::SetUp();
        if (!have_corpus()) GTEST_SKIP() << "The Paradox corpus folder is absent.";
        copy_corpus_table("paradoxdriver/db/ORDERS.DB");
        copy_corpus_table("paradoxdriver/db/CUSTOMER.DB");
        copy_corpus_table("paradoxdriver/db/AREACODES.DB");
        savedFormats_ = date_time_formats();
    }
    void TearDown() override {
        set_date_time_formats(savedFormats_);
        AliasDirectory::TearDown();
    }

    DateTimeFormats savedFormats_;
};

TEST_F(TableObject, OpensByNameInAnyCaseAndWalksEveryRecord) {
    Table orders("VAQ", "orders");
    EXPECT_FALSE(orders.active());
    orders.open();
    EXPECT_EQ(orders.state(), Table::State::kBrowse);
    EXPECT_EQ(orders.record_count(), 224u);
    EXPECT_EQ(orders.rec_no(), 1u);
    EXPECT_EQ(orders.field_by_name("order no").as_integer(), 1001);
    std::uint32_t seen = 0;
    for (orders.first(); !orders.eof(); orders.next())
        ++seen;
    EXPECT_EQ(seen, 224u);
    EXPECT_EQ(orders.rec_no(), 224u);
    orders.first();
    EXPECT_EQ(orders.rec_no(), 1u);
    orders.close();
    EXPECT_FALSE(orders.active());
    EXPECT_EQ(failure_of([&] { orders.next(); }), "Cannot move: the table orders is not open.");
}

TEST_F(TableObject, NameAndAliasChangeOnlyWhileClosed) {
    Table table("VAQ", "Orders.DB");
    table.open();
    EXPECT_EQ(failure_of([&] { table.set_table_name("CUSTOMER"); }),
              "Cannot change the table name of an open table: ORDERS.DB.");
    EXPECT_EQ(failure_of([&] { table.set_alias_name("Other"); }),
              "Cannot change the alias of an open table: ORDERS.DB.");
    table.close();
    table.set_table_name("CUSTOMER");
    table.open();
    EXPECT_EQ(table.record_count(), 20u);
    EXPECT_TRUE(table.find_field("city"));
    EXPECT_FALSE(table.find_field("Order No"));
}

TEST_F(TableObject, FieldsReadAsTextUnderTheProcessDateFormat) {
    Table orders("VAQ", "Orders");
    orders.open();
    set_short_date_format("dd/mm/yyyy");
    EXPECT_EQ(orders.field_by_name("Sale Date").as_string(), "03/04/1988");
    set_short_date_format("yyyy-mm-dd");
    set_date_separator('.');
    EXPECT_EQ(orders.field_by_name("Sale Date").as_string(), "1988-04-03");
    set_short_date_format("m/d/yy");
    EXPECT_EQ(orders.field_by_name("Sale Date").as_string(), "4.3.88");
    EXPECT_EQ(orders.field_by_name("Ship VIA").as_string(), "UPS");
    EXPECT_EQ(orders.field_by_name("Total Invoice").as_string(), "7320");
    EXPECT_EQ(orders.field_by_name("Total Invoice").as_integer(), 7320);
    EXPECT_EQ(failure_of([&] { orders.field_by_name("Ship Via Air"); }),
              "Field not found: Ship Via Air in ORDERS.DB.");
    EXPECT_EQ(failure_of([&] { orders.field_by_name("Ship VIA").as_integer(); }),
              "The value 'UPS' of field Ship VIA in ORDERS.DB is not an integer.");
}

TEST_F(TableObject, FieldNamesAreFoundInTheTableOpenNowAndValuesKeepTheirOwn) {
    Table table("VAQ", "Orders");
    table.open();
    const FieldValue shipVia = table.field_by_name("ship via");
    EXPECT_EQ(table.field_by_name("Ship VIA").as_string(), "UPS");
    table.close();
    // The same object on another table: names asked for before mean nothing there.
    table.set_table_name("Customer");
    table.open();
    EXPECT_EQ(failure_of([&] { table.field_by_name("Ship VIA"); }),
              "Field not found: Ship VIA in CUSTOMER.DB.");
    EXPECT_EQ(table.field_by_name("city").as_string(), "Santa Cruz");
    // A value read earlier still names its field and table as they were.
    EXPECT_EQ(shipVia.name(), "Ship VIA");
    EXPECT_EQ(shipVia.as_string(), "UPS");
    EXPECT_EQ(failure_of([&] { shipVia.as_integer(); }),
              "The value 'UPS' of field Ship VIA in ORDERS.DB is not an integer.");
}

TEST_F(TableObject, LocateFindsTheFirstMatchOrStaysPut) {
    Table orders("VAQ", "Orders");
    orders.open();
    orders.next();
    orders.next();
    ASSERT_EQ(orders.rec_no(), 3u);
    EXPECT_FALSE(orders.locate("Order No", LocateValue(std::int64_t{999999})));
    EXPECT_EQ(orders.rec_no(), 3u);

    EXPECT_TRUE(orders.locate("Order No", LocateValue(std::string("1010"))));
    EXPECT_EQ(orders.field_by_name("Order No").as_integer(), 1010);

    // Several fields with an array of values; the first match in table order.
    const std::vector<LocateValue> key{std::string("FedEx"), std::string("FOB")};
    ASSERT_TRUE(orders.locate("Ship VIA;Terms", key));
    const std::uint32_t first = orders.rec_no();
    for (orders.first(); orders.rec_no() < first; orders.next()) {
        EXPECT_FALSE(orders.field_by_name("Ship VIA").as_string() == "FedEx" &&
                     orders.field_by_name("Terms").as_string() == "FOB");
    }
    // Letter case counts unless asked otherwise.
    orders.first();
    EXPECT_FALSE(orders.locate("Ship VIA", LocateValue(std::string("fedex"))));
    EXPECT_EQ(orders.rec_no(), 1u);
    EXPECT_TRUE(orders.locate("Ship VIA", LocateValue(std::string("fedex")),
                              LocateOptions{.case_insensitive = true}));
    EXPECT_EQ(orders.field_by_name("Ship VIA").as_string(), "FedEx");
    EXPECT_EQ(failure_of([&] { orders.locate("Via", LocateValue(std::string("x"))); }),
              "Field not found: Via in ORDERS.DB.");
}

TEST_F(TableObject, IndexNamesAreReadWithoutOpeningAndOrderTheRecords) {
    Table customers("VAQ", "customer");
    EXPECT_EQ(customers.index_names(), std::vector<std::string>{"City"});
    std::vector<std::string> list{"left over"};
    Table areaCodes("VAQ", "AreaCodes");
    areaCodes.get_index_names(list);
    EXPECT_EQ(list, std::vector<std::string>{"ste"});
    EXPECT_FALSE(customers.active());
    EXPECT_TRUE(Table("VAQ", "Orders").index_names().empty());

    customers.set_index_name("City");
    customers.open();
    std::string previous;
    std::uint32_t seen = 0;
    for (; !customers.eof(); customers.next()) {
        const std::string city = customers.field_by_name("City").as_string();
        EXPECT_LE(previous, city);
        previous = city;
        ++seen;
    }
    EXPECT_EQ(seen, 20u);
    // Locate finds the first match in the index order; back in table order it is another.
    ASSERT_TRUE(customers.locate("State/Prov", LocateValue(std::string("CA"))));
    const std::string firstByCity = customers.field_by_name("City").as_string();
    customers.set_index_name("");
    ASSERT_TRUE(customers.locate("State/Prov", LocateValue(std::string("CA"))));
    EXPECT_EQ(customers.field_by_name("CustNo").as_integer(), 1);
    EXPECT_LE(firstByCity, customers.field_by_name("City").as_string());

    EXPECT_EQ(failure_of([&] { customers.set_index_name("Nowhere"); }),
              "Index does not exist: Nowhere on CUSTOMER.DB");
    EXPECT_EQ(customers.index_name(), "");
}

// Door of a generated database, in the order of its index on ControllerID, as the import
// reads it: locate on controller and door number finds the first match in that order.
TEST_F(TableObject, DoorOpensInTheOrderOfItsControllerIndex) {
    bench::GeneratorOptions options;
    options.site.controllers = 3;
    options.site.doorsPerController = 4;
    options.site.staff = 10;
    options.site.transactions = 10;
    options.out = data();
    options.replace = true;
    bench::generate_database(options);

    namespace door = schema::Door;
    Table doors("VAQ", std::string(door::kTable));
    EXPECT_EQ(doors.index_names(), std::vector<std::string>{std::string(door::ControlID)});
    doors.set_index_name(std::string(door::ControlID));
    doors.open();
    EXPECT_EQ(doors.record_count(), 12u);
    std::int64_t previous = 0;
    for (; !doors.eof(); doors.next()) {
        const std::int64_t controller = doors.field_by_name(door::ControllerID).as_integer();
        EXPECT_LE(previous, controller);
        previous = controller;
    }
    const std::vector<LocateValue> key{std::int64_t{2}, std::string("3")};
    ASSERT_TRUE(doors.locate("ControllerID;ID", key));
    EXPECT_EQ(doors.field_by_name(door::ControllerID).as_integer(), 2);
    EXPECT_EQ(doors.field_by_name(door::ID).as_integer(), 3);
    EXPECT_FALSE(doors.field_by_name(door::Name).as_string().empty());
    EXPECT_FALSE(doors.locate("ControllerID;ID",
                              std::vector<LocateValue>{std::int64_t{9}, std::string("1")}));
}

TEST_F(TableObject, EngineErrorsCarryTheEngineMessage) {
    Table door("VAQ", "Door.DB");
    EXPECT_EQ(failure_of([&] { door.open(); }), "Table does not exist: Door.DB.");
    EXPECT_FALSE(door.active());
    EXPECT_EQ(failure_of([&] { Table("Nowhere", "Door").open(); }), "Alias not found: Nowhere");
    EXPECT_EQ(failure_of([&] { Table("VAQ", "../data/Orders").open(); }),
              "Invalid table name: ../data/Orders (a table name may not hold a path).");
    EXPECT_EQ(failure_of([&] { Table("VAQ", "").open(); }), "The table object has no table name.");
}

}  // namespace
}  // namespace vaq::db
