#include "tools/vaqdb/csv_record.h"

#include <cstring>
#include <string>

#include "common/dateformat.h"
#include "common/datetime.h"
#include "common/error.h"
#include "engine/format/field_codec.h"
#include "engine/table/edit_buffer.h"
#include "tools/vaqdb/word_bytes.h"

namespace vaq::shell {

using namespace word_bytes;

namespace {

// Dates and times must be in the CSV forms exactly; the field conversion would also take
// other spellings (one-digit months, two-digit years) and guess.
void check_csv_form(const pdx::Field& field, std::string_view text) {
    try {
        switch (field.type()) {
            case pdx::FieldType::kDate:
                vaq::parse_iso_date(text);
                return;
            case pdx::FieldType::kTime:
                vaq::parse_iso_time(text);
                return;
            case pdx::FieldType::kTimestamp:
                vaq::parse_iso_date_time(text);
                return;
            default:
                return;
        }
    } catch (const vaq::Error&) {
        const char* form = field.type() == pdx::FieldType::kDate   ? "YYYY-MM-DD"
                           : field.type() == pdx::FieldType::kTime ? "HH:MM:SS[.mmm]"
                                                                   : "YYYY-MM-DD HH:MM:SS[.mmm]";
        throw vaq::Error("'" + std::string(text) + "' is not in the form " + form);
    }
}

// `count` decimal digits of `text` from `at`.
bool digits_at(std::string_view text, std::size_t at, std::size_t count, int& value) {
    value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        const unsigned digit = static_cast<unsigned char>(text[i]) - unsigned{'0'};
        if (digit > 9) return false;
        value = value * 10 + static_cast<int>(digit);
    }
    return true;
}

// The number the digits at the start of eight bytes of text make, when fewer than eight of
// them are digits; `stop` is left after the last digit. The digits are found and added up
// a word at a time.
bool seven_digits_at_most(const char* text, std::int64_t& number, const char*& stop) {
    constexpr std::uint64_t kLowBits = 0x7F7F7F7F7F7F7F7FULL;
    const std::uint64_t values = eight_bytes(text) ^ every_byte('0');  // a digit: 0 to 9
    // The high bit of each byte above 9.
    const std::uint64_t others =
        (((values & kLowBits) + every_byte(0x76)) | values) & every_byte(0x80);
    if (others == 0) return false;
    const auto count = static_cast<int>(first_marked(others));
    stop = text + count;
    if (count == 0) return true;
    // The digits moved to the top of the word, the first one (the highest) in the lowest
    // byte: the bytes below are leading zeros. Pairs, then fours, then all eight.
    std::uint64_t digits = values << (8 * (8 - count));
    digits = (digits * 10 + (digits >> 8)) & 0x00FF00FF00FF00FFULL;
    digits = (digits * 100 + (digits >> 16)) & 0x0000FFFF0000FFFFULL;
    digits = (digits * 10000 + (digits >> 32)) & 0xFFFFFFFFULL;
    number = static_cast<std::int64_t>(digits);
    return true;
}

// A whole number written plainly at the start of [at, end): an optional minus and one to ten
// digits, within [low, high]. `stop` is left after the last digit.
bool plain_integer_from(const char* at, const char* end, std::int64_t low, std::int64_t high,
                        std::int64_t& value, const char*& stop) {
    const bool negative = at != end && *at == '-';
    if (negative) ++at;
    const char* const digits = at;
    std::int64_t magnitude = 0;
    if (end - at >= 8 && seven_digits_at_most(at, magnitude, stop)) {
        if (stop == digits) return false;
        value = negative ? -magnitude : magnitude;
        return value >= low && value <= high;
    }
    for (; at != end; ++at) {
        const unsigned digit = static_cast<unsigned char>(*at) - unsigned{'0'};
        if (digit > 9) break;
        if (at - digits == 10) return false;  // more than ten digits
        magnitude = magnitude * 10 + digit;
    }
    if (at == digits) return false;
    stop = at;
    value = negative ? -magnitude : magnitude;
    return value >= low && value <= high;
}

// A whole number written plainly, the whole of `text`.
bool plain_integer(std::string_view text, std::int64_t low, std::int64_t high,
                   std::int64_t& value) {
    const char* const end = text.data() + text.size();
    const char* stop = nullptr;
    return plain_integer_from(text.data(), end, low, high, value, stop) && stop == end;
}

// YYYY-MM-DD at the start of `text`.
bool iso_date(std::string_view text, vaq::Date& date) {
    return text.size() >= 10 && text[4] == '-' && text[7] == '-' &&
           digits_at(text, 0, 4, date.year) && digits_at(text, 5, 2, date.month) &&
           digits_at(text, 8, 2, date.day) && vaq::is_valid_date(date);
}

// HH:MM:SS or HH:MM:SS.mmm, the whole of `text`: its milliseconds since midnight, as
// vaq::to_milliseconds() counts them. False when it is not in that form or not a time of day.
bool clock_milliseconds(std::string_view text, std::int32_t& milliseconds) {
    if (text.size() != 8 && text.size() != 12) return false;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
    if (text[2] != ':' || text[5] != ':' || !digits_at(text, 0, 2, hour) ||
        !digits_at(text, 3, 2, minute) || !digits_at(text, 6, 2, second))
        return false;
    if (text.size() == 12 && (text[8] != '.' || !digits_at(text, 9, 3, millisecond))) return false;
    if (hour >= 24 || minute >= 60 || second >= 60) return false;
    milliseconds = ((hour * 60 + minute) * 60 + second) * 1000 + millisecond;
    return true;
}

// The length of the value from `from` up to the next comma or `end`, when it is plain ASCII
// text: no byte above 0x7F, no NUL and no double quote. Eight bytes are tested at a time.
bool plain_ascii_value(const char* from, const char* end, std::size_t& length) {
    const char* p = from;
    for (; end - p >= 8; p += 8) {
        const std::uint64_t word = eight_bytes(p);
        const std::uint64_t commas = bytes_equal_to(word, ',');
        const std::uint64_t refused =
            bytes_equal_to(word, '"') | zero_bytes(word) | high_bytes(word);
        if (commas != 0) {
            // The high bits of the bytes before the first comma.
            const std::uint64_t before = (commas & (~commas + 1)) - 1;
            if ((refused & before) != 0) return false;
            length = static_cast<std::size_t>(p - from) + first_marked(commas);
            return true;
        }
        if (refused != 0) return false;
    }
    for (; p != end && *p != ','; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c >= 0x80 || c == '\0' || c == '"') return false;
    }
    length = static_cast<std::size_t>(p - from);
    return true;
}

bool plain_ascii(std::string_view text) {
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0x80 || c == '\0') return false;
    return true;
}

}  // namespace

CsvDateForms::CsvDateForms() : saved_(vaq::date_time_formats()) {
    vaq::DateTimeFormats forms;
    forms.short_date_format = "yyyy/mm/dd";
    forms.date_separator = '-';
    forms.long_time_format = "hh:nn:ss";
    forms.time_separator = ':';
    vaq::set_date_time_formats(forms);
}

CsvDateForms::~CsvDateForms() {
    vaq::set_date_time_formats(saved_);
}

CsvRecordMaker::CsvRecordMaker(const pdx::Table& table, std::vector<std::size_t> columns)
    : table_(table) {
    for (const std::size_t index : columns) {
        Column column;
        column.field = &table.schema()[index];
        column.offset = column.field->offset;
        column.width = column.field->width();
        switch (column.field->type()) {
            case pdx::FieldType::kAlpha:
                column.form = Form::kAlpha;
                break;
            case pdx::FieldType::kShort:
                column.form = Form::kShort;
                break;
            case pdx::FieldType::kLong:
                column.form = Form::kLong;
                break;
            case pdx::FieldType::kAutoInc:
                column.form = Form::kAutoInc;
                break;
            case pdx::FieldType::kDate:
                column.form = Form::kDate;
                break;
            case pdx::FieldType::kTime:
                column.form = Form::kTime;
                break;
            case pdx::FieldType::kTimestamp:
                column.form = Form::kTimestamp;
                break;
            default:
                column.form = pdx::is_blob_type(column.field->type()) ? Form::kBlob : Form::kEngine;
        }
        if (column.form == Form::kShort) {
            column.low = -32767;
            column.high = 32767;
        } else if (column.form == Form::kAutoInc) {
            column.low = 1;
        }
        if (column.form == Form::kBlob) blob_fields_.push_back(index);
        if (column.form == Form::kBlob || column.form == Form::kEngine) plain_lines_ = false;
        columns_.push_back(column);
    }
}

void CsvRecordMaker::make(std::span<const std::string_view> row, std::span<std::uint8_t> record,
                          std::vector<std::vector<std::uint8_t>>& blobs) const {
    std::memset(record.data(), 0, record.size());
    blobs.resize(blob_fields_.size());
    std::size_t blob = 0;
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        const Column& column = columns_[i];
        const std::string_view text = row[i];
        std::uint8_t* out = record.data() + column.field->offset;
        try {
            if (column.form == Form::kBlob) {
                blobs[blob++] =
                    pdx::blob_from_input(table_, *column.field, pdx::FieldInput(std::string(text)));
            } else if (!text.empty() && !convert_directly(column, text, out)) {
                convert_by_engine(column, text, out);
            }
        } catch (const vaq::Error& error) {
            std::string message = error.what();
            if (!message.empty() && message.back() != '.') message += '.';
            throw vaq::Error("field " + column.field->name + ": " + message);
        }
    }
}

// The day number of the YYYY-MM-DD at the start of `text` (at least 10 bytes); false when
// it is not a valid date in that form.
bool CsvRecordMaker::day_number(const Column& column, std::string_view text, std::int32_t& day) {
    const std::string_view date_text = text.substr(0, sizeof column.last_date);
    if (!column.date_read ||
        date_text != std::string_view(column.last_date, sizeof column.last_date)) {
        vaq::Date date;
        if (!iso_date(text, date)) return false;
        column.last_day = vaq::to_day_number(date);
        std::memcpy(column.last_date, date_text.data(), date_text.size());
        column.date_read = true;
    }
    day = column.last_day;
    return true;
}

// The common values, written as the engine would write them. False for anything else,
// which the engine then converts (or refuses with its own words).
bool CsvRecordMaker::convert_directly(const Column& column, std::string_view text,
                                      std::uint8_t* out) const {
    std::int64_t number = 0;
    std::int32_t day = 0;
    std::int32_t milliseconds = 0;
    switch (column.form) {
        case Form::kAlpha:
            // ASCII is stored as it stands in every code page.
            return plain_ascii(text) &&
                   pdx::encode_alpha(text, pdx::MutableBytes(out, column.field->width()));
        case Form::kShort:
            if (!plain_integer(text, column.low, column.high, number)) return false;
            pdx::encode_short(static_cast<std::int16_t>(number), out);
            return true;
        case Form::kLong:
        case Form::kAutoInc:
            if (!plain_integer(text, column.low, column.high, number)) return false;
            pdx::encode_long(static_cast<std::int32_t>(number), out);
            return true;
        case Form::kDate:
            if (text.size() != 10 || !day_number(column, text, day)) return false;
            pdx::encode_long(day, out);
            return true;
        case Form::kTime:
            if (!clock_milliseconds(text, milliseconds)) return false;
            pdx::encode_long(milliseconds, out);
            return true;
        case Form::kTimestamp:
            if (text.size() < 11 || text[10] != ' ' || !day_number(column, text, day) ||
                !clock_milliseconds(text.substr(11), milliseconds))
                return false;
            // As vaq::to_timestamp() computes it.
            pdx::encode_double(static_cast<double>(day) * vaq::kMillisecondsPerDay + milliseconds,
                               out);
            return true;
        case Form::kEngine:
        case Form::kBlob:
            return false;
    }
    return false;
}

// The value of `column` from `at` up to the next comma or the end of the line, written as
// convert_directly() writes it (an empty value leaves the field empty); `at` is left at that
// comma or end. False when the value is not in its common form. Each form takes only bytes
// it can hold: never a comma or a quote.
bool CsvRecordMaker::take_plain_value(const Column& column, const char*& at, const char* end,
                                      std::uint8_t* out) const {
    const char* const from = at;
    if (from == end || *from == ',') return true;
    const auto value_of_length = [&](std::size_t length) {
        const auto left = static_cast<std::size_t>(end - from);
        return left == length || (left > length && from[length] == ',');
    };
    std::size_t length = 0;
    switch (column.form) {
        case Form::kAlpha:
            if (!plain_ascii_value(from, end, length) || length > column.width) return false;
            // ASCII is stored as it stands; the rest of the field was cleared with the record.
            std::memcpy(out, from, length);
            at = from + length;
            return true;
        case Form::kShort:
        case Form::kLong:
        case Form::kAutoInc: {
            std::int64_t number = 0;
            const char* stop = nullptr;
            if (!plain_integer_from(from, end, column.low, column.high, number, stop) ||
                (stop != end && *stop != ','))
                return false;
            if (column.form == Form::kShort)
                pdx::encode_short(static_cast<std::int16_t>(number), out);
            else
                pdx::encode_long(static_cast<std::int32_t>(number), out);
            at = stop;
            return true;
        }
        case Form::kDate:
            length = 10;
            break;
        case Form::kTime:
            length = value_of_length(8) ? 8 : 12;
            break;
        case Form::kTimestamp:
            length = value_of_length(19) ? 19 : 23;
            break;
        case Form::kEngine:
        case Form::kBlob:
            return false;
    }
    if (!value_of_length(length) || !convert_directly(column, std::string_view(from, length), out))
        return false;
    at = from + length;
    return true;
}

bool CsvRecordMaker::make_plain(std::string_view line, std::span<std::uint8_t> record) const {
    if (!plain_lines_ || columns_.empty()) return false;
    std::memset(record.data(), 0, record.size());
    const char* at = line.data();
    const char* const end = at + line.size();
    // Held apart from the members: the record's bytes, written through, may alias anything.
    std::uint8_t* const bytes = record.data();
    const Column* column = columns_.data();
    const Column* const last = column + columns_.size() - 1;
    for (;; ++column) {
        if (!take_plain_value(*column, at, end, bytes + column->offset)) return false;
        // Each value but the last ends at a comma, the last at the end of the line.
        if (column == last) return at == end;
        if (at == end) return false;
        ++at;
    }
}

void CsvRecordMaker::convert_by_engine(const Column& column, std::string_view text,
                                       std::uint8_t* out) const {
    check_csv_form(*column.field, text);
    pdx::encode_field_input(table_, *column.field, pdx::FieldInput(std::string(text)),
                            pdx::MutableBytes(out, column.field->width()));
}

}  // namespace vaq::shell
