#include "engine/format/index_records.h"

#include <string>

namespace pdx {

IndexRecordReader::IndexRecordReader(const BlockFile& file)
    : file_(file), record_size_(file.header().record_size) {}

bool IndexRecordReader::first() {
    guard_.emplace(file_, "chain of index blocks");
    number_ = 0;
    block_number_ = 0;
    count_ = 0;
    const std::uint16_t head = file_.header().first_block;
    if (head == 0 || !load_from(head, 0)) {
        if (file_.header().num_records != 0)
            file_.fail("its header counts " + std::to_string(file_.header().num_records) +
                       " entries but its blocks hold none");
        return false;
    }
    number_ = 1;
    return true;
}

bool IndexRecordReader::load_from(std::uint32_t block, std::uint32_t from) {
    while (block != 0) {
        guard_->visit(block, from);
        const DataBlockHeader head = file_.read_data_block(block, spare_);
        const std::size_t count = head.record_count(record_size_);
        if (count > 0) {
            buffer_.swap(spare_);
            head_ = head;
            block_number_ = block;
            count_ = count;
            slot_ = 0;
            return true;
        }
        from = block;
        block = head.next_block;
    }
    return false;
}

bool IndexRecordReader::next() {
    if (number_ == 0) return false;
    if (slot_ + 1 < count_) {
        ++slot_;
    } else if (!load_from(head_.next_block, block_number_)) {
        if (number_ != file_.header().num_records)
            file_.fail("its header counts " + std::to_string(file_.header().num_records) +
                       " entries but its blocks hold " + std::to_string(number_));
        number_ = 0;
        return false;
    }
    ++number_;
    if (number_ > file_.header().num_records)
        file_.fail("its blocks hold more entries than the " +
                   std::to_string(file_.header().num_records) + " its header counts");
    return true;
}

void IndexRecordReader::seek(std::uint32_t block, std::uint32_t slot, std::uint32_t number) {
    guard_.emplace(file_, "chain of index blocks");
    guard_->visit(block, 0);
    const DataBlockHeader head = file_.read_data_block(block, buffer_);
    const std::size_t count = head.record_count(record_size_);
    if (slot >= count)
        file_.fail("block " + std::to_string(block) + " no longer holds entry " +
                   std::to_string(slot + 1));
    head_ = head;
    block_number_ = block;
    count_ = count;
    slot_ = slot;
    number_ = number;
}

Bytes IndexRecordReader::record() const {
    return Bytes(buffer_).subspan(record_offset_in_block(slot_, record_size_), record_size_);
}

}  // namespace pdx
