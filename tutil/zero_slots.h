#pragma once

// Slots of zeros among the records a data block's header counts. Such a slot is a record
// whose fields are all blank, unless the table can hold no such record (its auto-increment
// value would be blank; a keyed table holds a blank key only as its very first record) or
// the zeros cover a whole sector of the file: the unit a disk wipes, or a torn write leaves
// unwritten.

#include <cstddef>
#include <cstdint>

#include "engine/format/coding.h"
#include "engine/format/table_header.h"

namespace vaq::tutil {

// The smallest stretch of a file a disk writes or wipes whole.
inline constexpr std::uint64_t kSectorSize = 512;

class ZeroSlots {
  public:
    // `block` is block `number` of a table with header `h`; the file holds `present` bytes
    // of it. `key_length`: bytes of the primary key, 0 when unkeyed.
    ZeroSlots(const pdx::TableHeader& h, bool auto_increment, std::size_t key_length,
              std::uint32_t number, pdx::Bytes block, std::size_t present);

    // True when counted slot `slot` holds only zeros and is no record.
    bool no_record(std::size_t slot);
    // Whether a sector of the file starts in [from, to), offsets in the block.
    bool sector_starts_in(std::size_t from, std::size_t to) const;

  private:
    bool sector_wiped(std::size_t start);

    std::size_t record_size_;
    bool auto_increment_;
    bool keyed_;
    bool first_block_;
    std::uint64_t block_at_;
    pdx::Bytes block_;
    std::size_t present_;
    std::size_t run_begin_ = 0;
    std::size_t run_end_ = 0;  // the stretch of zeros around the slot last asked about
};

}  // namespace vaq::tutil
