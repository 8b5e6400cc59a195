// Key order of indexes, and a keyed table with a .PX, a maintained composite index and a
// snapshot index built byte by byte, walked in each order.

#include <gtest/gtest.h>

#include <gmock/gmock.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/error.h"
#include "engine/format/field_codec.h"
#include "engine/format/index_tree.h"
#include "engine/table/cursor.h"
#include "engine/table/index_catalog.h"
#include "engine/table/index_cursor.h"
#include "engine/table/index_key_order.h"
#include "engine/table/table.h"
#include "engine/table/tests/test_support.h"

namespace pdx {
namespace {

using ::testing::HasSubstr;

std::vector<std::uint8_t> alpha(const std::string& text, std::size_t width = 8) {
    std::vector<std::uint8_t> bytes(width);
    encode_alpha(text, bytes);
    return bytes;
}

std::vector<std::uint8_t> long_value(std::optional<std::int32_t> v) {
    std::vector<std::uint8_t> bytes(4);
    encode_long(v, bytes.data());
    return bytes;
}

KeyOrder one_alpha(AlphaCollation collation, bool case_insensitive, bool descending = false) {
    return KeyOrder({{0, {FieldType::kAlpha, 8}, descending}}, collation, case_insensitive);
}

TEST(KeyOrder, NumbersCompareByTheirStoredBytesWithNullFirst) {
    const KeyOrder order({{0, {FieldType::kLong, 4}, false}}, AlphaCollation::kBytes, false);
    const auto null = long_value(std::nullopt), minus = long_value(-5), zero = long_value(0),
               plus = long_value(7);
    EXPECT_LT(order.compare(null, minus), 0);
    EXPECT_LT(order.compare(minus, zero), 0);
    EXPECT_LT(order.compare(zero, plus), 0);
    EXPECT_EQ(order.certain_compare(plus, minus), 1);
    EXPECT_EQ(order.compare(plus, plus), 0);
    const KeyOrder down({{0, {FieldType::kLong, 4}, true}}, AlphaCollation::kBytes, false);
    EXPECT_GT(down.compare(minus, plus), 0);
}

TEST(KeyOrder, ByteCollationIsCertainEverywhere) {
    const KeyOrder order = one_alpha(AlphaCollation::kBytes, false);
    EXPECT_EQ(order.certain_compare(alpha("Banana"), alpha("apple")), -1);
    EXPECT_EQ(order.certain_compare(alpha("ab"), alpha("ab-c")), -1);
    EXPECT_EQ(order.certain_compare(alpha(""), alpha("a")), -1);
    EXPECT_EQ(order.certain_compare(alpha("\xE4"), alpha("z")), 1);
}

TEST(KeyOrder, DictionaryCollationIsCertainOnlyForLettersAndDigits) {
    const KeyOrder order = one_alpha(AlphaCollation::kDictionary, false);
    EXPECT_EQ(order.certain_compare(alpha("apple"), alpha("Banana")), -1);
    EXPECT_EQ(order.certain_compare(alpha("9"), alpha("a")), -1);
    EXPECT_EQ(order.certain_compare(alpha("ab"), alpha("abc")), -1);
    EXPECT_FALSE(order.certain_compare(alpha("ab"), alpha("ab-c")));  // punctuation
    EXPECT_FALSE(order.certain_compare(alpha("a-b"), alpha("a_b")));
    EXPECT_FALSE(order.certain_compare(alpha("\xE4x"), alpha("bx")));  // accented letter
    EXPECT_FALSE(order.certain_compare(alpha("abc"), alpha("ABC")));   // case only
    EXPECT_EQ(order.certain_compare(alpha("abc"), alpha("abc")), 0);
    // Sorting still needs an answer: without case first, then bytes.
    EXPECT_GT(order.compare(alpha("abc"), alpha("ABC")), 0);
    EXPECT_LT(order.compare(alpha("abc"), alpha("ABD")), 0);
}

TEST(KeyOrder, CaseInsensitiveIndexesTreatCaseVariantsAsOneKey) {
    const KeyOrder order = one_alpha(AlphaCollation::kBytes, true);
    EXPECT_EQ(order.certain_compare(alpha("abc"), alpha("ABC")), 0);
    EXPECT_EQ(order.certain_compare(alpha("apple"), alpha("Banana")), -1);
    EXPECT_TRUE(order.same_key(alpha("Smith"), alpha("SMITH")));
    EXPECT_FALSE(one_alpha(AlphaCollation::kBytes, false).same_key(alpha("Smith"), alpha("SMITH")));
    const KeyOrder down = one_alpha(AlphaCollation::kBytes, true, true);
    EXPECT_EQ(down.certain_compare(alpha("apple"), alpha("Banana")), 1);
}

// Case-insensitive keys are stored in upper case, so '_' (0x5F) sorts after 'Z' (0x5A).
TEST(KeyOrder, CaseInsensitiveKeysOrderAsUpperCase) {
    const KeyOrder order = one_alpha(AlphaCollation::kBytes, true);
    EXPECT_EQ(order.certain_compare(alpha("a_"), alpha("aZ")), 1);
    EXPECT_EQ(order.certain_compare(alpha("A_"), alpha("az")), 1);
    EXPECT_TRUE(order.same_key(alpha("40,0l-5"), alpha("40,0L-5")));
}

TEST(KeyOrder, LettersBeyondAsciiAreFoldedThroughTheCodePage) {
    // cp1252: 0xDC is Ü, 0xFC is ü.
    const auto folder = [](std::string_view text) {
        std::string folded(text);
        for (char& c : folded)
            if (static_cast<unsigned char>(c) == 0xDC)
                c = static_cast<char>(0xFC);
            else
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return folded;
    };
    const KeyOrder order({{0, {FieldType::kAlpha, 8}, false}}, AlphaCollation::kBytes, true,
                         folder);
    EXPECT_TRUE(order.same_key(alpha("M\xFCller"), alpha("M\xDCLLER")));
    EXPECT_FALSE(order.same_key(alpha("M\xFCller"), alpha("MULLER")));
    EXPECT_FALSE(order.certain_compare(alpha("\xFC"), alpha("\xDC")));
}

TEST(KeyOrder, SameKeyIgnoresBytesAfterTheEndOfAText) {
    auto a = alpha("ab");
    auto b = alpha("ab");
    b[5] = 'x';  // stale byte behind the NUL
    EXPECT_TRUE(one_alpha(AlphaCollation::kBytes, false).same_key(a, b));
}

// --- a table built byte by byte ---

constexpr std::size_t kPeople = 100;  // I4 + A20 = 24 bytes: 42 records per 1 KiB block

std::string name_of(std::size_t i) {
    static const char* const kNames[] = {"delta", "Alpha", "charlie", "Bravo", "echo", "alpha"};
    return std::string(kNames[i % 6]) + std::to_string(i % 7);
}

struct Person {
    std::int32_t id;
    std::string name;
    std::uint32_t block;
    std::uint32_t slot;
};

class IndexedPeople : public ::testing::Test {
  protected:
    void SetUp() override {
        for (std::size_t i = 0; i < kPeople; ++i)
            people_.push_back({static_cast<std::int32_t>(i + 1), name_of(i),
                               static_cast<std::uint32_t>(i / 42 + 1),
                               static_cast<std::uint32_t>(i % 42)});
        write_table();
        write_primary_index();
        write_name_index();
        write_by_name_index();
    }

    testing::TableBuilder people_table() {
        testing::TableBuilder b({{"ID", {FieldType::kLong, 4}}, {"Name", {FieldType::kAlpha, 20}}});
        b.header().file_type = FileType::kKeyedTable;
        b.header().key_fields = 1;
        return b;
    }

    void write_table() {
        auto b = people_table();
        for (const Person& p : people_) {
            auto r = b.record();
            b.set_long(r, 0, p.id);
            b.set_alpha(r, 1, p.name);
            b.add(r);
        }
        testing::write_file(dir_ / "People.DB", b.build());
    }

    // One level: the first key, block and count of each of the 3 data blocks.
    void write_primary_index() {
        TableHeader h;
        h.file_type = FileType::kPrimaryIndex;
        h.file_version = kVersion70;
        h.block_size_code = 1;
        FieldDef key;
        key.descriptor = {FieldType::kLong, 4};
        h.fields.push_back(key);
        h.record_size = 10;
        h.index_root = h.first_block = h.last_block = h.file_blocks = h.blocks_in_use = 1;
        h.index_levels = 1;
        h.num_records = 3;
        h.header_size = static_cast<std::uint16_t>(h.required_header_size());
        auto file = h.encode();
        std::vector<std::uint8_t> block(1024);
        DataBlockHeader{0, 0, DataBlockHeader::add_data_size_for(3, 10)}.encode(block.data());
        for (std::uint16_t b = 0; b < 3; ++b) {
            const auto key_bytes = long_value(b * 42 + 1);
            const auto count = static_cast<std::uint16_t>(b < 2 ? 42 : kPeople - 84);
            TreeEntry{key_bytes, static_cast<std::uint16_t>(b + 1), count}.encode(block.data() + 6 +
                                                                                  b * 10);
        }
        file.insert(file.end(), block.begin(), block.end());
        testing::write_file(dir_ / "People.PX", file);
    }

    // X02: Name, Tup No, Blk Num, Tup Offset, by name as bytes. Not maintained.
    void write_name_index() {
        testing::TableBuilder b({{"Name", {FieldType::kAlpha, 20}},
                                 {"Tup No", {FieldType::kLong, 4}},
                                 {"Blk Num", {FieldType::kShort, 2}},
                                 {"Tup Offset", {FieldType::kShort, 2}}});
        TableHeader& h = b.header();
        h.file_type = FileType::kSecondaryIndexSnapshot;
        h.key_fields = 3;
        h.index_field_number = 2;
        h.fields[0].number = 2;
        auto sorted = people_;
        std::stable_sort(sorted.begin(), sorted.end(),
                         [](const Person& a, const Person& p) { return a.name < p.name; });
        for (const Person& p : sorted) {
            auto r = b.record();
            b.set_alpha(r, 0, p.name);
            b.set_long(r, 1, p.id);
            b.set_short(r, 2, static_cast<std::int16_t>(p.block));
            b.set_short(r, 3, static_cast<std::int16_t>(p.slot * 24));
            b.add(r);
        }
        testing::write_file(dir_ / "people.x02", b.build());
    }

    // XG0 "ByName": Name in upper case as the BDE stores it, ID, Blk Num. Maintained.
    void write_by_name_index() {
        testing::TableBuilder b({{"Name", {FieldType::kAlpha, 20}},
                                 {"ID", {FieldType::kLong, 4}},
                                 {"Blk Num", {FieldType::kShort, 2}}});
        TableHeader& h = b.header();
        h.file_type = FileType::kCompositeIndexMaintained;
        h.key_fields = 2;
        h.index_field_number = 2;
        h.index_flags = 0x01;
        h.index_name = "ByName";
        h.fields[0].number = 2;
        auto sorted = people_;
        std::stable_sort(sorted.begin(), sorted.end(), [](const Person& a, const Person& p) {
            return fold(a.name) < fold(p.name) || (fold(a.name) == fold(p.name) && a.id < p.id);
        });
        for (const Person& p : sorted) {
            auto r = b.record();
            b.set_alpha(r, 0, upper(p.name));
            b.set_long(r, 1, p.id);
            b.set_short(r, 2, static_cast<std::int16_t>(p.block));
            b.add(r);
        }
        testing::write_file(dir_ / "PEOPLE.XG0", b.build());
    }

    static std::string upper(std::string s) {
        for (char& c : s)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return s;
    }
    static std::string fold(std::string s) {
        for (char& c : s)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    }

    std::vector<std::string> names_in(Cursor& cursor) {
        std::vector<std::string> names;
        for (cursor.first(); !cursor.eof(); cursor.next())
            names.push_back(cursor.field("Name").as_text() + "#" + cursor.field("ID").as_text());
        return names;
    }

    template <typename Less>
    std::vector<std::string> expected(Less less) const {
        auto sorted = people_;
        std::sort(sorted.begin(), sorted.end(), less);
        std::vector<std::string> names;
        for (const Person& p : sorted)
            names.push_back(p.name + "#" + std::to_string(p.id));
        return names;
    }

    std::vector<Person> people_;
    testing::TempDir dir_;
};

TEST_F(IndexedPeople, IndexesAreListedSingleFieldFirstThenComposite) {
    auto table = Table::open(dir_.path(), "people");
    const auto indexes = list_secondary_indexes(*table);
    ASSERT_EQ(indexes.size(), 2u);
    EXPECT_EQ(indexes[0].name, "Name");
    EXPECT_FALSE(indexes[0].layout.maintained);
    EXPECT_EQ(indexes[1].name, "ByName");
    EXPECT_TRUE(indexes[1].layout.case_insensitive);
    EXPECT_EQ(indexes[1].fields, std::vector<std::size_t>{1});
}

TEST_F(IndexedPeople, EachOrderVisitsEveryPersonOnce) {
    auto table = Table::open(dir_.path(), "people");
    auto primary = open_index_cursor(*table, "");
    std::vector<std::int64_t> ids;
    for (; !primary->eof(); primary->next())
        ids.push_back(primary->field("ID").as_integer());
    ASSERT_EQ(ids.size(), kPeople);
    EXPECT_TRUE(std::is_sorted(ids.begin(), ids.end()));

    auto by_bytes = open_index_cursor(*table, "NAME");
    EXPECT_FALSE(dynamic_cast<PositionListCursor&>(*by_bytes).sorted_here());
    EXPECT_EQ(names_in(*by_bytes), expected([](const Person& a, const Person& b) {
                  return a.name < b.name || (a.name == b.name && a.id < b.id);
              }));

    // Case ignored: "alpha5" stands among the "Alpha" names.
    auto by_name = open_index_cursor(*table, "byname");
    EXPECT_EQ(names_in(*by_name), expected([](const Person& a, const Person& b) {
                  return fold(a.name) < fold(b.name) ||
                         (fold(a.name) == fold(b.name) && a.id < b.id);
              }));
}

// A record changed behind the indexes: the snapshot is no longer trusted and the table is
// sorted instead; the maintained index is out of date and says so.
TEST_F(IndexedPeople, ChangedRecordMakesSnapshotStaleAndMaintainedIndexOutOfDate) {
    people_[0].name = "aaa";
    write_table();
    auto table = Table::open(dir_.path(), "people");
    auto by_bytes = open_index_cursor(*table, "Name");
    EXPECT_TRUE(dynamic_cast<PositionListCursor&>(*by_bytes).sorted_here());
    EXPECT_EQ(names_in(*by_bytes), expected([](const Person& a, const Person& b) {
                  return a.name < b.name || (a.name == b.name && a.id < b.id);
              }));

    try {
        auto by_name = open_index_cursor(*table, "ByName");
        names_in(*by_name);
        ADD_FAILURE() << "a maintained index that no longer matches its table was read";
    } catch (const vaq::Error& e) {
        EXPECT_THAT(e.what(), HasSubstr("PEOPLE.XG0 is damaged"));
        EXPECT_THAT(e.what(), HasSubstr("out of date"));
    }
}

TEST_F(IndexedPeople, UnknownIndexNameNamesTheTable) {
    auto table = Table::open(dir_.path(), "people");
    try {
        open_index_cursor(*table, "ControlID");
        ADD_FAILURE() << "an unknown index opened";
    } catch (const vaq::Error& e) {
        EXPECT_STREQ(e.what(), "Index does not exist: ControlID on People.DB");
    }
}

}  // namespace
}  // namespace pdx
