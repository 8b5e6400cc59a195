#include "engine/table/table_pager.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>

#include "engine/format/header_counters.h"
#include "engine/table/crash_points.h"

namespace pdx {

namespace {

// More settled blocks than this are not kept: a walk along the chain would otherwise keep
// the whole table in memory.
constexpr std::size_t kMostSettledBlocks = 64;

// A write that lies within one page of the file reaches it whole or not at all when the
// process is killed: Linux copies a write into the page cache page by page and stops a
// killed process only between pages. Larger pages hold these as well.
constexpr std::uint64_t kUntornSpan = 4096;

constexpr std::size_t kWritebackEvery = std::size_t{4} << 20;

}  // namespace

TablePager::TablePager(BlockFile& data, ChangeJournal& journal)
    : data_(data),
      journal_(journal),
      record_size_(data.header().record_size),
      block_size_(data.header().block_size()) {
    data_.set_overlay(this);
}

TablePager::~TablePager() {
    data_.set_overlay(nullptr);
}

// --- the blocks of a change -------------------------------------------------------------

void TablePager::begin_change() {
    recent_ = nullptr;
    blocks_.clear();  // what a change that failed left
    blocks_.swap(settled_);
    dirty_.clear();
    marked_last_ = 0;
}

BlockImage& TablePager::block(std::uint16_t number) {
    if (recent_ != nullptr && recent_number_ == number) return *recent_;
    auto it = blocks_.find(number);
    if (it == blocks_.end()) {
        std::vector<std::uint8_t> buffer;
        data_.read_data_block(number, buffer);
        it = blocks_.emplace(number, BlockImage(number, std::move(buffer), record_size_)).first;
    }
    recent_ = &it->second;
    recent_number_ = number;
    return it->second;
}

BlockImage& TablePager::new_block(std::uint16_t number) {
    if (recent_number_ == number) recent_ = nullptr;
    blocks_.erase(number);
    mark_dirty(number);
    return blocks_.emplace(number, BlockImage(number, block_size_, record_size_)).first->second;
}

std::uint16_t TablePager::next_block_of(std::uint16_t number, const TableHeader& header) {
    if (auto it = blocks_.find(number); it != blocks_.end()) return it->second.next();
    std::uint8_t bytes[DataBlockHeader::kEncodedSize] = {};
    data_.file().read_at(header.block_offset(number), bytes);
    return DataBlockHeader::decode(bytes).next_block;
}

void TablePager::mark_dirty(std::uint16_t number) {
    // A block stays dirty until the change ends.
    if (number == marked_last_) return;
    marked_last_ = number;
    const auto at = std::lower_bound(dirty_.begin(), dirty_.end(), number);
    if (at == dirty_.end() || *at != number) dirty_.insert(at, number);
}

void TablePager::write_journaled(const TableHeader& header, ChangeJournal::Change& change) {
    // The journal keeps the bytes the file holds: the records held back go first; the
    // header this change writes carries the counters they moved on.
    write_held_records();
    held_header_.clear();
    for (std::uint16_t number : dirty_)
        stage_block(header, blocks_.at(number), change);
    std::vector<std::uint8_t> encoded = header.encode();
    encoded.resize(header.variable_part_offset());
    change.write(data_.file(), 0, Bytes(encoded));
    header_prefix_.clear();
    journal_.commit(change);
    header_prefix_ = std::move(encoded);
    // A run of appends (an import) writes the table a block after another.
    note_written(dirty_.size() * header.block_size());
}

// Queues the block header and the records that changed: the journal then keeps, and the
// file takes, just those bytes instead of the whole block.
void TablePager::stage_block(const TableHeader& header, BlockImage& image,
                             ChangeJournal::Change& change) {
    File& file = data_.file();
    const std::uint64_t offset = header.block_offset(image.number());
    const Bytes bytes(image.encode());
    const auto [begin, end] = image.changed_records();
    if (begin == DataBlockHeader::kEncodedSize) {
        // The image stays as it is until the change is written: the journal need not copy it.
        change.write_borrowed(file, offset, bytes.first(end));
        return;
    }
    change.write(file, offset, bytes.first(DataBlockHeader::kEncodedSize));
    if (begin < end) change.write(file, offset + begin, bytes.subspan(begin, end - begin));
}

void TablePager::hold_record(const BlockImage& image, std::size_t slot, Bytes replaced,
                             const TableHeader& header) {
    if (held_block_ != image.number()) write_held_records();
    hold(image.number(), image.bytes(), record_offset_in_block(slot, record_size_), replaced);
    update_held_header(header);
}

void TablePager::settle() {
    recent_ = nullptr;
    for (std::uint16_t number : dirty_)
        blocks_.at(number).settle();
    settled_.swap(blocks_);
    if (settled_.size() > kMostSettledBlocks) settled_.clear();
}

// --- records changed where they stand ------------------------------------------------------

BlockImage& TablePager::settled_block(std::uint16_t number, Bytes as_it_stands) {
    if (auto it = settled_.find(number); it != settled_.end()) return it->second;
    if (settled_.size() >= kMostSettledBlocks) settled_.clear();
    std::vector<std::uint8_t> buffer;
    if (as_it_stands.size() == block_size_)
        buffer.assign(as_it_stands.begin(), as_it_stands.end());
    else
        data_.read_data_block(number, buffer);
    return settled_.emplace(number, BlockImage(number, std::move(buffer), record_size_))
        .first->second;
}

void TablePager::overwrite_record(BlockImage& image, std::size_t slot, Bytes record) {
    if (held_block_ != image.number()) write_held_records();
    std::memcpy(image.mutable_record(slot), record.data(), record_size_);
    image.settle();
}

// --- held changes ---------------------------------------------------------------------------
//
// A record changed where it stands, when nothing else of the table changes with it (no index
// entry, no .MB space, no other block), is held back here and reaches the file with the other
// changes of its block when a change touches another block or needs the journal, on save
// changes, and when the table closes; the header bytes it moves on follow on save changes and
// close, or with the next journaled change. A walk that changes record after record thus
// writes each block once. The counts, the chain, the primary index and the .MB stay as they
// were, so a process killed at any moment leaves a whole table holding each record either as
// it was or as it became, provided no record is torn (held_records_written_whole). Records
// are written before the header, so that another session that sees the counters move also
// finds the records; killed in between, the header's change counters and update time stay
// behind, which describes the table no worse than any header before it.

// Block `block` now reads `block_now`, in which the bytes at `offset_in_block` replaced
// `replaced`. Every read of that block through the data file sees the change until it is
// written.
void TablePager::hold(std::uint16_t block, Bytes block_now, std::size_t offset_in_block,
                      Bytes replaced) {
    if (data_.header().is_encrypted())
        throw std::logic_error("changes of an encrypted table cannot be held back");
    if (held_block_ != 0 && held_block_ != block)
        throw std::logic_error("block " + std::to_string(held_block_) + " of " + data_.name() +
                               " must be written before block " + std::to_string(block) +
                               " is held");
    if (block_now.size() != block_size_ || offset_in_block + replaced.size() > block_now.size())
        throw std::logic_error("held bytes leave their block");
    const auto at = static_cast<std::ptrdiff_t>(offset_in_block);
    const auto end = at + static_cast<std::ptrdiff_t>(replaced.size());
    if (held_block_ == 0) {
        held_.assign(block_now.begin(), block_now.end());
        held_in_file_ = held_;
        std::copy(replaced.begin(), replaced.end(), held_in_file_.begin() + at);
        held_block_ = block;
        held_begin_ = offset_in_block;
        held_end_ = offset_in_block;
    } else {
        std::copy(block_now.begin() + at, block_now.begin() + end, held_.begin() + at);
    }
    held_begin_ = std::min(held_begin_, offset_in_block);
    held_end_ = std::max(held_end_, offset_in_block + replaced.size());
}

bool TablePager::read_newer(std::uint32_t block, std::size_t offset_in_block,
                            MutableBytes out) const {
    if (block != held_block_ || held_block_ == 0) return false;
    std::copy_n(held_.begin() + static_cast<std::ptrdiff_t>(offset_in_block), out.size(),
                out.begin());
    return true;
}

Bytes TablePager::held_bytes() const {
    return Bytes(held_).subspan(held_begin_, held_end_ - held_begin_);
}

Bytes TablePager::held_bytes_in_file() const {
    return Bytes(held_in_file_).subspan(held_begin_, held_end_ - held_begin_);
}

std::uint64_t TablePager::held_offset() const {
    return data_.header().block_offset(held_block_) + held_begin_;
}

void TablePager::write_held_changes() {
    write_held_records();
    if (held_header_.empty()) return;
    data_.file().write_at(0, held_header_);
    crash_point("change written");
    header_prefix_.swap(held_header_);
    held_header_.clear();
}

void TablePager::write_held_records() {
    if (held_block_ == 0) return;
    ChangeJournal::Change change;
    const std::size_t length = held_bytes().size();
    if (held_records_written_whole(change)) {
        // One write; when it fails the bytes stay held.
        data_.file().write_at(held_offset(), held_bytes());
        held_block_ = 0;
        crash_point("change written");
    } else {
        change.write_unkept(data_.file(), held_offset(), held_bytes());
        journal_.commit(change);
        held_block_ = 0;
    }
    // A walk that changes record after record writes the whole table: its pages go to the
    // disk while the walk goes on, not all at once when the table closes.
    note_written(length);
}

// A write that lies within one page of the file is never torn (kUntornSpan); a record held
// back that lies across a page boundary could be, when it changed on both sides of the
// boundary. True when no record could; else `change` keeps the old bytes from the first
// such record to the end of what is held, so that after a crash the journal puts back that
// record and every one after it: the records before it stay as they became, those from it
// on as they were, and a walk that changed them in turn finds its changes made up to some
// record.
bool TablePager::held_records_written_whole(ChangeJournal::Change& change) const {
    const std::uint64_t begin = held_offset();
    const std::uint64_t end = begin + held_bytes().size();
    const std::uint64_t records_begin =
        data_.header().block_offset(held_block_) + record_offset_in_block(0, record_size_);
    const Bytes now = held_bytes();
    const Bytes in_file = held_bytes_in_file();
    const auto changed = [&](std::uint64_t from, std::uint64_t to) {
        const auto at = static_cast<std::size_t>(from - begin);
        const auto length = static_cast<std::size_t>(to - from);
        return !std::equal(now.begin() + static_cast<std::ptrdiff_t>(at),
                           now.begin() + static_cast<std::ptrdiff_t>(at + length),
                           in_file.begin() + static_cast<std::ptrdiff_t>(at));
    };
    for (std::uint64_t page = begin / kUntornSpan * kUntornSpan + kUntornSpan; page < end;
         page += kUntornSpan) {
        const std::uint64_t record =
            records_begin + (page - records_begin) / record_size_ * record_size_;
        if (record == page || !changed(record, page) || !changed(page, record + record_size_))
            continue;
        change.keep(data_.file(), record, static_cast<std::size_t>(end - record));
        return false;
    }
    return true;
}

// A record changed in place moves only these header bytes on: the change counter 0x2D (to
// its lowest value), the update time 0x60 and the update counter 0x74 (both kept only in
// headers with the extension).
void TablePager::update_held_header(const TableHeader& updated) {
    constexpr std::size_t kChangeCountOffset = 0x2D;
    constexpr std::size_t kUpdateTimeOffset = 0x60;
    if (held_header_.empty()) {
        if (header_prefix_.empty()) {
            header_prefix_ = data_.header().encode();
            header_prefix_.resize(data_.header().variable_part_offset());
        }
        held_header_ = header_prefix_;
    }
    held_header_[kChangeCountOffset] = updated.change_count1;
    if (updated.has_extension()) {
        store_u32le(held_header_.data() + kUpdateTimeOffset, updated.update_time);
        std::memcpy(held_header_.data() + kUpdateCounterOffset,
                    updated.image.data() + kUpdateCounterOffset, 4);
    }
}

// Every few megabytes written, the disk is asked to take the data file's pages, so that the
// flush of save changes or close finds little left to write.
void TablePager::note_written(std::size_t bytes) {
    written_since_writeback_ += bytes;
    if (written_since_writeback_ < kWritebackEvery) return;
    data_.file().start_writeback();
    written_since_writeback_ = 0;
}

}  // namespace pdx
