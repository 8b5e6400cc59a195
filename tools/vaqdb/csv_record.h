#pragma once

// The record a CSV row makes for a table: the text of each column converted for the field
// the header named, as EditBuffer::set converts it, with dates and times taken in the CSV
// forms only (YYYY-MM-DD, HH:MM:SS[.mmm], and both joined by a blank). The common values
// (plain ASCII text, whole numbers, dates and times in those forms) are written straight
// into the record's bytes; every other value goes through the engine's conversion, which
// also words the errors. Records are made while CsvDateForms lives.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "common/dateformat.h"
#include "common/datetime.h"
#include "engine/table/table.h"

namespace vaq::shell {

// While it lives, the process date and time formats are the CSV forms (YYYY-MM-DD,
// HH:MM:SS), so that the field conversions, which try the process formats first, cannot
// read a CSV date in a regional field order.
class CsvDateForms {
  public:
    CsvDateForms();
    // The saved formats were valid when they were read, so setting them back cannot fail.
    ~CsvDateForms();
    CsvDateForms(const CsvDateForms&) = delete;
    CsvDateForms& operator=(const CsvDateForms&) = delete;

  private:
    vaq::DateTimeFormats saved_;
};

class CsvRecordMaker {
  public:
    // `columns` holds the index of the field each CSV column fills.
    CsvRecordMaker(const pdx::Table& table, std::vector<std::size_t> columns);

    // Makes the record of `row` (one text a column) into `record` (the table's record size):
    // fields no column names are empty. The values of blob columns go to `blobs`, one a blob
    // column in column order. A value its field cannot take throws vaq::Error("field NAME:
    // what is wrong.").
    void make(std::span<const std::string_view> row, std::span<std::uint8_t> record,
              std::vector<std::vector<std::uint8_t>>& blobs) const;

    // True when every column takes its common values straight into record bytes (no blob
    // column, no field only the engine converts): make_plain() can then make records.
    bool makes_plain_lines() const { return plain_lines_; }
    // Makes the record of a CSV line read as it stands, in one pass over its bytes, when
    // every value of it is in the common form make() writes straight into the record (no
    // quote, no value the engine must convert or refuse, as many fields as columns): the
    // record is then the one make() makes of the line's fields. False otherwise, with
    // `record` left undefined: the caller makes the record of the line's fields with make().
    bool make_plain(std::string_view line, std::span<std::uint8_t> record) const;

    // The field index of each blob column, in column order.
    const std::vector<std::size_t>& blob_fields() const { return blob_fields_; }

  private:
    enum class Form { kEngine, kAlpha, kShort, kLong, kAutoInc, kDate, kTime, kTimestamp, kBlob };
    struct Column {
        const pdx::Field* field = nullptr;
        Form form = Form::kEngine;
        std::size_t offset = 0;  // the field's, in the record
        std::size_t width = 0;
        // The whole numbers a number column takes.
        std::int64_t low = -2147483647;
        std::int64_t high = 2147483647;
        // The text of the last date the column read (YYYY-MM-DD) and its day number: rows
        // in time order repeat it, and it is compared rather than read again.
        mutable bool date_read = false;
        mutable char last_date[10] = {};
        mutable std::int32_t last_day = 0;
    };

    static bool day_number(const Column& column, std::string_view text, std::int32_t& day);
    bool convert_directly(const Column& column, std::string_view text, std::uint8_t* out) const;
    [[gnu::always_inline]] inline bool take_plain_value(const Column& column, const char*& at,
                                                        const char* end, std::uint8_t* out) const;
    void convert_by_engine(const Column& column, std::string_view text, std::uint8_t* out) const;

    const pdx::Table& table_;
    std::vector<Column> columns_;
    std::vector<std::size_t> blob_fields_;
    bool plain_lines_ = true;
};

}  // namespace vaq::shell
