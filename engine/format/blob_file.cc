#include "engine/format/blob_file.h"

#include <algorithm>

#include "engine/format/crypt.h"
#include "engine/format/format_error.h"

namespace pdx {

std::vector<std::uint8_t> BlobFileHeader::encode() const {
    std::vector<std::uint8_t> unit(kBlobUnit, 0);
    if (image.size() == kBlobUnit) {
        unit = image;
    } else {
        static constexpr std::uint8_t kConstant[] = {0x82, 0x73, 0x02, 0x00, 0x29, 0x00};
        std::copy(std::begin(kConstant), std::end(kConstant), unit.begin() + 5);
        store_u16le(unit.data() + 0x0B, 0x1000);
        store_u16le(unit.data() + 0x0D, 0x1000);
        unit[0x10] = 0x10;
        store_u16le(unit.data() + 0x11, 0x0040);
        store_u16le(unit.data() + 0x13, 0x0800);
    }
    BlobBlockHead{static_cast<std::uint8_t>(BlobBlockType::kHeader), 1}.encode(unit.data());
    store_u16le(unit.data() + 3, modification_count);
    return unit;
}

BlobFile BlobFile::open(const std::filesystem::path& path, std::uint32_t encryption_key) {
    File file = File::open(path);
    const std::uint64_t size = file.size();
    return BlobFile(std::move(file), path.filename().string(), size, encryption_key);
}

void BlobFile::fail(const std::string& what) const {
    throw FormatError(name_ + " is damaged: " + what + ".");
}

std::vector<std::uint8_t> BlobFile::read_range(std::uint64_t offset, std::size_t size) const {
    if (offset > file_size_ || size > file_size_ - offset)
        fail("a value at offset " + std::to_string(offset) + " of " + std::to_string(size) +
             " bytes runs past the end of the file");
    std::size_t padded = size;
    if (key_ != 0)
        padded = std::min<std::uint64_t>(
            (size + kCryptChunkSize - 1) / kCryptChunkSize * kCryptChunkSize, file_size_ - offset);
    std::vector<std::uint8_t> bytes(padded);
    if (file_.read_at(offset, bytes) != padded)
        fail("the file ends before offset " + std::to_string(offset + padded));
    if (key_ != 0) decrypt_blob_bytes(bytes, key_);
    bytes.resize(size);
    return bytes;
}

std::vector<std::uint8_t> BlobFile::read(const BlobPointer& pointer) const {
    const std::uint64_t offset = pointer.block_offset;
    const std::string at = "the value at offset " + std::to_string(offset);
    if (offset < kBlobUnit || offset % kBlobUnit != 0) fail(at + " does not point at a block");
    if (pointer.slot == BlobPointer::kWholeBlock) {
        const auto head_bytes = read_range(offset, SingleBlobHead::kEncodedSize);
        if (head_bytes[0] != static_cast<std::uint8_t>(BlobBlockType::kSingle))
            fail(at + " points at a block of type " + std::to_string(head_bytes[0]) +
                 " instead of a single-value block");
        const SingleBlobHead head = SingleBlobHead::decode(head_bytes.data());
        if (head.length != pointer.length)
            fail(at + " is " + std::to_string(head.length) + " bytes long, its record says " +
                 std::to_string(pointer.length));
        auto bytes = read_range(offset, SingleBlobHead::kEncodedSize + std::size_t{head.length});
        bytes.erase(bytes.begin(), bytes.begin() + SingleBlobHead::kEncodedSize);
        return bytes;
    }
    if (pointer.slot >= BlobSlot::kCount)
        fail(at + " names slot " + std::to_string(pointer.slot) + " (there are 64)");
    const auto block = read_range(offset, kBlobUnit);
    if (block[0] != static_cast<std::uint8_t>(BlobBlockType::kSubAllocated))
        fail(at + " points at a block of type " + std::to_string(block[0]) +
             " instead of a block of small values");
    const BlobSlot slot = BlobSlot::decode(block.data() + BlobSlot::kTableOffset +
                                           pointer.slot * BlobSlot::kEncodedSize);
    const std::size_t start = slot.offset_chunks * BlobSlot::kChunk;
    if (!slot.in_use()) fail(at + " names the unused slot " + std::to_string(pointer.slot));
    if (slot.length() != pointer.length)
        fail(at + " is " + std::to_string(slot.length()) + " bytes long, its record says " +
             std::to_string(pointer.length));
    if (start < BlobSlot::kDataStart || start + slot.length() > kBlobUnit)
        fail(at + " lies outside its block");
    return std::vector<std::uint8_t>(
        block.begin() + static_cast<std::ptrdiff_t>(start),
        block.begin() + static_cast<std::ptrdiff_t>(start + slot.length()));
}

}  // namespace pdx
