#include "engine/format/field_codec.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace pdx {

std::optional<bool> decode_logical(std::uint8_t byte) {
    if (byte == 0) return std::nullopt;
    return byte != 0x80;
}

std::uint8_t encode_logical(std::optional<bool> value) {
    if (!value) return 0;
    return *value ? 0x81 : 0x80;
}

std::string_view decode_alpha(Bytes field) {
    const auto* begin = reinterpret_cast<const char*>(field.data());
    const void* nul = std::memchr(begin, 0, field.size());
    const std::size_t length =
        nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - begin) : field.size();
    return {begin, length};
}

bool encode_alpha(std::string_view text, MutableBytes field) {
    if (text.size() > field.size() || text.find('\0') != std::string_view::npos) return false;
    std::memcpy(field.data(), text.data(), text.size());
    std::memset(field.data() + text.size(), 0, field.size() - text.size());
    return true;
}

namespace {

constexpr std::uint8_t kBcdPositive = 0x80;
constexpr std::uint8_t kBcdNotNull = 0x40;
constexpr std::uint8_t kBcdDecimalsMask = 0x3F;

int bcd_nibble(Bytes field, int i) {
    const std::uint8_t byte = field[1 + static_cast<std::size_t>(i / 2)];
    return i % 2 == 0 ? byte >> 4 : byte & 0x0F;
}

}  // namespace

std::optional<std::string> decode_bcd(Bytes field) {
    const std::uint8_t head = field[0];
    if (!(head & kBcdNotNull)) return std::nullopt;
    const bool negative = !(head & kBcdPositive);
    const int decimals = std::min<int>(head & kBcdDecimalsMask, kBcdDigits);

    // Digits with one extra place in front for the carry of nibbles above 9.
    std::array<int, kBcdDigits + 1> digits{};
    for (int i = 0; i < kBcdDigits; ++i) {
        const int nibble = bcd_nibble(field, i);
        digits[static_cast<std::size_t>(i + 1)] = negative ? 15 - nibble : nibble;
    }
    for (int i = kBcdDigits; i > 0; --i) {
        auto& d = digits[static_cast<std::size_t>(i)];
        digits[static_cast<std::size_t>(i - 1)] += d / 10;
        d %= 10;
    }
    const int integer_end = kBcdDigits + 1 - decimals;  // digits[0, integer_end) are integer
    std::string text;
    if (negative) text += '-';
    int first = 0;
    while (first < integer_end - 1 && digits[static_cast<std::size_t>(first)] == 0)
        ++first;
    for (int i = first; i < integer_end; ++i)
        text += static_cast<char>('0' + digits[static_cast<std::size_t>(i)]);
    int last = kBcdDigits;
    while (last >= integer_end && digits[static_cast<std::size_t>(last)] == 0)
        --last;
    if (last >= integer_end) {
        text += '.';
        for (int i = integer_end; i <= last; ++i)
            text += static_cast<char>('0' + digits[static_cast<std::size_t>(i)]);
    }
    if (text == "-0") text = "0";
    return text;
}

namespace {

struct DecimalText {
    bool negative = false;
    std::string integer;   // digits, no leading zeros
    std::string fraction;  // digits
};

std::optional<DecimalText> parse_decimal(std::string_view text) {
    DecimalText out;
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) out.negative = text[i++] == '-';
    bool any_digit = false;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        if (!(out.integer.empty() && text[i] == '0')) out.integer += text[i];
        any_digit = true;
        ++i;
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            out.fraction += text[i++];
            any_digit = true;
        }
    }
    if (!any_digit || i != text.size()) return std::nullopt;
    return out;
}

}  // namespace

bool encode_bcd(std::optional<std::string_view> text, int decimals, MutableBytes field) {
    if (decimals < 0 || decimals > kBcdDigits) return false;
    if (!text) {
        std::fill(field.begin(), field.end(), 0);
        return true;
    }
    auto parsed = parse_decimal(*text);
    if (!parsed) return false;
    const auto d = static_cast<std::size_t>(decimals);
    bool round_up = parsed->fraction.size() > d && parsed->fraction[d] >= '5';
    parsed->fraction.resize(d, '0');
    std::string digits = parsed->integer + parsed->fraction;  // least significant last
    for (std::size_t i = digits.size(); round_up && i-- > 0;) {
        if (digits[i] == '9') {
            digits[i] = '0';
        } else {
            ++digits[i];
            round_up = false;
        }
    }
    if (round_up) digits.insert(digits.begin(), '1');
    if (digits.size() > static_cast<std::size_t>(kBcdDigits)) return false;
    digits.insert(0, static_cast<std::size_t>(kBcdDigits) - digits.size(), '0');
    const bool negative = parsed->negative && digits.find_first_not_of('0') != std::string::npos;

    field[0] = static_cast<std::uint8_t>((negative ? 0 : kBcdPositive) | kBcdNotNull | decimals);
    for (int i = 0; i < kBcdDigits; i += 2) {
        int high = digits[static_cast<std::size_t>(i)] - '0';
        int low = digits[static_cast<std::size_t>(i + 1)] - '0';
        if (negative) {
            high = 15 - high;
            low = 15 - low;
        }
        field[1 + static_cast<std::size_t>(i / 2)] = static_cast<std::uint8_t>((high << 4) | low);
    }
    return true;
}

}  // namespace pdx
