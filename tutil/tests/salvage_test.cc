// Salvage hands over every record that can still be read, each once, in table order, and the
// unreadable ones as problems.

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>

#include "engine/table/tests/generated_family.h"
#include "tests/support.h"
#include "tutil/salvage.h"

namespace vaq::tutil {
namespace {

using namespace tutil::testing;

struct Delivered {
    std::vector<std::vector<std::uint8_t>> records;
    std::vector<std::pair<std::uint32_t, std::string>> problems;  // block, reason
};

Delivered deliver(const fs::path& db) {
    Delivered out;
    Salvage salvage(db);
    salvage.deliver(
        [&](const SalvagedRecord& r) { out.records.emplace_back(r.bytes.begin(), r.bytes.end()); },
        [&](const ProblemRecord& p) { out.problems.emplace_back(p.block, p.reason); });
    return out;
}

// The Count field (bytes 11-14) of the small test table's records.
std::vector<std::int32_t> counts(const Delivered& d) {
    std::vector<std::int32_t> values;
    for (const auto& r : d.records)
        values.push_back(*pdx::decode_long(r.data() + 11));
    return values;
}

TEST(Salvage, UndamagedTableInTableOrder) {
    TempDir dir;
    write_small_table(dir / "T.DB", 500);
    const Delivered d = deliver(dir / "T.DB");
    ASSERT_EQ(d.records.size(), 500u);
    EXPECT_TRUE(d.problems.empty());
    const auto values = counts(d);
    for (std::int32_t i = 0; i < 500; ++i)
        EXPECT_EQ(values[static_cast<std::size_t>(i)], i + 1);
}

TEST(Salvage, BlocksOffTheChainAndLoopsLoseNothing) {
    TempDir dir;
    const fs::path db = dir / "T.DB";
    write_small_table(db, 500);  // 67 records per block, 8 blocks
    patch(db, [](std::vector<std::uint8_t>& b) {
        const FileGeometry g(b);
        set_u16(b, g.block(3), 5);  // block 4 falls off the chain
        set_u16(b, g.block(7), 2);  // and block 7 leads back to block 2
    });
    const Delivered d = deliver(db);
    const auto values = counts(d);
    ASSERT_EQ(values.size(), 500u - 67);
    EXPECT_EQ(std::set<std::int32_t>(values.begin(), values.end()).size(), values.size());
    // The chain's blocks 1, 2, 3, 5, 6, 7 come first, then block 8, the header's last block.
    EXPECT_EQ(values[201], 269);
    EXPECT_EQ(values[402], 470);
    EXPECT_EQ(values[values.size() - 1], 500);
    // No reader sees block 4: its records are handed over as problems.
    ASSERT_EQ(d.problems.size(), 67u);
    for (const auto& [block, reason] : d.problems)
        EXPECT_EQ(block, 4u) << reason;
}

// The blocks the records came from, in the order they were handed over (67 records a block).
std::vector<std::uint32_t> block_order(const Delivered& d) {
    std::vector<std::uint32_t> blocks;
    for (std::int32_t value : counts(d)) {
        const auto block = static_cast<std::uint32_t>((value - 1) / 67 + 1);
        if (blocks.empty() || blocks.back() != block) blocks.push_back(block);
    }
    return blocks;
}

// The pass hands blocks over while the chain follows the file; wherever the chain leaves the
// file order the order stays the chain's, then its tail that the header's last block leads
// back to. The records of blocks off the chain are handed over as problems.
TEST(Salvage, ChainsThatLeaveTheFileOrder) {
    struct Case {
        const char* what;
        std::function<void(std::vector<std::uint8_t>&, const FileGeometry&)> damage;
        std::vector<std::uint32_t> order;
        std::set<std::uint32_t> off_chain = {};
    };
    const std::vector<Case> cases = {
        {"the chain ends early",
         [](auto& b, const auto& g) { set_u16(b, g.block(5), 0); },
         {1, 2, 3, 4, 5, 6, 7, 8}},
        {"the chain loops back",
         [](auto& b, const auto& g) { set_u16(b, g.block(5), 2); },
         {1, 2, 3, 4, 5, 6, 7, 8}},
        {"the chain leads outside the file",
         [](auto& b, const auto& g) { set_u16(b, g.block(4), 40); },
         {1, 2, 3, 4, 5, 6, 7, 8}},
        {"the chain starts at block 3",
         [](auto& b, const auto&) { set_u16(b, 0x0E, 3); },
         {3, 4, 5, 6, 7, 8},
         {1, 2}},
        {"the chain skips blocks 3 to 5",
         [](auto& b, const auto& g) { set_u16(b, g.block(2), 6); },
         {1, 2, 6, 7, 8},
         {3, 4, 5}},
        {"the chain runs backwards",
         [](auto& b, const auto& g) {
             set_u16(b, 0x0E, 8);
             for (std::uint16_t n = 8; n >= 1; --n)
                 set_u16(b, g.block(n), static_cast<std::uint16_t>(n - 1));
         },
         {8, 7, 6, 5, 4, 3, 2, 1}},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const fs::path db = dir / "T.DB";
        write_small_table(db, 500);  // 67 records per block, 8 blocks
        patch(db, [&](std::vector<std::uint8_t>& b) { c.damage(b, FileGeometry(b)); });
        const Delivered d = deliver(db);
        std::set<std::uint32_t> problem_blocks;
        for (const auto& [block, reason] : d.problems)
            problem_blocks.insert(block);
        EXPECT_EQ(problem_blocks, c.off_chain) << c.what;
        EXPECT_EQ(d.records.size() + d.problems.size(), 500u) << c.what;
        EXPECT_EQ(block_order(d), c.order) << c.what;
    }
}

TEST(Salvage, CutAndDamagedBlocksBecomeProblems) {
    TempDir dir;
    const fs::path db = dir / "T.DB";
    write_small_table(db, 500);
    patch(db, [](std::vector<std::uint8_t>& b) {
        const FileGeometry g(b);
        set_u16(b, g.block(2) + 4, 7);   // block 2: impossible record area size
        b[g.record(3, 10) + 10] = 0x37;  // block 3: a record with an impossible value
        b.resize(g.record(8, 20) + 5);   // the file ends inside record 21 of block 8
    });
    const Delivered d = deliver(db);
    std::map<std::string, int> reasons;
    for (const auto& [block, reason] : d.problems)
        ++reasons[reason];
    EXPECT_EQ(reasons["its block's header is damaged"], 67);
    EXPECT_EQ(reasons["the file ends inside the record"], 1);
    EXPECT_EQ(reasons.size(), 3u);
    EXPECT_EQ(d.records.size(), 500u - 67 - 1 - (500 - 7 * 67 - 20));
}

TEST(Salvage, BlobValuesFromTheOldBlobFile) {
    using Layout = pdx::testing::FamilyLayout;
    TempDir dir;
    const fs::path db = pdx::testing::copy_of_family("Customers", 20, 2048, false, dir.path());
    Salvage salvage(db);
    std::size_t external = 0;
    salvage.deliver(
        [&](const SalvagedRecord& r) {
            const auto value = salvage.blob_value(Layout::kNoteField, r.bytes);
            ASSERT_TRUE(value.has_value());
            if (value->size() > Layout::kNoteLeader) ++external;
        },
        [](const ProblemRecord&) { FAIL(); });
    EXPECT_EQ(external, 4u);
    fs::remove(dir / "Customers.MB");
    Salvage without(db);
    std::size_t lost = 0;
    without.deliver(
        [&](const SalvagedRecord& r) { lost += !without.blob_value(Layout::kNoteField, r.bytes); },
        [](const ProblemRecord&) {});
    EXPECT_EQ(lost, 4u);
}

}  // namespace
}  // namespace vaq::tutil
