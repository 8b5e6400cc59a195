#pragma once

// The primary index (.PX) of a keyed table that is open for writing, held in memory as a
// tree of its blocks and kept in step with the data blocks one change at a time: a data
// block's record count, a new level-1 entry when a data block is split or appended, the
// removal of a freed block's entry, a new first key. Index blocks split in half when full
// and a new root level grows when the root splits; an emptied index block is freed and a
// root left with one child gives way to it. Only the blocks a change touches are written.
//
// Counts above level 1 are the sums of the counts below. They are stored in 16 bits; a sum
// beyond 65535 is stored as 65535 (no file seen comes near it, and the format has no room).
//
// The header is kept as the format requires: 0x06 entries at all levels, blocks in use and
// in the file, first and last block of the chain that links the index blocks of all levels,
// the free list, root and height, and the index stamp (0x2C), which moves on with every
// change. A bulk build (restructure) fills each block to one below its capacity, as the
// BDE does.

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "engine/format/block_file.h"
#include "engine/format/coding.h"
#include "engine/format/index_tree_build.h"
#include "engine/table/change_journal.h"
#include "engine/table/index_key_order.h"

namespace pdx {

class PrimaryIndexWriter {
  public:
    // Loads the tree of `file` (opened for reading and writing). `order` compares keys
    // (the leading key-length bytes of a record). Throws FormatError naming the file when
    // the tree is damaged.
    PrimaryIndexWriter(BlockFile& file, KeyOrder order);
    PrimaryIndexWriter(const PrimaryIndexWriter&) = delete;
    PrimaryIndexWriter& operator=(const PrimaryIndexWriter&) = delete;

    BlockFile& file() { return file_; }
    std::size_t key_length() const { return key_length_; }
    bool empty() const { return header_.index_levels == 0; }
    // True when changes were made since the last commit or reload.
    bool changed() const { return changed_; }

    // The level-1 entries in key order.
    std::vector<IndexLeaf> leaves() const;

    // The data block whose range holds `key`: the last one whose first key is not above it,
    // or the first one. The index must not be empty. Throws vaq::Error when the table's sort
    // order cannot tell where the key belongs.
    std::uint16_t find_block(Bytes key) const;
    // Records in the data blocks before `block` along the chain.
    std::uint32_t records_before(std::uint16_t block) const;
    bool has_block(std::uint16_t block) const { return leaf_of_.count(block) != 0; }

    // Changes, made in memory until stage() hands them over.
    void set_count(std::uint16_t block, std::uint32_t count);
    void set_first_key(std::uint16_t block, Bytes key);
    // Adds the entry of `block` right after the one of `after`, or as the only entry of an
    // empty index when `after` is 0.
    void insert_after(std::uint16_t after, std::uint16_t block, Bytes key, std::uint32_t count);
    void remove(std::uint16_t block);
    // The entry of `old_block` now describes `new_block` (a data block moved).
    void rename_block(std::uint16_t old_block, std::uint16_t new_block);

    // True when the changes so far can still be written: the file needs at most `height + 1`
    // new blocks for one split path. Call before a change that may split.
    bool has_room_for_split() const;

    // Adds the writes of every changed block and of the header to `change`.
    void stage(ChangeJournal::Change& change);
    // After the change was committed: the file's header and size are brought up to date.
    void committed();
    // After a change failed: everything is read again from the file. When that fails the
    // writer holds no tree and must not be used again.
    void reload();

    // Writes the index of a table whose data blocks are `leaves` (in chain order) into
    // `file`, which holds only the empty header `header`.
    static void build(File& file, TableHeader header, const std::vector<IndexLeaf>& leaves);

  private:
    struct Entry {
        std::vector<std::uint8_t> key;
        std::uint16_t child = 0;
        std::uint32_t count = 0;
    };
    struct Node {
        std::uint16_t block = 0;
        int level = 1;
        std::uint16_t parent = 0;
        std::uint16_t next = 0;
        std::uint16_t prev = 0;
        std::vector<Entry> entries;
    };

    void load();
    void load_node(std::uint16_t block, int level, std::uint16_t parent, int depth);
    std::size_t capacity() const;
    int compare(Bytes a, Bytes b) const;
    // The node of `block`; a block the tree does not hold is reported as damage of the file
    // (FormatError), never as a failed lookup.
    Node& node(std::uint16_t block);
    const Node& node(std::uint16_t block) const;
    std::size_t index_in_parent(const Node& child) const;
    void set_child_link(const Entry& entry, int level, std::uint16_t parent);
    std::uint32_t total(const Node& n) const;
    void add_to_ancestors(std::uint16_t node_block, std::int64_t delta);
    void propagate_first_key(std::uint16_t node_block);
    void insert_entry(std::uint16_t node_block, std::size_t at, Entry entry, bool add_count_above);
    void split(std::uint16_t node_block);
    void remove_entry(std::uint16_t node_block, std::size_t at);
    void collapse_root();
    std::uint16_t allocate_block();
    void link_after(std::uint16_t existing, std::uint16_t added);
    void unlink_and_free(std::uint16_t block);
    void touch(std::uint16_t block) {
        dirty_.insert(block);
        changed_ = true;
    }

    BlockFile& file_;
    KeyOrder order_;
    std::size_t key_length_ = 0;
    TableHeader header_;
    std::map<std::uint16_t, Node> nodes_;
    std::map<std::uint16_t, std::uint16_t> leaf_of_;  // data block -> index block
    std::vector<std::uint16_t> free_;                 // the free list, head last
    std::set<std::uint16_t> dirty_;
    std::set<std::uint16_t> freed_;
    bool changed_ = false;
};

}  // namespace pdx
