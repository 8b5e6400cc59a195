// The new table's pieces are written on a thread of their own: each piece lands where it was
// asked to, and a piece that cannot be written fails the writer's next step.

#include <gtest/gtest.h>

#include "common/error.h"
#include "tests/support.h"
#include "tutil/write_behind.h"

namespace vaq::tutil {
namespace {

using namespace tutil::testing;

TEST(WriteBehind, PiecesLandInPlaceWhileTheNextIsPrepared) {
    TempDir dir;
    pdx::File file = pdx::File::create(dir / "pieces");
    std::vector<std::uint8_t> expected;
    {
        WriteBehind behind(file);
        // Two buffers taking turns, as the table writer uses them.
        std::vector<std::uint8_t> buffers[2];
        for (std::uint8_t piece = 0; piece < 20; ++piece) {
            std::vector<std::uint8_t>& buffer = buffers[piece % 2];
            buffer.assign(1000 + piece, piece);
            behind.write(expected.size(), buffer);
            expected.insert(expected.end(), buffer.begin(), buffer.end());
        }
        behind.wait();
    }
    EXPECT_EQ(read_file(dir / "pieces"), expected);
}

TEST(WriteBehind, AFailedPieceIsReported) {
    TempDir dir;
    write_file(dir / "read-only", std::vector<std::uint8_t>(10, 1));
    pdx::File file = pdx::File::open(dir / "read-only");
    const std::vector<std::uint8_t> bytes(100, 2);
    WriteBehind behind(file);
    behind.write(0, bytes);
    EXPECT_THROW(behind.wait(), vaq::Error);
    // Reported once; the writer goes on with the next piece.
    behind.write(0, bytes);
    EXPECT_THROW(behind.write(0, bytes), vaq::Error);
}

}  // namespace
}  // namespace vaq::tutil
