#pragma once

// The shell's commands. Each is one function in its own file (command_NAME.cc) and one row
// of the command table in commands.cc; a new command adds both, and `--help`, `.help` and
// the hint for a mistyped name follow from the row.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "tools/vaqdb/shell.h"

namespace vaq::shell {

using Arguments = std::vector<std::string>;

struct Command {
    std::string_view name;      // ".schema"
    std::string_view usage;     // ".schema TABLE", shown when the arguments do not fit
    std::string_view summary;   // one line for .help and --help
    std::size_t min_arguments;  // words expected after the name
    std::size_t max_arguments;
    void (*run)(ShellContext& context, const Arguments& arguments);
    std::string_view flag = {};  // a word the command may be given besides its arguments
};

// Every command, in the order `.help` lists them.
const std::vector<Command>& command_table();
// The command called `name`; null when there is none.
const Command* find_command(std::string_view name);
// The known command nearest to a mistyped `name`; empty when none is near.
std::string_view nearest_command(std::string_view name);

// The text of `vaqdb --help`, and the lines of `.help`.
std::string usage_text();
std::string command_list();

void command_tables(ShellContext& context, const Arguments& arguments);
void command_schema(ShellContext& context, const Arguments& arguments);
void command_indexes(ShellContext& context, const Arguments& arguments);
void command_count(ShellContext& context, const Arguments& arguments);
void command_export(ShellContext& context, const Arguments& arguments);
void command_import(ShellContext& context, const Arguments& arguments);
void command_props(ShellContext& context, const Arguments& arguments);
void command_verify(ShellContext& context, const Arguments& arguments);
void command_rebuild(ShellContext& context, const Arguments& arguments);
void command_repair(ShellContext& context, const Arguments& arguments);
void command_salvaged(ShellContext& context, const Arguments& arguments);
void command_backfill(ShellContext& context, const Arguments& arguments);
void command_rearrange(ShellContext& context, const Arguments& arguments);
void command_import_transactions(ShellContext& context, const Arguments& arguments);
void command_upgrade(ShellContext& context, const Arguments& arguments);
void command_mode(ShellContext& context, const Arguments& arguments);
void command_headers(ShellContext& context, const Arguments& arguments);
void command_help(ShellContext& context, const Arguments& arguments);
void command_quit(ShellContext& context, const Arguments& arguments);

// A command that is no dot command: an SQL statement of the engine; a SELECT prints its rows
// in the output mode (CSV by default, as .export writes them).
void run_sql(ShellContext& context, std::string_view statement);

}  // namespace vaq::shell
