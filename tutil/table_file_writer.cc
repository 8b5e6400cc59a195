#include "tutil/table_file_writer.h"

#include <fcntl.h>

#include <algorithm>
#include <cstring>
#include <ctime>

#include "common/error.h"
#include "engine/format/data_block.h"
#include "engine/format/field_codec.h"
#include "engine/format/header_counters.h"
#include "engine/format/new_table.h"

namespace vaq::tutil {

namespace {

// Bytes written with one call: enough that writing costs what copying costs. Two buffers of
// this size are held (one being filled, one being written), whatever the block size.
constexpr std::size_t kWriteSize = std::size_t{1} << 20;
constexpr std::size_t kMaxBlocks = 0xFFFF;

}  // namespace

TableFileWriter::TableFileWriter(const std::filesystem::path& path, pdx::TableHeader header,
                                 const std::optional<std::filesystem::path>& blob_path)
    : file_(pdx::File::create(path)), header_(std::move(header)) {
    std::size_t offset = 0;
    for (std::size_t i = 0; i < header_.fields.size(); ++i) {
        offsets_.push_back(offset);
        if (pdx::is_blob_type(header_.fields[i].descriptor.type)) blob_fields_.push_back(i);
        if (i < header_.key_fields) key_length_ += header_.fields[i].descriptor.width();
        offset += header_.fields[i].descriptor.width();
    }
    if (!blob_fields_.empty() && blob_path) blobs_.emplace(*blob_path);
    scratch_.resize(header_.record_size);
    per_block_ = header_.records_per_block();
    if (per_block_ == 0)
        throw vaq::Error("The records of " + header_.table_name + " do not fit in its blocks.");
    blocks_per_write_ = std::max<std::size_t>(1, kWriteSize / header_.block_size());
    // Sized once: a buffer that grew block by block would double past its use.
    pending_.resize(blocks_per_write_ * header_.block_size());
}

void TableFileWriter::put_blob(std::size_t field, std::size_t offset,
                               const std::vector<std::uint8_t>* value, std::uint8_t* out) {
    const pdx::FieldDescriptor& d = header_.fields[field].descriptor;
    std::uint8_t* bytes = out + offset;
    const std::size_t leader = d.blob_leader();
    // The bytes before the pointer stay as the record holds them: the start of a memo, but
    // what other writers keep there for graphics and OLE objects need not be the value's
    // first bytes.
    std::memset(bytes + leader, 0, d.width() - leader);
    if (value == nullptr || value->empty()) return;
    if (value->size() <= leader) std::memcpy(bytes, value->data(), value->size());
    pdx::BlobPointer pointer;
    pointer.length = static_cast<std::uint32_t>(value->size());
    if (value->size() > leader) {
        if (!blobs_)
            throw vaq::Error("A value of field " + header_.fields[field].name +
                             " does not fit in " + "its record and the table has no blob file.");
        pointer = blobs_->add(*value);
    }
    pointer.encode(bytes + leader);
}

void TableFileWriter::add(pdx::Bytes record) {
    static const BlobValues kNoValues;
    add(record, kNoValues);
}

void TableFileWriter::add(pdx::Bytes record, const BlobValues& blobs) {
    const std::uint8_t* bytes = record.data();
    if (!blob_fields_.empty()) {
        std::memcpy(scratch_.data(), record.data(), scratch_.size());
        for (std::size_t field : blob_fields_) {
            const auto value = blobs.find(field);
            put_blob(field, offsets_[field], value == blobs.end() ? nullptr : &value->second,
                     scratch_.data());
        }
        bytes = scratch_.data();
    }
    if (leaves_.empty() || in_block_ == per_block_) start_block();
    std::memcpy(block_being_filled() + pdx::record_offset_in_block(in_block_, header_.record_size),
                bytes, header_.record_size);
    if (in_block_ == 0) leaves_.back().key.assign(bytes, bytes + key_length_);
    ++in_block_;
    ++leaves_.back().count;
    ++records_;
}

void TableFileWriter::add_records(pdx::Bytes records) {
    const std::size_t size = header_.record_size;
    std::size_t left = records.size() / size;
    if (!blob_fields_.empty()) {
        for (std::size_t i = 0; i < left; ++i)
            add(records.subspan(i * size, size));
        return;
    }
    // Without blob fields a record goes in as it is: as many as fit, with one copy.
    const std::uint8_t* from = records.data();
    while (left > 0) {
        if (leaves_.empty() || in_block_ == per_block_) start_block();
        const std::size_t count = std::min(left, per_block_ - in_block_);
        std::memcpy(block_being_filled() + pdx::record_offset_in_block(in_block_, size), from,
                    count * size);
        if (in_block_ == 0) leaves_.back().key.assign(from, from + key_length_);
        in_block_ += count;
        leaves_.back().count += static_cast<std::uint32_t>(count);
        records_ += static_cast<std::uint32_t>(count);
        from += count * size;
        left -= count;
    }
}

void TableFileWriter::reserve(std::size_t blocks) {
    if (blocks == 0) return;
    // One entry a block: grown one by one, the list would double past its use.
    leaves_.reserve(std::min(blocks, kMaxBlocks));
    const std::uint64_t size =
        header_.block_offset(static_cast<std::uint32_t>(std::min(blocks, kMaxBlocks) + 1));
    // Where the file system cannot set room aside, the blocks find it as they are written.
    reserved_ = ::fallocate(file_.descriptor(), 0, 0, static_cast<off_t>(size)) == 0;
}

std::uint8_t* TableFileWriter::block_being_filled() {
    return pending_.data() + pending_used_ - header_.block_size();
}

// Blocks are put together in place in the buffer of the next write; the bytes after the last
// record of a block are zeroed when the block is closed.
void TableFileWriter::start_block() {
    if (leaves_.size() >= kMaxBlocks)
        throw vaq::Error("Table is full: the records of " + header_.table_name +
                         " need more than 65535 blocks.");
    const auto number = static_cast<std::uint16_t>(leaves_.size() + 1);
    if (!leaves_.empty()) close_block(number);
    if (pending_used_ == 0) pending_first_ = number;
    pending_used_ += header_.block_size();
    in_block_ = 0;
    leaves_.push_back({number, {}, 0});
}

void TableFileWriter::close_block(std::uint16_t next) {
    const auto number = static_cast<std::uint16_t>(leaves_.size());
    const pdx::DataBlockHeader head{
        next, static_cast<std::uint16_t>(number - 1),
        pdx::DataBlockHeader::add_data_size_for(in_block_, header_.record_size)};
    std::uint8_t* block = block_being_filled();
    head.encode(block);
    std::memset(block + pdx::record_offset_in_block(in_block_, header_.record_size), 0,
                header_.block_size() - pdx::record_offset_in_block(in_block_, header_.record_size));
    if (pending_used_ == pending_.size()) write_out_pending();
}

// A table of more than one piece is written behind the records: one piece is written while
// the next is put together.
void TableFileWriter::write_out_pending() {
    if (!behind_) behind_.emplace(file_);
    behind_->write(header_.block_offset(pending_first_),
                   pdx::Bytes(pending_.data(), pending_used_));
    std::swap(pending_, in_flight_);
    pending_.resize(in_flight_.size());
    pending_used_ = 0;
}

void TableFileWriter::write_last_piece() {
    if (pending_used_ > 0) {
        if (behind_)
            write_out_pending();
        else
            file_.write_at(header_.block_offset(pending_first_),
                           pdx::Bytes(pending_.data(), pending_used_));
        pending_used_ = 0;
    }
    if (behind_) behind_->wait();
}

std::vector<pdx::IndexLeaf> TableFileWriter::finish(std::uint32_t auto_increment,
                                                    FinishFlush flush) {
    if (!leaves_.empty()) close_block(0);
    write_last_piece();
    if (blobs_) blobs_->finish();

    const auto blocks = static_cast<std::uint16_t>(leaves_.size());
    header_.num_records = records_;
    header_.blocks_in_use = blocks;
    pdx::set_file_blocks(header_, blocks);
    header_.first_block = blocks > 0 ? 1 : 0;
    header_.last_block = blocks;
    header_.first_free_block = 0;
    header_.modified_flags1 = 0;
    header_.modified_flags2 = 0;
    header_.index_update_required = 0;
    header_.auto_inc = auto_increment;
    header_.change_count1 = std::max(header_.change_count1, pdx::kFreshChangeCount);
    if (header_.has_extension())
        header_.update_time = static_cast<std::uint32_t>(std::time(nullptr));
    file_.write_at(0, header_.encode());
    if (reserved_) file_.truncate(header_.block_offset(std::uint32_t{blocks} + 1));
    if (flush == FinishFlush::kFlush) file_.sync();
    return std::move(leaves_);
}

}  // namespace vaq::tutil
