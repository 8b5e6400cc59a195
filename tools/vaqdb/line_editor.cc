#include "tools/vaqdb/line_editor.h"

#include <editline/readline.h>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <system_error>

#include "tools/vaqdb/interrupt.h"

namespace vaq::shell {

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

// libedit's reading of a key. A Ctrl-C whose signal came after the prompt's handler was in
// place but before libedit began to wait for a key would otherwise be lost: the handler only
// notes it, and the read that follows waits on. So SIGINT is blocked while the note is
// checked and let through only during the wait itself (ppoll), and a noted Ctrl-C ends the
// line as the end of input does. Returns the key, or -1.
int read_key(FILE* in) {
    const int fd = fileno(in);
    sigset_t blocked;
    sigset_t before;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGINT);
    pthread_sigmask(SIG_BLOCK, &blocked, &before);
    sigset_t during_wait = before;
    sigdelset(&during_wait, SIGINT);
    int key = -1;
    while (!InterruptRequest::pending()) {
        pollfd wanted{fd, POLLIN, 0};
        const int ready = ppoll(&wanted, 1, nullptr, &during_wait);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) break;
        unsigned char byte = 0;
        const ssize_t got = read(fd, &byte, 1);
        if (got < 0 && errno == EINTR) continue;
        if (got == 1) key = byte;
        break;
    }
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    return key;
}

}  // namespace

LineEditor::LineEditor() : history_(history_file()) {
    // Before libedit first sets itself up, which is when it takes the function.
    rl_getc_function = read_key;
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
        // Whatever was typed on the line before Ctrl-C goes with it.
        if (interrupt.requested()) {
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

}  // namespace vaq::shell
