#pragma once

// The table order: records as they follow each other along the chain of data blocks, read
// one whole block at a time. Memory stays at two blocks whatever the table's size.

#include <optional>
#include <vector>

#include "engine/format/block_file.h"
#include "engine/table/cursor.h"

namespace pdx {

class TableCursor final : public Cursor {
  public:
    explicit TableCursor(std::shared_ptr<const Table> table);

    void first() override;
    void next() override;
    bool eof() const override { return eof_; }
    std::uint32_t record_number() const override { return record_number_; }
    Bytes record() const override;
    Bookmark bookmark() const override;
    void go_to(const Bookmark& bookmark) override;

  private:
    // Reads the chain from `block` on until a block with records; false at the chain's end.
    bool load_next_block(std::uint32_t block, std::uint32_t from);
    void check_count_at_end() const;

    const BlockFile& file_;
    std::size_t record_size_;
    std::vector<std::uint8_t> block_;
    std::vector<std::uint8_t> spare_;
    DataBlockHeader block_header_;
    std::uint32_t block_number_ = 0;
    std::size_t slot_ = 0;
    std::size_t records_in_block_ = 0;
    std::uint32_t record_number_ = 0;
    bool eof_ = true;
    std::optional<ChainGuard> guard_;
};

}  // namespace pdx
