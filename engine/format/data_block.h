#pragma once

// Data blocks of .DB files (and of .Xnn/.XGn files, which share the layout).
//
//   0  u16 nextBlock    next block of the chain, 0 = last
//   2  u16 prevBlock    previous block of the chain, 0 = first
//   4  s16 addDataSize  offset of the last record from byte 6, (count - 1) * recordSize;
//                       -recordSize when the block is empty
//   6  records, back to back, no flags; the bytes after the last record are meaningless
//
// Free blocks (unlinked, listed from header 0x4D through nextBlock) hold addDataSize =
// -recordSize. Block numbers are 1-based.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "engine/format/coding.h"

namespace pdx {

struct DataBlockHeader {
    std::uint16_t next_block = 0;
    std::uint16_t prev_block = 0;
    std::int16_t add_data_size = 0;

    static constexpr std::size_t kEncodedSize = 6;

    static DataBlockHeader decode(const std::uint8_t* p) {
        return {load_u16le(p), load_u16le(p + 2), load_i16le(p + 4)};
    }
    void encode(std::uint8_t* p) const {
        store_u16le(p, next_block);
        store_u16le(p + 2, prev_block);
        store_i16le(p + 4, add_data_size);
    }

    // Records in the block. Only meaningful when problem() finds nothing.
    std::size_t record_count(std::size_t record_size) const {
        return static_cast<std::size_t>(add_data_size + static_cast<int>(record_size)) /
               record_size;
    }
    static std::int16_t add_data_size_for(std::size_t count, std::size_t record_size) {
        return static_cast<std::int16_t>((static_cast<int>(count) - 1) *
                                         static_cast<int>(record_size));
    }
    // What makes addDataSize impossible for a block of this size, or nothing.
    std::optional<std::string> problem(std::size_t record_size, std::size_t block_size) const {
        const int rs = static_cast<int>(record_size);
        const int capacity = static_cast<int>((block_size - kEncodedSize) / record_size);
        if (add_data_size < -rs || add_data_size > (capacity - 1) * rs || add_data_size % rs != 0)
            return "its record area size " + std::to_string(add_data_size) +
                   " is impossible for records of " + std::to_string(record_size) + " bytes";
        return std::nullopt;
    }

    friend bool operator==(const DataBlockHeader&, const DataBlockHeader&) = default;
};

// Offset of record `slot` (0-based) inside its block.
inline std::size_t record_offset_in_block(std::size_t slot, std::size_t record_size) {
    return DataBlockHeader::kEncodedSize + slot * record_size;
}

}  // namespace pdx
