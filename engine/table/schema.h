#pragma once

// The fields of an open table: names in UTF-8, descriptors, where each lies in a record.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/format/field_type.h"

namespace pdx {

class TableHeader;
class TextCodec;

struct Field {
    std::string name;         // UTF-8
    std::string stored_name;  // as in the header, in the table's code page
    FieldDescriptor descriptor;
    std::size_t index = 0;   // 0-based position in the record
    std::size_t offset = 0;  // first byte in the record

    FieldType type() const { return descriptor.type; }
    std::size_t width() const { return descriptor.width(); }
};

class Schema {
  public:
    Schema() = default;
    Schema(const TableHeader& header, const TextCodec& codec);

    const std::vector<Field>& fields() const { return fields_; }
    std::size_t size() const { return fields_.size(); }
    const Field& operator[](std::size_t index) const { return fields_[index]; }
    std::size_t record_size() const { return record_size_; }
    // The leading fields that form the primary key (0 for an unkeyed table).
    std::size_t key_fields() const { return key_fields_; }

    // The field called `name`, letter case ignored (the first, should two differ only in
    // case).
    std::optional<std::size_t> find(std::string_view name) const;
    // As find(); throws vaq::Error("Field not found: NAME in TABLE.") when absent.
    const Field& field(std::string_view name, std::string_view table_name) const;

  private:
    std::vector<Field> fields_;
    // fold_case() of every field name, in field order: a lookup folds only the name asked
    // for, and mostly compares lengths.
    std::vector<std::string> folded_names_;
    std::size_t record_size_ = 0;
    std::size_t key_fields_ = 0;
};

}  // namespace pdx
