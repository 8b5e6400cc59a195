#include "tutil/salvage.h"

#include <algorithm>

#include "common/error.h"
#include "engine/format/crypt.h"
#include "engine/format/format_error.h"
#include "engine/table/table_name.h"
#include "tutil/block_scan.h"
#include "tutil/zero_slots.h"

namespace vaq::tutil {

namespace {

// Bytes asked of the system per read.
constexpr std::size_t kReadSize = std::size_t{1} << 20;

// The share of the rebuild's progress that the pass over the records takes.
constexpr int kPassShare = 75;

// Tells, as the pass meets the blocks in file order, whether each one is the next of the
// chain. It follows the chain the way the structure check walks it (structure_check.cc) for
// as long as the chain leads from each block to the one after it in the file; every block
// from the first the chain does not lead to next is left for later.
class OrderInPass {
  public:
    OrderInPass(const pdx::TableHeader& h, std::size_t block_slots)
        : next_(h.first_block), file_blocks_(h.file_blocks), block_slots_(block_slots) {}

    // True when `number` is the next block of the chain; every block before it was handed
    // over.
    bool hand_over(std::uint32_t number, const BlockState& state) {
        if (later_ || chain_ends_before(number) || next_ != number || state.present == 0 ||
            (!state.possible && state.present < pdx::DataBlockHeader::kEncodedSize)) {
            later_ = true;
            return false;
        }
        next_ = state.head.next_block;
        return true;
    }

  private:
    // A chain that leads nowhere, outside the file or back to a block already handed over
    // (every block before this one is in the chain) ends here.
    bool chain_ends_before(std::uint32_t number) const {
        return next_ == 0 || next_ >= block_slots_ || next_ > file_blocks_ || next_ < number;
    }

    std::uint32_t next_;
    std::uint32_t file_blocks_;
    std::size_t block_slots_;
    bool later_ = false;
};

// The blocks the header's last block leads back to, by the links to their previous
// blocks, up to the first of `chain` or of a block that cannot be taken: the chain's tail
// when a damaged block cut it. In chain order.
std::vector<std::uint32_t> tail_cut_off(const pdx::TableHeader& h,
                                        const std::vector<BlockState>& blocks, const Chain& chain) {
    std::vector<std::uint32_t> tail;
    std::vector<bool> seen(blocks.size(), false);
    for (std::uint32_t block = h.last_block;
         block != 0 && block < blocks.size() && block <= h.file_blocks && !chain.member[block] &&
         !seen[block];
         block = blocks[block].head.prev_block) {
        const BlockState& state = blocks[block];
        if (!state.possible || state.present < pdx::DataBlockHeader::kEncodedSize) break;
        seen[block] = true;
        tail.push_back(block);
    }
    std::reverse(tail.begin(), tail.end());
    return tail;
}

}  // namespace

Salvage::Salvage(const std::filesystem::path& table)
    : path_(table), file_(pdx::BlockFile::open(table)) {}

void Salvage::deliver(const RecordSink& record, const ProblemSink& problem,
                      const Progress& progress) {
    const std::size_t size = file_.header().record_size;
    deliver_runs(
        [&](const SalvagedRun& run) {
            for (std::size_t i = 0; i < run.count; ++i)
                record({run.bytes.subspan(i * size, size), run.block,
                        static_cast<std::uint32_t>(run.first_slot + i)});
        },
        problem, progress);
}

void Salvage::deliver_runs(const RunSink& records, const ProblemSink& problem,
                           const Progress& progress) {
    findings_ = Findings();
    data_.emplace(file_, std::vector<EntryPlan>{}, findings_, false);
    largest_auto_increment_ = 0;
    counted_ = 0;
    deferred_.clear();
    key_length_ = data_->key_length();
    OrderInPass order(file_.header(), data_->blocks().size());
    std::vector<std::uint32_t> handed_over;
    scan_blocks(
        file_,
        [&](const ScannedBlock& block) {
            data_->visit(block);
            if (order.hand_over(block.number, data_->blocks()[block.number])) {
                deliver_block(block.number, block.bytes, block.present, true, records, problem);
                handed_over.push_back(block.number);
            }
        },
        [&](int percent) {
            if (progress) progress(Phase::kRebuild, percent * kPassShare / 100);
        });
    deliver_blocks(blocks_still_due(handed_over), records, problem);
    deliver_deferred(problem);
    if (progress) progress(Phase::kRebuild, kPassShare);
}

std::vector<Salvage::DueBlock> Salvage::blocks_still_due(
    const std::vector<std::uint32_t>& handed_over) {
    const Chain chain = check_structure(*data_, findings_);
    const auto& blocks = data_->blocks();
    // What the pass handed over must be where the chain starts; anything else would repeat
    // records or put them out of order.
    if (chain.blocks.size() < handed_over.size() ||
        !std::equal(handed_over.begin(), handed_over.end(), chain.blocks.begin()))
        throw vaq::Error("The blocks of " + file_.name() +
                         " were read out of their order; it was not rebuilt.");
    std::vector<DueBlock> due;
    for (std::size_t i = handed_over.size(); i < chain.blocks.size(); ++i)
        due.push_back({chain.blocks[i], true});
    std::vector<bool> taken = chain.member;
    for (const std::uint32_t block : tail_cut_off(file_.header(), blocks, chain)) {
        due.push_back({block, true});
        taken[block] = true;
    }
    for (std::uint32_t block = 1; block < blocks.size(); ++block)
        if (!taken[block] && blocks[block].present >= pdx::DataBlockHeader::kEncodedSize)
            due.push_back({block, false});
    return due;
}

std::size_t Salvage::read_run(std::uint32_t first, std::uint32_t count,
                              std::vector<std::uint8_t>& buffer) const {
    const pdx::TableHeader& h = file_.header();
    buffer.resize(count * h.block_size());
    const std::size_t got = file_.file().read_at(h.block_offset(first), buffer);
    std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(got), buffer.end(), 0);
    return got;
}

void Salvage::deliver_blocks(const std::vector<DueBlock>& blocks, const RunSink& records,
                             const ProblemSink& problem) {
    const pdx::TableHeader& h = file_.header();
    const std::size_t block_size = h.block_size();
    const std::size_t per_read = std::max<std::size_t>(1, kReadSize / block_size);
    std::vector<std::uint8_t> buffer;
    for (std::size_t i = 0; i < blocks.size();) {
        // Blocks that follow each other in the file are read together.
        std::uint32_t run = 1;
        while (i + run < blocks.size() && run < per_read &&
               blocks[i + run].number == blocks[i].number + run)
            ++run;
        const std::size_t got = read_run(blocks[i].number, run, buffer);
        for (std::uint32_t k = 0; k < run; ++k) {
            const std::size_t start = k * block_size;
            const std::size_t present = got > start ? std::min(block_size, got - start) : 0;
            const pdx::MutableBytes block = pdx::MutableBytes(buffer).subspan(start, block_size);
            const DueBlock& due = blocks[i + k];
            if (h.is_encrypted() && present == block_size)
                pdx::decrypt_table_block(block, h.encryption_key(), due.number);
            deliver_block(due.number, block, present, due.on_chain, records, problem);
        }
        i += run;
    }
}

std::size_t Salvage::whole_slots(std::size_t present) const {
    const pdx::TableHeader& h = file_.header();
    if (present < pdx::DataBlockHeader::kEncodedSize || h.record_size == 0) return 0;
    return std::min(h.records_per_block(),
                    (present - pdx::DataBlockHeader::kEncodedSize) / h.record_size);
}

bool Salvage::blank_key_or_counter(pdx::Bytes slot) const {
    if (key_length_ > 0 && pdx::all_zero(slot.first(key_length_))) return true;
    const RecordChecker& checker = data_->checker();
    return checker.has_auto_increment() && checker.auto_increment(slot) == 0;
}

bool Salvage::decodes_as_record(pdx::Bytes slot) const {
    return !pdx::all_zero(slot) && !data_->checker().problem(slot) && !blank_key_or_counter(slot);
}

void Salvage::deliver_block(std::uint32_t number, pdx::Bytes block, std::size_t present,
                            bool on_chain, const RunSink& records, const ProblemSink& problem) {
    const BlockState& state = data_->blocks()[number];
    if (!on_chain && state.possible && state.records > 0) {
        // No reader of the table sees these records: they may be the table's, lost when a
        // link broke, or older copies from before the block was let go.
        hand_over_uncounted(number, block, 0, whole_slots(present),
                            "its block is not on the table's chain of blocks", problem);
        return;
    }
    if (!state.possible) {
        hand_over_uncounted(number, block, 0, whole_slots(present), "its block's header is damaged",
                            problem);
        return;
    }
    // A header of zeros reads as "one record"; when that record is zeros too, a stretch of
    // zeros wiped the header and whatever the slots after it hold is uncounted.
    const std::size_t size = file_.header().record_size;
    if (pdx::all_zero(block.first(pdx::DataBlockHeader::kEncodedSize)) &&
        (state.complete == 0 ||
         pdx::all_zero(block.subspan(pdx::record_offset_in_block(0, size), size)))) {
        hand_over_uncounted(number, block, 0, whole_slots(present), "its block's header is wiped",
                            problem);
        return;
    }
    deliver_counted(number, block, present, records, problem);
}

void Salvage::deliver_counted(std::uint32_t number, pdx::Bytes block, std::size_t present,
                              const RunSink& records, const ProblemSink& problem) {
    const BlockState& state = data_->blocks()[number];
    const std::size_t size = file_.header().record_size;
    const auto slot_bytes = [&](std::size_t slot) {
        return block.subspan(pdx::record_offset_in_block(slot, size), size);
    };
    ZeroSlots zero_slots(file_.header(), data_->checker().has_auto_increment(), key_length_, number,
                         block, present);
    const auto zeros = [&](std::size_t slot) {
        return slot < state.complete && zero_slots.no_record(slot);
    };
    const auto sector_starts_in = [&](std::size_t from, std::size_t to) {
        return zero_slots.sector_starts_in(from, to);
    };
    // A counted record that a stretch of zeros runs into (a sector boundary in the zeros its
    // first or last bytes are, the slot beside it no record) is not whole.
    const auto cut_by_zeros = [&](std::size_t slot) {
        const std::size_t start = pdx::record_offset_in_block(slot, size);
        const pdx::Bytes bytes = slot_bytes(slot);
        const auto leading = static_cast<std::size_t>(
            std::find_if(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b != 0; }) -
            bytes.begin());
        const auto trailing = static_cast<std::size_t>(
            std::find_if(bytes.rbegin(), bytes.rend(), [](std::uint8_t b) { return b != 0; }) -
            bytes.rbegin());
        return (slot > 0 && zeros(slot - 1) && leading > 0 &&
                sector_starts_in(start + 1, start + leading + 1)) ||
               (zeros(slot + 1) && trailing > 0 &&
                sector_starts_in(start + size - trailing, start + size));
    };

    // The damage the block shows: counted slots of zeros, keys out of order. Where the keys
    // break their order a torn write may have joined two states of the block; a record that
    // a sector boundary runs through there may be half of each.
    bool damaged = false;
    std::vector<bool> torn(state.complete, false);
    const std::optional<pdx::KeyOrder>& key_order = data_->key_order();
    std::optional<std::size_t> previous;
    for (std::size_t slot = 0; slot < state.complete; ++slot) {
        if (zeros(slot)) {
            damaged = true;
        } else if (key_order) {
            if (previous) {
                const auto order =
                    key_order->certain_compare(slot_bytes(*previous), slot_bytes(slot));
                if (order && *order >= 0) {
                    damaged = true;
                    for (const std::size_t side : {*previous, slot}) {
                        const std::size_t start = pdx::record_offset_in_block(side, size);
                        if (sector_starts_in(start + 1, start + size)) torn[side] = true;
                    }
                }
            }
            previous = slot;
        }
    }
    const auto cut = [&](std::size_t slot) { return torn[slot] || cut_by_zeros(slot); };

    const RecordChecker& checker = data_->checker();
    std::size_t run_start = 0;
    const auto hand_over_run = [&](std::size_t end) {
        if (end > run_start)
            records({block.subspan(pdx::record_offset_in_block(run_start, size),
                                   (end - run_start) * size),
                     number, static_cast<std::uint32_t>(run_start), end - run_start});
        counted_ += end - std::min(end, run_start);
    };
    const auto set_aside = [&](std::size_t slot, std::string why) {
        hand_over_run(slot);
        run_start = slot + 1;
        problem({slot_bytes(slot), number, static_cast<std::uint32_t>(slot), std::move(why)});
        ++counted_;
    };
    for (std::size_t slot = 0; slot < state.complete; ++slot) {
        const pdx::Bytes bytes = slot_bytes(slot);
        if (zeros(slot)) {
            // No record: nothing was written here, or it was wiped.
            hand_over_run(slot);
            run_start = slot + 1;
        } else if (damaged && cut(slot)) {
            set_aside(slot, "a stretch of zeros runs into it");
        } else if (auto why = checker.problem(bytes)) {
            set_aside(slot, *why);
        } else if (damaged && blank_key_or_counter(bytes)) {
            set_aside(slot, "its key or auto-increment value is blank in a damaged block");
        } else if (checker.has_auto_increment()) {
            largest_auto_increment_ =
                std::max(largest_auto_increment_, checker.auto_increment(bytes));
        }
    }
    hand_over_run(state.complete);
    if (state.complete < state.records) {
        // The record the file ends in, its missing bytes as zeros.
        std::vector<std::uint8_t> part(size, 0);
        const std::size_t from = pdx::record_offset_in_block(state.complete, size);
        if (present > from)
            std::copy_n(block.begin() + static_cast<std::ptrdiff_t>(from),
                        std::min(size, present - from), part.begin());
        if (!pdx::all_zero(part)) {
            problem({part, number, static_cast<std::uint32_t>(state.complete),
                     "the file ends inside the record"});
            ++counted_;
        }
    }

    // Slots past the count.
    const std::size_t whole = whole_slots(present);
    if (state.records >= whole) return;
    if (damaged) {
        hand_over_uncounted(number, block, state.records, whole,
                            "it lies past its block's record count", problem);
        return;
    }
    for (std::size_t slot = state.records; slot < whole; ++slot)
        if (!pdx::all_zero(slot_bytes(slot))) {
            deferred_.push_back({number, static_cast<std::uint32_t>(state.records)});
            return;
        }
}

void Salvage::hand_over_uncounted(std::uint32_t number, pdx::Bytes block, std::size_t from,
                                  std::size_t to, const std::string& reason,
                                  const ProblemSink& problem) const {
    const std::size_t size = file_.header().record_size;
    // A slot that starts inside the zeros the block begins with (a wiped page) lost its
    // first bytes.
    const auto first_byte =
        std::find_if(block.begin(), block.end(), [](std::uint8_t b) { return b != 0; });
    const auto zeros_end = static_cast<std::size_t>(first_byte - block.begin());
    for (std::size_t slot = from; slot < to; ++slot) {
        const std::size_t start = pdx::record_offset_in_block(slot, size);
        const pdx::Bytes bytes = block.subspan(start, size);
        if (start < zeros_end || !decodes_as_record(bytes)) continue;
        problem({bytes, number, static_cast<std::uint32_t>(slot), reason, true});
    }
}

void Salvage::deliver_deferred(const ProblemSink& problem) {
    if (counted_ == header_records()) return;
    std::vector<std::uint8_t> buffer;
    for (const Deferred& d : deferred_) {
        const std::size_t got = read_run(d.block, 1, buffer);
        const pdx::MutableBytes block(buffer);
        const pdx::TableHeader& h = file_.header();
        if (h.is_encrypted()) {
            if (got < block.size()) continue;
            pdx::decrypt_table_block(block, h.encryption_key(), d.block);
        }
        hand_over_uncounted(d.block, block, d.first_slot, whole_slots(got),
                            "it lies past its block's record count", problem);
    }
}

std::optional<std::vector<std::uint8_t>> Salvage::blob_value(std::size_t field,
                                                             pdx::Bytes record) const {
    const pdx::TableHeader& h = file_.header();
    std::size_t offset = 0;
    for (std::size_t i = 0; i < field; ++i)
        offset += h.fields[i].descriptor.width();
    const pdx::FieldDescriptor& d = h.fields[field].descriptor;
    const std::size_t leader = d.blob_leader();
    const pdx::BlobPointer pointer = pdx::BlobPointer::decode(record.data() + offset + leader);
    if (pointer.length == 0) return std::vector<std::uint8_t>{};
    if (pointer.length <= leader)
        return std::vector<std::uint8_t>(
            record.begin() + static_cast<std::ptrdiff_t>(offset),
            record.begin() + static_cast<std::ptrdiff_t>(offset + pointer.length));
    if (!blobs_ && !blobs_missing_) {
        const auto path = pdx::find_family_file(path_, ".MB");
        if (path)
            blobs_.emplace(pdx::BlobFile::open(*path, h.encryption_key()));
        else
            blobs_missing_ = true;
    }
    if (!blobs_) return std::nullopt;
    try {
        // A value of the length the record expects is kept even when the modification numbers
        // disagree: it may be this record's value, and losing it would be worse.
        return blobs_->read(pointer);
    } catch (const pdx::FormatError&) {
        return std::nullopt;
    }
}

}  // namespace vaq::tutil
