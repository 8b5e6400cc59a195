#pragma once

// Record changes are written in place, as the format expects, but one post touches several
// places: a data block or two, the blocks of the primary index, the .MB, the headers. A
// process killed between two of those writes would leave a table whose counts, chain and
// index disagree. So every change is applied in three steps:
//
//   1. the bytes it is about to overwrite, and the sizes of the files, are written to the
//      journal file beside the table, with a checksum;
//   2. the new bytes are written in place;
//   3. the journal is marked empty.
//
// A journal found complete on opening the table means a change was cut off in step 2: its
// old bytes are put back and the files cut to their old sizes, so that the table is as it
// was before that change. A journal cut off itself (bad checksum) means step 2 had not
// begun. The journal is written to the operating system, not flushed to disk: it protects
// against a process that dies, and save-changes flushes the table itself.
//
// Journal file ".NAME.DB.journal" (a dot file: never listed as a table), little-endian:
//   0   8 bytes  "PDXJRNL1" while it holds a change, zeros when empty
//   8   u64      checksum (FNV-1a) of the bytes from 16 to the end
//   16  u32      number of files, u32 number of saved ranges, u64 total length
//   32  files:   u16 name length, name (in the table's directory), u64 size before
//       ranges:  u16 file index, u64 offset, u32 length, the old bytes

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/format/coding.h"
#include "engine/format/file.h"

namespace pdx {

class ChangeJournal {
  public:
    // The journal file of a table.
    static std::filesystem::path path_for(const std::filesystem::path& table_file);

    // Puts back the change a crash interrupted, if the journal of `table_file` holds one,
    // and removes the journal file. True when something was put back. The caller holds the
    // table's exclusive lock.
    static bool recover(const std::filesystem::path& table_file);

    // Creates the journal file of `table_file` (a leftover empty one is reused).
    explicit ChangeJournal(const std::filesystem::path& table_file);
    ChangeJournal(const ChangeJournal&) = delete;
    ChangeJournal& operator=(const ChangeJournal&) = delete;
    // Removes the journal file when it holds no change.
    ~ChangeJournal();

    // The writes of one change, applied together by commit().
    class Change {
      public:
        // Queues `data` for `file` at `offset`. Later writes to the same place win.
        void write(File& file, std::uint64_t offset, Bytes data);
        void write(File& file, std::uint64_t offset, std::vector<std::uint8_t>&& data);
        // Queues `data` for `file` at `offset` without keeping the bytes it overwrites: the
        // caller knows the file stays whole whatever part of it lands, except where it asks
        // for the old bytes to be kept (keep()).
        void write_unkept(File& file, std::uint64_t offset, Bytes data);
        // Keeps the `length` old bytes at `offset` of `file`, which another write of the change
        // overwrites, to be put back after a crash.
        void keep(File& file, std::uint64_t offset, std::size_t length);
        bool empty() const { return writes_.empty(); }

      private:
        friend class ChangeJournal;
        struct Write {
            File* file;
            std::uint64_t offset;
            std::vector<std::uint8_t> data;  // empty for a range that is only kept
            std::size_t kept_length;         // old bytes the journal keeps from offset
        };
        std::vector<Write> writes_;
    };

    // Journals the old bytes, writes the change, empties the journal. When a write fails the
    // old bytes are put back before the error is passed on.
    void commit(Change& change);

  private:
    struct Target {
        File* file;
        std::uint64_t size_before;
    };
    std::vector<std::uint8_t> build_record(const Change& change,
                                           const std::vector<Target>& targets) const;
    void mark_empty();

    std::filesystem::path table_file_;
    File file_;
    bool holds_change_ = false;
};

}  // namespace pdx
