#pragma once

// Keeping the secondary indexes of a table current while its records change.
//
// Maintained indexes (types 5 and 8) change with every record change, in the same journaled
// change as the table: the entry of a stored record is put in its place among the entries
// of the X file, the entry of a removed record is taken out. Entries go into the X block
// whose range holds their key (found through the Y tree); a full block is split in two
// halves, except that an entry after the last one opens a new block at the end. A block that
// loses its last entry leaves the chain for the free list; the first block of the chain stays
// (it takes over its neighbour's entries instead, or stays empty when it was the only one).
// The Y tree follows as the .PX follows the data blocks (primary_index_writer.h), and the X
// header's 0x2F takes the .PX stamp of the change.
//
// Indexes that are not maintained (types 3 and 6) point at record positions. On an unkeyed
// table a record stored at the end of the table, a record changed in place, and the removal
// of the last record leave every other record where it was, so their entries are kept up
// to date one by one too, and so is a record of a keyed table changed in place. Any other
// change (a removal from the middle, a record stored in or removed from a keyed table) moves
// records, and such an index is built anew when the table is flushed, at the latest when
// the table is closed; until then readers find it stale and sort the table themselves
// (index_cursor.h).

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "engine/format/block_file.h"
#include "engine/format/block_image.h"
#include "engine/table/change_journal.h"
#include "engine/table/index_key_order.h"
#include "engine/table/index_maintenance.h"
#include "engine/table/primary_index_writer.h"

namespace pdx {

class Table;

// The entries of one X file kept in key order one change at a time, with its Y tree.
class IndexEntryWriter {
  public:
    // Opens the X file and its tree for reading and writing. `order` compares X keys (the
    // leading key bytes of the entries). Throws FormatError naming the file when the two do
    // not fit together.
    IndexEntryWriter(const std::filesystem::path& x_path, const std::filesystem::path& y_path,
                     KeyOrder order);
    IndexEntryWriter(const IndexEntryWriter&) = delete;
    IndexEntryWriter& operator=(const IndexEntryWriter&) = delete;

    const TableHeader& header() const { return header_; }
    const std::string& name() const { return x_.name(); }

    // Puts `entry` in its place. Throws vaq::Error when the file is full or the sort order
    // cannot place its key.
    void insert(Bytes entry);

    // What a search does with an entry: passes over it, stops at it, or takes it.
    enum class Scan { kSkip, kStop, kTake };
    using Visitor = std::function<Scan(Bytes entry)>;
    // Shows `visit` the entries from the first one whose key is not below the key of `probe`,
    // in order, until it stops or takes one; returns the one taken.
    std::optional<std::vector<std::uint8_t>> find(Bytes probe, const Visitor& visit);
    // The same, and removes the entry taken.
    std::optional<std::vector<std::uint8_t>> remove(Bytes probe, const Visitor& visit);
    // The .PX stamp the entries agree with (X header 0x2F), written with the next change.
    void set_sync_stamp(std::uint8_t stamp);
    // The same, written to the file at once.
    void write_sync_stamp(std::uint8_t stamp);

    // Adds the writes of the changes so far to `change` (again, when called again).
    void stage(ChangeJournal::Change& change);
    void committed();
    // Forgets the changes so far.
    void discard();
    void flush();

  private:
    struct Place {
        std::uint16_t block = 0;
        std::size_t slot = 0;
    };

    std::optional<Place> locate(Bytes probe, const Visitor& visit);
    BlockImage& block(std::uint16_t number);
    BlockImage& allocate();
    void link_after(BlockImage& existing, BlockImage& added);
    void unlink_and_free(std::uint16_t number);
    void take_over_next(BlockImage& head);
    int compare(Bytes a, Bytes b) const;
    std::size_t upper_bound(const BlockImage& image, Bytes key) const;
    Bytes key_of(Bytes entry) const { return entry.first(key_width_); }

    BlockFile x_;
    BlockFile y_;
    KeyOrder order_;
    std::size_t key_width_ = 0;
    std::unique_ptr<PrimaryIndexWriter> tree_;
    TableHeader header_;
    std::map<std::uint16_t, BlockImage> blocks_;
    std::set<std::uint16_t> dirty_;
    bool changed_ = false;
    bool unflushed_ = false;
};

// The maintainer the table writer calls (index_maintenance.h): every secondary index of the
// table, maintained or not.
std::unique_ptr<IndexMaintainer> make_secondary_index_maintainer(Table& table);

// Builds again, in place of the old files, every index of `table` that is not maintained.
// The caller holds the table for writing.
void rebuild_snapshot_indexes(const Table& table);

}  // namespace pdx
