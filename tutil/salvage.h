#pragma once

// What a rebuild takes from a damaged table: every record that can still be read, wherever
// it lies, in table order: the blocks of the chain as far as it can be followed from the
// header's first block, then its tail that the header's last block leads back to (when a
// damaged block cut the chain), then every other block that holds records (blocks off the
// chain), in file order. Each block is handed over once, so no record is handed over twice
// even when the chain loops.
//
// The file is read in one sequential pass (block_scan.h) that finds what each block holds.
// While the chain runs through the file in block order (as it does in any table written
// front to back) the blocks are handed over during that pass; from the first block that
// the chain does not lead to next, the pass only takes note, and the blocks still due are
// read again afterwards.
//
// A slot is a record only when it decodes as one: a slot of zeros never is. What the block
// headers count are the table's records; a counted record is a problem, not a record of the
// table, when its values are impossible (record_check.h), when the file ends inside it, or
// when its block shows damage (a counted slot of zeros, keys out of order) and its key or
// auto-increment value is blank.
//
// Slots the headers do not count can hold whole records too: past a count that is too low,
// in a block whose header is wiped or impossible, in the older half of a torn block. And a
// block off the chain holds records no reader of the table sees: the table's, cut off when
// a link broke, or older copies. Every such slot that decodes as a record with its key and
// auto-increment value set is handed over as an uncounted problem, which the rebuild sets
// aside unless the new table holds the same record already:
//   - at once, when its block shows damage (its header wiped or impossible, a counted slot
//     of zeros or out of key order, a counted record cut by a zeroed stretch) or is off the
//     chain with records counted (a block marked empty is taken as one of the chain's);
//   - after the pass, when the table's header counts other than the blocks hand over: then
//     the slots past every block's count are read again for them.
// The slots of a sound table past its counts (what deletes and splits leave behind) are
// never handed over.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/format/blob_file.h"
#include "engine/format/block_file.h"
#include "tutil/data_check.h"
#include "tutil/findings.h"
#include "tutil/structure_check.h"
#include "tutil/verifier.h"

namespace vaq::tutil {

// Readable records that lie one after the other in a block.
struct SalvagedRun {
    pdx::Bytes bytes;  // `count` records back to back, as stored
    std::uint32_t block = 0;
    std::uint32_t first_slot = 0;  // 0-based
    std::size_t count = 0;
};

struct SalvagedRecord {
    pdx::Bytes bytes;  // as stored; blob pointers lead into the old .MB
    std::uint32_t block = 0;
    std::uint32_t slot = 0;  // 0-based
};

struct ProblemRecord {
    pdx::Bytes bytes;  // a record's width; bytes the file did not hold are zeros
    std::uint32_t block = 0;
    std::uint32_t slot = 0;
    std::string reason;
    // Not counted by its block's header: set aside only when the table does not hold it.
    bool uncounted = false;
};

using RunSink = std::function<void(const SalvagedRun&)>;
using RecordSink = std::function<void(const SalvagedRecord&)>;
using ProblemSink = std::function<void(const ProblemRecord&)>;

class Salvage {
  public:
    // Opens the table file. Throws FormatError when its header cannot be read (there is then
    // nothing to rebuild from) and vaq::Error when it cannot be opened.
    explicit Salvage(const std::filesystem::path& table);
    Salvage(const Salvage&) = delete;
    Salvage& operator=(const Salvage&) = delete;

    const pdx::BlockFile& file() const { return file_; }
    const pdx::TableHeader& header() const { return file_.header(); }

    // Hands over every record, in the order above, the readable ones a run at a time; the
    // bytes handed over are valid during the call only. `progress` (may be empty) hears of
    // the pass in the rebuild's phase, 0 to 75 percent. Throws vaq::Error when the file
    // cannot be read.
    void deliver_runs(const RunSink& records, const ProblemSink& problem,
                      const Progress& progress = {});
    // The same, the readable records one at a time.
    void deliver(const RecordSink& record, const ProblemSink& problem,
                 const Progress& progress = {});

    // The whole value of blob field `field` of a record handed over; nothing when the .MB
    // does not hold it any more (missing file, broken reference).
    std::optional<std::vector<std::uint8_t>> blob_value(std::size_t field, pdx::Bytes record) const;

    // Largest auto-increment value among the records handed over so far, 0 when none.
    std::int64_t largest_auto_increment() const { return largest_auto_increment_; }

    // Records the blocks' headers count (handed over as records or counted problems) and the
    // table's header says it holds; known once the records are handed over.
    std::uint64_t counted_records() const { return counted_; }
    std::uint64_t header_records() const { return file_.header().num_records; }

  private:
    // Slots past the count of a block, whose records are handed over only when the counts
    // disagree.
    struct Deferred {
        std::uint32_t block = 0;
        std::uint32_t first_slot = 0;
    };

    struct DueBlock {
        std::uint32_t number = 0;
        // In the chain, or in its tail that the header's last block leads back to.
        bool on_chain = false;
    };

    // The blocks of the delivery order that were not handed over during the pass.
    std::vector<DueBlock> blocks_still_due(const std::vector<std::uint32_t>& handed_over);
    void deliver_blocks(const std::vector<DueBlock>& blocks, const RunSink& records,
                        const ProblemSink& problem);
    void deliver_deferred(const ProblemSink& problem);
    // Reads `count` blocks from `first` on; returns the bytes the file held.
    std::size_t read_run(std::uint32_t first, std::uint32_t count,
                         std::vector<std::uint8_t>& buffer) const;
    void deliver_block(std::uint32_t number, pdx::Bytes block, std::size_t present, bool on_chain,
                       const RunSink& records, const ProblemSink& problem);
    void deliver_counted(std::uint32_t number, pdx::Bytes block, std::size_t present,
                         const RunSink& records, const ProblemSink& problem);
    // Hands over slots [from, to) of a block that decode as records, as uncounted problems.
    void hand_over_uncounted(std::uint32_t number, pdx::Bytes block, std::size_t from,
                             std::size_t to, const std::string& reason,
                             const ProblemSink& problem) const;
    // Whole slots of a block the file holds.
    std::size_t whole_slots(std::size_t present) const;
    bool decodes_as_record(pdx::Bytes slot) const;
    bool blank_key_or_counter(pdx::Bytes slot) const;

    std::filesystem::path path_;
    pdx::BlockFile file_;
    Findings findings_;  // what the pass saw; the rebuild acts on the blocks themselves
    std::optional<DataCheck> data_;
    std::int64_t largest_auto_increment_ = 0;
    std::uint64_t counted_ = 0;
    std::vector<Deferred> deferred_;
    std::size_t key_length_ = 0;  // bytes of the primary key, 0 when unkeyed
    mutable std::optional<pdx::BlobFile> blobs_;
    mutable bool blobs_missing_ = false;
};

}  // namespace vaq::tutil
