#include "engine/table/schema.h"

#include "common/error.h"
#include "common/text.h"
#include "engine/format/table_header.h"
#include "engine/format/text_codec.h"
#include "engine/table/text_fold.h"

namespace pdx {

Schema::Schema(const TableHeader& header, const TextCodec& codec) {
    std::size_t offset = 0;
    fields_.reserve(header.fields.size());
    folded_names_.reserve(header.fields.size());
    for (const FieldDef& def : header.fields) {
        Field field;
        field.stored_name = def.name;
        field.name = codec.to_utf8(def.name);
        field.descriptor = def.descriptor;
        field.index = fields_.size();
        field.offset = offset;
        offset += def.descriptor.width();
        folded_names_.push_back(fold_case(field.name));
        fields_.push_back(std::move(field));
    }
    record_size_ = offset;
    key_fields_ = header.file_type == FileType::kKeyedTable ? header.key_fields : 0;
}

namespace {

bool is_ascii(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

// `folded` equals fold_case(`ascii`), for ASCII text `ascii`.
bool equals_folded_ascii(std::string_view folded, std::string_view ascii) {
    if (folded.size() != ascii.size()) return false;
    for (std::size_t i = 0; i < ascii.size(); ++i)
        if (folded[i] != vaq::ascii_lower(ascii[i])) return false;
    return true;
}

}  // namespace

std::optional<std::size_t> Schema::find(std::string_view name) const {
    // Two names are equal ignoring case when their folded texts are equal; an ASCII name
    // folds letter by letter, so it need not be copied.
    if (is_ascii(name)) {
        for (std::size_t i = 0; i < folded_names_.size(); ++i)
            if (equals_folded_ascii(folded_names_[i], name)) return i;
        return std::nullopt;
    }
    const std::string folded = fold_case(name);
    for (std::size_t i = 0; i < folded_names_.size(); ++i)
        if (folded_names_[i] == folded) return i;
    return std::nullopt;
}

const Field& Schema::field(std::string_view name, std::string_view table_name) const {
    if (auto index = find(name)) return fields_[*index];
    throw vaq::Error("Field not found: " + std::string(name) + " in " + std::string(table_name) +
                     ".");
}

}  // namespace pdx
