#pragma once

// An open Paradox table: its .DB file, schema, code page and (when needed) its .MB file.
// Shared by the cursors over it; a cursor keeps its table alive.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/format/blob_file.h"
#include "engine/format/block_file.h"
#include "engine/format/text_codec.h"
#include "engine/table/schema.h"
#include "engine/table/table_lock.h"

namespace pdx {

class Cursor;
class TableWriter;

// What a table is opened for. Reading takes a shared lock on the table, writing an
// exclusive one (table_lock.h) and refuses a table another Paradox program holds open.
// Exclusive reading, for a restructure, locks as writing does but writes nothing.
enum class Access { kRead, kWrite, kExclusive };

class Table : public std::enable_shared_from_this<Table> {
  public:
    // Opens table `name` (letter case ignored, extension optional) of `directory`.
    // Throws vaq::Error("Table does not exist: NAME") when it is not there, and an error
    // naming the file when it is not a readable Paradox table. A table this process has open
    // already is shared: the same object is returned (made writable when asked for). Family
    // changes a crash interrupted, and a record change cut off in the middle, are put right
    // first (table_family.h, change_journal.h).
    static std::shared_ptr<Table> open(const std::filesystem::path& directory,
                                       std::string_view name, Access access = Access::kRead);
    // Opens the .DB file at `path` itself.
    static std::shared_ptr<Table> open_file(const std::filesystem::path& path,
                                            Access access = Access::kRead);

    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;
    ~Table();

    // The file name as found in the directory ("Transact.db"), used in every message.
    const std::string& name() const { return data_.name(); }
    const std::filesystem::path& path() const { return path_; }
    const TableHeader& header() const { return data_.header(); }
    const BlockFile& data_file() const { return data_; }
    BlockFile& data_file() { return data_; }
    const Schema& schema() const { return schema_; }
    const TextCodec& codec() const { return codec_; }

    std::uint32_t record_count() const { return header().num_records; }
    bool is_keyed() const { return header().file_type == FileType::kKeyedTable; }
    bool is_encrypted() const { return header().is_encrypted(); }

    // A cursor in table order (the chain of data blocks), on the first record.
    std::unique_ptr<Cursor> open_cursor() const;

    // The whole value of blob field `field`, given the field's bytes in a record. Values
    // longer than the leader come from the .MB file, opened on first use.
    std::vector<std::uint8_t> read_blob(const Field& field, Bytes field_bytes) const;

    // Incremented by every change to the table's records; cursors and lookup structures
    // that remember positions compare it.
    std::uint64_t change_count() const { return change_count_; }
    // Incremented by every change that may move records: every change but a record changed
    // where it stands. While it stays, every record keeps its block and slot.
    std::uint64_t layout_count() const { return layout_count_; }
    // Where the last record changed where it stands stands: data block and slot.
    std::uint32_t last_in_place_block() const { return last_in_place_block_; }
    std::uint32_t last_in_place_slot() const { return last_in_place_slot_; }
    void note_change() {
        ++change_count_;
        ++layout_count_;
    }
    void note_change_in_place(std::uint32_t block, std::uint32_t slot) {
        ++change_count_;
        last_in_place_block_ = block;
        last_in_place_slot_ = slot;
    }

    bool writable() const { return writer_ != nullptr; }
    // The record writer of a table opened for writing (table_writer.h). Throws vaq::Error
    // when the table was opened for reading only.
    TableWriter& writer();
    // Makes the next blob read open the .MB again, to see what a writer added.
    void forget_blob_file() { blobs_.reset(); }

  private:
    Table(std::filesystem::path path, BlockFile data, TextCodec codec);
    static std::shared_ptr<Table> open_unshared(const std::filesystem::path& path, Access access);
    void make_writable();
    void check_counts() const;
    const BlobFile& blob_file() const;

    std::filesystem::path path_;
    BlockFile data_;
    TextCodec codec_;
    Schema schema_;
    std::uint64_t change_count_ = 0;
    std::uint64_t layout_count_ = 0;
    std::uint32_t last_in_place_block_ = 0;
    std::uint32_t last_in_place_slot_ = 0;
    mutable std::optional<BlobFile> blobs_;
    TableLock lock_;
    std::unique_ptr<TableWriter> writer_;
};

}  // namespace pdx
