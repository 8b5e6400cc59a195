#include "engine/table/table_cursor.h"

#include "engine/table/table.h"

namespace pdx {

TableCursor::TableCursor(std::shared_ptr<const Table> table)
    : Cursor(std::move(table)),
      file_(this->table().data_file()),
      record_size_(this->table().header().record_size) {
    first();
}

void TableCursor::first() {
    guard_.emplace(file_, "chain of data blocks");
    record_number_ = 0;
    block_number_ = 0;
    slot_ = 0;
    records_in_block_ = 0;
    eof_ = true;
    const std::uint16_t head = file_.header().first_block;
    if (head != 0 && load_next_block(head, 0)) {
        record_number_ = 1;
        eof_ = false;
    } else {
        check_count_at_end();
    }
}

bool TableCursor::load_next_block(std::uint32_t block, std::uint32_t from) {
    while (block != 0) {
        guard_->visit(block, from);
        const DataBlockHeader head = file_.read_data_block(block, spare_);
        const std::size_t count = head.record_count(record_size_);
        if (count > 0) {
            block_.swap(spare_);
            block_header_ = head;
            block_number_ = block;
            records_in_block_ = count;
            slot_ = 0;
            return true;
        }
        from = block;
        block = head.next_block;
    }
    return false;
}

void TableCursor::next() {
    if (eof_) return;
    if (slot_ + 1 < records_in_block_) {
        ++slot_;
    } else if (!load_next_block(block_header_.next_block, block_number_)) {
        eof_ = true;
        check_count_at_end();
        return;
    }
    ++record_number_;
    if (record_number_ > file_.header().num_records)
        file_.fail("its blocks hold more records than the " +
                   std::to_string(file_.header().num_records) + " its header counts");
}

void TableCursor::check_count_at_end() const {
    if (record_number_ != file_.header().num_records)
        file_.fail("its header counts " + std::to_string(file_.header().num_records) +
                   " records but its blocks hold " + std::to_string(record_number_));
}

Bytes TableCursor::record() const {
    if (record_number_ == 0) no_current_record();
    return Bytes(block_).subspan(record_offset_in_block(slot_, record_size_), record_size_);
}

Bookmark TableCursor::bookmark() const {
    return {record_number_, block_number_, static_cast<std::uint32_t>(slot_),
            table().change_count(), eof_};
}

void TableCursor::go_to(const Bookmark& mark) {
    if (mark.record_number == 0) {
        first();
        return;
    }
    guard_.emplace(file_, "chain of data blocks");
    guard_->visit(mark.block, 0);
    const DataBlockHeader head = file_.read_data_block(mark.block, block_);
    const std::size_t count = head.record_count(record_size_);
    if (mark.slot >= count)
        file_.fail("block " + std::to_string(mark.block) + " no longer holds record slot " +
                   std::to_string(mark.slot + 1));
    block_header_ = head;
    block_number_ = mark.block;
    records_in_block_ = count;
    slot_ = mark.slot;
    record_number_ = mark.record_number;
    eof_ = mark.at_end;
}

}  // namespace pdx
