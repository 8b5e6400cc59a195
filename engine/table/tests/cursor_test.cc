// Reading a table through a cursor: movement, fields by name, values as text and integer,
// locate. Tables are built byte by byte in a temporary folder.

#include <gtest/gtest.h>

#include <gmock/gmock.h>

#include "common/error.h"
#include "engine/table/cursor.h"
#include "engine/table/table.h"
#include "engine/table/tests/test_support.h"

namespace pdx {
namespace {

using ::testing::HasSubstr;
using testing::TableBuilder;
using testing::TempDir;

enum Column { kId, kName, kAmount, kCount, kDay, kAt, kStamp, kFlag, kPrice, kData };

TableBuilder every_type_builder() {
    return TableBuilder({{"ID", {FieldType::kLong, 4}},
                         {"Name", {FieldType::kAlpha, 20}},
                         {"Amount", {FieldType::kNumber, 8}},
                         {"Count", {FieldType::kShort, 2}},
                         {"Day", {FieldType::kDate, 4}},
                         {"At", {FieldType::kTime, 4}},
                         {"Stamp", {FieldType::kTimestamp, 8}},
                         {"Flag", {FieldType::kLogical, 1}},
                         {"Price", {FieldType::kBcd, 2}},
                         {"Data", {FieldType::kBytes, 4}}});
}

// 100 records over 8 blocks of 1 KiB. Record n has ID n, Name "Person n" (record 100 has
// no name), Count n % 7; records 40 and 41 share the name "Twin".
std::vector<std::uint8_t> people_table() {
    TableBuilder b = every_type_builder();
    for (int n = 1; n <= 100; ++n) {
        auto r = b.record();
        b.set_long(r, kId, n);
        if (n == 40 || n == 41)
            b.set_alpha(r, kName, "Twin");
        else if (n != 100)
            b.set_alpha(r, kName, "Person " + std::to_string(n));
        b.set_double(r, kAmount, n + 0.5);
        b.set_short(r, kCount, static_cast<std::int16_t>(n % 7));
        b.add(r);
    }
    return b.build();
}

class CursorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        testing::write_file(dir_ / "People.DB", people_table());
        table_ = Table::open(dir_.path(), "people");
        cursor_ = table_->open_cursor();
    }

    std::int64_t id() const { return cursor_->field("ID").as_integer(); }

    TempDir dir_;
    std::shared_ptr<Table> table_;
    std::unique_ptr<Cursor> cursor_;
};

TEST_F(CursorTest, WalksEveryRecordOnceAndStaysOnTheLast) {
    EXPECT_EQ(cursor_->record_count(), 100u);
    EXPECT_EQ(cursor_->record_number(), 1u);
    std::int64_t expected = 0;
    for (; !cursor_->eof(); cursor_->next()) {
        ++expected;
        ASSERT_EQ(cursor_->record_number(), static_cast<std::uint32_t>(expected));
        ASSERT_EQ(id(), expected);
    }
    EXPECT_EQ(expected, 100);
    EXPECT_EQ(cursor_->record_number(), 100u);
    EXPECT_EQ(id(), 100);
    cursor_->next();
    EXPECT_TRUE(cursor_->eof());
    EXPECT_EQ(id(), 100);
    cursor_->first();
    EXPECT_FALSE(cursor_->eof());
    EXPECT_EQ(id(), 1);
}

TEST_F(CursorTest, BookmarksReturnToARecord) {
    for (int i = 0; i < 50; ++i)
        cursor_->next();
    const Bookmark mark = cursor_->bookmark();
    cursor_->first();
    cursor_->go_to(mark);
    EXPECT_EQ(id(), 51);
    EXPECT_EQ(cursor_->record_number(), 51u);
    cursor_->next();
    EXPECT_EQ(id(), 52);
}

TEST_F(CursorTest, CopiedRecordOutlivesTheCursorPosition) {
    for (int i = 0; i < 45; ++i)
        cursor_->next();  // into the fourth block
    const Record copy = cursor_->copy_record();
    while (!cursor_->eof())
        cursor_->next();
    cursor_->first();
    EXPECT_EQ(copy.field("id").as_integer(), 46);
    EXPECT_EQ(copy.value(kName).as_text(), "Person 46");
    Record blank = Record::blank(table_);
    EXPECT_TRUE(blank.field("Name").is_null());
    encode_long(9, blank.field_bytes(kId).data());
    EXPECT_EQ(blank.field("ID").as_integer(), 9);
}

TEST_F(CursorTest, FieldsAreFoundWithoutRegardToLetterCase) {
    EXPECT_EQ(cursor_->field("name").as_text(), "Person 1");
    EXPECT_EQ(cursor_->field("NAME").as_text(), "Person 1");
    EXPECT_EQ(&cursor_->field("nAmE").field(), &table_->schema()[kName]);
    try {
        cursor_->field("Nope");
        ADD_FAILURE() << "an unknown field was found";
    } catch (const vaq::Error& e) {
        EXPECT_STREQ(e.what(), "Field not found: Nope in People.DB.");
    }
}

TEST_F(CursorTest, IntegersFromNumbersTextAndNull) {
    EXPECT_EQ(cursor_->field("Count").as_integer(), 1);
    EXPECT_EQ(cursor_->field("Amount").as_integer(), 2);  // 1.5 rounds away from zero
    EXPECT_EQ(cursor_->field("Day").is_null(), true);
    EXPECT_EQ(cursor_->field("Price").as_integer(), 0);  // NULL reads as 0
    EXPECT_THROW(cursor_->field("Name").as_integer(), vaq::Error);
}

TEST_F(CursorTest, LocateFindsTheFirstMatchInTableOrder) {
    EXPECT_TRUE(cursor_->locate("Name", FieldInput{std::string("Twin")}));
    EXPECT_EQ(id(), 40);
    EXPECT_EQ(cursor_->record_number(), 40u);
    EXPECT_TRUE(cursor_->locate("ID", FieldInput{std::int64_t{77}}));
    EXPECT_EQ(cursor_->field("Name").as_text(), "Person 77");
    // A text value for a number field is read as a number.
    EXPECT_TRUE(cursor_->locate("id", FieldInput{std::string("12")}));
    EXPECT_EQ(id(), 12);
    EXPECT_TRUE(cursor_->locate("Amount", FieldInput{std::string("99.5")}));
    EXPECT_EQ(id(), 99);
}

TEST_F(CursorTest, LocateOnSeveralFieldsWithMixedValues) {
    const std::vector<FieldInput> values = {std::int64_t{41}, std::string("Twin")};
    EXPECT_TRUE(cursor_->locate("ID;Name", values));
    EXPECT_EQ(id(), 41);
    const std::vector<FieldInput> three = {std::int64_t{41}, std::string("twin"), std::int64_t{6}};
    EXPECT_FALSE(cursor_->locate("ID; Name ;Count", three));
    EXPECT_TRUE(cursor_->locate("ID; Name ;Count", three, {.case_insensitive = true}));
    EXPECT_EQ(id(), 41);
}

TEST_F(CursorTest, LocateHonoursLetterCaseOnlyWhenAsked) {
    EXPECT_FALSE(cursor_->locate("Name", FieldInput{std::string("PERSON 5")}));
    EXPECT_TRUE(
        cursor_->locate("Name", FieldInput{std::string("PERSON 5")}, {.case_insensitive = true}));
    EXPECT_EQ(id(), 5);
}

TEST_F(CursorTest, FailedLocateLeavesTheCursorWhereItWas) {
    for (int i = 0; i < 9; ++i)
        cursor_->next();
    EXPECT_FALSE(cursor_->locate("Name", FieldInput{std::string("Nobody")}));
    EXPECT_EQ(id(), 10);
    EXPECT_EQ(cursor_->record_number(), 10u);
    EXPECT_FALSE(cursor_->locate("ID", FieldInput{std::int64_t{1'000'000'000'000}}));
    EXPECT_FALSE(cursor_->locate("ID", FieldInput{2.5}));
    EXPECT_FALSE(
        cursor_->locate("Name", FieldInput{std::string(30, 'x')}));  // longer than the field
    EXPECT_EQ(id(), 10);
    while (!cursor_->eof())
        cursor_->next();
    EXPECT_FALSE(cursor_->locate("ID", FieldInput{std::int64_t{0}}));
    EXPECT_TRUE(cursor_->eof());
    EXPECT_EQ(id(), 100);
}

TEST_F(CursorTest, EmptyValueFindsAnEmptyField) {
    EXPECT_TRUE(cursor_->locate("Name", FieldInput{std::string()}));
    EXPECT_EQ(id(), 100);
    EXPECT_TRUE(cursor_->locate("Day", FieldInput{}));
    EXPECT_EQ(id(), 1);
}

TEST_F(CursorTest, LocateRefusesWhatItCannotCompare) {
    const std::vector<FieldInput> one = {std::int64_t{1}};
    EXPECT_THROW(cursor_->locate("ID;Name", one), vaq::Error);
    EXPECT_THROW(cursor_->locate("Missing", one), vaq::Error);
    try {
        cursor_->locate("ID", FieldInput{std::string("abc")});
        ADD_FAILURE() << "a text that is no number was compared with a number field";
    } catch (const vaq::Error& e) {
        EXPECT_THAT(e.what(), HasSubstr("'abc'"));
        EXPECT_THAT(e.what(), HasSubstr("ID"));
        EXPECT_THAT(e.what(), HasSubstr("People.DB"));
    }
}

// After the first locate on some fields the cursor answers from a lookup; it must give
// exactly what a scan gives, and be dropped when the table changes.
TEST_F(CursorTest, RepeatedLocatesAgreeWithAScan) {
    auto expected_id = [](const std::string& name, bool fold) -> std::int64_t {
        for (int n = 1; n <= 100; ++n) {
            std::string stored = n == 40 || n == 41 ? "Twin"
                                 : n == 100         ? ""
                                                    : "Person " + std::to_string(n);
            std::string wanted = name;
            if (fold) {
                for (char& c : stored)
                    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                for (char& c : wanted)
                    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            }
            if (stored == wanted) return n;
        }
        return 0;
    };
    const std::vector<std::string> names = {"Person 7",  "Twin", "PERSON 7",   "nobody",  "",
                                            "Person 99", "twin", "Person 100", "Person 1"};
    for (bool fold : {false, true}) {
        for (int round = 0; round < 3; ++round) {
            for (const std::string& name : names) {
                SCOPED_TRACE(name + (fold ? " ignoring case" : ""));
                cursor_->first();
                cursor_->next();  // on ID 2
                const std::int64_t want = expected_id(name, fold);
                EXPECT_EQ(cursor_->locate("Name", FieldInput{name}, {.case_insensitive = fold}),
                          want != 0);
                EXPECT_EQ(id(), want != 0 ? want : 2);
                EXPECT_EQ(cursor_->record_number(),
                          static_cast<std::uint32_t>(want != 0 ? want : 2));
            }
        }
    }
    for (int n : {5, 99, 5, 1, 100, 101}) {
        EXPECT_EQ(cursor_->locate("ID", FieldInput{std::int64_t{n}}), n <= 100);
        if (n <= 100) {
            EXPECT_EQ(id(), n);
        }
    }
    const std::vector<FieldInput> pair = {std::string("Twin"), std::int64_t{41 % 7}};
    EXPECT_TRUE(cursor_->locate("Name;Count", pair));
    EXPECT_TRUE(cursor_->locate("Name;Count", pair));
    EXPECT_EQ(id(), 41);
    table_->note_change();
    EXPECT_TRUE(cursor_->locate("Name;Count", pair));
    EXPECT_EQ(id(), 41);
}

TEST(EmptyTable, IsAtItsEndAtOnceAndHasNoRecord) {
    TempDir dir;
    testing::write_file(dir / "Empty.db", every_type_builder().build());
    auto table = Table::open(dir.path(), "Empty");
    auto cursor = table->open_cursor();
    EXPECT_TRUE(cursor->eof());
    EXPECT_EQ(cursor->record_count(), 0u);
    EXPECT_EQ(cursor->record_number(), 0u);
    EXPECT_THROW(cursor->field("ID"), vaq::Error);
    EXPECT_FALSE(cursor->locate("ID", FieldInput{std::int64_t{1}}));
    cursor->next();
    cursor->first();
    EXPECT_TRUE(cursor->eof());
}

TEST(ValueText, EveryTypeInItsExportForm) {
    TableBuilder b = every_type_builder();
    auto r = b.record();
    b.set_long(r, kId, -7);
    b.set_alpha(r, kName, "a, \"b\"");
    b.set_double(r, kAmount, 0.1);
    b.set_short(r, kCount, -32767);
    b.set_long(r, kDay, *day_number_from_civil(2004, 10, 15));
    b.set_long(r, kAt, 15 * 3'600'000 + 33 * 60'000 + 5'250);
    b.set_double(r, kStamp, *day_number_from_civil(1999, 12, 31) * 86'400'000.0 + 86'399'000.0);
    r[b.offset(kFlag)] = 0x81;
    encode_bcd("-12.5", 2, MutableBytes(r.data() + b.offset(kPrice), 17));
    r[b.offset(kData)] = 0x00;
    r[b.offset(kData) + 1] = 0xAB;
    b.add(r);
    b.add(b.record());  // all NULL

    TempDir dir;
    testing::write_file(dir / "Types.DB", b.build());
    auto table = Table::open(dir.path(), "types.db");
    auto cursor = table->open_cursor();
    const std::vector<std::string> expected = {"-7",
                                               "a, \"b\"",
                                               "0.1",
                                               "-32767",
                                               "2004-10-15",
                                               "15:33:05.250",
                                               "1999-12-31 23:59:59",
                                               "true",
                                               "-12.5",
                                               "0x00ab0000"};
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(cursor->value(i).as_text(), expected[i]) << table->schema()[i].name;
    cursor->next();
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_TRUE(cursor->value(i).is_null()) << table->schema()[i].name;
        EXPECT_EQ(cursor->value(i).as_text(), "") << table->schema()[i].name;
    }
}

TEST(CodePage, NamesAndTextAreUtf8AndFoldWithoutCase) {
    TableBuilder b({{"Z\xE4hler", {FieldType::kLong, 4}}, {"Name", {FieldType::kAlpha, 10}}});
    auto r = b.record();
    b.set_long(r, 0, 1);
    b.set_alpha(r, 1, "M\xFCller");  // cp1252
    b.add(r);
    r = b.record();
    b.set_long(r, 0, 2);
    b.set_alpha(r, 1, "\x81\x8D");  // bytes cp1252 leaves undefined
    b.add(r);
    TempDir dir;
    testing::write_file(dir / "Umlaut.DB", b.build());
    auto table = Table::open(dir.path(), "UMLAUT");
    EXPECT_EQ(table->codec().charset(), "CP1252");
    EXPECT_EQ(table->schema()[0].name, "Z\u00e4hler");
    auto cursor = table->open_cursor();
    EXPECT_EQ(cursor->field("Z\u00c4HLER").as_integer(), 1);
    EXPECT_EQ(cursor->field("Name").as_text(), "M\u00fcller");
    EXPECT_EQ(cursor->field("Name").alpha_bytes(), "M\xFCller");
    cursor->next();
    EXPECT_EQ(cursor->field("Name").as_text(), "\uFFFD\uFFFD");
    EXPECT_TRUE(cursor->locate("Name", FieldInput{std::string("M\u00fcller")}));
    EXPECT_TRUE(
        cursor->locate("Name", FieldInput{std::string("M\u00dcLLER")}, {.case_insensitive = true}));
    EXPECT_FALSE(cursor->locate("Name", FieldInput{std::string("M\u00dcLLER")}));
    EXPECT_FALSE(cursor->locate("Name", FieldInput{std::string("\u4e2d")}));  // not in cp1252
}

}  // namespace
}  // namespace pdx
