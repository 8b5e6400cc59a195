#pragma once

// The rows of a SELECT as the output mode prints them:
//   csv    RFC 4180, as .export writes (the header row unless .headers off);
//   table  columns padded between "|" under a ruled header, numbers to the right;
//   line   one "name = value" a line, names to the right, a blank line between rows.

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "tools/vaqdb/shell.h"

namespace vaq::shell {

class RowPrinter {
  public:
    virtual ~RowPrinter() = default;
    // The names of the columns and, for each, whether it holds numbers.
    virtual void begin(const std::vector<std::string>& names, const std::vector<bool>& numeric) = 0;
    virtual void row(const std::vector<std::string>& values) = 0;
    // After the last row.
    virtual void end() = 0;
};

std::unique_ptr<RowPrinter> make_row_printer(const ShellContext& context);

// The width of a UTF-8 text on a terminal, one column a character.
std::size_t display_width(const std::string& text);

}  // namespace vaq::shell
