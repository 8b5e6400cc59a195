#pragma once

// CSV as RFC 4180 writes it: fields separated by commas, records ended by CR LF, a field
// in double quotes when it holds a comma, a double quote or a line break (CR or LF), and a
// double quote inside such a field doubled. Nothing else is quoted or changed.

#include <cstddef>
#include <cstdint>
#include <istream>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace vaq::shell {

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
//
// The input is taken in large reads; the fields of a record are views into the reader's
// buffer (a quoted field is undone in place) and stay valid until the next read_row().
class CsvReader {
  public:
    static constexpr std::size_t kReadSize = std::size_t{1} << 20;

    // `source` names the input in messages ("staff.csv"). `read_size` is the size of each
    // read (a record longer than that is still read whole).
    CsvReader(std::istream& in, std::string source, std::size_t read_size = kReadSize);
    // The next record; false at the end of the input.
    bool read_row(std::vector<std::string_view>& fields);
    // The next line of the input as it stands, without its line end (LF or CR LF), for a
    // caller that reads plain records itself; false when no whole line is left (the last
    // line without a line end included). A line holding a double quote may not be a whole
    // record: the caller reads such a line with read_row(). take_line() takes the line
    // as the record last read; read_row() reads it again otherwise.
    bool peek_line(std::string_view& line);
    void take_line();
    // The line (1-based) on which the record last read begins.
    std::size_t line() const { return row_line_; }
    const std::string& source() const { return source_; }
    // Bytes of the input up to the end of the record last read.
    std::uint64_t offset() const { return taken_ - (end_ - begin_); }

  private:
    [[noreturn]] void fail(const std::string& what) const;
    bool read_more();
    void skip_byte_order_mark();
    bool find_row_end(std::size_t& row_end, std::size_t& line_breaks, bool& holds_quote) const;
    void split_plain(std::size_t from, std::size_t to, std::vector<std::string_view>& fields);
    void split_quoted(std::size_t from, std::size_t to, std::vector<std::string_view>& fields);

    std::istream& in_;
    std::string source_;
    std::size_t read_size_;
    std::vector<char> buffer_;
    std::size_t begin_ = 0;  // the bytes read and not yet taken: [begin_, end_)
    std::size_t end_ = 0;
    std::uint64_t taken_ = 0;  // bytes read from the input so far
    bool input_ended_ = false;
    bool started_ = false;
    std::size_t next_line_ = 1;
    std::size_t row_line_ = 0;
    std::size_t peeked_end_ = 0;  // where the line peek_line() gave ends, its line feed included
};

}  // namespace vaq::shell
