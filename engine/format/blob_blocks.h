#pragma once

// Building the blocks of a .MB file (layouts in blob_file.h).
//
// A value longer than the threshold in the .MB header (2048 bytes) gets a type-2 block of its
// own; a shorter one goes into a slot of a type-3 block, which holds up to 64 values in 235
// chunks of 16 bytes (0x150-0xFFF). Slots are handed out from 63 downwards. Space given up
// is marked: a type-2 block becomes a type-4 free block of the same size, a type-3 slot is
// cleared.

#include <cstdint>
#include <optional>
#include <vector>

#include "engine/format/blob_file.h"
#include "engine/format/coding.h"

namespace pdx {

// Values above this many bytes get a type-2 block (header 0x13 of every .MB seen).
inline constexpr std::size_t kSmallBlobLimit = 2048;

// The units of a type-2 block that holds `length` bytes.
std::uint16_t single_blob_units(std::size_t length);

// A whole type-2 block holding `value`.
std::vector<std::uint8_t> encode_single_blob(Bytes value, std::uint16_t modification);

// The 3-byte head of a free (type-4) block of `units` units.
std::vector<std::uint8_t> encode_free_block_head(std::uint16_t units);

// A type-3 block being changed.
class SmallBlobBlock {
  public:
    // An empty block: no slot in use.
    SmallBlobBlock();
    // The unit as read (4096 bytes, type 3).
    explicit SmallBlobBlock(std::vector<std::uint8_t> unit);

    // Stores `value` (1 to kSmallBlobLimit bytes) in a free slot and returns the slot, or
    // nothing when the block has no free slot or too few free chunks. The values already
    // there may be moved together to make room; their slots do not change.
    std::optional<std::uint8_t> put(Bytes value, std::uint16_t modification);
    // Gives up the value in `slot`.
    void remove(std::uint8_t slot);

    std::size_t free_chunks() const;
    bool has_free_slot() const;
    const std::vector<std::uint8_t>& bytes() const { return unit_; }

  private:
    BlobSlot slot(std::size_t i) const;
    void set_slot(std::size_t i, const BlobSlot& s);
    // Moves the values in use together from the first data chunk on.
    void compact();
    // The first chunk of a run of `chunks` free chunks, or nothing.
    std::optional<std::size_t> find_run(std::size_t chunks) const;

    std::vector<std::uint8_t> unit_;
};

}  // namespace pdx
