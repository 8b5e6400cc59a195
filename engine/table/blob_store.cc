#include "engine/table/blob_store.h"

#include <algorithm>

#include "common/error.h"

namespace pdx {

namespace {

constexpr std::size_t kModificationOffset = 3;
constexpr std::size_t kFreeHintOffset = 0x38;
constexpr std::size_t kFreeHintEnd = 0x40;
// Small-value blocks tried for a new value before a fresh one is started.
constexpr std::size_t kSmallBlocksTried = 8;

std::uint64_t round_up_to_unit(std::uint64_t size) {
    return (size + kBlobUnit - 1) / kBlobUnit * kBlobUnit;
}

}  // namespace

void create_blob_file(const std::filesystem::path& path, std::uint16_t modification_count) {
    File file = File::create(path);
    BlobFileHeader header;
    header.modification_count = modification_count;
    file.write_at(0, header.encode());
    file.sync();
}

BlobStore::BlobStore(const std::filesystem::path& path)
    : file_(File::open(path, File::Mode::kReadWrite)), name_(path.filename().string()) {}

std::optional<std::vector<std::uint8_t>> BlobStore::read_unit_head(std::uint64_t offset,
                                                                   std::size_t n) {
    std::vector<std::uint8_t> bytes(n);
    if (file_.read_at(offset, bytes) != n) return std::nullopt;
    return bytes;
}

void BlobStore::scan() {
    if (scanned_) return;
    const std::uint64_t size = file_.size();
    header_.assign(kBlobUnit, 0);
    if (file_.read_at(0, header_) < kFreeHintEnd || header_[0] != 0)
        throw vaq::Error("The blob file " + name_ + " is damaged: it has no header block.");
    end_ = std::max<std::uint64_t>(round_up_to_unit(size), kBlobUnit);
    free_blocks_.clear();
    small_blocks_.clear();
    for (std::uint64_t offset = kBlobUnit; offset < size;) {
        const auto head_bytes = read_unit_head(offset, BlobBlockHead::kEncodedSize);
        if (!head_bytes) break;
        const BlobBlockHead head = BlobBlockHead::decode(head_bytes->data());
        // Past a block this walk cannot read, new values simply go to the end of the file.
        if (head.units == 0 || offset + std::uint64_t{head.units} * kBlobUnit > end_) break;
        if (head.type == static_cast<std::uint8_t>(BlobBlockType::kSubAllocated))
            small_blocks_.push_back(offset);
        else if (head.type == static_cast<std::uint8_t>(BlobBlockType::kFree))
            free_blocks_[offset] = head.units;
        else if (head.type != static_cast<std::uint8_t>(BlobBlockType::kSingle))
            break;
        offset += std::uint64_t{head.units} * kBlobUnit;
    }
    scanned_ = true;
}

std::uint16_t BlobStore::next_modification() {
    auto count = static_cast<std::uint16_t>(load_u16le(header_.data() + kModificationOffset) + 1);
    if (count == 0) count = 1;
    store_u16le(header_.data() + kModificationOffset, count);
    changed_ = true;
    return count;
}

std::uint64_t BlobStore::take_units(std::uint16_t units) {
    for (auto it = free_blocks_.begin(); it != free_blocks_.end(); ++it) {
        if (it->second < units) continue;
        const std::uint64_t offset = it->first;
        const std::uint16_t left = static_cast<std::uint16_t>(it->second - units);
        free_blocks_.erase(it);
        if (left > 0) {
            const std::uint64_t rest = offset + std::uint64_t{units} * kBlobUnit;
            free_blocks_[rest] = left;
            pending_free_heads_[rest] = left;
        }
        pending_free_heads_.erase(offset);
        return offset;
    }
    const std::uint64_t offset = end_;
    end_ += std::uint64_t{units} * kBlobUnit;
    if (end_ > 0xFFFFFFFFull) throw vaq::Error("The blob file " + name_ + " is full (4 GiB).");
    return offset;
}

BlobStore::SmallBlock& BlobStore::small_block(std::uint64_t offset) {
    auto it = touched_.find(offset);
    if (it != touched_.end()) return it->second;
    std::vector<std::uint8_t> unit(kBlobUnit);
    unit.resize(file_.read_at(offset, unit));
    return touched_.emplace(offset, SmallBlock{SmallBlobBlock(std::move(unit)), false})
        .first->second;
}

BlobPointer BlobStore::store(Bytes value, ChangeJournal::Change& change) {
    scan();
    const std::uint16_t modification = next_modification();
    const auto length = static_cast<std::uint32_t>(value.size());
    if (value.size() > kSmallBlobLimit) {
        const std::uint64_t offset = take_units(single_blob_units(value.size()));
        change.write(file_, offset, encode_single_blob(value, modification));
        return {static_cast<std::uint32_t>(offset), BlobPointer::kWholeBlock, length, modification};
    }
    const std::size_t tried = std::min(small_blocks_.size(), kSmallBlocksTried);
    for (std::size_t i = 0; i < tried; ++i) {
        const std::uint64_t offset = small_blocks_[small_blocks_.size() - 1 - i];
        SmallBlock& small = small_block(offset);
        if (small.block.bytes()[0] != static_cast<std::uint8_t>(BlobBlockType::kSubAllocated))
            continue;
        if (auto slot = small.block.put(value, modification)) {
            small.dirty = true;
            return {static_cast<std::uint32_t>(offset), *slot, length, modification};
        }
    }
    const std::uint64_t offset = take_units(1);
    SmallBlock& fresh = touched_[offset];
    fresh.block = SmallBlobBlock();
    fresh.dirty = true;
    small_blocks_.push_back(offset);
    const auto slot = fresh.block.put(value, modification);
    return {static_cast<std::uint32_t>(offset), slot.value(), length, modification};
}

void BlobStore::release(const BlobPointer& pointer, ChangeJournal::Change& change) {
    scan();
    const std::uint64_t offset = pointer.block_offset;
    if (offset < kBlobUnit || offset % kBlobUnit != 0 || offset >= end_) return;
    if (pointer.slot == BlobPointer::kWholeBlock) {
        const auto head_bytes = read_unit_head(offset, SingleBlobHead::kEncodedSize);
        if (!head_bytes) return;
        const SingleBlobHead head = SingleBlobHead::decode(head_bytes->data());
        if ((*head_bytes)[0] != static_cast<std::uint8_t>(BlobBlockType::kSingle) ||
            head.modification != pointer.modification || head.units == 0)
            return;
        change.write(file_, offset, encode_free_block_head(head.units));
        free_blocks_[offset] = head.units;
        pending_free_heads_.erase(offset);
        changed_ = true;
        return;
    }
    if (pointer.slot >= BlobSlot::kCount) return;
    SmallBlock& small = small_block(offset);
    const auto& unit = small.block.bytes();
    if (unit[0] != static_cast<std::uint8_t>(BlobBlockType::kSubAllocated)) return;
    const BlobSlot slot = BlobSlot::decode(unit.data() + BlobSlot::kTableOffset +
                                           pointer.slot * BlobSlot::kEncodedSize);
    if (!slot.in_use() || slot.modification != pointer.modification) return;
    small.block.remove(pointer.slot);
    small.dirty = true;
    if (std::find(small_blocks_.begin(), small_blocks_.end(), offset) == small_blocks_.end())
        small_blocks_.push_back(offset);
    changed_ = true;
}

void BlobStore::stage(ChangeJournal::Change& change) {
    for (auto& [offset, small] : touched_)
        if (small.dirty) change.write(file_, offset, small.block.bytes());
    for (const auto& [offset, units] : pending_free_heads_)
        change.write(file_, offset, encode_free_block_head(units));
    if (!changed_) return;
    std::fill(header_.begin() + kFreeHintOffset, header_.begin() + kFreeHintEnd, 0);
    change.write(file_, 0, Bytes(header_).first(kFreeHintEnd));
}

void BlobStore::committed() {
    touched_.clear();
    pending_free_heads_.clear();
    changed_ = false;
}

void BlobStore::discard() {
    scanned_ = false;
    touched_.clear();
    pending_free_heads_.clear();
    changed_ = false;
}

BlobFileBuilder::BlobFileBuilder(const std::filesystem::path& path) : file_(File::create(path)) {}

BlobPointer BlobFileBuilder::add(Bytes value) {
    constexpr std::uint16_t kModification = 1;
    const auto length = static_cast<std::uint32_t>(value.size());
    if (end_ + value.size() + kBlobUnit > 0xFFFFFFFFull)
        throw vaq::Error("The blob file " + file_.path().filename().string() + " is full (4 GiB).");
    if (value.size() > kSmallBlobLimit) {
        const std::uint64_t offset = end_;
        const auto block = encode_single_blob(value, kModification);
        file_.write_at(offset, block);
        end_ += block.size();
        return {static_cast<std::uint32_t>(offset), BlobPointer::kWholeBlock, length,
                kModification};
    }
    if (small_) {
        if (auto slot = small_->put(value, kModification))
            return {static_cast<std::uint32_t>(small_offset_), *slot, length, kModification};
        flush_small();
    }
    small_.emplace();
    small_offset_ = end_;
    end_ += kBlobUnit;
    const auto slot = small_->put(value, kModification);
    return {static_cast<std::uint32_t>(small_offset_), slot.value(), length, kModification};
}

void BlobFileBuilder::flush_small() {
    if (!small_) return;
    file_.write_at(small_offset_, small_->bytes());
    small_.reset();
}

void BlobFileBuilder::finish() {
    flush_small();
    BlobFileHeader header;
    header.modification_count = 1;
    file_.write_at(0, header.encode());
}

}  // namespace pdx
