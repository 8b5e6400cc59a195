#pragma once

// Lines typed at a terminal: a prompt, line editing and a history kept between runs (in
// $XDG_STATE_HOME/vaqdb/history, else ~/.local/state/vaqdb/history), through libedit.

#include <filesystem>
#include <optional>
#include <string>

#include "tools/vaqdb/script.h"

namespace vaq::shell {

class LineEditor final : public LineSource {
  public:
    LineEditor();
    // Writes the history back.
    ~LineEditor() override;
    LineEditor(const LineEditor&) = delete;
    LineEditor& operator=(const LineEditor&) = delete;

    // "vaqdb> " at the start of a command, "  ...> " inside a statement.
    // Ctrl-C drops the line and the open statement and prompts again, as in other shells;
    // Ctrl-D at the start of a line ends the input.
    std::optional<std::string> read_line(bool continued) override;
    bool input_cancelled() const override { return cancelled_; }

  private:
    std::filesystem::path history_;
    bool cancelled_ = false;
};

}  // namespace vaq::shell
