#include "tutil/data_check.h"

#include <algorithm>
#include <cstring>

#include "tutil/zero_slots.h"

namespace vaq::tutil {

namespace {

std::string slot_text(std::size_t slot) {
    return "record " + std::to_string(slot + 1);
}

}  // namespace

DataCheck::DataCheck(const pdx::BlockFile& file, std::vector<EntryPlan> entry_plans,
                     Findings& findings, bool check_records)
    : file_(file),
      findings_(findings),
      checker_(file.header()),
      record_size_(file.header().record_size),
      plans_(std::move(entry_plans)),
      check_records_(check_records) {
    const pdx::TableHeader& h = file.header();
    if (h.file_type == pdx::FileType::kKeyedTable) {
        std::vector<pdx::KeyOrder::Part> parts;
        std::size_t offset = 0;
        for (std::size_t i = 0; i < h.key_fields && i < h.fields.size(); ++i) {
            parts.push_back({offset, h.fields[i].descriptor, false});
            offset += h.fields[i].descriptor.width();
        }
        key_length_ = offset;
        key_order_.emplace(std::move(parts), pdx::alpha_collation_of(h), false);
    }
    const std::size_t slots = blocks_to_scan(file) + std::size_t{1};
    blocks_.resize(std::max<std::size_t>(slots, h.file_blocks + std::size_t{1}));
    // A rebuild's survey compares no keys between blocks: it keeps none (up to twice the
    // key's length for each of 65535 blocks).
    if (check_records_) {
        first_keys_.resize(blocks_.size() * key_length_);
        last_keys_.resize(blocks_.size() * key_length_);
    }
    prints_.assign(plans_.size(), std::vector<Fingerprint>(blocks_.size()));
}

pdx::Bytes DataCheck::first_key(std::uint32_t block) const {
    return pdx::Bytes(first_keys_).subspan(block * key_length_, key_length_);
}

pdx::Bytes DataCheck::last_key(std::uint32_t block) const {
    return pdx::Bytes(last_keys_).subspan(block * key_length_, key_length_);
}

void DataCheck::visit(const ScannedBlock& block) {
    BlockState& state = blocks_[block.number];
    state.present = block.present;
    if (block.present < pdx::DataBlockHeader::kEncodedSize) return;
    state.head = pdx::DataBlockHeader::decode(block.bytes.data());
    const pdx::TableHeader& h = file_.header();
    if (state.head.problem(record_size_, h.block_size())) return;
    state.possible = true;
    state.records = state.head.record_count(record_size_);
    const std::size_t on_disk = (block.present - pdx::DataBlockHeader::kEncodedSize) / record_size_;
    state.complete = std::min(state.records, on_disk);
    if (!check_records_) return;
    ZeroSlots zeros(h, checker_.has_auto_increment(), key_length_, block.number, block.bytes,
                    block.present);
    for (std::size_t slot = 0; slot < state.complete; ++slot) {
        if (zeros.no_record(slot)) {
            findings_.add(Weight::kError, file_.name(),
                          "Block " + std::to_string(block.number) + ", " + slot_text(slot) +
                              " holds only zeros: a write never reached it, or it was wiped.",
                          block.number, static_cast<std::uint32_t>(slot + 1));
            continue;
        }
        const pdx::Bytes record =
            block.bytes.subspan(pdx::record_offset_in_block(slot, record_size_), record_size_);
        check_record(block.number, slot, record, state);
    }
    if (key_length_ > 0 && state.complete > 0) {
        std::memcpy(first_keys_.data() + block.number * key_length_,
                    block.bytes.data() + pdx::record_offset_in_block(0, record_size_), key_length_);
        std::memcpy(
            last_keys_.data() + block.number * key_length_,
            block.bytes.data() + pdx::record_offset_in_block(state.complete - 1, record_size_),
            key_length_);
    }
}

void DataCheck::check_record(std::uint32_t block, std::size_t slot, pdx::Bytes record,
                             BlockState& state) {
    const auto slot_number = static_cast<std::uint32_t>(slot + 1);
    if (auto problem = checker_.problem(record)) {
        ++state.bad_records;
        findings_.add(Weight::kError, file_.name(),
                      "Block " + std::to_string(block) + ", " + slot_text(slot) +
                          " cannot be read: " + *problem + ".",
                      block, slot_number);
    }
    if (checker_.has_odd_date(record)) ++odd_dates_;
    if (checker_.has_auto_increment())
        state.max_auto_increment =
            std::max(state.max_auto_increment, checker_.auto_increment(record));
    if (checker_.has_blobs())
        checker_.collect_blob_references(record, block, static_cast<std::uint32_t>(slot),
                                         blob_refs_);
    for (std::size_t i = 0; i < plans_.size(); ++i)
        prints_[i][block].add(plans_[i].hash(record, block, slot, record_size_));

    if (slot == 0 || !key_order_) return;
    // Records of a block lie back to back: the one before starts a record size earlier.
    const pdx::Bytes previous(record.data() - record_size_, record_size_);
    const bool same_bytes = std::memcmp(previous.data(), record.data(), key_length_) == 0;
    const auto order = key_order_->certain_compare(previous, record);
    if (same_bytes || (order && *order == 0))
        findings_.add(Weight::kError, file_.name(),
                      "Block " + std::to_string(block) + ", " + slot_text(slot) +
                          " repeats the key of the record before it.",
                      block, slot_number);
    else if (order && *order > 0)
        findings_.add(
            Weight::kError, file_.name(),
            "Block " + std::to_string(block) + ", " + slot_text(slot) + " is out of key order.",
            block, slot_number);
}

}  // namespace vaq::tutil
