#include "engine/sql/sql_value.h"

#include <charconv>
#include <cmath>
#include <compare>
#include <cstdlib>
#include <limits>

#include "common/datetime.h"
#include "engine/sql/constants.h"
#include "engine/sql/sql_error.h"
#include "engine/table/value.h"

namespace pdx::sql {

namespace {

template <typename T>
int three_way(const T& a, const T& b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

std::int64_t day_number(const vaq::Date& date) {
    return vaq::to_day_number(date);
}

std::int64_t milliseconds(const vaq::Time& time) {
    return vaq::to_milliseconds(time);
}

double timestamp_of_day(std::int64_t day) {
    return static_cast<double>(day) * static_cast<double>(vaq::kMillisecondsPerDay);
}

// Kinds that compare() relates although they differ.
bool comparable_kinds(ValueKind a, ValueKind b) {
    const auto date_like = [](ValueKind k) {
        return k == ValueKind::kDate || k == ValueKind::kTimestamp;
    };
    const auto number = [](ValueKind k) {
        return k == ValueKind::kInteger || k == ValueKind::kFloat;
    };
    return a == b || (date_like(a) && date_like(b)) || (number(a) && number(b));
}

[[noreturn]] void cannot_compare(const SqlValue& a, const SqlValue& b, std::string_view context) {
    std::string message = "Cannot compare " + std::string(kind_name(a.kind)) + " " + describe(a) +
                          " with " + std::string(kind_name(b.kind)) + " " + describe(b);
    if (!context.empty()) message += " in " + std::string(context);
    throw SqlError(message);
}

}  // namespace

SqlValue value_of(const Value& field) {
    if (field.is_null()) return SqlValue::null();
    switch (field.type()) {
        case FieldType::kAlpha:
        case FieldType::kMemo:
            // Made in place: the text is read straight into the value.
            return {ValueKind::kText, 0, 0, field.as_text()};
        case FieldType::kShort:
        case FieldType::kLong:
        case FieldType::kAutoInc:
            return SqlValue::of_integer(*field.integer());
        case FieldType::kNumber:
        case FieldType::kMoney:
            return SqlValue::of_float(*field.number());
        case FieldType::kBcd: {
            SqlValue value = SqlValue::of_float(*field.number());
            value.text = *field.decimal_text();
            return value;
        }
        case FieldType::kLogical:
            return SqlValue::of_boolean(*field.logical());
        case FieldType::kDate:
            return SqlValue::of_date(*field.day_number());
        case FieldType::kTime:
            return SqlValue::of_time(*field.milliseconds());
        case FieldType::kTimestamp:
            return SqlValue::of_timestamp(*field.timestamp());
        case FieldType::kBytes:
        case FieldType::kBlob:
        case FieldType::kFmtMemo:
        case FieldType::kOle:
        case FieldType::kGraphic: {
            const auto bytes = field.blob();
            return SqlValue::of_bytes(std::string(bytes.begin(), bytes.end()));
        }
    }
    return SqlValue::null();
}

SqlValue value_of(const Literal& literal) {
    switch (literal.kind) {
        case LiteralKind::kNull:
            return SqlValue::null();
        case LiteralKind::kBoolean:
            return SqlValue::of_boolean(literal.boolean);
        case LiteralKind::kText:
            return SqlValue::of_text(literal.text);
        case LiteralKind::kNumber:
            break;
    }
    const std::string& text = literal.text;
    if (text.find_first_of(".eE") == std::string::npos) {
        std::int64_t value = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (error == std::errc() && end == text.data() + text.size())
            return SqlValue::of_integer(value);
    }
    return SqlValue::of_float(parse_float(text));
}

std::string_view kind_name(ValueKind kind) {
    switch (kind) {
        case ValueKind::kNull:
            return "NULL";
        case ValueKind::kInteger:
        case ValueKind::kFloat:
            return "number";
        case ValueKind::kBoolean:
            return "logical value";
        case ValueKind::kText:
            return "text";
        case ValueKind::kDate:
            return "date";
        case ValueKind::kTime:
            return "time";
        case ValueKind::kTimestamp:
            return "timestamp";
        case ValueKind::kBytes:
            return "bytes";
    }
    return "value";
}

std::string describe(const SqlValue& value) {
    switch (value.kind) {
        case ValueKind::kNull:
            return "NULL";
        case ValueKind::kInteger:
            return std::to_string(value.integer);
        case ValueKind::kFloat:
            return value.text.empty() ? format_double(value.number) : value.text;
        case ValueKind::kBoolean:
            return value.integer != 0 ? "true" : "false";
        case ValueKind::kText:
            return "'" + value.text + "'";
        case ValueKind::kDate:
            return format_date(civil_from_day_number(value.integer));
        case ValueKind::kTime:
            return format_time(value.integer);
        case ValueKind::kTimestamp:
            return format_timestamp(value.number);
        case ValueKind::kBytes:
            return format_hex(
                Bytes(reinterpret_cast<const std::uint8_t*>(value.text.data()), value.text.size()));
    }
    return {};
}

SqlValue convert_text(const SqlValue& text, ValueKind kind, std::string_view field) {
    if (text.kind != ValueKind::kText || kind == ValueKind::kText) return text;
    switch (kind) {
        case ValueKind::kDate:
            return SqlValue::of_date(day_number(parse_date(text.text, field)));
        case ValueKind::kTime:
            return SqlValue::of_time(milliseconds(parse_time(text.text, field)));
        case ValueKind::kTimestamp:
            return SqlValue::of_timestamp(vaq::to_timestamp(parse_timestamp(text.text, field)));
        case ValueKind::kBoolean:
            return SqlValue::of_boolean(parse_boolean(text.text, field));
        case ValueKind::kInteger:
            return SqlValue::of_integer(
                parse_integer(text.text, std::numeric_limits<std::int64_t>::min(),
                              std::numeric_limits<std::int64_t>::max(), field));
        case ValueKind::kFloat:
            return SqlValue::of_float(parse_float(text.text, field));
        default:
            return text;
    }
}

std::optional<int> compare(const SqlValue& a, const SqlValue& b, std::string_view context) {
    if (a.is_null() || b.is_null()) return std::nullopt;
    if (a.kind == ValueKind::kText && b.kind != ValueKind::kText)
        return compare(
            convert_text(a, b.kind == ValueKind::kInteger ? ValueKind::kFloat : b.kind, context), b,
            context);
    if (b.kind == ValueKind::kText && a.kind != ValueKind::kText)
        return compare(
            a, convert_text(b, a.kind == ValueKind::kInteger ? ValueKind::kFloat : a.kind, context),
            context);
    if (a.kind == ValueKind::kInteger && b.kind == ValueKind::kInteger)
        return three_way(a.integer, b.integer);
    if (a.is_number() && b.is_number()) return three_way(a.as_double(), b.as_double());
    if (a.kind == ValueKind::kDate && b.kind == ValueKind::kTimestamp)
        return three_way(timestamp_of_day(a.integer), b.number);
    if (a.kind == ValueKind::kTimestamp && b.kind == ValueKind::kDate)
        return three_way(a.number, timestamp_of_day(b.integer));
    if (a.kind != b.kind) cannot_compare(a, b, context);
    switch (a.kind) {
        case ValueKind::kText:
        case ValueKind::kBytes:
            return three_way(a.text, b.text);
        case ValueKind::kTimestamp:
            return three_way(a.number, b.number);
        default:
            return three_way(a.integer, b.integer);
    }
}

int sort_compare(const SqlValue& a, const SqlValue& b) {
    if (a.is_null() || b.is_null()) return three_way(!a.is_null(), !b.is_null());
    if (!comparable_kinds(a.kind, b.kind))
        return three_way(static_cast<int>(a.kind), static_cast<int>(b.kind));
    return *compare(a, b, {});
}

}  // namespace pdx::sql
