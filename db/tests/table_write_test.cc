// The table object writing: append and edit with fields written as text, post with its
// after-post handler, cancel, saving changes through the engine's handle, and the table as a
// whole (delete, rename, field definitions read again). Tables are made with the query object.

#include <gtest/gtest.h>

#include "common/dateformat.h"
#include "db/query.h"
#include "db/table.h"
#include "db/tests/db_test_support.h"

namespace vaq::db {
namespace {

namespace fs = std::filesystem;

class TableWriting : public testing::AliasDirectory {
  protected:
    void SetUp() override {
        AliasDirectory::SetUp();
        savedFormats_ = date_time_formats();
        DateTimeFormats formats;
        formats.short_date_format = "dd/mm/yyyy";
        formats.date_separator = '/';
        formats.long_time_format = "hh:nn:ss";
        formats.time_separator = ':';
        set_date_time_formats(formats);
        run("CREATE TABLE \"Staff.db\" (Id autoinc, CardID char(10), Name char(20), Born date, "
            "Starts time, Rate float, Active boolean, DeptID smallint, Primary Key (Id))");
    }
    void TearDown() override {
        set_date_time_formats(savedFormats_);
        AliasDirectory::TearDown();
    }

    static void run(std::string_view sql) {
        Query query;
        query.set_sql(sql);
        query.exec_sql();
    }

    // Appends a staff record with the fields given as text.
    static void add_staff(Table& staff, const std::string& card, const std::string& name) {
        staff.append();
        staff.set_field_text("CardID", card);
        staff.set_field_text("Name", name);
        staff.post();
    }

    DateTimeFormats savedFormats_;
};

TEST_F(TableWriting, TextIsConvertedByTheFieldAndReadsBackTheSame) {
    Table staff("VAQ", "staff");
    staff.open();
    int posts = 0;
    staff.set_after_post([&](Table& posted) {
        EXPECT_EQ(&posted, &staff);
        ++posts;
    });
    staff.append();
    EXPECT_EQ(staff.state(), Table::State::kInsert);
    staff.set_field_text("cardid", "0000012345");
    staff.set_field_text("Name", "Ann Lee");
    staff.set_field_text("Born", "25/12/1990");
    staff.set_field_text("Starts", "08:30:00");
    staff.set_field_text("Rate", "12.5");
    staff.set_field_text("Active", "True");
    staff.set_field_text("DeptID", "7");
    // The buffer shows what was written before the post.
    EXPECT_EQ(staff.field_by_name("Born").as_string(), "25/12/1990");
    staff.post();
    EXPECT_EQ(posts, 1);
    EXPECT_EQ(staff.state(), Table::State::kBrowse);
    EXPECT_EQ(staff.record_count(), 1u);
    EXPECT_EQ(staff.field_by_name("Id").as_integer(), 1);
    EXPECT_EQ(staff.field_by_name("CardID").as_string(), "0000012345");
    EXPECT_EQ(staff.field_by_name("Born").as_string(), "25/12/1990");
    EXPECT_EQ(staff.field_by_name("Starts").as_string(), "08:30:00");
    EXPECT_EQ(staff.field_by_name("Rate").as_string(), "12.5");
    EXPECT_EQ(staff.field_by_name("Active").as_string(), "True");
    EXPECT_EQ(staff.field_by_name("DeptID").as_integer(), 7);
    staff.close();

    // Another process-wide date format reads the same date differently.
    set_short_date_format("yyyy-mm-dd");
    set_date_separator('-');
    Table again("VAQ", "Staff.DB");
    again.open();
    EXPECT_EQ(again.field_by_name("Born").as_string(), "1990-12-25");
    // An empty text empties the field.
    again.edit();
    again.set_field_text("Name", "");
    again.set_field_text("Born", "");
    again.post();
    EXPECT_TRUE(again.field_by_name("Name").is_null());
    EXPECT_EQ(again.field_by_name("Born").as_string(), "");
}

TEST_F(TableWriting, CancelAndRefusedTextLeaveTheRecordAsItWas) {
    Table staff("VAQ", "Staff");
    staff.open();
    add_staff(staff, "1", "Ann");
    staff.append();
    staff.set_field_text("Name", "Never");
    staff.cancel();
    EXPECT_EQ(staff.state(), Table::State::kBrowse);
    EXPECT_EQ(staff.record_count(), 1u);

    staff.edit();
    EXPECT_EQ(failure_of([&] { staff.set_field_text("Born", "31/02/1990"); }),
              "'31/02/1990' is not a valid date for field Born of Staff.db.");
    EXPECT_EQ(failure_of([&] { staff.set_field_text("DeptID", "seven"); }),
              "'seven' is not a valid integer value for field DeptID of Staff.db.");
    EXPECT_EQ(failure_of([&] { staff.set_field_text("Nmae", "x"); }),
              "Field not found: Nmae in Staff.db.");
    staff.cancel();
    EXPECT_EQ(staff.field_by_name("Name").as_string(), "Ann");
    EXPECT_EQ(failure_of([&] { staff.post(); }),
              "Cannot post: the table Staff.db is not in edit or insert mode.");
    EXPECT_EQ(failure_of([&] { staff.set_field_text("Name", "x"); }),
              "Cannot write a field: the table Staff.db is not in edit or insert mode.");
}

TEST_F(TableWriting, MovingOnPostsTheEditAndLocateSeesNewRecords) {
    Table staff("VAQ", "Staff");
    staff.open();
    for (int i = 1; i <= 50; ++i)
        add_staff(staff, std::to_string(1000 + i), "Person " + std::to_string(i));
    // Repeated locates on the same field are served by a lookup, which must see changes.
    ASSERT_TRUE(staff.locate("CardID", LocateValue(std::string("1010"))));
    ASSERT_TRUE(staff.locate("CardID", LocateValue(std::string("1020"))));
    EXPECT_FALSE(staff.locate("CardID", LocateValue(std::string("2000"))));
    add_staff(staff, "2000", "Newcomer");
    ASSERT_TRUE(staff.locate("CardID", LocateValue(std::string("2000"))));
    EXPECT_EQ(staff.field_by_name("Name").as_string(), "Newcomer");

    // The back-fill pattern: edit each record in turn and move on.
    int edited = 0;
    for (staff.first(); !staff.eof(); staff.next()) {
        staff.edit();
        staff.set_field_text("DeptID", std::to_string(staff.rec_no()));
        ++edited;
    }
    EXPECT_EQ(edited, 51);
    EXPECT_EQ(staff.state(), Table::State::kBrowse);
    staff.first();
    EXPECT_EQ(staff.field_by_name("DeptID").as_integer(), 1);
    ASSERT_TRUE(staff.locate("DeptID", LocateValue(std::int64_t{51})));
    EXPECT_EQ(staff.field_by_name("CardID").as_string(), "2000");
}

TEST_F(TableWriting, ChangesAreSavedThroughTheEngineHandle) {
    Table staff("VAQ", "Staff");
    EXPECT_EQ(staff.handle(), nullptr);
    staff.open();
    ASSERT_NE(staff.handle(), nullptr);
    staff.set_after_post([](Table& posted) { pdx::DbiSaveChanges(posted.handle()); });
    add_staff(staff, "1", "Ann");
    EXPECT_EQ(pdx::DbiSaveChanges(staff.handle()), pdx::DBIERR_NONE);
    const pdx::hDBICur handle = staff.handle();
    staff.close();
    EXPECT_EQ(staff.handle(), nullptr);
    EXPECT_NE(pdx::DbiSaveChanges(handle), pdx::DBIERR_NONE);
    Query query;
    query.set_sql("Select * from Staff");
    query.open();
    EXPECT_EQ(query.record_count(), 1u);
}

TEST_F(TableWriting, IndexesAreDeletedThroughTheOpenTableOrByName) {
    Table staff("VAQ", "Staff");
    staff.open();
    add_staff(staff, "2", "Bea");
    add_staff(staff, "1", "Ann");
    staff.close();
    run("CREATE INDEX idx_Name ON \"Staff.db\"(Name)");
    run("CREATE INDEX idx_Card ON \"Staff.db\"(CardID)");
    EXPECT_EQ(staff.index_names(), (std::vector<std::string>{"idx_Name", "idx_Card"}));

    staff.set_index_name("idx_Name");
    staff.open();
    EXPECT_EQ(staff.field_by_name("Name").as_string(), "Ann");
    // The order the table stands in goes with its index.
    staff.delete_index("IDX_NAME");
    EXPECT_EQ(staff.index_name(), "");
    EXPECT_EQ(staff.field_by_name("Name").as_string(), "Bea");
    // Editing goes on in the new order.
    staff.set_index_name("idx_Card");
    staff.edit();
    staff.set_field_text("Name", "Cay");
    staff.post();
    EXPECT_EQ(staff.field_by_name("CardID").as_string(), "1");
    EXPECT_EQ(staff.field_by_name("Name").as_string(), "Cay");
    staff.close();
    staff.delete_index("idx_Card");
    EXPECT_TRUE(staff.index_names().empty());
    EXPECT_EQ(failure_of([&] { staff.delete_index("idx_Card"); }),
              "Index does not exist: idx_Card on Staff.db");
}

// The read of pairs of text fields that the back-fill builds its lookup from: the same texts
// as field_by_name, in the order the table object stands in, an edit posted first.
TEST_F(TableWriting, TextPairsAreReadAsFieldByNameReadsThemInTheCurrentOrder) {
    Table staff("VAQ", "Staff");
    staff.open();
    add_staff(staff, "30", "Zoë");
    add_staff(staff, "", "Nobody");
    add_staff(staff, "10", "");
    add_staff(staff, "20", "Ann");
    staff.close();
    run("CREATE INDEX idx_Name ON \"Staff.db\"(Name)");

    const auto pairsRead = [](Table& table) {
        std::vector<std::pair<std::string, std::string>> pairs;
        EXPECT_TRUE(table.read_each_text(
            "CardID", "Name",
            [&](std::string_view a, std::string_view b) { pairs.emplace_back(a, b); }));
        EXPECT_EQ(table.rec_no(), 1u);
        return pairs;
    };
    const auto pairsByField = [](Table& table) {
        std::vector<std::pair<std::string, std::string>> pairs;
        for (table.first(); !table.eof(); table.next())
            pairs.emplace_back(table.field_by_name("CardID").as_string(),
                               table.field_by_name("Name").as_string());
        return pairs;
    };
    std::vector<std::vector<std::pair<std::string, std::string>>> orders;
    for (const std::string index : {"", "idx_Name"}) {
        SCOPED_TRACE("index " + index);
        staff.set_index_name(index);
        staff.open();
        orders.push_back(pairsRead(staff));
        ASSERT_EQ(orders.back().size(), 4u);
        EXPECT_EQ(orders.back(), pairsByField(staff));
        staff.close();
    }
    EXPECT_NE(orders[0], orders[1]);

    staff.set_index_name("");
    staff.open();
    ASSERT_TRUE(staff.locate("CardID", LocateValue(std::string("20"))));
    staff.edit();
    staff.set_field_text("Name", "Bea");
    const auto afterEdit = pairsRead(staff);
    EXPECT_EQ(staff.state(), Table::State::kBrowse);
    EXPECT_EQ(afterEdit.back(), (std::pair<std::string, std::string>{"20", "Bea"}));
    EXPECT_FALSE(staff.read_each_text("CardID", "DeptID", [](std::string_view, std::string_view) {
        ADD_FAILURE() << "a number field read as text";
    }));
}

TEST_F(TableWriting, TableIsDeletedRenamedAndItsFieldsReadAgain) {
    run("CREATE TABLE \"AntiPassBack.db\" (ControllerID smallint, FromDoorID smallint)");
    run("CREATE TABLE \"tmpdb.DB\" ( Pkey Autoinc, ControllerID SmallINt, FromDoorID SmallInt, "
        "PRIMARY KEY (pkey))");
    run("Insert into Tmpdb.DB (ControllerID, FromDoorID) Values (1, 2)");
    Table antiPassBack("VAQ", "AntiPassBack.db");
    antiPassBack.open();
    EXPECT_EQ(failure_of([&] { antiPassBack.delete_table(); }),
              "Cannot delete the table of an open table: AntiPassBack.db.");
    antiPassBack.close();

    const std::string remembered = antiPassBack.table_name();
    antiPassBack.delete_table();
    EXPECT_FALSE(fs::exists(data() / "AntiPassBack.db"));
    antiPassBack.set_table_name("Tmpdb");
    antiPassBack.rename_table(remembered);
    EXPECT_EQ(antiPassBack.table_name(), "AntiPassBack.db");
    EXPECT_FALSE(fs::exists(data() / "tmpdb.DB"));
    EXPECT_FALSE(fs::exists(data() / "tmpdb.PX"));
    antiPassBack.refresh_field_defs();
    EXPECT_TRUE(antiPassBack.find_field("PKey"));
    antiPassBack.open();
    EXPECT_EQ(antiPassBack.record_count(), 1u);
    EXPECT_EQ(antiPassBack.field_by_name("FromDoorID").as_integer(), 2);
    antiPassBack.close();

    // Field definitions are those last read until read again.
    run("alter table AntiPassBack add ToDoorID smallint");
    EXPECT_FALSE(antiPassBack.find_field("ToDoorID"));
    antiPassBack.refresh_field_defs();
    EXPECT_TRUE(antiPassBack.find_field("todoorid"));

    Table missing("VAQ", "Nowhere");
    EXPECT_EQ(failure_of([&] { missing.delete_table(); }), "Table does not exist: Nowhere.");
    // The data file took the extension the new name was given with; the message names the
    // table's own.
    EXPECT_EQ(failure_of([&] { antiPassBack.rename_table("Staff.db"); }),
              "Table already exists: Staff.db.");
}

}  // namespace
}  // namespace vaq::db
