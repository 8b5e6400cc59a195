#pragma once

// Values inside records. Numbers are stored so that an unsigned byte-wise comparison of the
// stored bytes gives the numeric order, and a field of zero bytes is NULL:
//
//   S I + D T   big-endian two's complement, first byte XOR 0x80 (1 -> 80 01, -1 -> 7F FF).
//               The lowest value (0x8000..., stored as zeros) cannot be held: it reads as NULL.
//   N $ @       big-endian IEEE double; top bit set when >= 0, all 64 bits inverted when < 0
//               (1.5 -> BF F8 00.., -1.5 -> 40 07 FF..; 0.0 -> 80 00.. is a real zero)
//   L           one byte: 80 false, 81 true, 00 NULL
//   A           code-page bytes, NUL padded; first byte 0 = NULL (empty and NULL are one)
//   Y           raw bytes; all zero = NULL
//   #           17 bytes: byte 0 = sign (bit 7, 1 = positive) | 0x40 (not NULL) | decimals;
//               bytes 1-16 = 32 BCD nibbles, most significant first, the last `decimals` of
//               them the fraction; a negative value stores every nibble as 15 - digit
//   M B F O G   leader bytes (a copy of the first bytes of the value), then a BlobPointer
//
// Decoders take a pointer to the field's first byte (its width is known from the type).

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/format/coding.h"

namespace pdx {

// Whole numbers are coded inline: they are read and written for every record of a scan, an
// export or an import, and through a call the encoders' optional is built in memory a part
// at a time and read back whole, which holds the processor up for every number written (a
// tenth of an import's time).

inline std::optional<std::int16_t> decode_short(const std::uint8_t* p) {
    if (p[0] == 0 && p[1] == 0) return std::nullopt;
    return static_cast<std::int16_t>(((p[0] ^ 0x80) << 8) | p[1]);
}
inline void encode_short(std::optional<std::int16_t> value, std::uint8_t* p) {
    if (!value) {
        p[0] = p[1] = 0;
        return;
    }
    const auto v = static_cast<std::uint16_t>(*value);
    p[0] = static_cast<std::uint8_t>((v >> 8) ^ 0x80);
    p[1] = static_cast<std::uint8_t>(v);
}

// Long, autoincrement, date (day number) and time (milliseconds).
inline std::optional<std::int32_t> decode_long(const std::uint8_t* p) {
    const std::uint32_t raw = (static_cast<std::uint32_t>(p[0]) << 24) |
                              (static_cast<std::uint32_t>(p[1]) << 16) |
                              (static_cast<std::uint32_t>(p[2]) << 8) | p[3];
    if (raw == 0) return std::nullopt;
    return static_cast<std::int32_t>(raw ^ 0x80000000u);
}
inline void encode_long(std::optional<std::int32_t> value, std::uint8_t* p) {
    const std::uint32_t raw = value ? static_cast<std::uint32_t>(*value) ^ 0x80000000u : 0;
    p[0] = static_cast<std::uint8_t>(raw >> 24);
    p[1] = static_cast<std::uint8_t>(raw >> 16);
    p[2] = static_cast<std::uint8_t>(raw >> 8);
    p[3] = static_cast<std::uint8_t>(raw);
}

// Number, money and timestamp (milliseconds). A stored NaN reads as NULL.
// Inline as the whole numbers are: an import writes a timestamp for every record, an export
// reads one.
inline std::optional<double> decode_double(const std::uint8_t* p) {
    constexpr std::uint64_t kTopBit = 0x8000000000000000ull;
    std::uint64_t raw = load_u64be(p);
    if (raw == 0) return std::nullopt;
    raw = (raw & kTopBit) ? raw & ~kTopBit : ~raw;
    const double value = std::bit_cast<double>(raw);
    if (std::isnan(value)) return std::nullopt;
    return value;
}
inline void encode_double(std::optional<double> value, std::uint8_t* p) {
    constexpr std::uint64_t kTopBit = 0x8000000000000000ull;
    if (!value) {
        store_u64be(p, 0);
        return;
    }
    // -0.0 is written as 0.0: its encoding would otherwise look negative.
    const double v = *value == 0.0 ? 0.0 : *value;
    std::uint64_t raw = std::bit_cast<std::uint64_t>(v);
    raw = (raw & kTopBit) ? ~raw : raw | kTopBit;
    store_u64be(p, raw);
}

std::optional<bool> decode_logical(std::uint8_t byte);
std::uint8_t encode_logical(std::optional<bool> value);

// The bytes before the first NUL; empty for NULL.
std::string_view decode_alpha(Bytes field);
// False when the text does not fit (or holds a NUL); the field is then left unchanged.
bool encode_alpha(std::string_view text, MutableBytes field);

inline constexpr int kBcdDigits = 32;
// Plain decimal text ("-1.23", "0", "5.5"): trailing fraction zeros dropped. Nothing for
// NULL: all zeros, or byte 0 without its not-NULL bit. Nibbles above 9 (left by some
// writers in the low digits) are given their face value and carried.
std::optional<std::string> decode_bcd(Bytes field);
// From decimal text with an optional sign and fraction; a fraction longer than `decimals`
// is rounded half away from zero. False when the text is not a number or has more integer
// digits than the field holds; the field is then left unchanged.
bool encode_bcd(std::optional<std::string_view> text, int decimals, MutableBytes field);

// The last 10 bytes of a blob field.
//   0 u32  bits 8-31: offset of the .MB block, bits 0-7: slot (0xFF = a whole type-2 block)
//   4 u32  length of the value in bytes; 0 = NULL
//   8 u16  modification number, equal to the one stored with the value in the .MB
// A value no longer than the leader lives in the leader only: offset, slot and modification
// number are then 0.
struct BlobPointer {
    std::uint32_t block_offset = 0;
    std::uint8_t slot = 0;
    std::uint32_t length = 0;
    std::uint16_t modification = 0;

    static constexpr std::size_t kEncodedSize = 10;
    static constexpr std::uint8_t kWholeBlock = 0xFF;

    static BlobPointer decode(const std::uint8_t* p) {
        const std::uint32_t where = load_u32le(p);
        return {where & 0xFFFFFF00u, static_cast<std::uint8_t>(where & 0xFF), load_u32le(p + 4),
                load_u16le(p + 8)};
    }
    void encode(std::uint8_t* p) const {
        store_u32le(p, (block_offset & 0xFFFFFF00u) | slot);
        store_u32le(p + 4, length);
        store_u16le(p + 8, modification);
    }
    friend bool operator==(const BlobPointer&, const BlobPointer&) = default;
};

}  // namespace pdx
