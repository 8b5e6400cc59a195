#pragma once

// The table order: records as they follow each other along the chain of data blocks, read
// one whole block at a time. Memory stays at two blocks whatever the table's size.
//
// Another cursor or editor may change the table while this cursor stands in it. The cursor
// notices it through the table's change count and, on its next move or read, reads its
// place again rather than trusting the block it holds:
//   - its record still in its block (perhaps at another slot): it stays on it;
//   - keyed table, record gone or moved: it stands on the first record whose key is not
//     below the key it stood on (the record itself when only its other fields changed),
//     found in its block, in the next one, or along the chain;
//   - unkeyed table, record gone: it stands on the record that took its slot (the next
//     one), or on the first record of the next block, or, when its block left the chain,
//     on the record that now has its number;
//   - a cursor that had reached the end stays there, on the new last record.
// After such a move the record number is counted again only when asked for. A record
// identical byte for byte to the one the cursor stood on counts as that record.
// A restructure cannot happen under a cursor: it refuses a table this process holds open.

#include <optional>
#include <vector>

#include "engine/format/block_chain.h"
#include "engine/format/block_file.h"
#include "engine/table/cursor.h"
#include "engine/table/index_key_order.h"

namespace pdx {

// The order of the primary key of a keyed table, comparing whole records.
KeyOrder primary_key_order(const Table& table);

class TableCursor final : public Cursor {
  public:
    explicit TableCursor(std::shared_ptr<const Table> table);

    void first() override;
    void next() override;
    bool eof() const override;
    std::uint32_t record_number() const override;
    bool has_record() const override;
    Bytes record() const override;
    // The whole block the current record stands in, as it stands now, and its number.
    Bytes current_block() const;
    std::uint32_t current_block_number() const;
    Bookmark bookmark() const override;
    void go_to(const Bookmark& bookmark) override;

  private:
    // Holds the first block from the walk's on that has records; false at the chain's end.
    bool load_first_with_records() const;
    bool load_next_block_with_records() const;
    bool load_block(std::uint32_t block) const;
    void check_count_at_end() const;

    // Finds the cursor's place again when the table changed since it last looked.
    void catch_up() const;
    // Reads what changed in the cursor's block when no record moved.
    void refresh_in_place() const;
    void refind(const std::vector<std::uint8_t>& current) const;
    bool find_in_own_block(const std::vector<std::uint8_t>& current, std::size_t slot) const;
    bool find_key_near(const std::vector<std::uint8_t>& current) const;
    void find_key_along_chain(const std::vector<std::uint8_t>& current) const;
    void go_to_number(std::uint32_t number) const;
    void stand_at_end() const;
    std::size_t first_slot_not_below(Bytes key_record) const;
    Bytes slot_bytes(std::size_t slot) const;

    const BlockFile& file_;
    std::size_t record_size_;
    std::optional<KeyOrder> key_order_;  // keyed tables
    // Where the cursor stands; reads may move it when the table changed under it.
    mutable std::vector<std::uint8_t> block_;
    mutable std::vector<std::uint8_t> spare_;
    mutable DataBlockHeader block_header_;
    mutable std::uint32_t block_number_ = 0;
    mutable std::size_t slot_ = 0;
    mutable std::size_t records_in_block_ = 0;
    mutable std::uint32_t record_number_ = 0;
    mutable bool number_known_ = true;
    mutable bool eof_ = true;
    // Where the cursor stands in the chain, and every block passed since the walk began.
    mutable std::optional<BlockChainWalk> walk_;
    mutable std::uint64_t seen_changes_ = 0;
    mutable std::uint64_t seen_layout_ = 0;
};

}  // namespace pdx
