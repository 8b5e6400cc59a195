#include "engine/table/value.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <iterator>

#include "common/error.h"
#include "engine/format/field_codec.h"
#include "engine/table/field_input.h"
#include "engine/table/table.h"

namespace pdx {

namespace {

// `value` in decimal as %0Nd writes it for N = `width`: at least `width` characters, the sign
// counted among them, zeros after the sign to fill.
void append_padded(std::string& out, std::int64_t value, int width) {
    char buffer[24];
    const auto digits = static_cast<std::size_t>(width);
    constexpr std::int64_t kBelow[] = {1, 10, 100, 1000, 10000};
    if (value >= 0 && digits < std::size(kBelow) && value < kBelow[digits]) {
        for (std::size_t i = digits; i-- > 0; value /= 10)
            buffer[i] = static_cast<char>('0' + value % 10);
        out.append(buffer, digits);
        return;
    }
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    const auto length = static_cast<std::size_t>(result.ptr - buffer);
    const std::size_t sign = value < 0 ? 1 : 0;
    out.append(buffer, sign);
    if (length < digits) out.append(digits - length, '0');
    out.append(buffer + sign, length - sign);
}

void append_integer(std::string& out, std::int64_t value) {
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

}  // namespace

void append_double(std::string& out, double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

void append_date(std::string& out, const CivilDate& date) {
    append_padded(out, date.year, 4);
    out += '-';
    append_padded(out, date.month, 2);
    out += '-';
    append_padded(out, date.day, 2);
}

void append_time(std::string& out, std::int64_t milliseconds) {
    const TimeOfDay t = time_from_milliseconds(milliseconds);
    append_padded(out, t.hour, 2);
    out += ':';
    append_padded(out, t.minute, 2);
    out += ':';
    append_padded(out, t.second, 2);
    if (t.millisecond != 0) {
        out += '.';
        append_padded(out, t.millisecond, 3);
    }
}

void append_timestamp(std::string& out, double milliseconds) {
    // A damaged field may hold any number. Beyond the days a date field can count (32 bits)
    // there is no calendar date to show, so the stored number is shown as it stands.
    constexpr double kDayLimit = 2147483648.0;
    if (!(std::fabs(milliseconds) < kDayLimit * static_cast<double>(kMillisecondsPerDay)))
        return append_double(out, milliseconds);
    const auto ms = static_cast<std::int64_t>(std::llround(milliseconds));
    const std::int64_t day = ms / kMillisecondsPerDay - (ms % kMillisecondsPerDay < 0 ? 1 : 0);
    append_date(out, civil_from_day_number(day));
    out += ' ';
    append_time(out, ms - day * kMillisecondsPerDay);
}

std::string format_double(double value) {
    std::string text;
    append_double(text, value);
    return text;
}

std::string format_date(const CivilDate& date) {
    std::string text;
    append_date(text, date);
    return text;
}

std::string format_time(std::int64_t milliseconds) {
    std::string text;
    append_time(text, milliseconds);
    return text;
}

std::string format_timestamp(double milliseconds) {
    std::string text;
    append_timestamp(text, milliseconds);
    return text;
}

std::string format_hex(Bytes bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text = "0x";
    text.reserve(2 + 2 * bytes.size());
    for (std::uint8_t b : bytes) {
        text += kDigits[b >> 4];
        text += kDigits[b & 0x0F];
    }
    return text;
}

std::string input_text(const FieldInput& input) {
    struct {
        std::string operator()(std::monostate) const { return {}; }
        std::string operator()(std::int64_t v) const { return std::to_string(v); }
        std::string operator()(double v) const { return format_double(v); }
        std::string operator()(bool v) const { return v ? "true" : "false"; }
        std::string operator()(const std::string& v) const { return v; }
    } visitor;
    return std::visit(visitor, input);
}

bool input_is_empty(const FieldInput& input) {
    if (std::holds_alternative<std::monostate>(input)) return true;
    if (const auto* text = std::get_if<std::string>(&input)) return text->empty();
    return false;
}

void Value::wrong_type(const char* wanted) const {
    throw vaq::Error("Field " + field_->name + " of " + table_->name() + " is not " + wanted + ".");
}

bool Value::is_null() const {
    const std::uint8_t* p = bytes_.data();
    switch (type()) {
        case FieldType::kAlpha:
            return p[0] == 0;
        case FieldType::kLogical:
            return p[0] == 0;
        case FieldType::kNumber:
        case FieldType::kMoney:
        case FieldType::kTimestamp:
            return !decode_double(p).has_value();
        case FieldType::kBcd:
            return !decode_bcd(bytes_).has_value();
        case FieldType::kMemo:
        case FieldType::kBlob:
        case FieldType::kFmtMemo:
        case FieldType::kOle:
        case FieldType::kGraphic:
            return BlobPointer::decode(p + field_->width() - kBlobPointerSize).length == 0;
        default:
            return all_zero(bytes_);
    }
}

std::optional<std::int64_t> Value::integer() const {
    switch (type()) {
        case FieldType::kShort:
            if (auto v = decode_short(bytes_.data())) return *v;
            return std::nullopt;
        case FieldType::kLong:
        case FieldType::kAutoInc:
            if (auto v = decode_long(bytes_.data())) return *v;
            return std::nullopt;
        default:
            wrong_type("an integer field");
    }
}

std::optional<double> Value::number() const {
    switch (type()) {
        case FieldType::kNumber:
        case FieldType::kMoney:
            return decode_double(bytes_.data());
        case FieldType::kShort:
        case FieldType::kLong:
        case FieldType::kAutoInc:
            if (auto v = integer()) return static_cast<double>(*v);
            return std::nullopt;
        case FieldType::kBcd:
            if (auto text = decode_bcd(bytes_)) return std::strtod(text->c_str(), nullptr);
            return std::nullopt;
        default:
            wrong_type("a number field");
    }
}

std::optional<bool> Value::logical() const {
    if (type() != FieldType::kLogical) wrong_type("a logical field");
    return decode_logical(bytes_[0]);
}

std::optional<std::int32_t> Value::day_number() const {
    if (type() != FieldType::kDate) wrong_type("a date field");
    return decode_long(bytes_.data());
}

std::optional<CivilDate> Value::date() const {
    if (auto day = day_number()) return civil_from_day_number(*day);
    return std::nullopt;
}

std::optional<std::int32_t> Value::milliseconds() const {
    if (type() != FieldType::kTime) wrong_type("a time field");
    return decode_long(bytes_.data());
}

std::optional<double> Value::timestamp() const {
    if (type() != FieldType::kTimestamp) wrong_type("a timestamp field");
    return decode_double(bytes_.data());
}

std::optional<std::string> Value::decimal_text() const {
    if (type() != FieldType::kBcd) wrong_type("a BCD field");
    return decode_bcd(bytes_);
}

std::string Value::alpha_bytes() const {
    if (type() == FieldType::kAlpha) return std::string(decode_alpha(bytes_));
    if (type() == FieldType::kMemo) {
        const auto bytes = blob();
        return std::string(bytes.begin(), bytes.end());
    }
    wrong_type("an alpha field");
}

std::vector<std::uint8_t> Value::blob() const {
    if (type() == FieldType::kBytes) {
        if (all_zero(bytes_)) return {};
        return std::vector<std::uint8_t>(bytes_.begin(), bytes_.end());
    }
    if (!is_blob_type(type())) wrong_type("a blob field");
    return table_->read_blob(*field_, bytes_);
}

std::string Value::as_text() const {
    std::string text;
    append_text(text);
    return text;
}

void Value::append_text(std::string& out) const {
    if (is_null()) return;
    switch (type()) {
        case FieldType::kAlpha:
            return table_->codec().append_utf8(out, decode_alpha(bytes_));
        case FieldType::kShort:
        case FieldType::kLong:
        case FieldType::kAutoInc:
            return append_integer(out, *integer());
        case FieldType::kNumber:
        case FieldType::kMoney:
            return append_double(out, *number());
        case FieldType::kLogical:
            out.append(*logical() ? "true" : "false");
            return;
        case FieldType::kDate:
            return append_date(out, *date());
        case FieldType::kTime:
            return append_time(out, *milliseconds());
        case FieldType::kTimestamp:
            return append_timestamp(out, *timestamp());
        case FieldType::kBcd:
            out.append(*decimal_text());
            return;
        case FieldType::kMemo: {
            const auto bytes = blob();
            return table_->codec().append_utf8(
                out, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
        }
        case FieldType::kBytes:
        case FieldType::kBlob:
        case FieldType::kFmtMemo:
        case FieldType::kOle:
        case FieldType::kGraphic:
            out.append(format_hex(blob()));
            return;
    }
}

std::int64_t Value::as_integer() const {
    if (is_null()) return 0;
    switch (type()) {
        case FieldType::kShort:
        case FieldType::kLong:
        case FieldType::kAutoInc:
            return *integer();
        case FieldType::kNumber:
        case FieldType::kMoney:
        case FieldType::kBcd:
            return static_cast<std::int64_t>(std::llround(*number()));
        case FieldType::kLogical:
            return *logical() ? 1 : 0;
        case FieldType::kAlpha: {
            const std::string text = as_text();
            std::int64_t result = 0;
            const char* begin = text.data();
            while (begin < text.data() + text.size() && *begin == ' ')
                ++begin;
            const auto [end, error] = std::from_chars(begin, text.data() + text.size(), result);
            if (error == std::errc() && end == text.data() + text.size()) return result;
            throw vaq::Error("The value '" + text + "' of field " + field_->name + " in " +
                             table_->name() + " is not an integer.");
        }
        default:
            wrong_type("a number field");
    }
}

}  // namespace pdx
