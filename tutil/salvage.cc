#include "tutil/salvage.h"

#include <algorithm>

#include "common/error.h"
#include "engine/format/crypt.h"
#include "engine/format/format_error.h"
#include "engine/table/table_name.h"

namespace tutil {

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

std::size_t Salvage::read_block(std::uint32_t block, std::vector<std::uint8_t>& buffer) const {
    const pdx::TableHeader& h = file_.header();
    buffer.assign(h.block_size(), 0);
    const std::size_t got = file_.file().read_at(h.block_offset(block), buffer);
    if (h.is_encrypted() && got == buffer.size())
        pdx::decrypt_table_block(buffer, h.encryption_key(), block);
    return got;
}

void Salvage::deliver(const std::function<void(const SalvagedRecord&)>& record,
                      const std::function<void(const ProblemRecord&)>& problem,
                      const Progress& progress) const {
    const pdx::TableHeader& h = file_.header();
    const std::size_t size = h.record_size;
    const auto& blocks = data_->blocks();
    std::vector<std::uint8_t> buffer;
    std::vector<std::uint8_t> cut(size);
    for (std::size_t i = 0; i < order_.size(); ++i) {
        const std::uint32_t number = order_[i];
        const BlockState& state = blocks[number];
        const std::size_t present = read_block(number, buffer);
        const auto slot_bytes = [&](std::size_t slot) {
            return pdx::Bytes(buffer).subspan(pdx::record_offset_in_block(slot, size), size);
        };
        if (state.possible) {
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
                const std::size_t from = pdx::record_offset_in_block(state.complete, size);
                std::fill(cut.begin(), cut.end(), 0);
                if (present > from)
                    std::copy_n(buffer.begin() + static_cast<std::ptrdiff_t>(from),
                                std::min(size, present - from), cut.begin());
                problem({cut, number, static_cast<std::uint32_t>(state.complete),
                         "the file ends inside the record"});
            }
        } else {
            // The block's header no longer says how many records it holds.
            const std::size_t capacity = h.records_per_block();
            for (std::size_t slot = 0; slot < capacity; ++slot) {
                if (pdx::record_offset_in_block(slot + 1, size) > present) break;
                const pdx::Bytes bytes = slot_bytes(slot);
                if (pdx::all_zero(bytes)) break;
                problem({bytes, number, static_cast<std::uint32_t>(slot),
                         "its block's header is damaged"});
            }
        }
        if (progress)
            progress(Phase::kRebuild, 25 + static_cast<int>(25 * (i + 1) / order_.size()));
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
