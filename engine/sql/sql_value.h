#pragma once

// Values while a statement runs: what a field of a record holds, what a constant says, what
// an expression gives. Text is UTF-8. A text compared with a date, time, number or logical
// value is read as one, as the constants of a statement are read (dates month first).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/sql/ast.h"

namespace pdx {
class Value;
}

namespace pdx::sql {

enum class ValueKind {
    kNull,
    kInteger,    // `integer`
    kFloat,      // `number`; `text` holds the exact decimal of a BCD field's value
    kBoolean,    // `integer` 0 or 1
    kText,       // `text`, UTF-8
    kDate,       // `integer`: day number, 0001-01-01 is day 1
    kTime,       // `integer`: milliseconds since midnight
    kTimestamp,  // `number`: milliseconds on the day-number scale
    kBytes,      // `text`: raw bytes
};

struct SqlValue {
    ValueKind kind = ValueKind::kNull;
    std::int64_t integer = 0;
    double number = 0;
    std::string text;

    static SqlValue null() { return {}; }
    static SqlValue of_integer(std::int64_t v) { return {ValueKind::kInteger, v, 0, {}}; }
    static SqlValue of_float(double v) { return {ValueKind::kFloat, 0, v, {}}; }
    static SqlValue of_boolean(bool v) { return {ValueKind::kBoolean, v ? 1 : 0, 0, {}}; }
    static SqlValue of_text(std::string v) { return {ValueKind::kText, 0, 0, std::move(v)}; }
    static SqlValue of_date(std::int64_t day) { return {ValueKind::kDate, day, 0, {}}; }
    static SqlValue of_time(std::int64_t ms) { return {ValueKind::kTime, ms, 0, {}}; }
    static SqlValue of_timestamp(double ms) { return {ValueKind::kTimestamp, 0, ms, {}}; }
    static SqlValue of_bytes(std::string v) { return {ValueKind::kBytes, 0, 0, std::move(v)}; }

    bool is_null() const { return kind == ValueKind::kNull; }
    bool is_number() const { return kind == ValueKind::kInteger || kind == ValueKind::kFloat; }
    double as_double() const { return kind == ValueKind::kFloat ? number : double(integer); }
};

// What a field of a record holds. Alpha and memo text in UTF-8, BCD as a float.
SqlValue value_of(const Value& field);

// A constant of a statement: a number without a point or exponent is an integer.
SqlValue value_of(const Literal& literal);

// The value in a message: numbers as written, text in single quotes, dates YYYY-MM-DD.
std::string describe(const SqlValue& value);

// "date", "number", ... for messages.
std::string_view kind_name(ValueKind kind);

// The text read as a value of `kind` (date, time, timestamp, boolean, integer, float); the
// value itself when it already is of that kind or when `kind` is text. `field` names the
// field the text is meant for in a refusal. Throws SqlError when the text is no such value.
SqlValue convert_text(const SqlValue& text, ValueKind kind, std::string_view field);

// Negative, zero or positive as `a` sorts before, with or after `b`; nothing when either is
// NULL. Numbers compare as numbers, text by its bytes (letter case counts), a date with a
// timestamp as midnight of that day, and a text with a typed value as that type. `context`
// names what is compared in a refusal. Throws SqlError when the two cannot be compared.
std::optional<int> compare(const SqlValue& a, const SqlValue& b, std::string_view context);

// An order for sorting: NULL first, then compare(). Values of one column are of one kind.
int sort_compare(const SqlValue& a, const SqlValue& b);

}  // namespace pdx::sql
