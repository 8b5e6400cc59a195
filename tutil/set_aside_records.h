#pragma once

// The records a rebuild sets aside (key violations, problem records) until their tables are
// written, in the order they came. However many there are, they take a bounded amount of
// memory: past the bound they wait in a file of their own, read back in one pass.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

#include "engine/format/file.h"
#include "tutil/table_file_writer.h"

namespace vaq::tutil {

// A record bound for one of a rebuild's tables, with the values of its blob fields.
struct Carried {
    std::vector<std::uint8_t> bytes;
    BlobValues blobs;
};

class SetAsideRecords {
  public:
    // `spill_file` is made when the records outgrow `memory_bound` bytes and removed with
    // this object (or by clear()).
    SetAsideRecords(std::filesystem::path spill_file, std::size_t memory_bound);
    SetAsideRecords(const SetAsideRecords&) = delete;
    SetAsideRecords& operator=(const SetAsideRecords&) = delete;
    ~SetAsideRecords();

    void push_back(Carried record);
    std::uint64_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    void clear();
    // Calls `visit` for every record, in the order they came.
    void for_each(const std::function<void(const Carried&)>& visit);

  private:
    void spill(const Carried& record);
    void write_pending();

    std::filesystem::path spill_path_;
    std::size_t memory_bound_;
    std::size_t memory_used_ = 0;
    std::vector<Carried> held_;  // the first records, in memory
    std::optional<pdx::File> spill_;
    std::uint64_t spill_end_ = 0;
    std::vector<std::uint8_t> pending_;  // encoded records not yet written to the file
    std::uint64_t count_ = 0;
};

}  // namespace vaq::tutil
