#include "tools/vaqdb/line_editor.h"

#include <editline/readline.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <system_error>

#include "tools/vaqdb/interrupt.h"

namespace vaqdb {

namespace fs = std::filesystem;

namespace {

fs::path history_file() {
    const char* state = std::getenv("XDG_STATE_HOME");
    const char* home = std::getenv("HOME");
    fs::path folder;
    if (state != nullptr && *state != '\0')
        folder = state;
    else if (home != nullptr && *home != '\0')
        folder = fs::path(home) / ".local" / "state";
    else
        return {};
    return folder / "vaqdb" / "history";
}

struct FreeLine {
    void operator()(char* line) const { std::free(line); }
};

}  // namespace

LineEditor::LineEditor() : history_(history_file()) {
    using_history();
    // A history that cannot be read starts empty; typing still works.
    if (!history_.empty()) read_history(history_.c_str());
}

LineEditor::~LineEditor() {
    if (history_.empty()) return;
    std::error_code error;
    fs::create_directories(history_.parent_path(), error);
    // Losing the history is no reason to fail at the end of a session.
    if (!error) write_history(history_.c_str());
}

std::optional<std::string> LineEditor::read_line(bool continued) {
    cancelled_ = false;
    std::unique_ptr<char, FreeLine> line;
    {
        // With a handler of its own in place, SIGINT makes readline return nothing instead of
        // ending the process.
        const InterruptRequest interrupt;
        line.reset(readline(continued ? "  ...> " : "vaqdb> "));
        if (!line && interrupt.requested()) {
            std::fputs("^C\n", stdout);
            std::fflush(stdout);
            cancelled_ = true;
            return std::string();
        }
    }
    if (!line) return std::nullopt;
    std::string text(line.get());
    if (text.find_first_not_of(" \t") != std::string::npos) add_history(line.get());
    return text;
}

}  // namespace vaqdb
