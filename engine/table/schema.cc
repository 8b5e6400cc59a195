#include "engine/table/schema.h"

#include "common/error.h"
#include "engine/format/table_header.h"
#include "engine/format/text_codec.h"
#include "engine/table/text_fold.h"

namespace pdx {

Schema::Schema(const TableHeader& header, const TextCodec& codec) {
    std::size_t offset = 0;
    fields_.reserve(header.fields.size());
    for (const FieldDef& def : header.fields) {
        Field field;
        field.stored_name = def.name;
        field.name = codec.to_utf8(def.name);
        field.descriptor = def.descriptor;
        field.index = fields_.size();
        field.offset = offset;
        offset += def.descriptor.width();
        fields_.push_back(std::move(field));
    }
    record_size_ = offset;
    key_fields_ = header.file_type == FileType::kKeyedTable ? header.key_fields : 0;
}

std::optional<std::size_t> Schema::find(std::string_view name) const {
    for (const Field& field : fields_)
        if (equal_ignoring_case(field.name, name)) return field.index;
    return std::nullopt;
}

const Field& Schema::field(std::string_view name, std::string_view table_name) const {
    if (auto index = find(name)) return fields_[*index];
    throw vaq::Error("Field not found: " + std::string(name) + " in " + std::string(table_name) +
                     ".");
}

}  // namespace pdx
