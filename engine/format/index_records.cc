#include "engine/format/index_records.h"

#include <string>

namespace pdx {

namespace {
constexpr const char* kChainName = "chain of index blocks";
}  // namespace

IndexRecordReader::IndexRecordReader(const BlockFile& file)
    : file_(file), record_size_(file.header().record_size) {}

bool IndexRecordReader::first() {
    walk_.emplace(file_, file_.header().first_block, kChainName);
    number_ = 0;
    block_number_ = 0;
    count_ = 0;
    if (!load_first_with_records()) {
        if (file_.header().num_records != 0)
            file_.fail("its header counts " + std::to_string(file_.header().num_records) +
                       " entries but its blocks hold none");
        return false;
    }
    number_ = 1;
    return true;
}

bool IndexRecordReader::load_first_with_records() {
    for (DataBlockHeader head; !walk_->done(); walk_->advance(head.next_block)) {
        head = walk_->read(spare_);
        const std::size_t count = head.record_count(record_size_);
        if (count > 0) {
            buffer_.swap(spare_);
            head_ = head;
            block_number_ = walk_->block();
            count_ = count;
            slot_ = 0;
            return true;
        }
    }
    return false;
}

bool IndexRecordReader::load_next_block_with_records() {
    walk_->advance(head_.next_block);
    return load_first_with_records();
}

bool IndexRecordReader::next() {
    if (number_ == 0) return false;
    if (slot_ + 1 < count_) {
        ++slot_;
    } else if (!load_next_block_with_records()) {
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
    walk_.emplace(file_, block, kChainName);
    const DataBlockHeader head = walk_->read(buffer_);
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
