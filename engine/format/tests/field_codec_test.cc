#include "engine/format/field_codec.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "engine/format/calendar.h"

namespace pdx {
namespace {

using ByteVector = std::vector<std::uint8_t>;

template <typename Encode>
ByteVector encoded(std::size_t width, Encode encode) {
    ByteVector bytes(width, 0xEE);
    encode(bytes.data());
    return bytes;
}

TEST(IntegerCodec, StoresBigEndianWithTheTopBitFlipped) {
    EXPECT_EQ(encoded(2, [](auto* p) { encode_short(1, p); }), (ByteVector{0x80, 0x01}));
    EXPECT_EQ(encoded(2, [](auto* p) { encode_short(256, p); }), (ByteVector{0x81, 0x00}));
    EXPECT_EQ(encoded(2, [](auto* p) { encode_short(0, p); }), (ByteVector{0x80, 0x00}));
    EXPECT_EQ(encoded(2, [](auto* p) { encode_short(-1, p); }), (ByteVector{0x7F, 0xFF}));
    EXPECT_EQ(encoded(2, [](auto* p) { encode_short(-2, p); }), (ByteVector{0x7F, 0xFE}));
    EXPECT_EQ(encoded(4, [](auto* p) { encode_long(-1, p); }),
              (ByteVector{0x7F, 0xFF, 0xFF, 0xFF}));
    for (std::int32_t v :
         {1, -1, 0, 123456789, -123456789, std::numeric_limits<std::int32_t>::max()}) {
        std::uint8_t bytes[4];
        encode_long(v, bytes);
        EXPECT_EQ(decode_long(bytes), v);
    }
}

TEST(IntegerCodec, ZeroBytesAreNullAndTheLowestValueCannotBeHeld) {
    const std::uint8_t zeros[4] = {};
    EXPECT_FALSE(decode_short(zeros));
    EXPECT_FALSE(decode_long(zeros));
    std::uint8_t bytes[4];
    encode_long(std::nullopt, bytes);
    EXPECT_EQ(ByteVector(bytes, bytes + 4), ByteVector(4, 0));
    encode_short(std::numeric_limits<std::int16_t>::min(), bytes);
    EXPECT_FALSE(decode_short(bytes));  // the format's own limit: it reads as NULL
}

TEST(IntegerCodec, StoredOrderIsNumericOrder) {
    std::vector<ByteVector> stored;
    for (std::int32_t v : {-100000, -2, -1, 0, 1, 2, 100000}) {
        ByteVector b(4);
        encode_long(v, b.data());
        stored.push_back(b);
    }
    EXPECT_TRUE(std::is_sorted(stored.begin(), stored.end()));
}

TEST(DoubleCodec, MatchesTheFormatsExamples) {
    EXPECT_EQ(encoded(8, [](auto* p) { encode_double(1.5, p); }),
              (ByteVector{0xBF, 0xF8, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(encoded(8, [](auto* p) { encode_double(-1.5, p); }),
              (ByteVector{0x40, 0x07, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(encoded(8, [](auto* p) { encode_double(0.0, p); }),
              (ByteVector{0x80, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(encoded(8, [](auto* p) { encode_double(-0.0, p); }),
              (ByteVector{0x80, 0, 0, 0, 0, 0, 0, 0}));
    for (double v : {0.1, -0.1, 1e300, -1e-300, 40.0, 13.002}) {
        std::uint8_t bytes[8];
        encode_double(v, bytes);
        EXPECT_EQ(decode_double(bytes), v);
    }
    const std::uint8_t zeros[8] = {};
    EXPECT_FALSE(decode_double(zeros));
}

TEST(DoubleCodec, TimestampExampleFromARealTable) {
    // 2020-02-01 01:00:01 is stored C2 CC F9 8A CB 19 34 00.
    const double ms =
        static_cast<double>(*day_number_from_civil(2020, 2, 1)) * 86'400'000.0 + 3'601'000.0;
    EXPECT_EQ(encoded(8, [&](auto* p) { encode_double(ms, p); }),
              (ByteVector{0xC2, 0xCC, 0xF9, 0x8A, 0xCB, 0x19, 0x34, 0x00}));
}

TEST(LogicalCodec, FalseTrueAndNull) {
    EXPECT_EQ(encode_logical(false), 0x80);
    EXPECT_EQ(encode_logical(true), 0x81);
    EXPECT_EQ(encode_logical(std::nullopt), 0x00);
    EXPECT_EQ(decode_logical(0x80), false);
    EXPECT_EQ(decode_logical(0x81), true);
    EXPECT_FALSE(decode_logical(0x00));
}

TEST(AlphaCodec, NulPaddedAndRefusesWhatDoesNotFit) {
    ByteVector field(6, 0xEE);
    EXPECT_TRUE(encode_alpha("abc", field));
    EXPECT_EQ(field, (ByteVector{'a', 'b', 'c', 0, 0, 0}));
    EXPECT_EQ(decode_alpha(field), "abc");
    EXPECT_TRUE(encode_alpha("abcdef", field));
    EXPECT_EQ(decode_alpha(field), "abcdef");  // a full field has no NUL
    EXPECT_FALSE(encode_alpha("abcdefg", field));
    EXPECT_EQ(decode_alpha(field), "abcdef");
    EXPECT_FALSE(encode_alpha(std::string_view("a\0b", 3), field));
}

ByteVector bcd(std::optional<std::string_view> text, int decimals) {
    ByteVector field(17, 0xEE);
    EXPECT_TRUE(encode_bcd(text, decimals, field)) << (text ? *text : "NULL");
    return field;
}

TEST(BcdCodec, MatchesTheFormatsExamples) {
    ByteVector plus(17, 0);
    plus[0] = 0xC2;
    plus[15] = 0x01;
    plus[16] = 0x23;
    EXPECT_EQ(bcd("1.23", 2), plus);
    ByteVector minus(17, 0xFF);
    minus[0] = 0x42;
    minus[15] = 0xFE;
    minus[16] = 0xDC;
    EXPECT_EQ(bcd("-1.23", 2), minus);
    EXPECT_EQ(decode_bcd(plus), "1.23");
    EXPECT_EQ(decode_bcd(minus), "-1.23");
}

TEST(BcdCodec, RoundTripsRoundsAndRefuses) {
    for (const char* text : {"0", "5", "-5", "123456789012345678901234.5", "0.001", "-0.5"})
        EXPECT_EQ(decode_bcd(bcd(text, 6)), text);
    EXPECT_EQ(decode_bcd(bcd("1.005", 2)), "1.01");
    EXPECT_EQ(decode_bcd(bcd("-1.004", 2)), "-1");
    EXPECT_EQ(decode_bcd(bcd("9.999", 2)), "10");
    EXPECT_EQ(decode_bcd(bcd("-0", 2)), "0");
    EXPECT_EQ(decode_bcd(bcd("+7.", 0)), "7");
    EXPECT_EQ(bcd(std::nullopt, 2), ByteVector(17, 0));
    ByteVector field(17, 0);
    EXPECT_FALSE(encode_bcd("1e5", 2, field));
    EXPECT_FALSE(encode_bcd("", 2, field));
    EXPECT_FALSE(encode_bcd("12.3.4", 2, field));
    EXPECT_FALSE(encode_bcd(std::string(31, '9'), 2, field));  // 31 + 2 digits > 32
    EXPECT_EQ(field, ByteVector(17, 0));
}

TEST(BcdCodec, NullForms) {
    EXPECT_FALSE(decode_bcd(ByteVector(17, 0)));
    ByteVector no_flag(17, 0);
    no_flag[0] = 0x06;  // decimals without the not-NULL bit, as a real table holds
    EXPECT_FALSE(decode_bcd(no_flag));
}

TEST(BcdCodec, NibblesAboveNineCarryInsteadOfFailing) {
    // Digits written by the BDE for 0.123 in a #32 field.
    const ByteVector stored = {0xE0, 0x12, 0x29, 0x99, 0x99, 0x99, 0x99, 0x99, 0x99,
                               0x98, 0x0B, 0x00, 0xE0, 0x00, 0x00, 0xBF, 0x4A};
    const auto text = decode_bcd(stored);
    ASSERT_TRUE(text);
    // ...9 8 0 B: the B (11) leaves 1 and carries 1 into the 0 before it.
    EXPECT_EQ(text->substr(0, 22), "0.12299999999999999811");
    EXPECT_NEAR(std::stod(*text), 0.123, 1e-15);
}

TEST(BlobPointer, EncodesOffsetSlotLengthAndModification) {
    const BlobPointer p{0x12345600, 0x3F, 70000, 9};
    std::uint8_t bytes[10];
    p.encode(bytes);
    EXPECT_EQ(ByteVector(bytes, bytes + 10),
              (ByteVector{0x3F, 0x56, 0x34, 0x12, 0x70, 0x11, 0x01, 0x00, 0x09, 0x00}));
    EXPECT_EQ(BlobPointer::decode(bytes), p);
}

}  // namespace
}  // namespace pdx
