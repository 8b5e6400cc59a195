#pragma once

// A walk along a chain of blocks of a BlockFile (block_file.h): the data blocks of a table or
// of an index level, from the header's first block, or a free list. Each block is checked by
// a ChainGuard before it is read, so that a damaged chain neither loops nor leaves the file:
// the walk throws FormatError naming the chain instead. The caller reads each block as it
// needs it (its header alone, or the whole block) and moves on to the block it names:
//
//   BlockChainWalk walk(file, file.header().first_block, "chain of data blocks");
//   for (; !walk.done(); walk.advance(head.next_block)) { head = walk.read_header(); ... }
//
// After the walk, from() is the last block of the chain (0 for an empty chain).
//
// A reader that keeps its place between calls (a cursor) keeps its walk too, so that the
// blocks it steps on later are checked against every block it has passed since the head.

#include <cstdint>
#include <vector>

#include "engine/format/block_file.h"
#include "engine/format/data_block.h"

namespace pdx {

class BlockChainWalk {
  public:
    // Starts at `head` (0: an empty chain); `chain_name` names the chain in messages.
    BlockChainWalk(const BlockFile& file, std::uint32_t head, const char* chain_name);

    bool done() const { return block_ == 0; }
    // The block the walk stands on.
    std::uint32_t block() const { return block_; }
    // The block before it; 0 when block() is the head.
    std::uint32_t from() const { return from_; }

    // The block header of block() as the file holds it; only its bytes are read.
    DataBlockHeader read_header() const;
    // block() whole, checked as BlockFile::read_data_block checks it.
    DataBlockHeader read(std::vector<std::uint8_t>& buffer) const;
    // Moves on to `next`, the block that block() names (0 ends the chain).
    void advance(std::uint32_t next);
    // Goes on from `block`, a block of the chain reached another way (a bookmark, a search
    // near the previous place), without checking it again.
    void stand_on(std::uint32_t block);

  private:
    const BlockFile& file_;
    ChainGuard guard_;
    std::uint32_t block_ = 0;
    std::uint32_t from_ = 0;
};

}  // namespace pdx
