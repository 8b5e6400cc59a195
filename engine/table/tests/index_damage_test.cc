// Damaged index files never crash or hang: reading through them raises an error naming the
// file and what is wrong. A stale non-maintained index is no damage: the table is sorted
// instead. The families are copied from the corpus into a temporary folder and patched.

#include <gtest/gtest.h>

#include <gmock/gmock.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "common/error.h"
#include "engine/format/index_tree.h"
#include "engine/table/cursor.h"
#include "engine/table/index_catalog.h"
#include "engine/table/index_cursor.h"
#include "engine/table/table.h"
#include "engine/table/table_name.h"
#include "engine/table/tests/test_support.h"

namespace pdx {
namespace {

namespace fs = std::filesystem;
using ::testing::AllOf;
using ::testing::HasSubstr;

constexpr std::size_t kHeader = 2048;

class DamagedIndex : public ::testing::Test {
  protected:
    // Copies every file of the family of `table` (in `folder` of the corpus).
    void copy_family(const std::string& folder, const std::string& table) {
        for (const auto& entry : fs::directory_iterator(testing::corpus_dir() / folder))
            if (same_file_name(entry.path().stem().string(), table))
                fs::copy_file(entry.path(), dir_ / entry.path().filename().string());
    }
    void patch(const std::string& file, std::size_t at, std::vector<std::uint8_t> bytes) {
        auto content = testing::read_file(dir_ / file);
        ASSERT_LE(at + bytes.size(), content.size());
        std::copy(bytes.begin(), bytes.end(), content.begin() + static_cast<std::ptrdiff_t>(at));
        testing::write_file(dir_ / file, content);
    }
    std::vector<std::uint8_t> bytes_at(const std::string& file, std::size_t at, std::size_t n) {
        auto content = testing::read_file(dir_ / file);
        return {content.begin() + static_cast<std::ptrdiff_t>(at),
                content.begin() + static_cast<std::ptrdiff_t>(at + n)};
    }

    // Every record of the table in the order of `index`.
    std::size_t walk(const std::string& table, const std::string& index) {
        auto t = Table::open(dir_.path(), table);
        auto cursor = open_index_cursor(*t, index);
        std::size_t n = 0;
        for (; !cursor->eof(); cursor->next())
            ++n;
        return n;
    }

    void expect_error(const std::function<void()>& action, const std::string& file,
                      const std::string& what) {
        try {
            action();
            ADD_FAILURE() << "no error; expected one naming " << file << ": " << what;
        } catch (const vaq::Error& e) {
            EXPECT_THAT(e.what(), AllOf(HasSubstr(file), HasSubstr(what)));
        }
    }

    testing::TempDir dir_;
};

// CUSTOMER.X06: 20 records of City A15, CustNo +4, Blk Num S2 in block 1.
constexpr std::size_t kCityEntry = 21;
std::size_t city_entry(std::size_t i) {
    return kHeader + 6 + i * kCityEntry;
}

TEST_F(DamagedIndex, MaintainedIndexWhoseCountDiffersFromTheTableIsRefused) {
    SKIP_WITHOUT_CORPUS();
    copy_family("paradoxdriver/db", "CUSTOMER");
    patch("CUSTOMER.X06", 0x06, {21, 0, 0, 0});
    expect_error([&] { walk("CUSTOMER", "City"); }, "CUSTOMER.X06", "21 entries");
}

TEST_F(DamagedIndex, EntryNamingNoRecordIsRefused) {
    SKIP_WITHOUT_CORPUS();
    copy_family("paradoxdriver/db", "CUSTOMER");
    patch("CUSTOMER.X06", city_entry(0) + 15, {0x80, 0x00, 0x03, 0xE7});  // CustNo 999
    expect_error([&] { walk("CUSTOMER", "City"); }, "CUSTOMER.X06", "no record");
}

TEST_F(DamagedIndex, TwoEntriesForOneRecordAreRefused) {
    SKIP_WITHOUT_CORPUS();
    copy_family("paradoxdriver/db", "CUSTOMER");
    // Entries 1 and 2 are both Aptos (CustNo 12 and 13); both now name CustNo 13.
    patch("CUSTOMER.X06", city_entry(0) + 15, bytes_at("CUSTOMER.X06", city_entry(1) + 15, 4));
    expect_error([&] { walk("CUSTOMER", "City"); }, "CUSTOMER.X06", "same record");
}

TEST_F(DamagedIndex, EntryWhoseValuesDifferFromItsRecordIsOutOfDate) {
    SKIP_WITHOUT_CORPUS();
    copy_family("paradoxdriver/db", "CUSTOMER");
    patch("CUSTOMER.X06", city_entry(0), {'A', 'b'});
    expect_error([&] { walk("CUSTOMER", "City"); }, "CUSTOMER.X06", "out of date");
}

TEST_F(DamagedIndex, EntriesOutOfOrderAreRefused) {
    SKIP_WITHOUT_CORPUS();
    copy_family("paradoxdriver/db", "CUSTOMER");
    // Swap the whole first entry (Aptos) with the last (Soquel).
    const auto first = bytes_at("CUSTOMER.X06", city_entry(0), kCityEntry);
    const auto last = bytes_at("CUSTOMER.X06", city_entry(19), kCityEntry);
    patch("CUSTOMER.X06", city_entry(0), last);
    patch("CUSTOMER.X06", city_entry(19), first);
    expect_error([&] { walk("CUSTOMER", "City"); }, "CUSTOMER.X06", "not in index order");
}

// Wrong Blk Num hints cost time, not correctness: the .PX finds the records, and without
// a .PX a scan of the table does.
TEST_F(DamagedIndex, WrongHintsAndAMissingPrimaryIndexStillFindEveryRecord) {
    SKIP_WITHOUT_CORPUS();
    copy_family("paradoxdriver/db", "CUSTOMER");
    for (std::size_t i = 0; i < 20; ++i)
        patch("CUSTOMER.X06", city_entry(i) + 19, {0x80, static_cast<std::uint8_t>(i % 5)});
    EXPECT_EQ(walk("CUSTOMER", "City"), 20u);
    fs::remove(dir_ / "CUSTOMER.PX");
    EXPECT_EQ(walk("CUSTOMER", "City"), 20u);
}

TEST_F(DamagedIndex, IndexChainThatLoopsOrIsCutShortIsRefused) {
    SKIP_WITHOUT_CORPUS();
    copy_family("paradox-reader", "zakazky");
    patch("zakazky.XG0", kHeader + 2048, {1, 0});  // block 2 leads back to block 1
    expect_error([&] { walk("zakazky", "ISKUPINA"); }, "zakazky.XG0", "loops");

    fs::resize_file(dir_ / "zakazky.XG0", kHeader + 40 * 2048 + 100);
    expect_error([&] { walk("zakazky", "ISKUPINA"); }, "zakazky.XG0", "damaged");
}

// zakazky.PX: root block 1 holds two entries (key +4, block, count, 80 00) over leaf blocks.
TEST_F(DamagedIndex, PrimaryTreeThatLoopsLiesOrPointsOutsideIsRefused) {
    SKIP_WITHOUT_CORPUS();
    copy_family("paradox-reader", "zakazky");
    const std::size_t entry_block = kHeader + 6 + 4;
    const auto original = bytes_at("zakazky.PX", entry_block, 4);
    const auto leaves = [&] { IndexTree::open(dir_ / "zakazky.PX").leaves(); };

    patch("zakazky.PX", entry_block, {0x80, 0x01});  // the root names itself
    expect_error(leaves, "zakazky.PX", "loops");
    expect_error([&] { walk("zakazky", "ISKUPINA"); }, "zakazky.PX", "loops");

    patch("zakazky.PX", entry_block, {0x80, 0x63});  // block 99 of 3
    expect_error(leaves, "zakazky.PX", "outside");

    patch("zakazky.PX", entry_block, {original[0], original[1], 0x80, 0x07});
    expect_error(leaves, "zakazky.PX", "counts 7 records");

    patch("zakazky.PX", entry_block, original);
    patch("zakazky.PX", 0x20, {3});  // three levels claimed, two present
    expect_error(leaves, "zakazky.PX", "damaged");

    patch("zakazky.PX", 0x20, {2});
    patch("zakazky.PX", 0x06, {0x20, 0x01, 0, 0});  // 288 entries claimed, 287 present
    expect_error(leaves, "zakazky.PX", "287");

    patch("zakazky.PX", 0x06, {0x1F, 0x01, 0, 0});
    fs::resize_file(dir_ / "zakazky.PX", kHeader + 2048 + 100);
    expect_error(leaves, "zakazky.PX", "damaged");
}

TEST_F(DamagedIndex, IndexHeaderThatDoesNotFitTheTableIsRefused) {
    SKIP_WITHOUT_CORPUS();
    copy_family("paradoxdriver/db", "CUSTOMER");
    const auto list = [&] { list_secondary_indexes(*Table::open(dir_.path(), "CUSTOMER")); };
    patch("CUSTOMER.X06", 0x23, {3});  // key fields
    expect_error(list, "CUSTOMER.X06", "key fields");
    patch("CUSTOMER.X06", 0x23, {2});
    fs::rename(dir_ / "CUSTOMER.X06", dir_ / "CUSTOMER.X05");
    expect_error(list, "CUSTOMER.X05", "field 5");
}

// TypSammlung.X02 (not maintained): Numerisch N8, Tup No I4, Blk Num S2, Tup Offset S2.
TEST_F(DamagedIndex, SnapshotPointingOutsideTheTableIsSortedHere) {
    SKIP_WITHOUT_CORPUS();
    copy_family("pxlib", "TypSammlung");
    patch("TypSammlung.X02", kHeader + 6 + 12, {0x80, 0x63});  // block 99
    auto table = Table::open(dir_.path(), "typsammlung");
    auto cursor = open_index_cursor(*table, "numerisch");
    EXPECT_TRUE(dynamic_cast<PositionListCursor&>(*cursor).sorted_here());
    std::vector<std::string> values;
    for (; !cursor->eof(); cursor->next())
        values.push_back(cursor->field("Numerisch").as_text());
    EXPECT_EQ(values, (std::vector<std::string>{"-40", "0", "1.34", "23", "40"}));
}

TEST_F(DamagedIndex, PrimaryKeyOrderViolationIsRefused) {
    SKIP_WITHOUT_CORPUS();
    copy_family("paradoxdriver/db", "CUSTOMER");
    constexpr std::size_t kRecord = 394;
    const std::size_t first = kHeader + 6;
    const auto a = bytes_at("CUSTOMER.DB", first, kRecord);
    const auto b = bytes_at("CUSTOMER.DB", first + kRecord, kRecord);
    patch("CUSTOMER.DB", first, b);
    patch("CUSTOMER.DB", first + kRecord, a);
    expect_error([&] { walk("CUSTOMER", ""); }, "CUSTOMER.DB", "not in key order: record 2");
}

}  // namespace
}  // namespace pdx
