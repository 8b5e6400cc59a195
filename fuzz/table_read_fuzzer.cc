// A table family from bytes (.DB with any of .PX, .Xnn/.Ynn, .XGn/.YGn, .MB; see
// split_family): the table opens or is refused with an error, and an open table reads every
// value of every record in table order and in the order of each index, each order visiting
// the same records.

#include <cstddef>
#include <cstdint>

#include "common/error.h"
#include "engine/table/table.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const vaq::fuzz::Scratch scratch;
    scratch.clear();
    vaq::fuzz::write_family(scratch.data(), "T", vaq::fuzz::split_family(data, size));
    try {
        const auto table = pdx::Table::open(scratch.data(), "T");
        vaq::fuzz::read_every_order(*table);
    } catch (const vaq::Error&) {
        // Refused with a message: what a damaged table must do.
    }
    return 0;
}
