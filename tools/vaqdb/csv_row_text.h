#pragma once

// The CSV text of records of a table, as .export writes it: each value in the text form of
// Value::append_text, quoted where CSV needs it, values separated by commas (no line end).
// Integers, dates, times, timestamps and text are formatted straight from the record's
// bytes, and the text of the last date of each column is kept, since rows in time order
// repeat it; every other value goes through Value.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/format/coding.h"
#include "engine/table/table.h"

namespace vaq::shell {

class CsvRowText {
  public:
    explicit CsvRowText(const pdx::Table& table);

    // Appends the values of `record` (one record of the table) to `out`.
    void append(pdx::Bytes record, std::string& out);

  private:
    enum class Form { kValue, kAlpha, kShort, kLong, kDate, kTime, kTimestamp };
    struct Column {
        const pdx::Field* field = nullptr;
        Form form = Form::kValue;
        std::int64_t last_day = INT64_MIN;  // the day whose text last_date holds
        std::string last_date;
    };

    static void append_date(Column& column, std::int64_t day, std::string& out);

    const pdx::Table& table_;
    std::vector<Column> columns_;
};

}  // namespace vaq::shell
