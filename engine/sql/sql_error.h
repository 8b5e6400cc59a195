#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "common/error.h"

namespace pdx::sql {

// Where a token starts in the statement text. Lines and columns count from 1; a tab is one
// column and a multi-byte UTF-8 character is one column.
struct SourcePosition {
    std::size_t offset = 0;
    int line = 1;
    int column = 1;

    friend bool operator==(const SourcePosition&, const SourcePosition&) = default;
};

// "line 2, column 14"
std::string describe(SourcePosition position);

// A statement the engine cannot read or a constant it cannot convert. The message is the
// sentence the user sees; the position, when known, is also part of it.
class SqlError : public vaq::Error {
  public:
    explicit SqlError(const std::string& message, std::optional<SourcePosition> position = {})
        : vaq::Error(message), position_(position) {}

    const std::optional<SourcePosition>& position() const { return position_; }

  private:
    std::optional<SourcePosition> position_;
};

// "Syntax error at 'FROMM' (line 1, column 15): expected FROM". `spelling` is the token as
// written; an empty spelling stands for the end of the statement.
[[noreturn]] void throw_syntax_error(std::string_view spelling, SourcePosition position,
                                     std::string_view problem);

}  // namespace pdx::sql
