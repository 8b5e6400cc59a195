#pragma once

// The checks of a table's data file that one sequential pass over its blocks can make, and
// what the pass keeps of every block for the checks that follow it (chain, free list,
// counts, primary and secondary indexes, blob references):
//   - every block's header and whether its records are all on disk;
//   - every record's values (record_check.h), its key order inside the block;
//   - the first and last key of every block, its largest auto-increment value;
//   - per secondary index, a fingerprint of the entries the block's records call for.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/format/block_file.h"
#include "engine/format/data_block.h"
#include "engine/table/index_key_order.h"
#include "tutil/block_scan.h"
#include "tutil/findings.h"
#include "tutil/fingerprint.h"
#include "tutil/record_check.h"

namespace vaq::tutil {

struct BlockState {
    pdx::DataBlockHeader head;
    std::size_t present = 0;   // bytes on disk
    bool possible = false;     // its addDataSize is possible for the record size
    std::size_t records = 0;   // records its header declares (when possible)
    std::size_t complete = 0;  // of those, records wholly on disk
    std::size_t bad_records = 0;
    std::int64_t max_auto_increment = 0;
};

class DataCheck {
  public:
    // `entry_plans`: how each secondary index forms its entries from a record. Without
    // `check_records` only the blocks' headers are taken in (what a rebuild's survey needs).
    DataCheck(const pdx::BlockFile& file, std::vector<EntryPlan> entry_plans, Findings& findings,
              bool check_records = true);

    void visit(const ScannedBlock& block);

    const pdx::BlockFile& file() const { return file_; }
    const RecordChecker& checker() const { return checker_; }
    // Indexed by block number; entry 0 unused. Blocks the file does not hold stay default.
    const std::vector<BlockState>& blocks() const { return blocks_; }
    std::size_t key_length() const { return key_length_; }
    const std::optional<pdx::KeyOrder>& key_order() const { return key_order_; }
    // First and last key of a block with records (key_length() bytes); only when the
    // records are checked.
    bool keeps_keys() const { return check_records_; }
    pdx::Bytes first_key(std::uint32_t block) const;
    pdx::Bytes last_key(std::uint32_t block) const;
    // The fingerprint of the entries index `index` takes from the records of `block`.
    const Fingerprint& entries(std::size_t index, std::uint32_t block) const {
        return prints_[index][block];
    }
    const std::vector<BlobReference>& blob_references() const { return blob_refs_; }
    std::size_t odd_dates() const { return odd_dates_; }

  private:
    void check_record(std::uint32_t block, std::size_t slot, pdx::Bytes record, BlockState& state);

    const pdx::BlockFile& file_;
    Findings& findings_;
    RecordChecker checker_;
    std::size_t record_size_;
    std::size_t key_length_ = 0;
    std::optional<pdx::KeyOrder> key_order_;
    std::vector<EntryPlan> plans_;
    std::vector<BlockState> blocks_;
    std::vector<std::uint8_t> first_keys_;
    std::vector<std::uint8_t> last_keys_;
    std::vector<std::vector<Fingerprint>> prints_;
    std::vector<BlobReference> blob_refs_;
    std::size_t odd_dates_ = 0;
    bool check_records_ = true;
};

}  // namespace vaq::tutil
