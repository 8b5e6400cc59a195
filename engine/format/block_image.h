#pragma once

// A whole block of a .DB, .PX, X or Y file held in memory while it is changed: the block
// header (data_block.h) and fixed-size records from byte 6. The records are kept together
// at the start; encode() zeros the bytes after the last one. The image remembers which of
// its record bytes changed since it was read (changed_records()), so that a writer can write
// just those and the block header; a new block counts as changed all over.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "engine/format/coding.h"
#include "engine/format/data_block.h"

namespace pdx {

class BlockImage {
  public:
    BlockImage() = default;
    BlockImage(std::uint16_t number, std::size_t block_size, std::size_t record_size)
        : number_(number),
          record_size_(record_size),
          bytes_(block_size, 0),
          capacity_(capacity_of(block_size, record_size)),
          changed_begin_(0),
          changed_end_(block_size) {}
    // Takes the bytes of a block as read; the header must have been checked.
    BlockImage(std::uint16_t number, std::vector<std::uint8_t> bytes, std::size_t record_size)
        : number_(number),
          record_size_(record_size),
          bytes_(std::move(bytes)),
          capacity_(capacity_of(bytes_.size(), record_size)) {
        const DataBlockHeader head = DataBlockHeader::decode(bytes_.data());
        next_ = head.next_block;
        prev_ = head.prev_block;
        count_ = head.record_count(record_size);
    }

    std::uint16_t number() const { return number_; }
    std::uint16_t next() const { return next_; }
    std::uint16_t prev() const { return prev_; }
    void set_next(std::uint16_t block) { next_ = block; }
    void set_prev(std::uint16_t block) { prev_ = block; }

    std::size_t count() const { return count_; }
    std::size_t capacity() const { return capacity_; }
    bool full() const { return count_ >= capacity_; }
    std::size_t record_size() const { return record_size_; }

    // The block's bytes as they stand in memory (encode() brings the header up to date).
    Bytes bytes() const { return bytes_; }
    Bytes record(std::size_t slot) const {
        return Bytes(bytes_).subspan(record_offset_in_block(slot, record_size_), record_size_);
    }
    // The record's bytes, to be changed by the caller.
    std::uint8_t* mutable_record(std::size_t slot) {
        mark_changed(slot, slot + 1);
        return record_at(slot);
    }

    // Opens a gap at `slot` and copies `record` (record_size bytes) into it.
    void insert(std::size_t slot, const std::uint8_t* record) {
        mark_changed(slot, count_ + 1);
        std::uint8_t* at = record_at(slot);
        if (slot < count_) std::memmove(at + record_size_, at, (count_ - slot) * record_size_);
        std::memcpy(at, record, record_size_);
        ++count_;
    }
    // Copies `record` after the last record (the block must not be full); returns where it
    // now stands, to be changed further by the caller.
    std::uint8_t* append(const std::uint8_t* record) {
        mark_changed(count_, count_ + 1);
        std::uint8_t* at = record_at(count_);
        std::memcpy(at, record, record_size_);
        ++count_;
        return at;
    }
    void erase(std::size_t slot) {
        mark_changed(slot, count_);
        std::uint8_t* at = record_at(slot);
        std::memmove(at, at + record_size_, (count_ - slot - 1) * record_size_);
        --count_;
    }
    // Appends the records [first, first + n) of `from`.
    void append_from(const BlockImage& from, std::size_t first, std::size_t n) {
        mark_changed(count_, count_ + n);
        std::memcpy(record_at(count_), from.record(first).data(), n * record_size_);
        count_ += n;
    }
    // Keeps the first n records.
    void truncate(std::size_t n) {
        if (n < count_) mark_changed(n, count_);
        count_ = std::min(count_, n);
    }
    void clear() { truncate(0); }

    // The block as it goes to disk.
    const std::vector<std::uint8_t>& encode() {
        DataBlockHeader head{next_, prev_,
                             DataBlockHeader::add_data_size_for(count_, record_size_)};
        head.encode(bytes_.data());
        const std::size_t used = record_offset_in_block(count_, record_size_);
        std::fill(bytes_.begin() + static_cast<std::ptrdiff_t>(used), bytes_.end(), 0);
        return bytes_;
    }
    // The byte range [first, second) of the block, past its header, whose records changed
    // since the image was read or last settled; empty when none did.
    std::pair<std::size_t, std::size_t> changed_records() const {
        if (changed_begin_ >= changed_end_) return {0, 0};
        return {std::max(changed_begin_, DataBlockHeader::kEncodedSize), changed_end_};
    }
    // The image now stands as written.
    void settle() { changed_begin_ = changed_end_ = 0; }

  private:
    static std::size_t capacity_of(std::size_t block_size, std::size_t record_size) {
        return (block_size - DataBlockHeader::kEncodedSize) / record_size;
    }
    std::uint8_t* record_at(std::size_t slot) {
        return bytes_.data() + record_offset_in_block(slot, record_size_);
    }
    // Records [first, end) changed.
    void mark_changed(std::size_t first, std::size_t end) {
        const std::size_t begin = record_offset_in_block(first, record_size_);
        const std::size_t stop = record_offset_in_block(end, record_size_);
        if (changed_begin_ >= changed_end_) {
            changed_begin_ = begin;
            changed_end_ = stop;
            return;
        }
        changed_begin_ = std::min(changed_begin_, begin);
        changed_end_ = std::max(changed_end_, stop);
    }

    std::uint16_t number_ = 0;
    std::uint16_t next_ = 0;
    std::uint16_t prev_ = 0;
    std::size_t count_ = 0;
    std::size_t record_size_ = 1;
    std::vector<std::uint8_t> bytes_;
    std::size_t capacity_ = 0;  // records the block holds
    std::size_t changed_begin_ = 0;
    std::size_t changed_end_ = 0;
};

}  // namespace pdx
