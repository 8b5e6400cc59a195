#pragma once

// The .MB file: values of memo and blob fields that do not fit in the record's leader.
// It is made of 4096-byte units; every block starts with u8 type, u16 size in units:
//   type 0  header (block 0, one unit)
//   type 2  one value: u32 length, u16 modification number at 3, the bytes at 9
//   type 3  up to 64 small values in one unit (slot table at 0x0C, data from 0x150)
//   type 4  free space
// Offsets in blob pointers are absolute file offsets of a block. In an encrypted table the
// whole file is scrambled (crypt.h), header included.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/format/coding.h"
#include "engine/format/field_codec.h"
#include "engine/format/file.h"

namespace pdx {

inline constexpr std::size_t kBlobUnit = 4096;

enum class BlobBlockType : std::uint8_t {
    kHeader = 0,
    kSingle = 2,
    kSubAllocated = 3,
    kFree = 4,
};

// The first three bytes of every block.
struct BlobBlockHead {
    std::uint8_t type = 0;
    std::uint16_t units = 0;

    static constexpr std::size_t kEncodedSize = 3;
    static BlobBlockHead decode(const std::uint8_t* p) { return {p[0], load_u16le(p + 1)}; }
    void encode(std::uint8_t* p) const {
        p[0] = type;
        store_u16le(p + 1, units);
    }
};

// Block 0. Only the fields below are known; the rest of the unit is kept in `image`.
//   0x00 type 0, 0x01 u16 units = 1, 0x03 u16 modification counter (incremented for every
//   value written, its new value stored with the value), 0x05 constant bytes
//   82 73 02 00 29 00, 0x0B u16 0x1000, 0x0D u16 0x1000, 0x10 u8 0x10, 0x11 u16 64 slots,
//   0x13 u16 0x0800 (values above 2048 bytes get a type-2 block).
struct BlobFileHeader {
    std::uint16_t modification_count = 0;
    std::vector<std::uint8_t> image;  // the unit as read (4096 bytes)

    static BlobFileHeader decode(Bytes unit) {
        return {load_u16le(unit.data() + 3), std::vector<std::uint8_t>(unit.begin(), unit.end())};
    }
    // A whole unit; a fresh header gets the constant bytes the BDE writes.
    std::vector<std::uint8_t> encode() const;
};

// Type-2 block: 0 u8 2, 1 u16 units, 3 u32 length, 7 u16 modification number, 9 data.
// units = the fewest 4096-byte units that hold 9 + length bytes.
struct SingleBlobHead {
    std::uint16_t units = 0;
    std::uint32_t length = 0;
    std::uint16_t modification = 0;

    static constexpr std::size_t kEncodedSize = 9;
    static SingleBlobHead decode(const std::uint8_t* p) {
        return {load_u16le(p + 1), load_u32le(p + 3), load_u16le(p + 7)};
    }
    void encode(std::uint8_t* p) const {
        p[0] = static_cast<std::uint8_t>(BlobBlockType::kSingle);
        store_u16le(p + 1, units);
        store_u32le(p + 3, length);
        store_u16le(p + 7, modification);
    }
};

// Slot of a type-3 block, 5 bytes at 0x0C + 5 * slot (slots are used from 63 down):
//   0 u8 data offset / 16 (0 = unused), 1 u8 length in 16-byte chunks (rounded up),
//   2 u16 modification number, 4 u8 bytes used in the last chunk (1-16, 0 = deleted).
struct BlobSlot {
    std::uint8_t offset_chunks = 0;
    std::uint8_t length_chunks = 0;
    std::uint16_t modification = 0;
    std::uint8_t last_chunk_bytes = 0;

    static constexpr std::size_t kEncodedSize = 5;
    static constexpr std::size_t kTableOffset = 0x0C;
    static constexpr std::size_t kCount = 64;
    static constexpr std::size_t kChunk = 16;
    static constexpr std::size_t kDataStart = 0x150;  // chunk 21

    static BlobSlot decode(const std::uint8_t* p) { return {p[0], p[1], load_u16le(p + 2), p[4]}; }
    void encode(std::uint8_t* p) const {
        p[0] = offset_chunks;
        p[1] = length_chunks;
        store_u16le(p + 2, modification);
        p[4] = last_chunk_bytes;
    }
    bool in_use() const { return offset_chunks != 0 && last_chunk_bytes != 0; }
    std::size_t length() const {
        return length_chunks == 0 ? 0
                                  : (length_chunks - std::size_t{1}) * kChunk + last_chunk_bytes;
    }
};

// Reads values out of a .MB file.
class BlobFile {
  public:
    // `encryption_key` is the table's key (0 = not encrypted).
    static BlobFile open(const std::filesystem::path& path, std::uint32_t encryption_key);

    const std::string& name() const { return name_; }
    std::uint64_t file_size() const { return file_size_; }

    // The value a pointer with length > leader refers to. Throws FormatError naming the file
    // when the pointer leads outside the file, to a block of the wrong kind, or to a value
    // of another length.
    std::vector<std::uint8_t> read(const BlobPointer& pointer) const;

  private:
    BlobFile(File file, std::string name, std::uint64_t size, std::uint32_t key)
        : file_(std::move(file)), name_(std::move(name)), file_size_(size), key_(key) {}
    // Reads [offset, offset + size) decrypted; offset is a multiple of 4096.
    std::vector<std::uint8_t> read_range(std::uint64_t offset, std::size_t size) const;
    [[noreturn]] void fail(const std::string& what) const;

    File file_;
    std::string name_;
    std::uint64_t file_size_ = 0;
    std::uint32_t key_ = 0;
};

}  // namespace pdx
