#include "tools/vaqdb/csv_record.h"

#include <cstring>
#include <string>

#include "common/dateformat.h"
#include "common/datetime.h"
#include "common/error.h"
#include "engine/format/field_codec.h"
#include "engine/table/edit_buffer.h"

namespace vaq::shell {

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

// A whole number written plainly: an optional minus and at most ten digits.
bool plain_integer(std::string_view text, std::int64_t low, std::int64_t high,
                   std::int64_t& value) {
    const bool negative = !text.empty() && text.front() == '-';
    if (negative) text.remove_prefix(1);
    if (text.empty() || text.size() > 10) return false;
    std::int64_t magnitude = 0;
    for (const char c : text) {
        const unsigned digit = static_cast<unsigned char>(c) - unsigned{'0'};
        if (digit > 9) return false;
        magnitude = magnitude * 10 + digit;
    }
    value = negative ? -magnitude : magnitude;
    return value >= low && value <= high;
}

// YYYY-MM-DD at the start of `text`.
bool iso_date(std::string_view text, vaq::Date& date) {
    return text.size() >= 10 && text[4] == '-' && text[7] == '-' &&
           digits_at(text, 0, 4, date.year) && digits_at(text, 5, 2, date.month) &&
           digits_at(text, 8, 2, date.day) && vaq::is_valid_date(date);
}

// HH:MM:SS or HH:MM:SS.mmm, the whole of `text`.
bool iso_time(std::string_view text, vaq::Time& time) {
    if (text.size() != 8 && text.size() != 12) return false;
    if (text[2] != ':' || text[5] != ':' || !digits_at(text, 0, 2, time.hour) ||
        !digits_at(text, 3, 2, time.minute) || !digits_at(text, 6, 2, time.second))
        return false;
    time.millisecond = 0;
    if (text.size() == 12 && (text[8] != '.' || !digits_at(text, 9, 3, time.millisecond)))
        return false;
    return vaq::is_valid_time(time);
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
        if (column.form == Form::kBlob) blob_fields_.push_back(index);
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
    vaq::Time time;
    switch (column.form) {
        case Form::kAlpha:
            // ASCII is stored as it stands in every code page.
            return plain_ascii(text) &&
                   pdx::encode_alpha(text, pdx::MutableBytes(out, column.field->width()));
        case Form::kShort:
            if (!plain_integer(text, -32767, 32767, number)) return false;
            pdx::encode_short(static_cast<std::int16_t>(number), out);
            return true;
        case Form::kLong:
            if (!plain_integer(text, -2147483647, 2147483647, number)) return false;
            pdx::encode_long(static_cast<std::int32_t>(number), out);
            return true;
        case Form::kAutoInc:
            if (!plain_integer(text, 1, 2147483647, number)) return false;
            pdx::encode_long(static_cast<std::int32_t>(number), out);
            return true;
        case Form::kDate:
            if (text.size() != 10 || !day_number(column, text, day)) return false;
            pdx::encode_long(day, out);
            return true;
        case Form::kTime:
            if (!iso_time(text, time)) return false;
            pdx::encode_long(vaq::to_milliseconds(time), out);
            return true;
        case Form::kTimestamp:
            if (text.size() < 11 || text[10] != ' ' || !day_number(column, text, day) ||
                !iso_time(text.substr(11), time))
                return false;
            // As vaq::to_timestamp() computes it.
            pdx::encode_double(static_cast<double>(day) * vaq::kMillisecondsPerDay +
                                   vaq::milliseconds_since_midnight(time),
                               out);
            return true;
        case Form::kEngine:
        case Form::kBlob:
            return false;
    }
    return false;
}

void CsvRecordMaker::convert_by_engine(const Column& column, std::string_view text,
                                       std::uint8_t* out) const {
    check_csv_form(*column.field, text);
    pdx::encode_field_input(table_, *column.field, pdx::FieldInput(std::string(text)),
                            pdx::MutableBytes(out, column.field->width()));
}

}  // namespace vaq::shell
