#pragma once

// Header bytes a writer keeps up to date that TableHeader keeps only in its image:
//   0x3A u16  maxBlocks, equal to fileBlocks (0x0C) in every file the BDE writes
//   0x70 u16  a counter the BDE advances on deletes (DB level >= 4)
//   0x74 u32  a counter the BDE advances on record updates (DB level >= 4)
// and the 8-bit change stamps, which wrap.

#include <cstdint>

#include "engine/format/coding.h"
#include "engine/format/table_header.h"

namespace pdx {

inline constexpr std::size_t kMaxBlocksOffset = 0x3A;
inline constexpr std::size_t kDeleteCounterOffset = 0x70;
inline constexpr std::size_t kUpdateCounterOffset = 0x74;

inline void ensure_image(TableHeader& h) {
    if (h.image.size() < h.variable_part_offset()) h.image.resize(h.variable_part_offset(), 0);
}

inline void set_file_blocks(TableHeader& h, std::uint16_t blocks) {
    ensure_image(h);
    h.file_blocks = blocks;
    store_u16le(h.image.data() + kMaxBlocksOffset, blocks);
}

inline void count_delete(TableHeader& h) {
    if (!h.has_extension()) return;
    ensure_image(h);
    std::uint8_t* p = h.image.data() + kDeleteCounterOffset;
    store_u16le(p, static_cast<std::uint16_t>(load_u16le(p) + 1));
}

inline void count_update(TableHeader& h) {
    if (!h.has_extension()) return;
    ensure_image(h);
    std::uint8_t* p = h.image.data() + kUpdateCounterOffset;
    store_u32le(p, load_u32le(p) + 1);
}

// The next value of an 8-bit stamp; 0 is skipped so that a stamp never reads as unset.
inline std::uint8_t next_stamp(std::uint8_t stamp) {
    const auto next = static_cast<std::uint8_t>(stamp + 1);
    return next == 0 ? std::uint8_t{1} : next;
}

}  // namespace pdx
