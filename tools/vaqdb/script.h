#pragma once

// Input of the shell cut into commands. A line whose first word starts with '.' is a dot
// command of its own (a ';' at its end is dropped). Everything else is SQL: a statement runs
// from where it starts to the ';' that ends it, over as many lines as it takes; the last
// statement of the input may leave out the ';'. "--" outside quotes starts a comment that
// runs to the end of the line. Blank lines and comment lines are skipped.

#include <cstddef>
#include <istream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace vaq::shell {

// Where the lines come from.
class LineSource {
  public:
    virtual ~LineSource() = default;
    // The next line without its line break; nothing at the end of the input. `continued`:
    // a statement begun on an earlier line is still open (an interactive source prompts
    // differently).
    virtual std::optional<std::string> read_line(bool continued) = 0;
    // The last line was Ctrl-C at the prompt: the statement typed so far is dropped.
    virtual bool input_cancelled() const { return false; }
};

// The lines of a stream.
class StreamLines final : public LineSource {
  public:
    explicit StreamLines(std::istream& in) : in_(in) {}
    std::optional<std::string> read_line(bool continued) override;

  private:
    std::istream& in_;
};

// One command of the input and the line it starts on (1-based).
struct ScriptCommand {
    std::string text;
    std::size_t line = 0;
};

class ScriptReader {
  public:
    explicit ScriptReader(LineSource& lines) : lines_(lines) {}
    // The next command; nothing at the end of the input.
    std::optional<ScriptCommand> next();

  private:
    // Scans the rest of the current line into the open statement; true when a ';' ended it.
    bool scan_sql();

    LineSource& lines_;
    std::string line_;
    std::size_t at_ = 0;      // next character of line_ to scan
    bool line_open_ = false;  // line_ still holds text to scan
    std::size_t line_number_ = 0;
    std::string statement_;  // the open SQL statement
    std::size_t statement_line_ = 0;
    char quote_ = 0;  // the quote a string of the open statement is in
};

}  // namespace vaq::shell
