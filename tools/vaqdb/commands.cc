#include "tools/vaqdb/commands.h"

#include "common/error.h"

namespace vaqdb {

const std::vector<Command>& command_table() {
    static const std::vector<Command> commands = {
        {".tables", ".tables", 0, command_tables},
        {".schema", ".schema TABLE", 1, command_schema},
        {".indexes", ".indexes TABLE", 1, command_indexes},
        {".export", ".export TABLE", 1, command_export},
    };
    return commands;
}

const Command* find_command(std::string_view name) {
    for (const Command& command : command_table())
        if (command.name == name) return &command;
    return nullptr;
}

// TODO: run the statement once the engine's SQL executor exists; a SELECT prints its rows
// with CsvWriter as .export does.
void run_sql(ShellContext& /*context*/, std::string_view statement) {
    throw vaq::Error("SQL statements are not available yet: " + std::string(statement));
}

}  // namespace vaqdb
