#pragma once

// Cursors that walk a table in the order of one of its indexes.
//
//   primary key    A keyed table keeps its records in key order along the chain of data
//                  blocks, so the walk follows the chain and checks, record by record, that
//                  the keys ascend.
//   maintained     The X file's records are in index order and carry the primary key of
//   secondary      their record: each is found in the table through its Blk Num hint, else
//                  through the level-1 entries of the .PX, else through a scan of the table.
//   not maintained The X file's records point at physical positions (block and offset).
//   secondary      They are trusted only when every entry points at a distinct record that
//                  holds the entry's key and the counts agree; otherwise the index is stale
//                  and the table is sorted here by the index's fields.
//
// When another cursor or editor changes the table, an index cursor notices it through the
// table's change count on its next move or read and starts again from fresh files: the
// X file and .PX opened anew (maintained), the list of positions made anew (the others).
// It then walks from the first entry to its place: the entry of the record it stood on when
// that is still there, else the first entry whose key is not below the one it stood on (a
// cursor at the end stays at the end). That walk reads the index from its start.
//
// Every record is visited exactly once. A damaged index (a tree or chain that loops or
// leaves its file, counts that disagree, entries that point at no record or twice at one)
// raises FormatError naming the file. Stale non-maintained indexes are not damage.

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "engine/format/block_file.h"
#include "engine/format/index_records.h"
#include "engine/table/cursor.h"
#include "engine/table/index_catalog.h"
#include "engine/table/index_key_order.h"

namespace pdx {

// The cursor in the order of the primary key; an unkeyed table has none and is walked in
// table order.
std::unique_ptr<Cursor> open_primary_cursor(const Table& table);
// The cursor in the order of `index`, one of the table's secondary indexes.
std::unique_ptr<Cursor> open_index_cursor(const Table& table, const SecondaryIndex& index);
// The cursor in the order of the index called `index_name` (letter case ignored); an empty
// name means the primary key. Throws vaq::Error "Index does not exist: NAME on TABLE".
std::unique_ptr<Cursor> open_index_cursor(const Table& table, std::string_view index_name);

// A record of a table by where it lies: data block (1-based) and slot in the block.
struct RecordPosition {
    std::uint32_t block = 0;
    std::uint32_t slot = 0;
    friend bool operator==(const RecordPosition&, const RecordPosition&) = default;
    friend auto operator<=>(const RecordPosition&, const RecordPosition&) = default;
};

// Reads records of a table by position, keeping the last block read.
class DataBlockCache {
  public:
    explicit DataBlockCache(const Table& table);
    // Throws FormatError naming the table when the block is outside the file or does not
    // hold that slot.
    Bytes record(RecordPosition position);
    // Records in `block`.
    std::size_t records_in(std::uint32_t block);

  private:
    void load(std::uint32_t block);

    const Table& table_;
    const BlockFile& file_;
    std::vector<std::uint8_t> buffer_;
    std::uint32_t block_ = 0;
    std::size_t count_ = 0;
    std::uint64_t change_count_ = 0;
};

// Walks the table's chain and checks that the primary key ascends.
class PrimaryKeyCursor final : public Cursor {
  public:
    explicit PrimaryKeyCursor(std::shared_ptr<const Table> table);

    void first() override;
    void next() override;
    bool eof() const override { return chain_->eof(); }
    std::uint32_t record_number() const override { return chain_->record_number(); }
    Bytes record() const override { return chain_->record(); }
    Bookmark bookmark() const override { return chain_->bookmark(); }
    void go_to(const Bookmark& mark) override;

  private:
    void remember_key();

    std::unique_ptr<Cursor> chain_;
    KeyOrder order_;
    std::vector<std::uint8_t> previous_;
};

// Walks a maintained X file and finds each entry's record by its primary key.
class MaintainedIndexCursor final : public Cursor {
  public:
    MaintainedIndexCursor(std::shared_ptr<const Table> table, const SecondaryIndex& index);

    void first() override;
    void next() override;
    bool eof() const override;
    std::uint32_t record_number() const override;
    Bytes record() const override;
    Bookmark bookmark() const override;
    void go_to(const Bookmark& mark) override;

  private:
    void reopen_files();
    void follow_changes();
    void follow_changes() const;
    bool entry_before(Bytes stood) const;
    struct Leaf {
        std::vector<std::uint8_t> key;
        std::uint32_t block = 0;
    };
    void load_primary_index();
    void resolve();
    std::optional<RecordPosition> find_in_block(std::uint32_t block, Bytes key);
    std::optional<RecordPosition> find_by_primary_index(Bytes key);
    std::optional<RecordPosition> find_by_scan(Bytes key);
    void check_order();
    void mark_visited(RecordPosition position);
    [[noreturn]] void fail(const std::string& what) const;

    SecondaryIndex index_;
    BlockFile x_file_;
    IndexRecordReader reader_;
    mutable DataBlockCache blocks_;
    KeyOrder order_;
    std::size_t key_width_ = 0;    // indexed fields at the front of an X record
    std::size_t pk_width_ = 0;     // the primary key after them
    std::size_t hint_offset_ = 0;  // Blk Num
    std::vector<Leaf> leaves_;     // level-1 entries of the .PX, in key order
    std::vector<bool> is_chain_block_;
    std::optional<std::vector<std::pair<std::vector<std::uint8_t>, RecordPosition>>> by_key_;
    std::vector<bool> visited_;  // per record slot: reached by an entry during this walk
    std::size_t slots_per_block_ = 1;
    std::vector<std::uint8_t> previous_;
    RecordPosition current_;
    std::uint32_t number_ = 0;
    bool eof_ = true;
    // The checks that need the whole walk (order, each record once) hold from first() on
    // and stop after a jump to a bookmark.
    bool checking_ = false;
    std::uint64_t seen_changes_ = 0;
};

// Walks a list of record positions made when the cursor opened, and again after each change
// of the table: the entries of a non-maintained X file when they hold, or the table sorted
// here by the index's fields.
class PositionListCursor final : public Cursor {
  public:
    PositionListCursor(std::shared_ptr<const Table> table, const SecondaryIndex& index);

    void first() override;
    void next() override;
    bool eof() const override;
    std::uint32_t record_number() const override;
    Bytes record() const override;
    Bookmark bookmark() const override;
    void go_to(const Bookmark& mark) override;

    // True when the index file was not trusted and the order was made here.
    bool sorted_here() const { return sorted_here_; }

  private:
    void build_positions();
    void hold();
    void follow_changes();
    void follow_changes() const;

    SecondaryIndex index_;
    KeyOrder order_;
    std::vector<std::uint8_t> held_;  // a copy of the current record, to find it again
    std::uint64_t seen_changes_ = 0;
    std::vector<RecordPosition> positions_;
    mutable DataBlockCache blocks_;
    std::size_t at_ = 0;
    bool eof_ = true;
    bool sorted_here_ = false;
};

}  // namespace pdx
