#pragma once

// Writes a table's .DB from scratch, records one after the other in the order given, every
// block full except the last, chained 1, 2, 3 ..., and the values of its blob fields into a
// fresh .MB beside it (modification number 1, as a restructure leaves them). What a rebuild
// needs for the new table and for its key-violation and problem tables.

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <vector>

#include "engine/format/file.h"
#include "engine/format/table_header.h"
#include "engine/table/blob_store.h"
#include "engine/table/primary_index_writer.h"
#include "tutil/write_behind.h"

namespace vaq::tutil {

// Whole values of blob fields, by field index.
using BlobValues = std::map<std::size_t, std::vector<std::uint8_t>>;

// Whether finish() flushes the file to disk, or leaves that to the caller: a staged family
// flushes every file it swaps in, once.
enum class FinishFlush : bool { kFlush, kLeaveToCaller };

class TableFileWriter {
  public:
    // `header` describes the table: fields, key fields, level, block size, language, and
    // every byte it does not interpret; its counts are set by finish(). Creates `path` (it
    // must not exist) and `blob_path` when the table has blob fields.
    TableFileWriter(const std::filesystem::path& path, pdx::TableHeader header,
                    const std::optional<std::filesystem::path>& blob_path);

    // Appends a record. Blob fields take their value from `blobs`; a blob field missing there
    // is written empty. The record's bytes before each blob pointer are kept as they are.
    void add(pdx::Bytes record, const BlobValues& blobs);
    void add(pdx::Bytes record);
    // Appends records that lie back to back in `records` (a whole number of records), as
    // add(record) does each of them.
    void add_records(pdx::Bytes records);
    // Sets aside room on disk for up to `blocks` blocks before they are written: the file
    // system then finds their room once instead of block by block. Only a hint; finish()
    // gives back what the table does not use.
    void reserve(std::size_t blocks);

    // Writes the last block and the header (auto-increment counter `auto_increment`).
    // Returns the level-1 entries of a primary index over the blocks.
    std::vector<pdx::IndexLeaf> finish(std::uint32_t auto_increment,
                                       FinishFlush flush = FinishFlush::kFlush);

    const pdx::TableHeader& header() const { return header_; }
    std::uint32_t records() const { return records_; }

  private:
    void start_block();
    std::uint8_t* block_being_filled();
    void close_block(std::uint16_t next);
    void write_out_pending();
    void write_last_piece();
    void put_blob(std::size_t field, std::size_t offset, const std::vector<std::uint8_t>* value,
                  std::uint8_t* out);

    pdx::File file_;
    pdx::TableHeader header_;
    std::optional<pdx::BlobFileBuilder> blobs_;
    std::vector<std::size_t> blob_fields_;
    std::vector<std::size_t> offsets_;
    std::size_t key_length_ = 0;
    std::size_t per_block_ = 0;  // records a block holds
    std::size_t in_block_ = 0;   // records in the block being filled, the last of pending_
    std::size_t blocks_per_write_ = 0;
    std::vector<pdx::IndexLeaf> leaves_;
    std::vector<std::uint8_t> pending_;  // the buffer of the next write, blocks in file order
    std::size_t pending_used_ = 0;
    std::uint32_t pending_first_ = 1;
    std::vector<std::uint8_t> in_flight_;  // the buffer being written
    std::optional<WriteBehind> behind_;    // after the buffers: it may be writing from one
    std::vector<std::uint8_t> scratch_;
    std::uint32_t records_ = 0;
    bool reserved_ = false;
};

}  // namespace vaq::tutil
