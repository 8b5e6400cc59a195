#pragma once

// A record being filled (append) or changed (edit) before it is posted: a Record, plus the
// new values of memo and blob fields, which the writer places in the .MB when the record is
// posted.
//
// Values are converted by their field, as the system writes fields as text:
//   alpha, memo     UTF-8 text, converted to the table's code page
//   S I +           whole numbers in decimal (a leading + or -, blanks around)
//   N $ #           decimal numbers with a '.' (BCD rounded to its decimals)
//   L               true/false, yes/no, t/f, 1/0 (letter case ignored)
//   D T @           under the process short date format and separators of common/
//                   (dateformat.h), or in the ISO forms YYYY-MM-DD, HH:MM:SS[.mmm]
//   Y B O G F       0x and hex digits
// An empty text (or no value) empties the field. A value the field cannot take raises
// vaq::Error naming the value and the field, and leaves the field as it was.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/table/field_input.h"
#include "engine/table/record.h"

namespace pdx {

class Table;

class EditBuffer {
  public:
    // A record of NULLs.
    static EditBuffer blank(std::shared_ptr<const Table> table);
    // A copy of a stored record.
    static EditBuffer of(std::shared_ptr<const Table> table, Bytes record);

    const Table& table() const { return record_.table(); }
    const Record& record() const { return record_; }
    Record& record() { return record_; }

    void set(std::size_t field, const FieldInput& value);
    // Letter case of `name` ignored; throws vaq::Error("Field not found: ...") when absent.
    void set(std::string_view name, const FieldInput& value);
    // The raw bytes of a bytes (Y) field or the whole value of a blob field.
    void set_bytes(std::size_t field, Bytes value);
    void set_null(std::size_t field);

    // The field's value as text (Value::as_text), new blob values included.
    std::string text(std::size_t field) const;
    std::string text(std::string_view name) const;

    // Blob fields given a new value, by field index; an empty value empties the field.
    const std::map<std::size_t, std::vector<std::uint8_t>>& new_blobs() const { return new_blobs_; }
    bool blob_changed(std::size_t field) const { return new_blobs_.count(field) != 0; }

  private:
    explicit EditBuffer(Record record) : record_(std::move(record)) {}
    std::size_t field_index(std::string_view name) const;

    Record record_;
    std::map<std::size_t, std::vector<std::uint8_t>> new_blobs_;
};

// Stores `value` converted for `field` into `out` (the field's bytes). Blob fields are not
// handled here. Throws vaq::Error naming the value, the field and the table.
void encode_field_input(const Table& table, const Field& field, const FieldInput& value,
                        MutableBytes out);

// The bytes a blob or bytes field is to hold for `value`: text in the table's code page for
// memo fields, 0x and hex digits for the others.
std::vector<std::uint8_t> blob_from_input(const Table& table, const Field& field,
                                          const FieldInput& value);

}  // namespace pdx
