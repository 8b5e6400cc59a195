#pragma once

// The data blocks of a table open for writing, as its writer sees them, and how they reach the
// file. The writer (table_writer.h) decides what a change does to the blocks; the pager keeps
// them and writes them:
//
//   - the blocks of the change under way, and those of the last change kept for the next one:
//     the writer is the table's only writer (it holds the exclusive lock), so a block stays as
//     the last change left it until the writer changes it again;
//   - a journaled change: the block headers and the records that changed, then the header
//     bytes before its variable part, one change of the journal (change_journal.h);
//   - a record changed where it stands, held back instead: the bytes of one block at a time
//     and the header bytes they move on, written when a change touches another block or needs
//     the journal, on save changes, and when the table closes. Every read of the data file
//     sees the held bytes (BlockOverlay), so cursors of the table find the records as they
//     became;
//   - the pace of write-back: every few megabytes written the disk is asked to take the data
//     file's pages, so that the flush of save changes or close finds little left to write.

#include <cstdint>
#include <map>
#include <vector>

#include "engine/format/block_file.h"
#include "engine/format/block_image.h"
#include "engine/format/table_header.h"
#include "engine/table/change_journal.h"

namespace pdx {

class TablePager : private BlockOverlay {
  public:
    // `data` is the table's data file, open for writing; `journal` takes its changes. Both
    // outlive the pager.
    TablePager(BlockFile& data, ChangeJournal& journal);
    TablePager(const TablePager&) = delete;
    TablePager& operator=(const TablePager&) = delete;
    // Held changes must have been written (write_held_changes) or are lost.
    ~TablePager();

    // --- the blocks of a change ---------------------------------------------------------
    // Starts a change with the blocks the last one left.
    void begin_change();
    // Block `number` as the change has it; read from the file the first time.
    BlockImage& block(std::uint16_t number);
    // Block `number` made new and empty for the change (a block taken from the free list or
    // added to the file).
    BlockImage& new_block(std::uint16_t number);
    // The next block that block `number` names, read from its block header alone unless the
    // change has the block; `header` is the change's.
    std::uint16_t next_block_of(std::uint16_t number, const TableHeader& header);
    void mark_dirty(std::uint16_t number);
    std::size_t dirty_blocks() const { return dirty_.size(); }
    // Writes the change through the journal: the records held back first, then every dirty
    // block and `header`, together with what `change` holds already.
    void write_journaled(const TableHeader& header, ChangeJournal::Change& change);
    // Holds back record `slot` of `image`, rewritten where it stands over `replaced` (by the
    // change or by overwrite_record); `header` carries the counters it moved on.
    void hold_record(const BlockImage& image, std::size_t slot, Bytes replaced,
                     const TableHeader& header);
    // The change is in the file: its blocks are kept for the next one.
    void settle();

    // --- records changed where they stand, outside a change ---------------------------------
    // A block as it stands now, kept for the next change; taken from `as_it_stands` when it
    // is the whole block, read otherwise.
    BlockImage& settled_block(std::uint16_t number, Bytes as_it_stands);
    // Writes `record` into slot `slot` of `image` (a settled block) as it now stands; the
    // change of another block held back is written first. hold_record() then holds it.
    void overwrite_record(BlockImage& image, std::size_t slot, Bytes record);

    // True while changes are held back.
    bool holds_changes() const { return held_block_ != 0 || !held_header_.empty(); }
    // Writes what is held back: the records, then the header bytes.
    void write_held_changes();

  private:
    bool read_newer(std::uint32_t block, std::size_t offset_in_block,
                    MutableBytes out) const override;
    void stage_block(const TableHeader& header, BlockImage& image, ChangeJournal::Change& change);
    void hold(std::uint16_t block, Bytes block_now, std::size_t offset_in_block, Bytes replaced);
    void write_held_records();
    bool held_records_written_whole(ChangeJournal::Change& change) const;
    Bytes held_bytes() const;
    Bytes held_bytes_in_file() const;
    std::uint64_t held_offset() const;
    void update_held_header(const TableHeader& updated);
    void note_written(std::size_t bytes);

    BlockFile& data_;
    ChangeJournal& journal_;
    std::size_t record_size_;
    std::size_t block_size_;
    // The blocks of the change under way; dirty_ (ascending) those it changed.
    std::map<std::uint16_t, BlockImage> blocks_;
    std::vector<std::uint16_t> dirty_;
    // The block block() gave last (a run of appends asks for the same one record after
    // record), and the block marked dirty last; both forgotten when a change begins.
    BlockImage* recent_ = nullptr;
    std::uint16_t recent_number_ = 0;
    std::uint16_t marked_last_ = 0;
    // The blocks the last change read or wrote, as they now stand in the file. Emptied while
    // a change is under way.
    std::map<std::uint16_t, BlockImage> settled_;
    // The held block: the whole block as it reads now and as the file holds it, and the
    // range [held_begin_, held_end_) of it that changed. held_block_ is 0 when none is held.
    std::uint16_t held_block_ = 0;
    std::vector<std::uint8_t> held_;
    std::vector<std::uint8_t> held_in_file_;
    std::size_t held_begin_ = 0;
    std::size_t held_end_ = 0;
    // The header bytes before the variable part as they stand in the file (empty until
    // needed), so that a record changed in place does not encode the whole header again.
    std::vector<std::uint8_t> header_prefix_;
    // The header bytes as they must be once the records held back are written (empty when
    // none are held).
    std::vector<std::uint8_t> held_header_;
    // Bytes written to the data file since the disk was last asked to take its pages.
    std::size_t written_since_writeback_ = 0;
};

}  // namespace pdx
