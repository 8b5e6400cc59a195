#include "engine/table/edit_buffer.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>

#include "common/dateformat.h"
#include "common/datetime.h"
#include "common/error.h"
#include "common/text.h"
#include "engine/format/field_codec.h"
#include "engine/table/table.h"

namespace pdx {

namespace {

// What goes wrong, to be phrased with the field's and the table's names.
class FieldError {
  public:
    FieldError(const Table& table, const Field& field) : table_(table), field_(field) {}

    [[noreturn]] void not_valid(const std::string& text, const char* what) const {
        throw vaq::Error("'" + text + "' is not a valid " + what + " for field " + field_.name +
                         " of " + table_.name() + ".");
    }
    [[noreturn]] void out_of_range(const std::string& text, const std::string& range) const {
        throw vaq::Error("The value " + text + " is out of range for field " + field_.name +
                         " of " + table_.name() + " (" + range + ").");
    }
    [[noreturn]] void too_long(const std::string& text, std::size_t limit) const {
        throw vaq::Error("The value '" + text + "' is too long for field " + field_.name + " of " +
                         table_.name() + " (at most " + std::to_string(limit) + " bytes).");
    }
    [[noreturn]] void rethrow_with_field(const vaq::Error& error) const {
        std::string message = error.what();
        while (!message.empty() && message.back() == '.')
            message.pop_back();
        throw vaq::Error(message + " for field " + field_.name + " of " + table_.name() + ".");
    }

  private:
    const Table& table_;
    const Field& field_;
};

std::optional<std::int64_t> parse_integer(std::string_view text) {
    text = vaq::trim_blanks(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

std::optional<double> parse_double(std::string_view text) {
    text = vaq::trim_blanks(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    double value = 0;
    const auto [end, error] =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
    if (error != std::errc() || end != text.data() + text.size() || text.empty() ||
        !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<bool> parse_logical(std::string_view text) {
    const std::string word = vaq::ascii_lower(vaq::trim_blanks(text));
    if (word == "true" || word == "t" || word == "yes" || word == "y" || word == "1") return true;
    if (word == "false" || word == "f" || word == "no" || word == "n" || word == "0") return false;
    return std::nullopt;
}

std::optional<std::vector<std::uint8_t>> parse_hex(std::string_view text) {
    text = vaq::trim_blanks(text);
    if (text.size() < 2 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X'))
        return std::nullopt;
    text.remove_prefix(2);
    if (text.size() % 2 != 0) return std::nullopt;
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        std::uint8_t byte = 0;
        const auto [end, error] = std::from_chars(text.data() + i, text.data() + i + 2, byte, 16);
        if (error != std::errc() || end != text.data() + i + 2) return std::nullopt;
        bytes.push_back(byte);
    }
    return bytes;
}

// An integer input for a field of the given bounds (the lowest value of each width is the
// NULL pattern and cannot be stored).
std::int64_t integer_input(const FieldInput& value, const std::string& text,
                           const FieldError& error, std::int64_t low, std::int64_t high,
                           const char* type_name) {
    std::int64_t number = 0;
    if (const auto* i = std::get_if<std::int64_t>(&value)) {
        number = *i;
    } else if (const auto* d = std::get_if<double>(&value)) {
        if (*d != std::floor(*d) || !std::isfinite(*d)) error.not_valid(text, "integer value");
        if (*d < -9.2e18 || *d > 9.2e18) error.out_of_range(text, type_name);
        number = static_cast<std::int64_t>(*d);
    } else if (const auto* b = std::get_if<bool>(&value)) {
        number = *b ? 1 : 0;
    } else {
        const auto parsed = parse_integer(text);
        if (!parsed) error.not_valid(text, "integer value");
        number = *parsed;
    }
    if (number < low || number > high)
        error.out_of_range(text, std::string(type_name) + ", " + std::to_string(low) + " to " +
                                     std::to_string(high));
    return number;
}

double double_input(const FieldInput& value, const std::string& text, const FieldError& error) {
    if (const auto* i = std::get_if<std::int64_t>(&value)) return static_cast<double>(*i);
    if (const auto* d = std::get_if<double>(&value)) {
        if (!std::isfinite(*d)) error.not_valid(text, "floating point value");
        return *d;
    }
    if (const auto* b = std::get_if<bool>(&value)) return *b ? 1.0 : 0.0;
    const auto parsed = parse_double(text);
    if (!parsed) error.not_valid(text, "floating point value");
    return *parsed;
}

template <typename T, typename Local, typename Iso>
T parse_moment(const std::string& text, Local local, Iso iso, const FieldError& error) {
    try {
        return local(text);
    } catch (const vaq::Error& first) {
        try {
            return iso(text);
        } catch (const vaq::Error&) {
            error.rethrow_with_field(first);
        }
    }
}

}  // namespace

void encode_field_input(const Table& table, const Field& field, const FieldInput& value,
                        MutableBytes out) {
    if (input_is_empty(value)) {
        std::memset(out.data(), 0, out.size());
        return;
    }
    // Plain ASCII text is stored as it is in every code page: no conversion, no copies.
    const auto* given = std::get_if<std::string>(&value);
    if (field.type() == FieldType::kAlpha && given && given->size() <= out.size() &&
        std::all_of(given->begin(), given->end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x80; }) &&
        encode_alpha(*given, out))
        return;
    const FieldError error(table, field);
    const std::string text = input_text(value);
    std::uint8_t* p = out.data();
    switch (field.type()) {
        case FieldType::kAlpha: {
            const auto stored = table.codec().from_utf8(text);
            if (!stored)
                throw vaq::Error("The value '" + text + "' holds characters that field " +
                                 field.name + " of " + table.name() + " cannot store.");
            if (stored->size() > out.size()) error.too_long(text, out.size());
            if (!encode_alpha(*stored, out)) error.not_valid(text, "text");
            return;
        }
        case FieldType::kShort:
            encode_short(static_cast<std::int16_t>(
                             integer_input(value, text, error, -32767, 32767, "smallint")),
                         p);
            return;
        case FieldType::kLong:
            encode_long(static_cast<std::int32_t>(
                            integer_input(value, text, error, -2147483647, 2147483647, "integer")),
                        p);
            return;
        case FieldType::kAutoInc:
            encode_long(static_cast<std::int32_t>(
                            integer_input(value, text, error, 1, 2147483647, "autoinc")),
                        p);
            return;
        case FieldType::kNumber:
        case FieldType::kMoney:
            encode_double(double_input(value, text, error), p);
            return;
        case FieldType::kBcd: {
            std::string decimal = std::string(vaq::trim_blanks(text));
            const auto number = parse_double(decimal);
            if (!number) error.not_valid(text, "decimal value");
            // Numbers in other forms (1e5, typed values) are written out in decimals first.
            const bool plain = decimal.find_first_of("eE") == std::string::npos;
            if (!plain || std::holds_alternative<double>(value)) {
                char buffer[400];
                std::snprintf(buffer, sizeof buffer, "%.*f", field.descriptor.bcd_decimals(),
                              *number);
                decimal = buffer;
            }
            if (!encode_bcd(std::string_view(decimal), field.descriptor.bcd_decimals(), out))
                error.out_of_range(
                    text,
                    "bcd with " + std::to_string(field.descriptor.bcd_decimals()) + " decimals");
            return;
        }
        case FieldType::kLogical: {
            std::optional<bool> flag;
            if (const auto* b = std::get_if<bool>(&value))
                flag = *b;
            else if (const auto* i = std::get_if<std::int64_t>(&value); i && (*i == 0 || *i == 1))
                flag = *i == 1;
            else
                flag = parse_logical(text);
            if (!flag) error.not_valid(text, "boolean value");
            p[0] = encode_logical(*flag);
            return;
        }
        case FieldType::kDate: {
            const vaq::Date date = parse_moment<vaq::Date>(
                text, [](const std::string& t) { return vaq::parse_date(t); },
                [](const std::string& t) { return vaq::parse_iso_date(t); }, error);
            encode_long(vaq::to_day_number(date), p);
            return;
        }
        case FieldType::kTime: {
            const vaq::Time time = parse_moment<vaq::Time>(
                text, [](const std::string& t) { return vaq::parse_time(t); },
                [](const std::string& t) { return vaq::parse_iso_time(t); }, error);
            encode_long(vaq::to_milliseconds(time), p);
            return;
        }
        case FieldType::kTimestamp: {
            const vaq::DateTime moment = parse_moment<vaq::DateTime>(
                text, [](const std::string& t) { return vaq::parse_date_time(t); },
                [](const std::string& t) { return vaq::parse_iso_date_time(t); }, error);
            encode_double(vaq::to_timestamp(moment), p);
            return;
        }
        case FieldType::kBytes: {
            const auto bytes = parse_hex(text);
            if (!bytes) error.not_valid(text, "byte string (0x and hex digits)");
            if (bytes->size() > out.size()) error.too_long(text, out.size());
            std::memset(p, 0, out.size());
            std::memcpy(p, bytes->data(), bytes->size());
            return;
        }
        case FieldType::kMemo:
        case FieldType::kBlob:
        case FieldType::kFmtMemo:
        case FieldType::kOle:
        case FieldType::kGraphic:
            throw std::logic_error("blob fields are set through EditBuffer");
    }
}

std::vector<std::uint8_t> blob_from_input(const Table& table, const Field& field,
                                          const FieldInput& value) {
    if (input_is_empty(value)) return {};
    const std::string text = input_text(value);
    if (field.type() == FieldType::kMemo) {
        const auto stored = table.codec().from_utf8(text);
        if (!stored)
            throw vaq::Error("The value '" + text.substr(0, 40) + "' holds characters that field " +
                             field.name + " of " + table.name() + " cannot store.");
        return {stored->begin(), stored->end()};
    }
    auto bytes = parse_hex(text);
    if (!bytes)
        FieldError(table, field).not_valid(text.substr(0, 40), "byte string (0x and hex digits)");
    return std::move(*bytes);
}

EditBuffer EditBuffer::blank(std::shared_ptr<const Table> table) {
    return EditBuffer(Record::blank(std::move(table)));
}

EditBuffer EditBuffer::of(std::shared_ptr<const Table> table, Bytes record) {
    return EditBuffer(Record(std::move(table), record));
}

std::size_t EditBuffer::field_index(std::string_view name) const {
    return table().schema().field(name, table().name()).index;
}

void EditBuffer::set(std::size_t field, const FieldInput& value) {
    const Field& f = table().schema()[field];
    if (is_blob_type(f.type())) {
        new_blobs_[field] = blob_from_input(table(), f, value);
        return;
    }
    // Converted aside first, so that a refused value leaves the field as it was.
    constexpr std::size_t kOnStack = 256;
    std::array<std::uint8_t, kOnStack> small;
    std::vector<std::uint8_t> large;
    if (f.width() > kOnStack) large.resize(f.width());
    const MutableBytes bytes =
        large.empty() ? MutableBytes(small.data(), f.width()) : MutableBytes(large);
    encode_field_input(table(), f, value, bytes);
    std::memcpy(record_.field_bytes(field).data(), bytes.data(), bytes.size());
}

void EditBuffer::set(std::string_view name, const FieldInput& value) {
    set(field_index(name), value);
}

void EditBuffer::set_bytes(std::size_t field, Bytes value) {
    const Field& f = table().schema()[field];
    if (is_blob_type(f.type())) {
        new_blobs_[field].assign(value.begin(), value.end());
        return;
    }
    if (f.type() != FieldType::kBytes)
        throw vaq::Error("Field " + f.name + " of " + table().name() + " does not hold bytes.");
    if (value.size() > f.width()) FieldError(table(), f).too_long(format_hex(value), f.width());
    MutableBytes out = record_.field_bytes(field);
    std::memset(out.data(), 0, out.size());
    std::memcpy(out.data(), value.data(), value.size());
}

void EditBuffer::set_null(std::size_t field) {
    set(field, FieldInput{});
}

std::string EditBuffer::text(std::size_t field) const {
    const auto it = new_blobs_.find(field);
    if (it == new_blobs_.end()) return record_.value(field).as_text();
    const std::vector<std::uint8_t>& bytes = it->second;
    const Field& f = table().schema()[field];
    if (f.type() == FieldType::kMemo)
        return table().codec().to_utf8(
            std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    return bytes.empty() ? std::string() : format_hex(bytes);
}

std::string EditBuffer::text(std::string_view name) const {
    return text(field_index(name));
}

}  // namespace pdx
