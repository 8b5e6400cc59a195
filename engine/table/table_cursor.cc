#include "engine/table/table_cursor.h"

#include <algorithm>
#include <cstring>

#include "engine/table/table.h"

namespace pdx {

namespace {
constexpr const char* kChainName = "chain of data blocks";
}  // namespace

KeyOrder primary_key_order(const Table& table) {
    std::vector<KeyOrder::Part> parts;
    for (std::size_t k = 0; k < table.schema().key_fields(); ++k)
        parts.push_back({table.schema()[k].offset, table.schema()[k].descriptor, false});
    return KeyOrder(std::move(parts), alpha_collation_of(table.header()), false);
}

TableCursor::TableCursor(std::shared_ptr<const Table> table)
    : Cursor(std::move(table)),
      file_(this->table().data_file()),
      record_size_(this->table().header().record_size) {
    if (this->table().is_keyed()) key_order_.emplace(primary_key_order(this->table()));
    first();
}

void TableCursor::first() {
    seen_changes_ = table().change_count();
    seen_layout_ = table().layout_count();
    walk_.emplace(file_, file_.header().first_block, kChainName);
    record_number_ = 0;
    number_known_ = true;
    block_number_ = 0;
    slot_ = 0;
    records_in_block_ = 0;
    eof_ = true;
    if (load_first_with_records()) {
        record_number_ = 1;
        eof_ = false;
    } else {
        check_count_at_end();
    }
}

bool TableCursor::load_first_with_records() const {
    for (DataBlockHeader head; !walk_->done(); walk_->advance(head.next_block)) {
        head = walk_->read(spare_);
        const std::size_t count = head.record_count(record_size_);
        if (count > 0) {
            block_.swap(spare_);
            block_header_ = head;
            block_number_ = walk_->block();
            records_in_block_ = count;
            slot_ = 0;
            return true;
        }
    }
    return false;
}

bool TableCursor::load_next_block_with_records() const {
    walk_->advance(block_header_.next_block);
    return load_first_with_records();
}

// Reads `block` as it is now, keeping the slot; false when it holds no records (a block
// that left the chain is emptied when it is freed).
bool TableCursor::load_block(std::uint32_t block) const {
    block_header_ = file_.read_data_block(block, block_);
    block_number_ = block;
    records_in_block_ = block_header_.record_count(record_size_);
    return records_in_block_ > 0;
}

void TableCursor::next() {
    catch_up();
    if (eof_) return;
    if (slot_ + 1 < records_in_block_) {
        ++slot_;
    } else if (!load_next_block_with_records()) {
        eof_ = true;
        check_count_at_end();
        return;
    }
    ++record_number_;
    if (number_known_ && record_number_ > file_.header().num_records)
        file_.fail("its blocks hold more records than the " +
                   std::to_string(file_.header().num_records) + " its header counts");
}

void TableCursor::check_count_at_end() const {
    if (!number_known_) {
        // Counted again after a change: at the end the cursor stands on the last record.
        record_number_ = file_.header().num_records;
        number_known_ = true;
        return;
    }
    if (record_number_ != file_.header().num_records)
        file_.fail("its header counts " + std::to_string(file_.header().num_records) +
                   " records but its blocks hold " + std::to_string(record_number_));
}

bool TableCursor::eof() const {
    catch_up();
    return eof_;
}

bool TableCursor::has_record() const {
    catch_up();
    return record_number_ != 0;
}

std::uint32_t TableCursor::record_number() const {
    catch_up();
    if (number_known_) return record_number_;
    std::uint32_t before = 0;
    for (BlockChainWalk walk(file_, file_.header().first_block, kChainName);
         walk.block() != block_number_;) {
        if (walk.done())
            file_.fail("block " + std::to_string(block_number_) +
                       " is no longer in the chain of data blocks");
        const DataBlockHeader head = walk.read(spare_);
        before += static_cast<std::uint32_t>(head.record_count(record_size_));
        walk.advance(head.next_block);
    }
    record_number_ = before + static_cast<std::uint32_t>(slot_) + 1;
    number_known_ = true;
    return record_number_;
}

Bytes TableCursor::slot_bytes(std::size_t slot) const {
    return Bytes(block_).subspan(record_offset_in_block(slot, record_size_), record_size_);
}

Bytes TableCursor::record() const {
    catch_up();
    if (record_number_ == 0) no_current_record();
    return slot_bytes(slot_);
}

Bytes TableCursor::current_block() const {
    catch_up();
    if (record_number_ == 0) no_current_record();
    return block_;
}

std::uint32_t TableCursor::current_block_number() const {
    catch_up();
    return block_number_;
}

Bookmark TableCursor::bookmark() const {
    const std::uint32_t number = record_number();
    return {number, block_number_, static_cast<std::uint32_t>(slot_), table().change_count(), eof_};
}

void TableCursor::go_to(const Bookmark& mark) {
    if (mark.record_number == 0) {
        first();
        return;
    }
    if (mark.block == block_number_ && records_in_block_ > 0 &&
        mark.change_count == table().change_count() && seen_layout_ == table().layout_count()) {
        // A place in the block the cursor holds, which no change has moved a record of.
        refresh_in_place();
        if (mark.slot < records_in_block_) {
            slot_ = mark.slot;
            record_number_ = mark.record_number;
            number_known_ = true;
            eof_ = mark.at_end;
            return;
        }
    }
    seen_changes_ = table().change_count();
    seen_layout_ = table().layout_count();
    const bool stale = mark.change_count != seen_changes_;
    walk_.emplace(file_, mark.block, kChainName);
    const DataBlockHeader head = walk_->read(block_);
    const std::size_t count = head.record_count(record_size_);
    if (mark.slot >= count) {
        // A bookmark taken before the table changed may name a place that is gone.
        if (!stale)
            file_.fail("block " + std::to_string(mark.block) + " no longer holds record slot " +
                       std::to_string(mark.slot + 1));
        eof_ = false;
        go_to_number(mark.record_number);
        return;
    }
    block_header_ = head;
    block_number_ = mark.block;
    records_in_block_ = count;
    slot_ = mark.slot;
    record_number_ = mark.record_number;
    number_known_ = !stale;
    eof_ = mark.at_end;
}

// --- finding the place again after a change ------------------------------------------------

void TableCursor::catch_up() const {
    if (seen_changes_ == table().change_count()) return;
    if (seen_layout_ == table().layout_count() && records_in_block_ > 0) {
        refresh_in_place();
        return;
    }
    seen_changes_ = table().change_count();
    seen_layout_ = table().layout_count();
    // The chain is followed anew from here: blocks may have joined or left it.
    walk_.emplace(file_, 0, kChainName);
    walk_->stand_on(block_number_);
    if (eof_) {
        stand_at_end();
        return;
    }
    const Bytes stood_on = slot_bytes(slot_);
    refind(std::vector<std::uint8_t>(stood_on.begin(), stood_on.end()));
}

// Records changed where they stand since the cursor last looked, none moved: its place holds.
// After a single such change only that record is read again, if it is in the cursor's block.
void TableCursor::refresh_in_place() const {
    const bool one_change = table().change_count() == seen_changes_ + 1;
    seen_changes_ = table().change_count();
    if (!one_change) {
        load_block(block_number_);
        return;
    }
    if (table().last_in_place_block() != block_number_) return;
    const std::size_t slot = table().last_in_place_slot();
    file_.read_within_block(
        block_number_, record_offset_in_block(slot, record_size_),
        MutableBytes(block_).subspan(record_offset_in_block(slot, record_size_), record_size_));
}

void TableCursor::refind(const std::vector<std::uint8_t>& current) const {
    const std::size_t old_slot = slot_;
    const std::uint32_t old_number = record_number_;
    number_known_ = false;
    const bool live = load_block(block_number_);
    if (live && find_in_own_block(current, old_slot)) return;
    if (key_order_) {
        if (!find_key_near(current)) find_key_along_chain(current);
        return;
    }
    if (live && old_slot < records_in_block_) {
        slot_ = old_slot;  // the record that followed moved up into the slot
        return;
    }
    if (live) {
        if (!load_next_block_with_records()) stand_at_end();
        return;
    }
    go_to_number(old_number);
}

// The record in its block, at its slot or the nearest slot that holds the same bytes.
bool TableCursor::find_in_own_block(const std::vector<std::uint8_t>& current,
                                    std::size_t slot) const {
    const auto holds = [&](std::size_t s) {
        return s < records_in_block_ &&
               std::memcmp(slot_bytes(s).data(), current.data(), record_size_) == 0;
    };
    for (std::size_t distance = 0; distance < records_in_block_ + slot; ++distance) {
        if (holds(slot + distance)) {
            slot_ = slot + distance;
            return true;
        }
        if (distance <= slot && holds(slot - distance)) {
            slot_ = slot - distance;
            return true;
        }
    }
    return false;
}

std::size_t TableCursor::first_slot_not_below(Bytes key_record) const {
    std::size_t low = 0;
    std::size_t high = records_in_block_;
    while (low < high) {
        const std::size_t middle = (low + high) / 2;
        if (key_order_->compare(slot_bytes(middle), key_record) < 0)
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

// The key's place in the cursor's block (just read) or in the block after it, the places a
// split or a merge moves records to. False when it lies elsewhere.
bool TableCursor::find_key_near(const std::vector<std::uint8_t>& current) const {
    if (records_in_block_ == 0) return false;
    if (key_order_->compare(slot_bytes(0), current) > 0) return false;
    for (int step = 0; step < 2; ++step) {
        if (key_order_->compare(current, slot_bytes(records_in_block_ - 1)) <= 0) {
            slot_ = first_slot_not_below(current);
            return true;
        }
        const std::uint16_t following = block_header_.next_block;
        if (following == 0) {
            stand_at_end();  // nothing in the table sorts after the key
            return true;
        }
        walk_->advance(following);
        if (!load_block(following)) return false;
    }
    return false;
}

void TableCursor::find_key_along_chain(const std::vector<std::uint8_t>& current) const {
    std::uint32_t before = 0;
    for (walk_.emplace(file_, file_.header().first_block, kChainName); !walk_->done();
         walk_->advance(block_header_.next_block)) {
        load_block(walk_->block());
        if (records_in_block_ > 0 &&
            key_order_->compare(current, slot_bytes(records_in_block_ - 1)) <= 0) {
            slot_ = first_slot_not_below(current);
            record_number_ = before + static_cast<std::uint32_t>(slot_) + 1;
            number_known_ = true;
            return;
        }
        before += static_cast<std::uint32_t>(records_in_block_);
    }
    stand_at_end();
}

// Record `number` in table order, or the end of the table when there are fewer records.
void TableCursor::go_to_number(std::uint32_t number) const {
    std::uint32_t before = 0;
    for (walk_.emplace(file_, file_.header().first_block, kChainName); !walk_->done();
         walk_->advance(block_header_.next_block)) {
        load_block(walk_->block());
        if (before + records_in_block_ >= number) {
            slot_ = number - before - 1;
            record_number_ = number;
            number_known_ = true;
            return;
        }
        before += static_cast<std::uint32_t>(records_in_block_);
    }
    stand_at_end();
}

// At the end of the table, on its last record (none when it is empty).
void TableCursor::stand_at_end() const {
    eof_ = true;
    const TableHeader& h = file_.header();
    if (h.num_records == 0 || h.last_block == 0) {
        record_number_ = 0;
        number_known_ = true;
        block_number_ = 0;
        records_in_block_ = 0;
        slot_ = 0;
        return;
    }
    if (!load_block(h.last_block))
        file_.fail("its last block " + std::to_string(h.last_block) + " holds no records");
    walk_->stand_on(h.last_block);
    slot_ = records_in_block_ - 1;
    record_number_ = h.num_records;
    number_known_ = true;
}

}  // namespace pdx
