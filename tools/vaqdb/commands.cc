#include "tools/vaqdb/commands.h"

namespace vaqdb {

const std::vector<Command>& command_table() {
    static const std::vector<Command> commands = {
        {".tables", ".tables", 0, command_tables},
        {".schema", ".schema TABLE", 1, command_schema},
        {".indexes", ".indexes TABLE", 1, command_indexes},
        {".export", ".export TABLE", 1, command_export},
        {".import", ".import CSVFILE TABLE", 2, command_import},
        {".props", ".props TABLE", 1, command_props},
        {".verify", ".verify TABLE", 1, command_verify},
        {".rebuild", ".rebuild TABLE", 1, command_rebuild},
        {".repair", ".repair", 0, command_repair},
        {".backfill", ".backfill", 0, command_backfill},
        {".rearrange", ".rearrange", 0, command_rearrange},
        {".import-transactions", ".import-transactions FILE", 1, command_import_transactions},
        {".upgrade", ".upgrade", 0, command_upgrade},
    };
    return commands;
}

const Command* find_command(std::string_view name) {
    for (const Command& command : command_table())
        if (command.name == name) return &command;
    return nullptr;
}

}  // namespace vaqdb
