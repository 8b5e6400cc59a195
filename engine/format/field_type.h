#pragma once

// Field types and the two-byte field descriptor of the table header.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace pdx {

// Type code, first byte of a field descriptor.
enum class FieldType : std::uint8_t {
    kAlpha = 0x01,      // A: n bytes of text in the table's code page, NUL padded
    kDate = 0x02,       // D: day number, 0001-01-01 = 1
    kShort = 0x03,      // S: 16-bit integer
    kLong = 0x04,       // I: 32-bit integer (level 5)
    kMoney = 0x05,      // $: double, shown as currency
    kNumber = 0x06,     // N: double
    kLogical = 0x09,    // L: one byte (level 5)
    kMemo = 0x0C,       // M: text blob
    kBlob = 0x0D,       // B: binary blob
    kFmtMemo = 0x0E,    // F: formatted memo
    kOle = 0x0F,        // O: OLE object
    kGraphic = 0x10,    // G: picture
    kTime = 0x14,       // T: milliseconds since midnight (level 5)
    kTimestamp = 0x15,  // @: double, milliseconds on the date's day count (level 5)
    kAutoInc = 0x16,    // +: 32-bit integer handed out by the table (level 5)
    kBcd = 0x17,        // #: 17 bytes of packed decimal; the size byte is the decimals (level 5)
    kBytes = 0x18,      // Y: n raw bytes (level 5)
};

bool is_known_field_type(std::uint8_t code);
bool is_blob_type(FieldType type);
bool is_integer_type(FieldType type);  // S, I, +
bool is_float_type(FieldType type);    // N, $
// The Paradox letter of a type ('A', 'N', '$', ...).
char field_type_letter(FieldType type);
// Lowest table level (3, 4, 5) that allows the type.
int field_type_min_level(FieldType type);
// Bytes of a type whose width is fixed (L, S, D, I, T, +, $, N, @); nothing for the others.
std::optional<std::size_t> fixed_field_width(FieldType type);

// Bytes a BCD field occupies in a record, whatever its number of decimals.
inline constexpr std::size_t kBcdWidth = 17;
// A blob field ends with a 10-byte pointer into the .MB file; the bytes before it are the leader.
inline constexpr std::size_t kBlobPointerSize = 10;

// One entry of the descriptor array: u8 type, u8 size. The size byte is the width in the
// record for every type except BCD, where it holds the number of decimals (0-32).
struct FieldDescriptor {
    FieldType type = FieldType::kAlpha;
    std::uint8_t size = 0;

    static constexpr std::size_t kEncodedSize = 2;

    // Bytes the field occupies in a record.
    std::size_t width() const { return type == FieldType::kBcd ? kBcdWidth : size; }
    // The number of decimals of a BCD field.
    int bcd_decimals() const { return size; }
    // Leader bytes of a blob field (width minus the 10-byte pointer).
    std::size_t blob_leader() const { return width() - kBlobPointerSize; }

    // Reads two bytes. The type code is not checked here; see problem().
    static FieldDescriptor decode(const std::uint8_t* p) {
        return {static_cast<FieldType>(p[0]), p[1]};
    }
    void encode(std::uint8_t* p) const {
        p[0] = static_cast<std::uint8_t>(type);
        p[1] = size;
    }
    // What is wrong with the descriptor (unknown type, impossible size), or nothing.
    std::optional<std::string> problem() const;

    friend bool operator==(const FieldDescriptor&, const FieldDescriptor&) = default;
};

}  // namespace pdx
