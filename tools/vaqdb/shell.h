#pragma once

// The shell `vaqdb DIR [COMMAND]`. DIR is a database directory or ":NAME", an alias of the
// engine configuration. With COMMAND (the remaining arguments, joined by blanks) it runs
// that one command; without, it reads commands from standard input: a dot command is one
// line, an SQL statement may span lines and ends with ';', and "--" starts a comment. On a
// terminal it prompts and edits lines. Output goes to standard output; an error goes to
// standard error (naming the input line when it came from a script) and makes the exit
// status 1; the remaining input still runs.

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <istream>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace vaq::shell {

// How a SELECT prints its rows (.mode).
enum class OutputMode { kCsv, kTable, kLine };

// Where a command runs, where it writes, and the settings it runs under.
struct ShellContext {
    std::filesystem::path directory;
    std::ostream& out;
    std::ostream& err;
    OutputMode mode = OutputMode::kCsv;
    // A header row of field names before the rows of a SELECT (.headers).
    bool headers = true;
    // Progress bars may be drawn on `err`: it is a terminal.
    bool show_progress = false;
    // `out` is a terminal too, where rows being printed show the progress themselves.
    bool output_to_terminal = false;
    // The exit status the commands asked for so far; an error asks for 1.
    int status = 0;
    // .quit or .exit was given: no further input is read.
    bool quit = false;

    // Makes the exit status at least `code` (a .verify that found damage reports 2).
    void report_status(int code) { status = std::max(status, code); }
    // The controller key the transaction import remembers, for the whole run of the shell
    // as for the whole run of the window.
    std::int64_t remembered_controller_key = 0;
};

// The directory DIR stands for. Throws vaq::Error when it is no directory or names an
// unknown alias.
std::filesystem::path resolve_database(std::string_view dir);

// The words of a command line, separated by blanks and tabs; a word in double quotes may
// hold blanks ("My Table").
std::vector<std::string> split_words(std::string_view line);

// Runs one command: a dot command (one line) or an SQL statement (a trailing ';' allowed).
// Throws vaq::Error when it fails.
void run_command(ShellContext& context, std::string_view command);

// Runs a dot command given as words: its name, then its arguments.
void run_words(ShellContext& context, std::vector<std::string> words);

// Runs one command and writes its error, if any, to context.err after `where` ("stdin line
// 3: "). False when it failed; the exit status is then at least 1.
bool run_reporting(ShellContext& context, std::string_view command, std::string_view where = {});

// Runs every command of `in` (named `source` in error messages), until its end or .quit.
// False when any of them failed.
bool run_script(ShellContext& context, std::istream& in, std::string_view source = "stdin");

// The whole program over the given streams; returns the exit status. Progress and the
// prompt are shown only when the streams are the process's own and are terminals.
int run_main(const std::vector<std::string>& arguments, std::istream& in, std::ostream& out,
             std::ostream& err);

}  // namespace vaq::shell
