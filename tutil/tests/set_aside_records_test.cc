// Records a rebuild sets aside come back whole and in the order they came, whether they were
// held in memory or waited on disk past the memory bound; the file they waited in goes away
// with the list and when it is cleared.

#include <gtest/gtest.h>

#include "tests/support.h"
#include "tutil/set_aside_records.h"

namespace vaq::tutil {
namespace {

using namespace tutil::testing;

// Record n: n bytes of n; odd records carry a blob value of 3n bytes in field 2, every
// fifth an empty value in field 5 too.
Carried record(std::uint8_t n) {
    Carried c;
    c.bytes.assign(n, n);
    if (n % 2 == 1) c.blobs[2].assign(std::size_t{3} * n, static_cast<std::uint8_t>(n + 1));
    if (n % 5 == 0) c.blobs[5];
    return c;
}

std::vector<Carried> read_back(SetAsideRecords& list) {
    std::vector<Carried> out;
    list.for_each([&](const Carried& c) { out.push_back(c); });
    return out;
}

void expect_records(const std::vector<Carried>& got, std::uint8_t first, std::uint8_t count) {
    ASSERT_EQ(got.size(), count);
    for (std::uint8_t i = 0; i < count; ++i) {
        const Carried expected = record(static_cast<std::uint8_t>(first + i));
        EXPECT_EQ(got[i].bytes, expected.bytes) << int(i);
        EXPECT_EQ(got[i].blobs, expected.blobs) << int(i);
    }
}

TEST(SetAsideRecords, ComeBackInOrderFromMemoryAndFromDisk) {
    TempDir dir;
    const fs::path spill = dir / ".problems.tmp";
    for (const std::size_t bound : {std::size_t{0}, std::size_t{1000}, std::size_t{1} << 20}) {
        SCOPED_TRACE(bound);
        {
            SetAsideRecords list(spill, bound);
            for (std::uint8_t n = 1; n <= 200; ++n)
                list.push_back(record(n));
            EXPECT_EQ(list.size(), 200u);
            expect_records(read_back(list), 1, 200);
            // Read twice, and more added after a read.
            list.push_back(record(201));
            expect_records(read_back(list), 1, 201);
            EXPECT_EQ(fs::exists(spill), bound < (std::size_t{1} << 20));

            list.clear();
            EXPECT_TRUE(list.empty());
            EXPECT_FALSE(fs::exists(spill));
            for (std::uint8_t n = 50; n < 60; ++n)
                list.push_back(record(n));
            expect_records(read_back(list), 50, 10);
        }
        EXPECT_FALSE(fs::exists(spill));
    }
}

}  // namespace
}  // namespace vaq::tutil
