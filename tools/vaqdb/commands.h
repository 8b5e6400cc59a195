#pragma once

// The shell's commands. Each is one function in its own file (command_NAME.cc) and one row
// of the command table in commands.cc; a new command adds both.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "tools/vaqdb/shell.h"

namespace vaqdb {

using Arguments = std::vector<std::string>;

struct Command {
    std::string_view name;   // ".schema"
    std::string_view usage;  // ".schema TABLE", shown when the arguments do not fit
    std::size_t arguments;   // words expected after the name
    void (*run)(ShellContext& context, const Arguments& arguments);
};

// Every command, in the order `.help` would list them.
const std::vector<Command>& command_table();
// The command called `name`; null when there is none.
const Command* find_command(std::string_view name);

void command_tables(ShellContext& context, const Arguments& arguments);
void command_schema(ShellContext& context, const Arguments& arguments);
void command_indexes(ShellContext& context, const Arguments& arguments);
void command_export(ShellContext& context, const Arguments& arguments);
void command_import(ShellContext& context, const Arguments& arguments);
void command_props(ShellContext& context, const Arguments& arguments);
void command_verify(ShellContext& context, const Arguments& arguments);
void command_rebuild(ShellContext& context, const Arguments& arguments);
void command_repair(ShellContext& context, const Arguments& arguments);
void command_backfill(ShellContext& context, const Arguments& arguments);
void command_rearrange(ShellContext& context, const Arguments& arguments);
void command_import_transactions(ShellContext& context, const Arguments& arguments);
void command_upgrade(ShellContext& context, const Arguments& arguments);

// A line that is no dot command: an SQL statement of the engine; a SELECT prints its rows as
// CSV, as .export does.
void run_sql(ShellContext& context, std::string_view statement);

}  // namespace vaqdb
