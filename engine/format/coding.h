#pragma once

// Byte-order helpers for the Paradox format. Control structures (file headers, block
// headers, blob pointers, .MB structures) are little-endian; values inside records are
// big-endian with the top bit flipped (see field_codec.h).

#include <cstddef>
#include <cstdint>
#include <span>

namespace pdx {

using Bytes = std::span<const std::uint8_t>;
using MutableBytes = std::span<std::uint8_t>;

inline std::uint16_t load_u16le(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::int16_t load_i16le(const std::uint8_t* p) {
    return static_cast<std::int16_t>(load_u16le(p));
}

inline std::uint32_t load_u32le(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

inline void store_u16le(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

inline void store_i16le(std::uint8_t* p, std::int16_t v) {
    store_u16le(p, static_cast<std::uint16_t>(v));
}

inline void store_u32le(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

inline std::uint64_t load_u64be(const std::uint8_t* p) {
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i)
        v = (v << 8) | p[i];
    return v;
}

inline void store_u64be(std::uint8_t* p, std::uint64_t v) {
    for (int i = 7; i >= 0; --i) {
        p[i] = static_cast<std::uint8_t>(v);
        v >>= 8;
    }
}

inline bool all_zero(Bytes bytes) {
    for (std::uint8_t b : bytes)
        if (b != 0) return false;
    return true;
}

}  // namespace pdx
