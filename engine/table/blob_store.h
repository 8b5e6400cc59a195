#pragma once

// Writing values of memo and blob fields into a table's .MB file (layouts in blob_file.h
// and blob_blocks.h).
//
// BlobStore serves record changes: each value written gets the next modification number of
// the .MB header, stored with the value and in the record's pointer; a new value goes into
// space nobody uses (a free block, a free slot of a small-value block, or the end of the
// file) and the old value is given up in the same change, so that a record never points at
// space that holds something else. Free space is found by walking the file's blocks once,
// on the first change. The header's free-space hints (0x38-0x3F) are cleared: a reader that
// trusts them then finds no space rather than space that is no longer free.
//
// BlobFileBuilder writes a fresh .MB from the start, as a restructure does: every value gets
// modification number 1 and the header counter is 1; small values are packed into type-3
// blocks one after the other.

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <vector>

#include "engine/format/blob_blocks.h"
#include "engine/format/blob_file.h"
#include "engine/format/field_codec.h"
#include "engine/format/file.h"
#include "engine/table/change_journal.h"

namespace pdx {

// Creates an empty .MB (its header block only) at `path`.
void create_blob_file(const std::filesystem::path& path, std::uint16_t modification_count = 1);

class BlobStore {
  public:
    // Opens the .MB at `path` for reading and writing.
    explicit BlobStore(const std::filesystem::path& path);

    File& file() { return file_; }

    // Places `value` (longer than its field's leader) and returns the pointer for the
    // record. The writes go into `change`.
    BlobPointer store(Bytes value, ChangeJournal::Change& change);
    // Gives up the space of a value stored before. A pointer that does not lead to a value
    // of this file is left alone: the space stays taken, nothing else is harmed.
    void release(const BlobPointer& pointer, ChangeJournal::Change& change);

    // Stages the header when anything changed.
    void stage(ChangeJournal::Change& change);
    void committed();
    // Forgets what the failed change planned; the file is read again when needed.
    void discard();

  private:
    struct SmallBlock {
        SmallBlobBlock block;
        bool dirty = false;
    };
    void scan();
    std::uint16_t next_modification();
    std::uint64_t take_units(std::uint16_t units);
    SmallBlock& small_block(std::uint64_t offset);
    std::optional<std::vector<std::uint8_t>> read_unit_head(std::uint64_t offset, std::size_t n);

    File file_;
    std::string name_;
    bool scanned_ = false;
    bool changed_ = false;
    std::vector<std::uint8_t> header_;                    // the first unit as it will be written
    std::uint64_t end_ = 0;                               // file size after the planned writes
    std::map<std::uint64_t, std::uint16_t> free_blocks_;  // offset -> units
    // Free blocks this change cut out of larger ones: their heads still have to be written.
    std::map<std::uint64_t, std::uint16_t> pending_free_heads_;
    std::vector<std::uint64_t> small_blocks_;      // type-3 blocks, newest last
    std::map<std::uint64_t, SmallBlock> touched_;  // type-3 blocks this change reads
};

class BlobFileBuilder {
  public:
    // Creates the file; it must not exist.
    explicit BlobFileBuilder(const std::filesystem::path& path);

    // Appends `value` (longer than its field's leader) and returns its pointer.
    BlobPointer add(Bytes value);
    // Writes what is still buffered and the header.
    void finish();

  private:
    void flush_small();

    File file_;
    std::uint64_t end_ = kBlobUnit;
    std::optional<SmallBlobBlock> small_;
    std::uint64_t small_offset_ = 0;
};

}  // namespace pdx
