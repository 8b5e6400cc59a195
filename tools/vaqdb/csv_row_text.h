#pragma once

// The CSV text of records of a table, as .export writes it: each value in the text form of
// Value::append_text, quoted where CSV needs it, values separated by commas (no line end).
// Integers, dates, times, timestamps and text in ASCII are formatted straight from the
// record's bytes into the caller's buffer, and the text of the last date of each column is
// kept, since rows in time order repeat it; every other value goes through Value.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/format/coding.h"
#include "engine/table/table.h"

namespace vaq::shell {

class CsvRowText {
  public:
    // Room left after every row write() ends, for the caller's line end.
    static constexpr std::size_t kRoomAfterRow = 2;

    explicit CsvRowText(const pdx::Table& table);

    // Writes the values of `record` (one record of the table) into `buffer` from offset `at`
    // on and returns the offset where they end. The buffer's size is its room: it is grown
    // when a row needs more (never shrunk), at least kRoomAfterRow bytes remain past the end,
    // and what lies past the end is not text.
    std::size_t write(pdx::Bytes record, std::string& buffer, std::size_t at);

    // Appends the values of `record` to `out`.
    void append(pdx::Bytes record, std::string& out);

  private:
    enum class Form { kValue, kAlpha, kShort, kLong, kDate, kTime, kTimestamp };
    struct Column {
        std::size_t offset = 0;  // in the record
        std::size_t width = 0;
        Form form = Form::kValue;
        std::int64_t last_day = INT64_MIN;  // the day whose text last_date holds
        std::string last_date;
        const pdx::Field* field = nullptr;
    };

    // scratch_ at `out`, the buffer grown so that the bounded values after it still fit;
    // returns where it ends (the buffer may have moved).
    char* write_scratch(std::string& buffer, char* out);
    // The text of `day`, from the column's cache when the day repeats.
    static const std::string& date_text(Column& column, std::int64_t day);
    static char* write_date(Column& column, std::int64_t day, char* out);
    // Nullptr when the field holds other than plain ASCII; then the caller takes the long way.
    static char* write_ascii_alpha(const std::uint8_t* field, std::size_t width, char* out);
    void text_of_alpha(const Column& column, const std::uint8_t* field);
    void text_of_value(const Column& column, pdx::Bytes record);

    const pdx::Table& table_;
    std::vector<Column> columns_;
    // The most that the values of bounded forms, the commas and kRoomAfterRow take in a row.
    std::size_t bounded_room_ = kRoomAfterRow;
    std::string scratch_;  // a value of unbounded length before it is copied to the row
};

}  // namespace vaq::shell
