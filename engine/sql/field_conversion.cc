#include "engine/sql/field_conversion.h"

#include <cmath>
#include <cstdint>
#include <string>

#include "engine/format/field_codec.h"
#include "engine/sql/constants.h"
#include "engine/sql/sql_error.h"
#include "engine/table/edit_buffer.h"
#include "engine/table/table.h"
#include "engine/table/value.h"

namespace pdx::sql {

namespace {

// The field as messages name it: "LeaveDateTime of Leave.db".
std::string field_label(const Table& table, const Field& field) {
    return field.name + " of " + table.name();
}

std::string_view type_name(FieldType type) {
    switch (type) {
        case FieldType::kAlpha:
            return "text";
        case FieldType::kShort:
        case FieldType::kLong:
        case FieldType::kAutoInc:
            return "integer";
        case FieldType::kNumber:
        case FieldType::kMoney:
        case FieldType::kBcd:
            return "number";
        case FieldType::kLogical:
            return "logical";
        case FieldType::kDate:
            return "date";
        case FieldType::kTime:
            return "time";
        case FieldType::kTimestamp:
            return "timestamp";
        default:
            return "binary";
    }
}

[[noreturn]] void refuse_kind(const SqlValue& value, const std::string& label, FieldType type) {
    throw SqlError("Cannot store the " + std::string(kind_name(value.kind)) + " " +
                   describe(value) + " in the " + std::string(type_name(type)) + " field " + label);
}

[[noreturn]] void refuse(std::string_view kind, const SqlValue& value, const std::string& label,
                         const std::string& reason) {
    throw SqlError("Not a valid " + std::string(kind) + " for field " + label + ": " +
                   describe(value) + " (" + reason + ")");
}

// A value as text for an alpha field: numbers in decimal, dates in their ISO form.
std::string text_of(const SqlValue& value) {
    if (value.kind == ValueKind::kText) return value.text;
    const std::string shown = describe(value);
    return shown;
}

std::int64_t integer_of(const SqlValue& value, std::int64_t min, std::int64_t max,
                        const std::string& label, FieldType type) {
    std::int64_t number = 0;
    switch (value.kind) {
        case ValueKind::kText:
            return parse_integer(value.text, min, max, label);
        case ValueKind::kInteger:
            number = value.integer;
            break;
        case ValueKind::kFloat:
            if (value.number != std::floor(value.number))
                refuse("whole number", value, label, "it has a fraction");
            if (std::fabs(value.number) > 9.0e18)
                refuse("whole number", value, label,
                       "it must be from " + std::to_string(min) + " to " + std::to_string(max));
            number = static_cast<std::int64_t>(value.number);
            break;
        default:
            refuse_kind(value, label, type);
    }
    if (number < min || number > max)
        refuse("whole number", value, label,
               "it must be from " + std::to_string(min) + " to " + std::to_string(max));
    return number;
}

double double_of(const SqlValue& value, const std::string& label, FieldType type) {
    if (value.kind == ValueKind::kText) return parse_float(value.text, label);
    if (!value.is_number()) refuse_kind(value, label, type);
    return value.as_double();
}

bool boolean_of(const SqlValue& value, const std::string& label) {
    if (value.kind == ValueKind::kBoolean) return value.integer != 0;
    if (value.kind == ValueKind::kText) return parse_boolean(value.text, label);
    if (value.kind == ValueKind::kInteger && (value.integer == 0 || value.integer == 1))
        return value.integer == 1;
    refuse_kind(value, label, FieldType::kLogical);
}

std::int32_t day_of(const SqlValue& value, const std::string& label) {
    switch (value.kind) {
        case ValueKind::kText:
        case ValueKind::kDate:
            return static_cast<std::int32_t>(convert_text(value, ValueKind::kDate, label).integer);
        case ValueKind::kTimestamp: {
            const double day = std::floor(value.number / static_cast<double>(kMillisecondsPerDay));
            if (!(day >= INT32_MIN && day <= INT32_MAX))
                refuse("date", value, label, "it lies beyond the days a date can count");
            return static_cast<std::int32_t>(day);
        }
        default:
            refuse_kind(value, label, FieldType::kDate);
    }
}

std::int32_t milliseconds_of(const SqlValue& value, const std::string& label) {
    switch (value.kind) {
        case ValueKind::kText:
        case ValueKind::kTime:
            return static_cast<std::int32_t>(convert_text(value, ValueKind::kTime, label).integer);
        case ValueKind::kTimestamp: {
            const auto ms = static_cast<std::int64_t>(std::llround(value.number));
            return static_cast<std::int32_t>(((ms % kMillisecondsPerDay) + kMillisecondsPerDay) %
                                             kMillisecondsPerDay);
        }
        default:
            refuse_kind(value, label, FieldType::kTime);
    }
}

double timestamp_of(const SqlValue& value, const std::string& label) {
    switch (value.kind) {
        case ValueKind::kText:
        case ValueKind::kTimestamp:
            return convert_text(value, ValueKind::kTimestamp, label).number;
        case ValueKind::kDate:
            return static_cast<double>(value.integer) * static_cast<double>(kMillisecondsPerDay);
        default:
            refuse_kind(value, label, FieldType::kTimestamp);
    }
}

void store_alpha(EditBuffer& buffer, const Field& field, const SqlValue& value,
                 const std::string& label) {
    const Table& table = buffer.table();
    const std::string text = text_of(value);
    const auto stored = table.codec().from_utf8(text);
    if (!stored)
        throw SqlError("The text '" + text + "' for field " + label +
                       " holds characters that the table's character set " +
                       table.codec().charset() + " cannot hold");
    if (stored->size() > field.width())
        throw SqlError("The text '" + text + "' is too long for field " + label + ": it has " +
                       std::to_string(stored->size()) + " characters, the field holds " +
                       std::to_string(field.width()));
    MutableBytes bytes = buffer.record().field_bytes(field.index);
    std::fill(bytes.begin(), bytes.end(), std::uint8_t{0});
    if (!encode_alpha(*stored, bytes))
        throw SqlError("The text '" + text + "' cannot be stored in field " + label);
}

void store_bcd(EditBuffer& buffer, const Field& field, const SqlValue& value,
               const std::string& label) {
    std::string text;
    if (value.kind == ValueKind::kText) {
        parse_float(value.text, label);  // refuses what is no number
        text = value.text;
    } else if (value.kind == ValueKind::kInteger) {
        text = std::to_string(value.integer);
    } else if (value.kind == ValueKind::kFloat) {
        text = format_double(value.number);
    } else {
        refuse_kind(value, label, FieldType::kBcd);
    }
    if (!encode_bcd(text, field.descriptor.bcd_decimals(),
                    buffer.record().field_bytes(field.index)))
        refuse("number", value, label, "it has more digits than the field holds");
}

}  // namespace

void store_value(EditBuffer& buffer, std::size_t index, const SqlValue& value) {
    const Table& table = buffer.table();
    const Field& field = table.schema()[index];
    const std::string label = field_label(table, field);
    const bool empty = value.is_null() || (value.kind == ValueKind::kText && value.text.empty());
    if (field.type() == FieldType::kAutoInc && !empty)
        throw SqlError("Field " + label + " is numbered by the table and takes no value");
    if (empty) {
        buffer.set_null(index);
        return;
    }
    std::uint8_t* bytes = buffer.record().field_bytes(index).data();
    switch (field.type()) {
        case FieldType::kAlpha:
            store_alpha(buffer, field, value, label);
            return;
        case FieldType::kShort:
            // The lowest value of each width is stored as zeros, which reads as empty.
            encode_short(
                static_cast<std::int16_t>(integer_of(value, -32767, 32767, label, field.type())),
                bytes);
            return;
        case FieldType::kLong:
            encode_long(static_cast<std::int32_t>(
                            integer_of(value, -2147483647, 2147483647, label, field.type())),
                        bytes);
            return;
        case FieldType::kNumber:
        case FieldType::kMoney:
            encode_double(double_of(value, label, field.type()), bytes);
            return;
        case FieldType::kBcd:
            store_bcd(buffer, field, value, label);
            return;
        case FieldType::kLogical:
            bytes[0] = encode_logical(boolean_of(value, label));
            return;
        case FieldType::kDate:
            encode_long(day_of(value, label), bytes);
            return;
        case FieldType::kTime:
            encode_long(milliseconds_of(value, label), bytes);
            return;
        case FieldType::kTimestamp:
            encode_double(timestamp_of(value, label), bytes);
            return;
        case FieldType::kMemo:
            buffer.set(index, FieldInput(text_of(value)));
            return;
        default:
            break;
    }
    // Bytes and the binary blob types.
    if (value.kind == ValueKind::kBytes) {
        buffer.set_bytes(index, Bytes(reinterpret_cast<const std::uint8_t*>(value.text.data()),
                                      value.text.size()));
    } else if (value.kind == ValueKind::kText) {
        buffer.set(index, FieldInput(value.text));  // 0x and hex digits
    } else {
        refuse_kind(value, label, field.type());
    }
}

}  // namespace pdx::sql
