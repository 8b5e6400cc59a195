#pragma once

// Eight bytes of text tested at once: CSV reading, record making and writing look for commas,
// quotes and other bytes a word at a time rather than byte by byte. A word is read with its
// first byte in the lowest bits whatever the machine's byte order, so that "first" is always
// the lowest set byte of a mask.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vaq::shell::word_bytes {

constexpr std::uint64_t every_byte(unsigned char byte) {
    return 0x0101010101010101ULL * byte;
}

// Eight bytes of text, the first of them in the lowest bits.
inline std::uint64_t eight_bytes(const void* text) {
    std::uint64_t word = 0;
    std::memcpy(&word, text, sizeof word);
    if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
    return word;
}

// The bytes of a word that are zero: a mask with the high bit of each such byte set, and no
// other bit (no carry crosses bytes).
constexpr std::uint64_t zero_bytes(std::uint64_t word) {
    constexpr std::uint64_t kLowBits = every_byte(0x7F);
    return ~(((word & kLowBits) + kLowBits) | word | kLowBits);
}

// The bytes of a word equal to `byte`, as zero_bytes() marks them.
constexpr std::uint64_t bytes_equal_to(std::uint64_t word, unsigned char byte) {
    return zero_bytes(word ^ every_byte(byte));
}

// The bytes of a word above 0x7F, as zero_bytes() marks them.
constexpr std::uint64_t high_bytes(std::uint64_t word) {
    return word & every_byte(0x80);
}

// The place (0 to 7) of the first byte a mask marks.
constexpr std::size_t first_marked(std::uint64_t mask) {
    return static_cast<std::size_t>(std::countr_zero(mask)) / 8;
}

// The mask without its first byte.
constexpr std::uint64_t without_first_marked(std::uint64_t mask) {
    return mask & (mask - 1);
}

// A mask of the bytes from place `from` (0 to 7) on.
constexpr std::uint64_t bytes_from(std::size_t from) {
    return ~std::uint64_t{0} << (8 * from);
}

}  // namespace vaq::shell::word_bytes
