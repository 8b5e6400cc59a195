#include "engine/table/locate.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "common/error.h"
#include "engine/format/field_codec.h"
#include "engine/table/table.h"
#include "engine/table/text_fold.h"

namespace pdx {

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

// Pieces of a key are length-prefixed so that field boundaries cannot blur.
void append_piece(std::string& key, std::string_view piece) {
    const auto size = static_cast<std::uint32_t>(piece.size());
    key.append(reinterpret_cast<const char*>(&size), sizeof size);
    key.append(piece);
}

}  // namespace

LocateField::LocateField(const Table& table, const Field& field, const FieldInput& input,
                         LocateOptions options)
    : table_(table), field_(field) {
    const std::string text = input_text(input);
    switch (field.type()) {
        case FieldType::kAlpha:
            prepare_alpha(text, options.case_insensitive);
            break;
        case FieldType::kShort:
        case FieldType::kLong:
        case FieldType::kAutoInc:
        case FieldType::kNumber:
        case FieldType::kMoney:
            prepare_number(input, text);
            break;
        default:
            // Dates, times, BCD, bytes, blobs: compared in their text form.
            kind_ = Kind::kText;
            fold_ = options.case_insensitive;
            key_ = fold_ ? fold_case(text) : text;
    }
}

void LocateField::prepare_alpha(const std::string& text, bool case_insensitive) {
    if (case_insensitive) {
        kind_ = Kind::kAlphaFolded;
        key_ = fold_case(text);
        return;
    }
    auto stored = table_.codec().from_utf8(text);
    if (!stored || stored->size() > field_.width() || stored->find('\0') != std::string::npos) {
        kind_ = Kind::kNever;  // no record can hold this text
        return;
    }
    kind_ = Kind::kAlpha;
    key_ = std::move(*stored);
}

void LocateField::prepare_number(const FieldInput& input, const std::string& text) {
    kind_ = Kind::kBytes;
    key_.assign(field_.width(), '\0');
    if (input_is_empty(input)) return;  // all zeros: NULL

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
        throw vaq::Error("The value '" + text + "' cannot be compared with field " + field_.name +
                         " of " + table_.name() + ": it is not a number.");

    auto* out = reinterpret_cast<std::uint8_t*>(key_.data());
    if (field_.type() == FieldType::kNumber || field_.type() == FieldType::kMoney) {
        encode_double(*number, out);
        return;
    }
    // The lowest value of each integer width is stored as zeros, which is NULL.
    const double lowest = field_.type() == FieldType::kShort ? -32768.0 : -2147483648.0;
    const double highest = field_.type() == FieldType::kShort ? 32767.0 : 2147483647.0;
    if (*number != std::floor(*number) || *number <= lowest || *number > highest) {
        kind_ = Kind::kNever;
    } else if (field_.type() == FieldType::kShort) {
        encode_short(static_cast<std::int16_t>(*number), out);
    } else {
        encode_long(static_cast<std::int32_t>(*number), out);
    }
}

std::string LocateField::record_text(Bytes field) const {
    const std::string text = Value(table_, field_, field).as_text();
    return fold_ ? fold_case(text) : text;
}

bool LocateField::matches(Bytes record) const {
    const Bytes field = record.subspan(field_.offset, field_.width());
    switch (kind_) {
        case Kind::kNever:
            return false;
        case Kind::kBytes:
            return std::memcmp(field.data(), key_.data(), key_.size()) == 0;
        case Kind::kAlpha:
            return decode_alpha(field) == key_;
        case Kind::kAlphaFolded:
            return equal_ignoring_case(table_.codec().to_utf8(decode_alpha(field)), key_);
        case Kind::kText:
            return record_text(field) == key_;
    }
    return false;
}

void LocateField::append_record_key(Bytes record, std::string& key) const {
    const Bytes field = record.subspan(field_.offset, field_.width());
    switch (kind_) {
        case Kind::kNever:
        case Kind::kBytes:
            append_piece(
                key, std::string_view(reinterpret_cast<const char*>(field.data()), field.size()));
            return;
        case Kind::kAlpha:
            append_piece(key, decode_alpha(field));
            return;
        case Kind::kAlphaFolded:
            append_piece(key, fold_case(table_.codec().to_utf8(decode_alpha(field))));
            return;
        case Kind::kText:
            append_piece(key, record_text(field));
            return;
    }
}

void LocateField::append_search_key(std::string& key) const {
    append_piece(key, key_);
}

LocateRequest::LocateRequest(const Table& table, std::string_view field_names,
                             std::span<const FieldInput> values, LocateOptions options) {
    const auto names = split_field_names(field_names);
    if (names.size() != values.size())
        throw vaq::Error("Locate in " + table.name() + " names " + std::to_string(names.size()) +
                         " fields but gives " + std::to_string(values.size()) + " values.");
    fields_.reserve(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        const Field& field = table.schema().field(names[i], table.name());
        fields_.emplace_back(table, field, values[i], options);
        shape_ += std::to_string(field.index) + ';';
    }
    shape_ += options.case_insensitive ? "i" : "s";
}

bool LocateRequest::cannot_match() const {
    for (const LocateField& f : fields_)
        if (f.cannot_match()) return true;
    return false;
}

bool LocateRequest::matches(Bytes record) const {
    for (const LocateField& f : fields_)
        if (!f.matches(record)) return false;
    return true;
}

std::string LocateRequest::record_key(Bytes record) const {
    std::string key;
    for (const LocateField& f : fields_)
        f.append_record_key(record, key);
    return key;
}

std::string LocateRequest::search_key() const {
    std::string key;
    for (const LocateField& f : fields_)
        f.append_search_key(key);
    return key;
}

void LocateLookup::build(Cursor& cursor, const LocateRequest& request) {
    const Bookmark start = cursor.bookmark();
    for (cursor.first(); !cursor.eof(); cursor.next())
        first_of_.try_emplace(request.record_key(cursor.record()), cursor.bookmark());
    cursor.go_to(start);
    built_ = true;
}

std::optional<Bookmark> LocateLookup::find(const LocateRequest& request) const {
    const auto it = first_of_.find(request.search_key());
    if (it == first_of_.end()) return std::nullopt;
    return it->second;
}

}  // namespace pdx
