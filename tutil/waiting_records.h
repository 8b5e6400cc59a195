#pragma once

// The records of a keyed table that came out of key order during a rebuild, handed back in
// key order (records of one key in the order they came). However many there are, they take
// a bounded amount of memory: up to the bound they are held in memory; past it each load is
// sorted and written to a file of sorted runs, and the runs are merged as they are read
// back, each read through its own share of the bound.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

#include "engine/format/coding.h"
#include "engine/format/file.h"

namespace vaq::tutil {

class WaitingRecords {
  public:
    // True when the first record's key sorts before the second's; may throw when it cannot
    // tell.
    using Before = std::function<bool(pdx::Bytes, pdx::Bytes)>;

    // `spill_file` is made when the records outgrow `memory_bound` bytes and removed with
    // this object.
    WaitingRecords(std::size_t record_size, Before before, std::filesystem::path spill_file,
                   std::size_t memory_bound);
    WaitingRecords(const WaitingRecords&) = delete;
    WaitingRecords& operator=(const WaitingRecords&) = delete;
    ~WaitingRecords();

    void add(pdx::Bytes record);
    std::uint64_t size() const { return added_; }
    bool empty() const { return added_ == 0; }
    // Sorted runs written to the spill file so far.
    std::size_t runs_on_disk() const { return runs_.size(); }

    // Ends the adding: from here on the records are read in order.
    void start_reading();
    // The next record in order, valid until pop(); nothing when every record was read.
    std::optional<pdx::Bytes> next() const;
    void pop();

  private:
    // A sorted run in the spill file and what of it is read into memory.
    struct Run {
        std::uint64_t offset = 0;  // of its next record not yet in `buffer`
        std::uint64_t left = 0;    // records not yet in `buffer`
        std::vector<std::uint8_t> buffer;
        std::size_t at = 0;  // byte offset of the next record in `buffer`
        bool exhausted() const { return at == buffer.size() && left == 0; }
        pdx::Bytes head(std::size_t size) const { return pdx::Bytes(buffer).subspan(at, size); }
    };

    std::vector<std::uint32_t> sorted_load() const;
    void spill_load();
    void fill(Run& run, std::size_t records);
    // Orders the runs' heap: true when run `a` is to be read after run `b`.
    bool later(std::size_t a, std::size_t b) const;

    std::size_t size_;
    Before before_;
    std::filesystem::path spill_path_;
    std::size_t load_records_;  // records held in memory before a load is spilled
    std::optional<pdx::File> spill_;
    std::uint64_t spill_end_ = 0;
    std::uint64_t added_ = 0;
    std::vector<std::uint8_t> load_;  // records not spilled, in the order they came
    std::vector<Run> runs_;

    // Reading.
    std::vector<std::uint32_t> load_order_;  // without runs: the load read in this order
    std::size_t load_next_ = 0;
    std::vector<std::size_t> heap_;  // runs not exhausted; the next to read first
    std::size_t refill_records_ = 1;
};

}  // namespace vaq::tutil
