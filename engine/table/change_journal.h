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
// A write that fails, step 3 included, is undone at once from the old bytes read in step 1,
// so that the files stay as the caller's view of them (before the change) says. When even
// that fails the journal still holds the change, the journal refuses every later change
// (it would overwrite the only description of how to undo this one) and the next open of the
// table puts the change back.
//
// Several changes can be journaled as one group (a statement's): the journal then keeps the
// old bytes of every change of the group, appended one record after the other, and is marked
// empty only when the group ends. A group cut off, or left after an error its caller could
// not undo, is put back whole on the next open: the table is as it was before the group. A
// range already kept by the group is not kept again, nor bytes beyond a file's size when the
// group began (cutting the file undoes those), so that the journal never grows beyond the
// table's own size.
//
// Journal file ".NAME.DB.journal" (a dot file: never listed as a table), little-endian:
//   0   8 bytes  "PDXJRNL1" while it holds a change, zeros when empty
//   8   u64      checksum (FNV-1a) of the bytes from 16 to the record's length
//   16  u32      number of files, u32 number of saved ranges, u64 record length
//   32  files:   u16 name length, name (in the table's directory), u64 size before
//       ranges:  u16 file index, u64 offset, u32 length, the old bytes
// A group writes records of the same form tagged "PDXJRNL2", each followed by the next or by
// 8 zero bytes; they are put back last one first.

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common/error.h"

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
        // Queues `data` as write() does, without a copy: the caller keeps the bytes as they
        // are until the change is committed or given up (the blocks of an append).
        void write_borrowed(File& file, std::uint64_t offset, Bytes data);
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
            Bytes borrowed = {};             // the bytes instead of `data`, when not empty
            Bytes bytes() const { return borrowed.empty() ? Bytes(data) : borrowed; }
        };
        std::vector<Write> writes_;
    };

    // Journals the old bytes, writes the change, empties the journal (not within a group).
    // When a write fails, the mark of step 3 included, the old bytes are put back before the
    // error is passed on. Throws without writing anything when an earlier change could not be
    // undone (see above).
    void commit(Change& change);

    // Journals the changes committed from here to end_group() together.
    void begin_group();
    bool in_group() const { return group_.has_value(); }
    // True when a change could be neither finished nor undone, or a group was given up: the
    // files may hold part of a change, the journal takes no more changes, and only the next
    // open of the table puts things right.
    bool stuck() const { return stuck_; }
    // Marks the journal empty: the group's changes stand. When the mark fails the group stays
    // open and whole, so that the caller can undo its changes within it and end it again.
    void end_group();
    // The group is given up without being ended (its caller could not undo it): the journal
    // keeps it for the next open of the table and takes no more changes. Nothing happens when
    // the group has written nothing.
    void abandon_group() noexcept;

  private:
    struct Target {
        File* file;
        std::uint64_t size_before;
    };
    // Old bytes of a range a change overwrites, `target` an index into its targets.
    struct Saved {
        std::size_t target;
        std::uint64_t offset;
        std::vector<std::uint8_t> bytes;
    };
    // What a group has kept of one file: its size when the group first touched it, and the
    // ranges below that size whose old bytes are in the journal (begin -> end).
    struct KeptFile {
        std::uint64_t size_at_start = 0;
        std::map<std::uint64_t, std::uint64_t> ranges;
    };
    // No default member initializers: optional<Group>::emplace() value-initializes, and
    // some compilers refuse them in a nested class used before the enclosing one is complete.
    struct Group {
        std::uint64_t append_at;
        std::map<const File*, KeptFile> files;
    };

    std::vector<Saved> read_old_bytes(const Change& change,
                                      const std::vector<Target>& targets) const;
    std::vector<Saved> not_yet_kept(const std::vector<Target>& targets,
                                    const std::vector<Saved>& old) const;
    void note_kept(const std::vector<Target>& targets, const std::vector<Saved>& kept);
    std::vector<std::uint8_t> encode_record(const std::vector<Target>& targets,
                                            const std::vector<Saved>& saved, bool grouped) const;
    void put_back(const std::vector<Target>& targets, const std::vector<Saved>& old);
    void undo_failed(const std::vector<Target>& targets, const std::vector<Saved>& old,
                     const vaq::Error& error);
    void write_runs(const Change& change);
    void mark_empty();

    std::filesystem::path table_file_;
    File file_;
    bool holds_change_ = false;
    // An earlier change could be neither finished nor undone: only the next open of the
    // table can put it back.
    bool stuck_ = false;
    std::optional<Group> group_;
};

}  // namespace pdx
