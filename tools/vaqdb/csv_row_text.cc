#include "tools/vaqdb/csv_row_text.h"

#include <charconv>
#include <cmath>

#include "engine/format/calendar.h"
#include "engine/format/field_codec.h"
#include "engine/table/value.h"
#include "tools/vaqdb/csv.h"

namespace vaq::shell {

namespace {

void append_integer(std::string& out, std::int64_t value) {
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

// HH:MM:SS, and .mmm when the milliseconds are not zero, as pdx::append_time() writes a
// time of the day, into one buffer.
void append_time(std::string& out, std::int64_t milliseconds) {
    if (milliseconds < 0 || milliseconds >= pdx::kMillisecondsPerDay)
        return pdx::append_time(out, milliseconds);
    const auto two = [](char* at, std::int64_t value) {
        at[0] = static_cast<char>('0' + value / 10);
        at[1] = static_cast<char>('0' + value % 10);
    };
    char text[12] = {'0', '0', ':', '0', '0', ':', '0', '0', '.', '0', '0', '0'};
    two(text, milliseconds / 3'600'000);
    two(text + 3, milliseconds / 60'000 % 60);
    two(text + 6, milliseconds / 1000 % 60);
    const std::int64_t fraction = milliseconds % 1000;
    text[9] = static_cast<char>('0' + fraction / 100);
    two(text + 10, fraction % 100);
    out.append(text, fraction == 0 ? 8 : 12);
}

}  // namespace

CsvRowText::CsvRowText(const pdx::Table& table) : table_(table) {
    for (const pdx::Field& field : table.schema().fields()) {
        Column column;
        column.field = &field;
        switch (field.type()) {
            case pdx::FieldType::kAlpha:
                column.form = Form::kAlpha;
                break;
            case pdx::FieldType::kShort:
                column.form = Form::kShort;
                break;
            case pdx::FieldType::kLong:
            case pdx::FieldType::kAutoInc:
                column.form = Form::kLong;
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
                column.form = Form::kValue;
        }
        columns_.push_back(std::move(column));
    }
}

void CsvRowText::append_date(Column& column, std::int64_t day, std::string& out) {
    if (day != column.last_day) {
        column.last_date.clear();
        pdx::append_date(column.last_date, pdx::civil_from_day_number(day));
        column.last_day = day;
    }
    out += column.last_date;
}

void CsvRowText::append(pdx::Bytes record, std::string& out) {
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        if (i > 0) out += ',';
        Column& column = columns_[i];
        const std::uint8_t* p = record.data() + column.field->offset;
        switch (column.form) {
            case Form::kShort:
                if (const auto value = pdx::decode_short(p)) append_integer(out, *value);
                break;
            case Form::kLong:
                if (const auto value = pdx::decode_long(p)) append_integer(out, *value);
                break;
            case Form::kDate:
                if (const auto day = pdx::decode_long(p)) append_date(column, *day, out);
                break;
            case Form::kTime:
                if (const auto milliseconds = pdx::decode_long(p)) append_time(out, *milliseconds);
                break;
            case Form::kTimestamp: {
                const auto stamp = pdx::decode_double(p);
                if (!stamp) break;
                // As append_timestamp() splits it, the date's text kept.
                constexpr double kDayLimit = 2147483648.0;
                if (!(std::fabs(*stamp) <
                      kDayLimit * static_cast<double>(pdx::kMillisecondsPerDay))) {
                    pdx::append_timestamp(out, *stamp);
                    break;
                }
                const auto ms = static_cast<std::int64_t>(std::llround(*stamp));
                const std::int64_t day =
                    ms / pdx::kMillisecondsPerDay - (ms % pdx::kMillisecondsPerDay < 0 ? 1 : 0);
                append_date(column, day, out);
                out += ' ';
                append_time(out, ms - day * pdx::kMillisecondsPerDay);
                break;
            }
            case Form::kAlpha: {
                if (p[0] == 0) break;
                const std::size_t from = out.size();
                table_.codec().append_utf8(out,
                                           pdx::decode_alpha(pdx::Bytes(p, column.field->width())));
                quote_csv_field(out, from);
                break;
            }
            case Form::kValue: {
                const std::size_t from = out.size();
                pdx::Value(table_, *column.field,
                           record.subspan(column.field->offset, column.field->width()))
                    .append_text(out);
                quote_csv_field(out, from);
                break;
            }
        }
    }
}

}  // namespace vaq::shell
