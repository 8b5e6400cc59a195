// Damaged index files never crash or hang: reading through them raises an error naming the
// file and what is wrong. A stale non-maintained index is no damage: the table is sorted
// instead. The families are written by the tests (a non-maintained index, which the engine
// does not write, is copied from the corpus) into a temporary folder and patched.

#include <gtest/gtest.h>

#include <gmock/gmock.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "common/error.h"
#include "engine/format/coding.h"
#include "engine/format/index_tree.h"
#include "engine/table/cursor.h"
#include "engine/table/index_catalog.h"
#include "engine/table/index_cursor.h"
#include "engine/table/table.h"
#include "engine/table/table_name.h"
#include "engine/table/tests/generated_family.h"
#include "engine/table/tests/test_support.h"

namespace pdx {
namespace {

namespace fs = std::filesystem;
using ::testing::AllOf;
using ::testing::HasSubstr;

using Layout = testing::FamilyLayout;

class DamagedIndex : public ::testing::Test {
  protected:
    // Copies a generated family (written once per test program) into the folder: Customers,
    // 20 records in 2 KiB blocks, its City index in one block; Orders, 3000 records, a
    // primary index of two levels and a composite index ByTeam (.XG0) of many blocks.
    void copy_customers() { testing::copy_of_family("Customers", 20, 2048, false, dir_.path()); }
    void copy_orders() { testing::copy_of_family("Orders", 3000, 2048, false, dir_.path()); }

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
    std::uint16_t u16_of(const std::string& file, std::size_t at) {
        const auto b = bytes_at(file, at, 2);
        return load_u16le(b.data());
    }
    // The header size and block size of an index file.
    std::size_t header_of(const std::string& file) { return u16_of(file, 2); }
    std::size_t block_of(const std::string& file) { return bytes_at(file, 5, 1)[0] * 1024u; }

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

    // Customers.X06: 20 entries of City A15, Id +4, Blk Num S2 in block 1.
    static constexpr std::size_t kCityEntry = Layout::kCityWidth + 4 + 2;
    std::size_t city_entry(std::size_t i) {
        return header_of("Customers.X06") + 6 + i * kCityEntry;
    }

    testing::TempDir dir_;
};

TEST_F(DamagedIndex, MaintainedIndexWhoseCountDiffersFromTheTableIsRefused) {
    copy_customers();
    patch("Customers.X06", 0x06, {21, 0, 0, 0});
    expect_error([&] { walk("Customers", "City"); }, "Customers.X06", "21 entries");
}

TEST_F(DamagedIndex, EntryNamingNoRecordIsRefused) {
    copy_customers();
    patch("Customers.X06", city_entry(0) + Layout::kCityWidth, {0x80, 0x00, 0x03, 0xE7});  // Id 999
    expect_error([&] { walk("Customers", "City"); }, "Customers.X06", "no record");
}

TEST_F(DamagedIndex, TwoEntriesForOneRecordAreRefused) {
    copy_customers();
    // Entries 1 and 2 are both Aptos (Id 1 and 2); both now name Id 2.
    ASSERT_EQ(testing::family_city(1), testing::family_city(2));
    patch("Customers.X06", city_entry(0) + Layout::kCityWidth,
          bytes_at("Customers.X06", city_entry(1) + Layout::kCityWidth, 4));
    expect_error([&] { walk("Customers", "City"); }, "Customers.X06", "same record");
}

TEST_F(DamagedIndex, EntryWhoseValuesDifferFromItsRecordIsOutOfDate) {
    copy_customers();
    patch("Customers.X06", city_entry(0), {'A', 'b'});
    expect_error([&] { walk("Customers", "City"); }, "Customers.X06", "out of date");
}

TEST_F(DamagedIndex, EntriesOutOfOrderAreRefused) {
    copy_customers();
    // Swap the whole first entry (Aptos) with the last (the town of record 20).
    const auto first = bytes_at("Customers.X06", city_entry(0), kCityEntry);
    const auto last = bytes_at("Customers.X06", city_entry(19), kCityEntry);
    patch("Customers.X06", city_entry(0), last);
    patch("Customers.X06", city_entry(19), first);
    expect_error([&] { walk("Customers", "City"); }, "Customers.X06", "not in index order");
}

// Wrong Blk Num hints cost time, not correctness: the .PX finds the records, and without
// a .PX a scan of the table does.
TEST_F(DamagedIndex, WrongHintsAndAMissingPrimaryIndexStillFindEveryRecord) {
    copy_customers();
    for (std::size_t i = 0; i < 20; ++i)
        patch("Customers.X06", city_entry(i) + Layout::kCityWidth + 4,
              {0x80, static_cast<std::uint8_t>(i % 5)});
    EXPECT_EQ(walk("Customers", "City"), 20u);
    fs::remove(dir_ / "Customers.PX");
    EXPECT_EQ(walk("Customers", "City"), 20u);
}

TEST_F(DamagedIndex, IndexChainThatLoopsOrIsCutShortIsRefused) {
    copy_orders();
    const std::size_t header = header_of("Orders.XG0");
    const std::size_t block = block_of("Orders.XG0");
    const std::size_t blocks = (fs::file_size(dir_ / "Orders.XG0") - header) / block;
    ASSERT_GT(blocks, 6u);
    patch("Orders.XG0", header + block, {1, 0});  // block 2 leads back to block 1
    expect_error([&] { walk("Orders", "ByTeam"); }, "Orders.XG0", "loops");

    fs::resize_file(dir_ / "Orders.XG0", header + blocks / 3 * block + 100);
    expect_error([&] { walk("Orders", "ByTeam"); }, "Orders.XG0", "damaged");
}

// Orders.PX: a root block whose entries (key +4, block, count, 80 00) lie over leaf blocks.
TEST_F(DamagedIndex, PrimaryTreeThatLoopsLiesOrPointsOutsideIsRefused) {
    copy_orders();
    const std::size_t header = header_of("Orders.PX");
    const std::size_t block = block_of("Orders.PX");
    ASSERT_EQ(bytes_at("Orders.PX", 0x20, 1)[0], 2) << "the primary index has not two levels";
    const std::uint16_t root = u16_of("Orders.PX", 0x1E);
    const std::size_t entry_block = header + (root - 1) * block + 6 + 4;
    const auto original = bytes_at("Orders.PX", entry_block, 4);
    const auto entries = bytes_at("Orders.PX", 0x06, 4);
    const auto leaves = [&] { IndexTree::open(dir_ / "Orders.PX").leaves(); };

    patch("Orders.PX", entry_block,
          {0x80, static_cast<std::uint8_t>(root)});  // the root names itself
    expect_error(leaves, "Orders.PX", "loops");
    expect_error([&] { walk("Orders", "ByTeam"); }, "Orders.PX", "loops");

    patch("Orders.PX", entry_block, {0x80, 0x63});  // block 99 of a few
    expect_error(leaves, "Orders.PX", "outside");

    patch("Orders.PX", entry_block, {original[0], original[1], 0x80, 0x07});
    expect_error(leaves, "Orders.PX", "counts 7 records");

    patch("Orders.PX", entry_block, original);
    patch("Orders.PX", 0x20, {3});  // three levels claimed, two present
    expect_error(leaves, "Orders.PX", "damaged");

    patch("Orders.PX", 0x20, {2});
    const std::uint32_t present = load_u32le(entries.data());
    std::vector<std::uint8_t> claimed(4);
    store_u32le(claimed.data(), present + 1);
    patch("Orders.PX", 0x06, claimed);  // one entry more claimed than present
    expect_error(leaves, "Orders.PX", std::to_string(present));

    patch("Orders.PX", 0x06, entries);
    fs::resize_file(dir_ / "Orders.PX", header + block + 100);
    expect_error(leaves, "Orders.PX", "damaged");
}

TEST_F(DamagedIndex, IndexHeaderThatDoesNotFitTheTableIsRefused) {
    copy_customers();
    const auto list = [&] { list_secondary_indexes(*Table::open(dir_.path(), "Customers")); };
    patch("Customers.X06", 0x23, {3});  // key fields
    expect_error(list, "Customers.X06", "key fields");
    patch("Customers.X06", 0x23, {2});
    fs::rename(dir_ / "Customers.X06", dir_ / "Customers.X05");
    expect_error(list, "Customers.X05", "field 5");
}

TEST_F(DamagedIndex, PrimaryKeyOrderViolationIsRefused) {
    copy_customers();
    const std::size_t first = header_of("Customers.DB") + 6;
    const auto a = bytes_at("Customers.DB", first, Layout::kRecordSize);
    const auto b = bytes_at("Customers.DB", first + Layout::kRecordSize, Layout::kRecordSize);
    patch("Customers.DB", first, b);
    patch("Customers.DB", first + Layout::kRecordSize, a);
    expect_error([&] { walk("Customers", ""); }, "Customers.DB", "not in key order: record 2");
}

// A real index of a kind the engine does not write: copied from the corpus.
class DamagedRealIndex : public DamagedIndex {
  protected:
    void SetUp() override { SKIP_WITHOUT_CORPUS(); }
    // Copies every file of the family of `table` (in `folder` of the corpus).
    void copy_family(const std::string& folder, const std::string& table) {
        for (const auto& entry : fs::directory_iterator(testing::corpus_dir() / folder))
            if (same_file_name(entry.path().stem().string(), table))
                fs::copy_file(entry.path(), dir_ / entry.path().filename().string());
    }
};

// TypSammlung.X02 (not maintained): Numerisch N8, Tup No I4, Blk Num S2, Tup Offset S2.
TEST_F(DamagedRealIndex, SnapshotPointingOutsideTheTableIsSortedHere) {
    copy_family("pxlib", "TypSammlung");
    patch("TypSammlung.X02", header_of("TypSammlung.X02") + 6 + 12, {0x80, 0x63});  // block 99
    auto table = Table::open(dir_.path(), "typsammlung");
    auto cursor = open_index_cursor(*table, "numerisch");
    EXPECT_TRUE(dynamic_cast<PositionListCursor&>(*cursor).sorted_here());
    std::vector<std::string> values;
    for (; !cursor->eof(); cursor->next())
        values.push_back(cursor->field("Numerisch").as_text());
    EXPECT_EQ(values, (std::vector<std::string>{"-40", "0", "1.34", "23", "40"}));
}

}  // namespace
}  // namespace pdx
