#include "engine/table/cursor.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <functional>
#include <optional>

#include "common/error.h"
#include "engine/format/field_codec.h"
#include "engine/table/table.h"
#include "engine/table/text_fold.h"

namespace pdx {

std::uint32_t Cursor::record_count() const {
    return table_->record_count();
}

void Cursor::no_current_record() const {
    throw vaq::Error("There is no current record in " + table_->name() + ".");
}

Value Cursor::value(std::size_t field_index) const {
    const Field& f = table_->schema()[field_index];
    return Value(*table_, f, record().subspan(f.offset, f.width()));
}

Value Cursor::field(std::string_view name) const {
    const Field& f = table_->schema().field(name, table_->name());
    return Value(*table_, f, record().subspan(f.offset, f.width()));
}

namespace {

std::vector<std::string_view> split_field_names(std::string_view names) {
    std::vector<std::string_view> out;
    while (true) {
        const std::size_t end = names.find(';');
        std::string_view name = names.substr(0, end);
        while (!name.empty() && name.front() == ' ')
            name.remove_prefix(1);
        while (!name.empty() && name.back() == ' ')
            name.remove_suffix(1);
        out.push_back(name);
        if (end == std::string_view::npos) break;
        names.remove_prefix(end + 1);
    }
    return out;
}

std::optional<double> parse_number(std::string_view text) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// Decides whether one field of a record equals one locate value. The key is prepared once;
// number fields and case-sensitive alpha fields then compare stored bytes only.
class FieldMatcher {
  public:
    FieldMatcher(const Table& table, const Field& field, const FieldInput& input,
                 LocateOptions options)
        : table_(table), field_(field) {
        if (input_is_empty(input)) {
            kind_ = Kind::kNull;
            return;
        }
        const std::string text = input_text(input);
        switch (field.type()) {
            case FieldType::kAlpha:
                prepare_alpha(text, options);
                break;
            case FieldType::kShort:
            case FieldType::kLong:
            case FieldType::kAutoInc:
            case FieldType::kNumber:
            case FieldType::kMoney:
                prepare_number(input, text);
                break;
            default:
                kind_ = Kind::kText;
                key_ = options.case_insensitive ? fold_case(text) : text;
                fold_ = options.case_insensitive;
        }
    }

    bool matches(Bytes record) const {
        const Bytes bytes = record.subspan(field_.offset, field_.width());
        switch (kind_) {
            case Kind::kNever:
                return false;
            case Kind::kNull:
                return Value(table_, field_, bytes).is_null();
            case Kind::kBytes:
                return std::memcmp(bytes.data(), key_.data(), key_.size()) == 0;
            case Kind::kAlpha:
                return decode_alpha(bytes) == key_;
            case Kind::kAlphaFolded:
                return equal_ignoring_case(table_.codec().to_utf8(decode_alpha(bytes)), key_);
            case Kind::kText: {
                const std::string text = Value(table_, field_, bytes).as_text();
                return fold_ ? fold_case(text) == key_ : text == key_;
            }
        }
        return false;
    }

  private:
    enum class Kind { kNever, kNull, kBytes, kAlpha, kAlphaFolded, kText };

    void prepare_alpha(const std::string& text, LocateOptions options) {
        if (options.case_insensitive) {
            kind_ = Kind::kAlphaFolded;
            key_ = text;
            return;
        }
        auto stored = table_.codec().from_utf8(text);
        if (!stored || stored->size() > field_.width()) {
            kind_ = Kind::kNever;  // no record can hold this text
            return;
        }
        kind_ = Kind::kAlpha;
        key_ = std::move(*stored);
    }

    void prepare_number(const FieldInput& input, const std::string& text) {
        std::optional<double> number;
        if (const auto* i = std::get_if<std::int64_t>(&input))
            number = static_cast<double>(*i);
        else if (const auto* d = std::get_if<double>(&input))
            number = *d;
        else if (const auto* b = std::get_if<bool>(&input))
            number = *b ? 1 : 0;
        else
            number = parse_number(text);
        if (!number)
            throw vaq::Error("The value '" + text + "' cannot be compared with field " +
                             field_.name + " of " + table_.name() + ": it is not a number.");
        std::vector<std::uint8_t> key(field_.width());
        kind_ = Kind::kBytes;
        if (field_.type() == FieldType::kNumber || field_.type() == FieldType::kMoney) {
            encode_double(*number, key.data());
        } else if (*number != std::floor(*number) || !fits_integer(*number)) {
            kind_ = Kind::kNever;
        } else if (field_.type() == FieldType::kShort) {
            encode_short(static_cast<std::int16_t>(*number), key.data());
        } else {
            encode_long(static_cast<std::int32_t>(*number), key.data());
        }
        key_.assign(key.begin(), key.end());
    }

    bool fits_integer(double number) const {
        // The lowest value of each width is stored as zeros, which is NULL.
        if (field_.type() == FieldType::kShort) return number > -32768 && number <= 32767;
        return number > -2147483648.0 && number <= 2147483647.0;
    }

    const Table& table_;
    const Field& field_;
    Kind kind_ = Kind::kNever;
    std::string key_;
    bool fold_ = false;
};

}  // namespace

bool Cursor::locate(std::string_view field_names, std::span<const FieldInput> values,
                    LocateOptions options) {
    const auto names = split_field_names(field_names);
    if (names.size() != values.size())
        throw vaq::Error("Locate in " + table_->name() + " names " + std::to_string(names.size()) +
                         " fields but gives " + std::to_string(values.size()) + " values.");
    std::vector<FieldMatcher> matchers;
    matchers.reserve(names.size());
    for (std::size_t i = 0; i < names.size(); ++i)
        matchers.emplace_back(*table_, table_->schema().field(names[i], table_->name()), values[i],
                              options);

    const Bookmark start = bookmark();
    for (first(); !eof(); next()) {
        const Bytes current = record();
        bool all = true;
        for (const FieldMatcher& m : matchers) {
            if (!m.matches(current)) {
                all = false;
                break;
            }
        }
        if (all) return true;
    }
    go_to(start);
    return false;
}

}  // namespace pdx
