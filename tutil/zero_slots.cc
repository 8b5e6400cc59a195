#include "tutil/zero_slots.h"

#include "engine/format/data_block.h"

namespace vaq::tutil {

ZeroSlots::ZeroSlots(const pdx::TableHeader& h, bool auto_increment, std::size_t key_length,
                     std::uint32_t number, pdx::Bytes block, std::size_t present)
    : record_size_(h.record_size),
      auto_increment_(auto_increment),
      keyed_(key_length > 0),
      first_block_(number == h.first_block),
      block_at_(h.block_offset(number)),
      block_(block),
      present_(present) {}

bool ZeroSlots::no_record(std::size_t slot) {
    const std::size_t start = pdx::record_offset_in_block(slot, record_size_);
    if (start + record_size_ > present_ || !pdx::all_zero(block_.subspan(start, record_size_)))
        return false;
    if (auto_increment_) return true;
    if (keyed_ && !(first_block_ && slot == 0)) return true;
    return sector_wiped(start);
}

bool ZeroSlots::sector_wiped(std::size_t start) {
    if (start < run_begin_ || start >= run_end_) {
        run_begin_ = start;
        while (run_begin_ > 0 && block_[run_begin_ - 1] == 0)
            --run_begin_;
        run_end_ = start + record_size_;
        while (run_end_ < present_ && block_[run_end_] == 0)
            ++run_end_;
    }
    const std::uint64_t first_sector =
        (block_at_ + run_begin_ + kSectorSize - 1) / kSectorSize * kSectorSize;
    return first_sector + kSectorSize <= block_at_ + run_end_;
}

bool ZeroSlots::sector_starts_in(std::size_t from, std::size_t to) const {
    const std::uint64_t first = (block_at_ + from + kSectorSize - 1) / kSectorSize * kSectorSize;
    return first < block_at_ + to;
}

}  // namespace vaq::tutil
