#pragma once

// CSV as RFC 4180 writes it: fields separated by commas, records ended by CR LF, a field
// in double quotes when it holds a comma, a double quote or a line break (CR or LF), and a
// double quote inside such a field doubled. Nothing else is quoted or changed.

#include <cstddef>
#include <istream>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace vaqdb {

// The field as it stands in a CSV record.
std::string csv_field(std::string_view text);
// Makes the text of `out` from `from` on a field as it stands in a CSV record (quoted in
// place when it must be).
void quote_csv_field(std::string& out, std::size_t from);

class CsvWriter {
  public:
    explicit CsvWriter(std::ostream& out) : out_(out) {}
    void write_row(const std::vector<std::string>& fields);

  private:
    std::ostream& out_;
};

// Reads what CsvWriter writes, and RFC 4180 CSV from elsewhere: records ended by CR LF or
// LF alone, quoted fields that hold commas, doubled quotes and line breaks. A UTF-8 byte
// order mark at the start is skipped; an empty line is a record of one empty field. A quote
// left open at the end of the input, or text after a closing quote, throws vaq::Error
// naming the line.
class CsvReader {
  public:
    // `source` names the input in messages ("staff.csv").
    CsvReader(std::istream& in, std::string source) : in_(in), source_(std::move(source)) {}
    // The next record; false at the end of the input.
    bool read_row(std::vector<std::string>& fields);
    // The line (1-based) on which the record last read begins.
    std::size_t line() const { return row_line_; }
    const std::string& source() const { return source_; }

  private:
    [[noreturn]] void fail(const std::string& what) const;

    std::istream& in_;
    std::string source_;
    std::size_t next_line_ = 1;
    std::size_t row_line_ = 0;
    bool started_ = false;
};

}  // namespace vaqdb
