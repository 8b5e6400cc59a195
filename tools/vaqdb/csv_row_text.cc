#include "tools/vaqdb/csv_row_text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <stdexcept>

#include "engine/format/calendar.h"
#include "engine/format/field_codec.h"
#include "engine/table/value.h"
#include "tools/vaqdb/csv.h"
#include "tools/vaqdb/word_bytes.h"

namespace vaq::shell {

using namespace word_bytes;

namespace {

// The longest texts of the bounded forms. A date of any 32-bit day number takes at most 14
// characters (a year of seven digits and its sign); a time of the day 12 ("23:59:59.999").
constexpr std::size_t kShortRoom = 6;  // -32768
constexpr std::size_t kLongRoom = 11;  // -2147483648
constexpr std::size_t kDateRoom = 16;
constexpr std::size_t kTimeRoom = 12;
constexpr std::size_t kTimestampRoom = kDateRoom + 1 + kTimeRoom;

char* write_integer(char* out, std::int32_t value) {
    return std::to_chars(out, out + kLongRoom, value).ptr;
}

constexpr std::array<char, 200> make_two_digits() {
    std::array<char, 200> digits{};
    for (std::size_t i = 0; i < 100; ++i) {
        digits[2 * i] = static_cast<char>('0' + i / 10);
        digits[2 * i + 1] = static_cast<char>('0' + i % 10);
    }
    return digits;
}
constexpr std::array<char, 200> kTwoDigits = make_two_digits();

void write_two_digits(char* out, std::uint32_t value) {
    std::memcpy(out, &kTwoDigits[2 * value], 2);
}

// HH:MM:SS, and .mmm when the milliseconds are not zero, as pdx::append_time() writes a
// time of the day; `milliseconds` is within the day.
char* write_time_of_day(char* out, std::uint32_t milliseconds) {
    const std::uint32_t seconds = milliseconds / 1000;
    const std::uint32_t fraction = milliseconds % 1000;
    write_two_digits(out, seconds / 3600);
    out[2] = ':';
    write_two_digits(out + 3, seconds / 60 % 60);
    out[5] = ':';
    write_two_digits(out + 6, seconds % 60);
    if (fraction == 0) return out + 8;
    out[8] = '.';
    out[9] = static_cast<char>('0' + fraction / 100);
    write_two_digits(out + 10, fraction % 100);
    return out + 12;
}

bool within_day(std::int64_t milliseconds) {
    return milliseconds >= 0 && milliseconds < pdx::kMillisecondsPerDay;
}

void grow(std::string& buffer, std::size_t size) {
    if (buffer.size() < size) buffer.resize(std::max(size, 2 * buffer.size()));
}

// The bytes that end plain ASCII text: NUL (its end), those CSV quotes, and those above 127.
std::uint64_t stop_bytes(std::uint64_t word) {
    return zero_bytes(word) | bytes_equal_to(word, ',') | bytes_equal_to(word, '"') |
           bytes_equal_to(word, '\r') | bytes_equal_to(word, '\n') | high_bytes(word);
}

bool ends_plain_ascii(std::uint8_t byte) {
    return byte == 0 || byte >= 0x80 || byte == ',' || byte == '"' || byte == '\r' || byte == '\n';
}

}  // namespace

CsvRowText::CsvRowText(const pdx::Table& table) : table_(table) {
    for (const pdx::Field& field : table.schema().fields()) {
        Column column;
        column.field = &field;
        column.offset = field.offset;
        column.width = field.width();
        std::size_t room = 0;
        switch (field.type()) {
            case pdx::FieldType::kAlpha:
                column.form = Form::kAlpha;
                room = 2 * column.width + 2;  // every byte a doubled quote, and the quotes
                break;
            case pdx::FieldType::kShort:
                column.form = Form::kShort;
                room = kShortRoom;
                break;
            case pdx::FieldType::kLong:
            case pdx::FieldType::kAutoInc:
                column.form = Form::kLong;
                room = kLongRoom;
                break;
            case pdx::FieldType::kDate:
                column.form = Form::kDate;
                room = kDateRoom;
                break;
            case pdx::FieldType::kTime:
                column.form = Form::kTime;
                room = kTimeRoom;
                break;
            case pdx::FieldType::kTimestamp:
                column.form = Form::kTimestamp;
                room = kTimestampRoom;
                break;
            default:
                column.form = Form::kValue;
        }
        bounded_room_ += room + 1;  // and its comma
        columns_.push_back(std::move(column));
    }
}

const std::string& CsvRowText::date_text(Column& column, std::int64_t day) {
    if (day != column.last_day) {
        column.last_date.clear();
        pdx::append_date(column.last_date, pdx::civil_from_day_number(day));
        if (column.last_date.size() > kDateRoom)
            throw std::logic_error("the text of day " + std::to_string(day) + " is too long");
        column.last_day = day;
    }
    return column.last_date;
}

char* CsvRowText::write_date(Column& column, std::int64_t day, char* out) {
    const std::string& text = date_text(column, day);
    std::memcpy(out, text.data(), text.size());
    return out + text.size();
}

char* CsvRowText::write_ascii_alpha(const std::uint8_t* field, std::size_t width, char* out) {
    if (width < 8) {
        std::size_t length = 0;
        for (; length < width && field[length] != 0; ++length) {
            if (ends_plain_ascii(field[length])) return nullptr;
            out[length] = static_cast<char>(field[length]);
        }
        return out + length;
    }
    // Copied eight bytes at a time up to the first byte that is not plain ASCII; the last
    // eight overlap the ones before, whose bytes are not looked at again.
    for (std::size_t at = 0;; at += 8) {
        const std::size_t start = std::min(at, width - 8);
        std::memcpy(out + start, field + start, 8);
        const std::uint64_t stops = stop_bytes(eight_bytes(field + start)) & bytes_from(at - start);
        if (stops != 0) {
            const std::size_t stop = start + first_marked(stops);
            return field[stop] == 0 ? out + stop : nullptr;
        }
        if (start + 8 == width) return out + width;
    }
}

void CsvRowText::text_of_alpha(const Column& column, const std::uint8_t* field) {
    scratch_.clear();
    table_.codec().append_utf8(scratch_, pdx::decode_alpha(pdx::Bytes(field, column.width)));
    quote_csv_field(scratch_, 0);
}

void CsvRowText::text_of_value(const Column& column, pdx::Bytes record) {
    scratch_.clear();
    pdx::Value(table_, *column.field, record.subspan(column.offset, column.width))
        .append_text(scratch_);
    quote_csv_field(scratch_, 0);
}

char* CsvRowText::write_scratch(std::string& buffer, char* out) {
    const auto at = static_cast<std::size_t>(out - buffer.data());
    grow(buffer, at + scratch_.size() + bounded_room_);
    std::memcpy(buffer.data() + at, scratch_.data(), scratch_.size());
    return buffer.data() + at + scratch_.size();
}

std::size_t CsvRowText::write(pdx::Bytes record, std::string& buffer, std::size_t at) {
    grow(buffer, at + bounded_room_);
    char* out = buffer.data() + at;
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        if (i > 0) *out++ = ',';
        Column& column = columns_[i];
        const std::uint8_t* p = record.data() + column.offset;
        switch (column.form) {
            case Form::kShort:
                if (const auto value = pdx::decode_short(p)) out = write_integer(out, *value);
                break;
            case Form::kLong:
                if (const auto value = pdx::decode_long(p)) out = write_integer(out, *value);
                break;
            case Form::kDate:
                if (const auto day = pdx::decode_long(p)) out = write_date(column, *day, out);
                break;
            case Form::kTime: {
                const auto milliseconds = pdx::decode_long(p);
                if (!milliseconds) break;
                if (within_day(*milliseconds)) {
                    out = write_time_of_day(out, static_cast<std::uint32_t>(*milliseconds));
                    break;
                }
                scratch_.clear();
                pdx::append_time(scratch_, *milliseconds);
                out = write_scratch(buffer, out);
                break;
            }
            case Form::kTimestamp: {
                const auto stamp = pdx::decode_double(p);
                if (!stamp) break;
                // As append_timestamp() splits it, the date's text kept.
                constexpr double kDayLimit = 2147483648.0;
                if (!(std::fabs(*stamp) <
                      kDayLimit * static_cast<double>(pdx::kMillisecondsPerDay))) {
                    scratch_.clear();
                    pdx::append_timestamp(scratch_, *stamp);
                    out = write_scratch(buffer, out);
                    break;
                }
                // Stored stamps are whole milliseconds: rounding is needed only for others.
                auto ms = static_cast<std::int64_t>(*stamp);
                if (static_cast<double>(ms) != *stamp) ms = std::llround(*stamp);
                const std::int64_t day =
                    ms / pdx::kMillisecondsPerDay - (ms % pdx::kMillisecondsPerDay < 0 ? 1 : 0);
                out = write_date(column, day, out);
                *out++ = ' ';
                out = write_time_of_day(
                    out, static_cast<std::uint32_t>(ms - day * pdx::kMillisecondsPerDay));
                break;
            }
            case Form::kAlpha:
                if (char* end = write_ascii_alpha(p, column.width, out)) {
                    out = end;
                    break;
                }
                text_of_alpha(column, p);
                out = write_scratch(buffer, out);
                break;
            case Form::kValue:
                text_of_value(column, record);
                out = write_scratch(buffer, out);
                break;
        }
    }
    return static_cast<std::size_t>(out - buffer.data());
}

void CsvRowText::append(pdx::Bytes record, std::string& out) {
    const std::size_t end = write(record, out, out.size());
    out.resize(end);
}

}  // namespace vaq::shell
