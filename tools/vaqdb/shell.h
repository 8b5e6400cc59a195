#pragma once

// The shell `vaqdb DIR [COMMAND]`. DIR is a database directory or ":NAME", an alias of the
// engine configuration. With COMMAND (the remaining arguments, joined by blanks) it runs
// that one command; without, it reads commands from standard input, one a line. Output goes
// to standard output; an error goes to standard error and makes the exit status 1 (the
// remaining input lines still run).

#include <filesystem>
#include <istream>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace vaqdb {

// Where a command runs and where it writes.
struct ShellContext {
    std::filesystem::path directory;
    std::ostream& out;
    std::ostream& err;
};

// The directory DIR stands for. Throws vaq::Error when it is no directory or names an
// unknown alias.
std::filesystem::path resolve_database(std::string_view dir);

// The words of a command line, separated by blanks and tabs; a word in double quotes may
// hold blanks ("My Table").
std::vector<std::string> split_words(std::string_view line);

// Runs one line: a command starting with '.', otherwise an SQL statement. Throws
// vaq::Error when it fails.
void run_command(ShellContext& context, std::string_view line);

// Runs a dot command given as words: its name, then its arguments.
void run_words(ShellContext& context, std::vector<std::string> words);

// Runs one line and writes its error, if any, to context.err. False when it failed.
bool run_reporting(ShellContext& context, std::string_view line);

// Runs every non-blank line of `in`. False when any of them failed.
bool run_script(ShellContext& context, std::istream& in);

// The whole program over the given streams; returns the exit status.
int run_main(const std::vector<std::string>& arguments, std::istream& in, std::ostream& out,
             std::ostream& err);

}  // namespace vaqdb
