#pragma once

// CSV as RFC 4180 writes it: fields separated by commas, records ended by CR LF, a field
// in double quotes when it holds a comma, a double quote or a line break (CR or LF), and a
// double quote inside such a field doubled. Nothing else is quoted or changed.

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace vaqdb {

// The field as it stands in a CSV record.
std::string csv_field(std::string_view text);

class CsvWriter {
  public:
    explicit CsvWriter(std::ostream& out) : out_(out) {}
    void write_row(const std::vector<std::string>& fields);

  private:
    std::ostream& out_;
};

}  // namespace vaqdb
