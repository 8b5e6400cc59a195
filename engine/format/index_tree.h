#pragma once

// The B-tree of a primary index (.PX) or of a secondary index (.Ynn/.YGn over its X file).
// The file has the table header without the 0x58 extension and no field names; its field
// descriptors are those of the key. Every block holds entries of recordSize bytes:
//
//   0        key          the key fields' bytes as stored in the records; the key of the
//                         first record under the entry
//   key + 0  u16 block    stored like a Short field (80 01 = block 1): at level 1 a block of
//                         the data file (.DB for a .PX, the X file for a Y), above it a block
//                         of this file
//   key + 2  u16 count    stored like a Short: at level 1 the records in that data block,
//                         above it the sum of the counts in the child block
//   key + 4  u16          always 80 00
//
// The root block is header 0x1E and the tree height 0x20 (0 for an empty index). The blocks
// of all levels share one next/prev chain, which therefore says nothing about levels: the
// tree is read from its root only.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "engine/format/block_file.h"
#include "engine/format/coding.h"

namespace pdx {

struct TreeEntry {
    static constexpr std::size_t kTrailerSize = 6;

    Bytes key;
    std::uint16_t block = 0;
    std::uint16_t count = 0;

    static TreeEntry decode(const std::uint8_t* p, std::size_t key_length);
    // Writes key_length + 6 bytes; `key` must be key_length bytes long.
    void encode(std::uint8_t* p) const;
};

// A level-1 entry with its key copied out of the block it was read from.
struct TreeLeaf {
    std::vector<std::uint8_t> key;
    std::uint16_t block = 0;
    std::uint16_t count = 0;
};

class IndexTree {
  public:
    // Opens a .PX or Y file. Throws vaq::Error when it cannot be opened and FormatError
    // naming the file when it is not an index tree.
    static IndexTree open(const std::filesystem::path& path);
    // Takes an open file; checks that its header is one of an index tree.
    explicit IndexTree(BlockFile file);

    const BlockFile& file() const { return file_; }
    const std::string& name() const { return file_.name(); }
    std::size_t key_length() const { return key_length_; }
    int levels() const { return file_.header().index_levels; }

    // The level-1 entries in key order, read by walking the tree from its root. Throws
    // FormatError naming the file when the tree is damaged: a block outside the file or
    // reached twice, a block without entries, a level deeper or shallower than the header
    // says, a count that is not the sum of its child's counts, or an entry total that
    // differs from the header's.
    std::vector<TreeLeaf> leaves() const;

  private:
    struct Walk;

    BlockFile file_;
    std::size_t key_length_ = 0;
};

}  // namespace pdx
