#include "tutil/salvage.h"

#include <algorithm>

#include "common/error.h"
#include "engine/format/crypt.h"
#include "engine/format/format_error.h"
#include "engine/table/table_name.h"

namespace tutil {

namespace {

// Bytes asked of the system per read.
constexpr std::size_t kReadSize = std::size_t{1} << 20;

}  // namespace

Salvage::Salvage(const std::filesystem::path& table, const Progress& progress)
    : path_(table), file_(pdx::BlockFile::open(table)) {
    data_.emplace(file_, std::vector<EntryPlan>{}, findings_, false);
    scan_blocks(
        file_, [&](const ScannedBlock& block) { data_->visit(block); },
        [&](int percent) {
            if (progress) progress(Phase::kRebuild, percent / 4);
        });
    chain_ = check_structure(*data_, findings_);
    const auto& blocks = data_->blocks();
    for (std::uint32_t block : chain_.blocks)
        order_.push_back(block);
    for (std::uint32_t block = 1; block < blocks.size(); ++block)
        if (!chain_.member[block] && blocks[block].present >= pdx::DataBlockHeader::kEncodedSize)
            order_.push_back(block);
}

std::size_t Salvage::read_run(std::uint32_t first, std::uint32_t count,
                              std::vector<std::uint8_t>& buffer) const {
    const pdx::TableHeader& h = file_.header();
    buffer.resize(count * h.block_size());
    const std::size_t got = file_.file().read_at(h.block_offset(first), buffer);
    std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(got), buffer.end(), 0);
    return got;
}

void Salvage::deliver(const std::function<void(const SalvagedRecord&)>& record,
                      const std::function<void(const ProblemRecord&)>& problem,
                      const Progress& progress) const {
    const pdx::TableHeader& h = file_.header();
    const std::size_t block_size = h.block_size();
    const std::size_t per_read = std::max<std::size_t>(1, kReadSize / block_size);
    std::vector<std::uint8_t> buffer;
    for (std::size_t i = 0; i < order_.size();) {
        // Blocks that follow each other in the file are read together.
        std::uint32_t run = 1;
        while (i + run < order_.size() && run < per_read && order_[i + run] == order_[i] + run)
            ++run;
        const std::size_t got = read_run(order_[i], run, buffer);
        for (std::uint32_t k = 0; k < run; ++k) {
            const std::size_t start = k * block_size;
            const std::size_t present = got > start ? std::min(block_size, got - start) : 0;
            const pdx::MutableBytes block = pdx::MutableBytes(buffer).subspan(start, block_size);
            if (h.is_encrypted() && present == block_size)
                pdx::decrypt_table_block(block, h.encryption_key(), order_[i + k]);
            deliver_block(order_[i + k], block, present, record, problem);
        }
        i += run;
        if (progress) progress(Phase::kRebuild, 25 + static_cast<int>(25 * i / order_.size()));
    }
}

void Salvage::deliver_block(std::uint32_t number, pdx::Bytes block, std::size_t present,
                            const std::function<void(const SalvagedRecord&)>& record,
                            const std::function<void(const ProblemRecord&)>& problem) const {
    const std::size_t size = file_.header().record_size;
    const BlockState& state = data_->blocks()[number];
    const auto slot_bytes = [&](std::size_t slot) {
        return block.subspan(pdx::record_offset_in_block(slot, size), size);
    };
    if (!state.possible) {
        // The block's header no longer says how many records it holds.
        const std::size_t capacity = file_.header().records_per_block();
        for (std::size_t slot = 0; slot < capacity; ++slot) {
            if (pdx::record_offset_in_block(slot + 1, size) > present) break;
            const pdx::Bytes bytes = slot_bytes(slot);
            if (pdx::all_zero(bytes)) break;
            problem(
                {bytes, number, static_cast<std::uint32_t>(slot), "its block's header is damaged"});
        }
        return;
    }
    for (std::size_t slot = 0; slot < state.complete; ++slot) {
        const pdx::Bytes bytes = slot_bytes(slot);
        const auto slot32 = static_cast<std::uint32_t>(slot);
        if (auto why = data_->checker().problem(bytes)) {
            problem({bytes, number, slot32, *why});
        } else {
            largest_auto_increment_ =
                std::max(largest_auto_increment_, data_->checker().auto_increment(bytes));
            record({bytes, number, slot32});
        }
    }
    if (state.complete < state.records) {
        // The record the file ends in, its missing bytes as zeros.
        std::vector<std::uint8_t> cut(size, 0);
        const std::size_t from = pdx::record_offset_in_block(state.complete, size);
        if (present > from)
            std::copy_n(block.begin() + static_cast<std::ptrdiff_t>(from),
                        std::min(size, present - from), cut.begin());
        problem({cut, number, static_cast<std::uint32_t>(state.complete),
                 "the file ends inside the record"});
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

}  // namespace tutil
