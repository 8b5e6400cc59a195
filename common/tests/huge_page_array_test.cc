#include "common/huge_page_array.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>

namespace {

struct Slot {
    std::uint32_t tag = 7;
    std::uint32_t pair = UINT32_MAX;
};

// Small arrays stay on small pages; from 2 MB on the array starts on a huge page boundary
// inside a larger mapping, and every element up to the last must lie inside it.
TEST(HugePageArray, EveryElementOfSmallAndHugeArraysStartsWithTheValueAndCanBeWritten) {
    for (const std::size_t count : {std::size_t{1}, std::size_t{1000}, std::size_t{262144},
                                    std::size_t{(3 << 20) / sizeof(Slot) + 5}}) {
        vaq::HugePageArray<Slot> slots(count);
        ASSERT_EQ(slots.size(), count);
        for (std::size_t i = 0; i < count; ++i) {
            ASSERT_EQ(slots[i].tag, 7U) << i << " of " << count;
            ASSERT_EQ(slots[i].pair, UINT32_MAX) << i << " of " << count;
            slots[i].pair = static_cast<std::uint32_t>(i);
        }
        EXPECT_EQ(slots[count - 1].pair, count - 1);
        if (count * sizeof(Slot) >= (std::size_t{2} << 20)) {
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(&slots[0]) % (std::size_t{2} << 20), 0U);
        }
    }
}

TEST(HugePageArray, AMovedArrayKeepsItsElementsAndLeavesAnEmptyOne) {
    vaq::HugePageArray<Slot> from(300000, Slot{1, 2});
    from[299999].pair = 9;
    vaq::HugePageArray<Slot> to(10);
    to = std::move(from);
    EXPECT_EQ(from.size(), 0U);
    ASSERT_EQ(to.size(), 300000U);
    EXPECT_EQ(to[0].tag, 1U);
    EXPECT_EQ(to[299999].pair, 9U);
    vaq::HugePageArray<Slot> again(std::move(to));
    EXPECT_EQ(again[299999].pair, 9U);
}

}  // namespace
