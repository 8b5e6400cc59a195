#pragma once

// The records of a secondary index file (.Xnn/.XGn) in key order: X files keep their records
// sorted along the chain of data blocks, the same way a keyed table does. One block is held
// at a time. The walk checks what it passes: the chain must not loop or leave the file, and
// the records found must match the header's count.

#include <cstdint>
#include <optional>
#include <vector>

#include "engine/format/block_chain.h"
#include "engine/format/block_file.h"
#include "engine/format/coding.h"

namespace pdx {

class IndexRecordReader {
  public:
    // `file` must outlive the reader.
    explicit IndexRecordReader(const BlockFile& file);

    // Moves to the first record; false when the file holds none.
    bool first();
    // Moves to the next record; false after the last one (the count is checked then).
    bool next();
    // Stands again where block(), slot() and number() were taken.
    void seek(std::uint32_t block, std::uint32_t slot, std::uint32_t number);

    Bytes record() const;
    // 1-based number of the current record in the file's order.
    std::uint32_t number() const { return number_; }
    std::uint32_t block() const { return block_number_; }
    std::uint32_t slot() const { return static_cast<std::uint32_t>(slot_); }

  private:
    // Holds the first block from the walk's on that has records; false at the chain's end.
    bool load_first_with_records();
    bool load_next_block_with_records();

    const BlockFile& file_;
    std::size_t record_size_;
    std::vector<std::uint8_t> buffer_;
    std::vector<std::uint8_t> spare_;
    DataBlockHeader head_;
    std::uint32_t block_number_ = 0;
    std::size_t slot_ = 0;
    std::size_t count_ = 0;
    std::uint32_t number_ = 0;
    std::optional<BlockChainWalk> walk_;
};

}  // namespace pdx
