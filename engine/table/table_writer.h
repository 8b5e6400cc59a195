#pragma once

// Record changes of a table open for writing: append, change and delete, each one a change
// that is journaled (change_journal.h) and written to the operating system before the call
// returns, except a record changed where it stands: such changes are held back, a block at
// a time, until save changes, close, or a change elsewhere (table_pager.h).
//
// Keyed tables keep their records in key order. A record goes into the data block whose
// range holds its key (found through the .PX); a full block is split in two halves, except
// that a record after the last one of the table opens a new block after the last block. A
// block that loses its last record leaves the chain for the free list, and so does a block
// whose records fit, together with a neighbour's, into half a block: they move into the
// neighbour. New blocks come from the free list before the file grows. Block 1 is never
// freed: when it empties, the records of its neighbour move into it and the neighbour is
// freed. Unkeyed tables take new
// records at the end of the last block. A table that has 65,535 blocks and needs another is
// full: the change is refused and nothing is written.
//
// Every change keeps the header as the format requires: record count, blocks in use and in
// the file (and 0x3A), first and last block, free list, the auto-increment counter (the
// last value handed out, never below a value written), the change counters at 0x70/0x74 and
// the update time.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/format/block_image.h"
#include "engine/format/table_header.h"
#include "engine/table/change_journal.h"
#include "engine/table/edit_buffer.h"
#include "engine/table/index_cursor.h"
#include "engine/table/index_maintenance.h"
#include "engine/table/primary_index_writer.h"
#include "engine/table/primary_key.h"
#include "engine/table/record_blobs.h"
#include "engine/table/table_pager.h"

namespace pdx {

class Table;

// Where a record stands after a change: its block and slot, and its 1-based number in table
// order.
struct StoredRecord {
    RecordPosition position;
    std::uint32_t record_number = 0;
};

// A stored record to change or delete: its bytes, and where it stands when the caller knows
// (a cursor in table order does). Without a position, or when the position holds another
// record, the record is looked for: through the primary index in a keyed table, along the
// chain otherwise.
struct RecordRef {
    Bytes record;
    std::optional<RecordPosition> position;
    std::uint32_t record_number = 0;  // 0 when not known
    // The whole block of `position` as it stands now, when the caller holds it (a cursor on
    // the record does), so that the writer need not read it again.
    Bytes block = {};
};

class TableWriter {
  public:
    // `table` is open for reading and writing. Opens the .PX (keyed tables) and the change
    // journal; the chain of data blocks is checked against the header and the .PX before
    // the first change that needs it (check_chain). Refuses tables this engine cannot change
    // safely: encrypted ones, damaged ones, and ones with maintained secondary indexes nobody
    // maintains (index_maintenance.h). Alpha keys under a sort order whose collation is not known
    // are refused only where a key must be placed among keys it cannot be compared with.
    explicit TableWriter(Table& table);
    TableWriter(const TableWriter&) = delete;
    TableWriter& operator=(const TableWriter&) = delete;
    ~TableWriter();

    // Stores a new record. Throws vaq::Error("Key violation in NAME.") when its key is
    // taken, and the errors of full tables; nothing is written then.
    StoredRecord insert(const EditBuffer& record);
    // Stores `records` in their order as one change: one journal entry, each block they fill
    // written once, the header once. It is the append of an import or of a generator, which
    // would otherwise pay for a journaled change per record. A process killed meanwhile
    // leaves the table as it was before the call or with every record of it. When record k
    // is refused (the errors of insert()), the records before it are stored, `stored` is k,
    // and the error is passed on; on success `stored` is records.size(). `placed`, when given,
    // receives where each stored record went (a later record of the same call may move an
    // earlier one of a keyed table on). Tables with secondary indexes or blob fields take the
    // records one change each, as insert() does.
    void insert_all(std::span<const EditBuffer> records, std::size_t& stored,
                    std::vector<RecordPosition>* placed = nullptr);
    // Replaces the record `at` by `record`. A keyed record whose key changes moves to its
    // new place.
    StoredRecord update(const RecordRef& at, const EditBuffer& record);
    // Deletes the record `at`; returns where the record that followed it now stands, or
    // nothing when it was the last one.
    std::optional<StoredRecord> remove(const RecordRef& at);

    // Changes records where they stand, in table order, block after block: `change` is given
    // each record's bytes and changes them there, returning true when it did. The changes
    // are those of update() on a record whose key, index entries, .MB values and
    // auto-increment values stay as they were (anything else is refused with an error before
    // the record is written), and they are held back and written as update() holds such
    // changes: a process killed at any moment leaves each record as it was or as it became.
    // `after_record` is called after each record (a progress report; it must not change the
    // table). Returns how many records changed; the ones changed before an error stay changed.
    std::uint64_t change_each_in_place(const std::function<bool(MutableBytes record)>& change,
                                       const std::function<void()>& after_record = {});

    // Writes every change held back into the file: from then on the operating system has
    // it, and a crash of this process loses none of it.
    void save_changes();
    // save_changes(), then pushes everything written so far to disk.
    void flush();

    // The changes of one statement, journaled as one group (change_journal.h): a crash, or a
    // failed statement whose caller could not put back what it wrote, leaves the table to be
    // put back as it was before the statement on its next open. While it lasts no record is
    // held back: every change goes through the journal.
    class Statement {
      public:
        explicit Statement(TableWriter& writer);
        Statement(const Statement&) = delete;
        Statement& operator=(const Statement&) = delete;
        // Without finish() the journal keeps the statement's changes for the next open and
        // the writer takes no more changes.
        ~Statement();
        // Flushes the table and lets the statement's changes stand. When it throws the
        // statement is still under way: its changes can be undone and finish() called again.
        void finish();

      private:
        TableWriter& writer_;
        bool finished_ = false;
    };

  private:
    struct Work;
    class ChangeGuard;

    StoredRecord insert_into(Work& w, const EditBuffer& source);
    std::size_t insert_together(std::span<const EditBuffer> records,
                                std::vector<RecordPosition>* placed);
    void append_unkeyed(Work& w, std::span<const EditBuffer> records, std::size_t& accepted,
                        std::vector<RecordPosition>* placed);
    StoredRecord insert_record(Work& w, std::vector<std::uint8_t>& record);
    StoredRecord insert_keyed(Work& w, const std::uint8_t* record);
    StoredRecord insert_unkeyed(Work& w, const std::uint8_t* record);
    BlockImage& block_to_append_to(Work& w);
    std::optional<StoredRecord> remove_at(Work& w, RecordPosition at, std::uint32_t number);
    std::optional<RecordPosition> merge_sparse_neighbours(Work& w, std::uint16_t b,
                                                          std::size_t slot);
    RecordPosition locate(Work& w, const RecordRef& at, std::uint32_t& number);
    void check_key_free(Bytes key);

    BlockImage& allocate(Work& w);
    void link_after(Work& w, BlockImage& existing, BlockImage& added);
    void link_only(Work& w, BlockImage& added);
    void unlink_and_free(Work& w, std::uint16_t number);

    std::uint32_t number_of(Work& w, RecordPosition at);

    void check_chain();
    Work& begin_work();
    void commit(Work& w);
    std::optional<StoredRecord> update_where_it_stands(const RecordRef& at,
                                                       const EditBuffer& source);
    void change_where_it_stands(BlockImage& image, std::size_t slot, Bytes record, Bytes old);
    bool keeps_what_in_place_needs(Bytes old, Bytes record) const;
    void discard() noexcept;
    void refuse_when_unusable() const;

    Table& table_;
    std::size_t record_size_ = 0;
    std::size_t block_size_ = 0;
    // The auto-increment fields, found once.
    std::vector<const Field*> auto_increment_fields_;
    std::optional<PrimaryKey> key_;  // of a keyed table
    std::optional<BlockFile> index_file_;
    std::unique_ptr<PrimaryIndexWriter> index_;
    std::unique_ptr<IndexMaintainer> maintainer_;
    RecordBlobs blobs_;
    ChangeJournal journal_;
    TablePager pager_;
    std::unique_ptr<Work> work_;
    bool unflushed_ = false;
    // Why this writer takes no more changes besides a stuck journal (empty while it does): its
    // view of the primary index could not be read again after a change failed.
    std::string unusable_;
    bool chain_checked_ = false;
};

}  // namespace pdx
