#include "engine/format/index_header.h"

#include <algorithm>

#include "common/text.h"
#include "engine/format/format_error.h"

namespace pdx {

namespace {

std::optional<unsigned> hex_digit(char c) {
    if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
    if (c >= 'A' && c <= 'F') return static_cast<unsigned>(c - 'A' + 10);
    return std::nullopt;
}

[[noreturn]] void damaged(std::string_view file, const std::string& what) {
    throw FormatError(std::string(file) + " is damaged: " + what + ".");
}

void check_field_type(const TableHeader& header, std::size_t index, FieldType wanted,
                      const char* role, std::string_view file) {
    if (index >= header.fields.size() || header.fields[index].descriptor.type != wanted)
        damaged(file, "its field " + std::to_string(index + 1) + " should be " + role +
                          " of type " + field_type_letter(wanted));
}

}  // namespace

std::optional<IndexSuffix> IndexSuffix::parse(std::string_view extension) {
    if (!extension.empty() && extension.front() == '.') extension.remove_prefix(1);
    if (extension.size() < 3 || vaq::ascii_upper(extension[0]) != 'X') return std::nullopt;
    IndexSuffix suffix;
    for (char c : extension)
        suffix.text += vaq::ascii_upper(c);
    if (vaq::ascii_upper(extension[1]) == 'G') {
        // XG0 ... XG9 are known; how the BDE goes on after XG9 is not, so any decimal
        // number is taken.
        unsigned n = 0;
        for (std::size_t i = 2; i < extension.size(); ++i) {
            const char c = extension[i];
            if (c < '0' || c > '9' || n > 100000) return std::nullopt;
            n = n * 10 + static_cast<unsigned>(c - '0');
        }
        suffix.composite = true;
        suffix.number = n;
        return suffix;
    }
    if (extension.size() != 3) return std::nullopt;
    const auto high = hex_digit(vaq::ascii_upper(extension[1]));
    const auto low = hex_digit(vaq::ascii_upper(extension[2]));
    if (!high || !low || *high * 16 + *low == 0) return std::nullopt;
    suffix.number = *high * 16 + *low;
    return suffix;
}

std::string IndexSuffix::tree_extension() const {
    return ".Y" + text.substr(1);
}

SecondaryIndexLayout SecondaryIndexLayout::decode(const TableHeader& header,
                                                  std::size_t table_key_fields,
                                                  std::string_view file) {
    if (!is_secondary_data_file(header.file_type))
        throw FormatError(std::string(file) + " is not a secondary index (its file type is " +
                          std::to_string(static_cast<int>(header.file_type)) + ").");
    SecondaryIndexLayout layout;
    layout.maintained = header.file_type == FileType::kSecondaryIndexMaintained ||
                        header.file_type == FileType::kCompositeIndexMaintained;
    layout.composite = header.file_type == FileType::kCompositeIndexSnapshot ||
                       header.file_type == FileType::kCompositeIndexMaintained;
    layout.case_insensitive = (header.index_flags & kIndexCaseInsensitive) != 0;
    layout.descending = (header.index_flags & kIndexDescending) != 0;
    layout.unique = (header.index_flags & kIndexUnique) != 0;
    layout.stored_name = header.index_name;
    layout.key_fields = header.key_fields;

    if (layout.maintained && table_key_fields == 0)
        damaged(file, "it is a maintained index, which needs a table with a primary key");
    const std::size_t pointer_fields = layout.maintained ? table_key_fields + 1 : 3;
    const std::size_t total = header.fields.size();
    if (total <= pointer_fields)
        damaged(file,
                "its " + std::to_string(total) + " fields leave no room for an indexed field");
    const std::size_t indexed = total - pointer_fields;
    const std::size_t expected_key = indexed + (layout.maintained ? table_key_fields : 2);
    if (header.key_fields != expected_key)
        damaged(file, "its header counts " + std::to_string(header.key_fields) +
                          " key fields instead of " + std::to_string(expected_key));

    if (header.has_field_numbers()) {
        for (std::size_t i = 0; i < indexed; ++i) {
            const std::uint16_t number = header.fields[i].number;
            const auto field = static_cast<std::uint16_t>(number & ~kDescendingField);
            if (field == 0) damaged(file, "its indexed field " + std::to_string(i + 1) + " is 0");
            layout.fields.push_back({field, (number & kDescendingField) != 0});
        }
    } else if (indexed == 1) {
        // Level 3 X files have no field-number array; header 0x15 names the one field.
        if (header.index_field_number == 0) damaged(file, "its header names field 0");
        layout.fields.push_back({header.index_field_number, false});
    } else {
        damaged(file, "it has no field numbers to tell its " + std::to_string(indexed) +
                          " indexed fields");
    }
    // The descending flag of the index with no field marked: every field descends.
    const bool any_marked = std::any_of(layout.fields.begin(), layout.fields.end(),
                                        [](const IndexedField& f) { return f.descending; });
    if (layout.descending && !any_marked)
        for (IndexedField& field : layout.fields)
            field.descending = true;
    if (header.index_field_number != layout.fields.front().table_field)
        damaged(file, "its header names field " + std::to_string(header.index_field_number) +
                          " first but its field list names field " +
                          std::to_string(layout.fields.front().table_field));

    if (layout.maintained) {
        check_field_type(header, total - 1, FieldType::kShort, "Blk Num", file);
    } else {
        check_field_type(header, indexed, FieldType::kLong, "Tup No", file);
        check_field_type(header, indexed + 1, FieldType::kShort, "Blk Num", file);
        check_field_type(header, indexed + 2, FieldType::kShort, "Tup Offset", file);
    }
    return layout;
}

}  // namespace pdx
