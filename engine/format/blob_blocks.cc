#include "engine/format/blob_blocks.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace pdx {

namespace {

constexpr std::size_t kFirstDataChunk = BlobSlot::kDataStart / BlobSlot::kChunk;  // 21
constexpr std::size_t kChunksPerUnit = kBlobUnit / BlobSlot::kChunk;              // 256

std::size_t chunks_for(std::size_t length) {
    return (length + BlobSlot::kChunk - 1) / BlobSlot::kChunk;
}

}  // namespace

std::uint16_t single_blob_units(std::size_t length) {
    const std::size_t units = (SingleBlobHead::kEncodedSize + length + kBlobUnit - 1) / kBlobUnit;
    if (units > 0xFFFF) throw std::length_error("blob value too long for one block");
    return static_cast<std::uint16_t>(units);
}

std::vector<std::uint8_t> encode_single_blob(Bytes value, std::uint16_t modification) {
    const std::uint16_t units = single_blob_units(value.size());
    std::vector<std::uint8_t> block(std::size_t{units} * kBlobUnit, 0);
    SingleBlobHead{units, static_cast<std::uint32_t>(value.size()), modification}.encode(
        block.data());
    std::memcpy(block.data() + SingleBlobHead::kEncodedSize, value.data(), value.size());
    return block;
}

std::vector<std::uint8_t> encode_free_block_head(std::uint16_t units) {
    std::vector<std::uint8_t> head(BlobBlockHead::kEncodedSize);
    BlobBlockHead{static_cast<std::uint8_t>(BlobBlockType::kFree), units}.encode(head.data());
    return head;
}

SmallBlobBlock::SmallBlobBlock() : unit_(kBlobUnit, 0) {
    BlobBlockHead{static_cast<std::uint8_t>(BlobBlockType::kSubAllocated), 1}.encode(unit_.data());
}

SmallBlobBlock::SmallBlobBlock(std::vector<std::uint8_t> unit) : unit_(std::move(unit)) {
    unit_.resize(kBlobUnit, 0);
}

BlobSlot SmallBlobBlock::slot(std::size_t i) const {
    return BlobSlot::decode(unit_.data() + BlobSlot::kTableOffset + i * BlobSlot::kEncodedSize);
}

void SmallBlobBlock::set_slot(std::size_t i, const BlobSlot& s) {
    s.encode(unit_.data() + BlobSlot::kTableOffset + i * BlobSlot::kEncodedSize);
}

bool SmallBlobBlock::has_free_slot() const {
    for (std::size_t i = 0; i < BlobSlot::kCount; ++i)
        if (!slot(i).in_use()) return true;
    return false;
}

std::size_t SmallBlobBlock::free_chunks() const {
    std::size_t used = 0;
    for (std::size_t i = 0; i < BlobSlot::kCount; ++i)
        if (const BlobSlot s = slot(i); s.in_use()) used += s.length_chunks;
    const std::size_t total = kChunksPerUnit - kFirstDataChunk;
    return used >= total ? 0 : total - used;
}

std::optional<std::size_t> SmallBlobBlock::find_run(std::size_t chunks) const {
    std::vector<bool> taken(kChunksPerUnit, false);
    for (std::size_t i = 0; i < BlobSlot::kCount; ++i) {
        const BlobSlot s = slot(i);
        if (!s.in_use()) continue;
        for (std::size_t c = s.offset_chunks; c < s.offset_chunks + s.length_chunks; ++c)
            if (c < kChunksPerUnit) taken[c] = true;
    }
    std::size_t run = 0;
    for (std::size_t c = kFirstDataChunk; c < kChunksPerUnit; ++c) {
        run = taken[c] ? 0 : run + 1;
        if (run == chunks) return c + 1 - chunks;
    }
    return std::nullopt;
}

void SmallBlobBlock::compact() {
    struct Used {
        std::size_t slot;
        BlobSlot entry;
    };
    std::vector<Used> used;
    for (std::size_t i = 0; i < BlobSlot::kCount; ++i)
        if (const BlobSlot s = slot(i); s.in_use()) used.push_back({i, s});
    std::sort(used.begin(), used.end(), [](const Used& a, const Used& b) {
        return a.entry.offset_chunks < b.entry.offset_chunks;
    });
    std::size_t next = kFirstDataChunk;
    for (Used& u : used) {
        const std::size_t bytes = std::size_t{u.entry.length_chunks} * BlobSlot::kChunk;
        std::memmove(unit_.data() + next * BlobSlot::kChunk,
                     unit_.data() + std::size_t{u.entry.offset_chunks} * BlobSlot::kChunk, bytes);
        u.entry.offset_chunks = static_cast<std::uint8_t>(next);
        set_slot(u.slot, u.entry);
        next += u.entry.length_chunks;
    }
    std::fill(unit_.begin() + static_cast<std::ptrdiff_t>(next * BlobSlot::kChunk), unit_.end(), 0);
}

std::optional<std::uint8_t> SmallBlobBlock::put(Bytes value, std::uint16_t modification) {
    if (value.empty() || value.size() > kSmallBlobLimit)
        throw std::invalid_argument("small blob value of impossible length");
    std::optional<std::size_t> free_slot;
    for (std::size_t i = BlobSlot::kCount; i-- > 0;) {
        if (!slot(i).in_use()) {
            free_slot = i;
            break;
        }
    }
    const std::size_t chunks = chunks_for(value.size());
    if (!free_slot || free_chunks() < chunks) return std::nullopt;
    std::optional<std::size_t> at = find_run(chunks);
    if (!at) {
        compact();
        at = find_run(chunks);
        if (!at) return std::nullopt;
    }
    std::uint8_t* data = unit_.data() + *at * BlobSlot::kChunk;
    std::memset(data, 0, chunks * BlobSlot::kChunk);
    std::memcpy(data, value.data(), value.size());
    BlobSlot entry;
    entry.offset_chunks = static_cast<std::uint8_t>(*at);
    entry.length_chunks = static_cast<std::uint8_t>(chunks);
    entry.modification = modification;
    entry.last_chunk_bytes =
        static_cast<std::uint8_t>(value.size() - (chunks - 1) * BlobSlot::kChunk);
    set_slot(*free_slot, entry);
    return static_cast<std::uint8_t>(*free_slot);
}

void SmallBlobBlock::remove(std::uint8_t slot_number) {
    if (slot_number >= BlobSlot::kCount) return;
    set_slot(slot_number, BlobSlot{});
}

}  // namespace pdx
