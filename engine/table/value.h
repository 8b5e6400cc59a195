#pragma once

// One field of one record, decoded only when asked. A view: it refers to the bytes of the
// record it came from (a cursor's current record, or a Record).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/format/calendar.h"
#include "engine/format/coding.h"
#include "engine/table/schema.h"

namespace pdx {

class Table;

class Value {
  public:
    Value(const Table& table, const Field& field, Bytes bytes)
        : table_(&table), field_(&field), bytes_(bytes) {}

    const Field& field() const { return *field_; }
    FieldType type() const { return field_->type(); }
    // The field's bytes in the record, as stored.
    Bytes raw() const { return bytes_; }
    bool is_null() const;

    // The value in the text form of the CSV export: alpha and memo as UTF-8, integers in
    // decimal, numbers in the shortest text that reads back the same, true/false,
    // YYYY-MM-DD, HH:MM:SS[.mmm], YYYY-MM-DD HH:MM:SS[.mmm], bytes and binary blobs as 0x
    // and hex; an empty text for NULL.
    std::string as_text() const;
    // The same text appended to `out`; the common types without a string of their own, for
    // a writer that formats records by the million.
    void append_text(std::string& out) const;
    // The value as an integer; NULL reads as 0. Numbers are rounded, text must hold a number.
    // Throws vaq::Error naming the field when the value is no number.
    std::int64_t as_integer() const;

    // Typed access; nothing for NULL. Each applies to the types named.
    std::optional<std::int64_t> integer() const;       // S I +
    std::optional<double> number() const;              // N $ (and S I + #)
    std::optional<bool> logical() const;               // L
    std::optional<std::int32_t> day_number() const;    // D
    std::optional<CivilDate> date() const;             // D
    std::optional<std::int32_t> milliseconds() const;  // T
    std::optional<double> timestamp() const;           // @ milliseconds since day 0
    std::optional<std::string> decimal_text() const;   // #
    // A (and M): the stored bytes in the table's code page, without conversion.
    std::string alpha_bytes() const;
    // M B F O G: the whole value, read from the leader or the .MB; Y: the bytes.
    std::vector<std::uint8_t> blob() const;

  private:
    [[noreturn]] void wrong_type(const char* wanted) const;

    const Table* table_;
    const Field* field_;
    Bytes bytes_;
};

// Text helpers shared with the export and the tests.
std::string format_double(double value);
std::string format_date(const CivilDate& date);
std::string format_time(std::int64_t milliseconds);
std::string format_timestamp(double milliseconds);
std::string format_hex(Bytes bytes);
// The same, appended to `out`.
void append_double(std::string& out, double value);
void append_date(std::string& out, const CivilDate& date);
void append_time(std::string& out, std::int64_t milliseconds);
void append_timestamp(std::string& out, double milliseconds);

}  // namespace pdx
