#include "tools/vaqdb/commands.h"

#include <algorithm>

#include "common/text.h"

namespace vaq::shell {

const std::vector<Command>& command_table() {
    static const std::vector<Command> commands = {
        {".tables", ".tables", "the tables of the database, one file name a line", 0, 0,
         command_tables},
        {".schema", ".schema TABLE", "the fields of TABLE and their types, then its key", 1, 1,
         command_schema},
        {".indexes", ".indexes TABLE", "the secondary indexes of TABLE and their fields", 1, 1,
         command_indexes},
        {".count", ".count TABLE", "the number of records of TABLE", 1, 1, command_count},
        {".export", ".export TABLE", "every record of TABLE as CSV", 1, 1, command_export},
        {".import", ".import CSVFILE TABLE", "appends the rows of a CSV file to TABLE", 2, 2,
         command_import},
        {".props", ".props TABLE", "the ten properties of TABLE", 1, 1, command_props},
        {".verify", ".verify TABLE", "checks TABLE and its indexes (exit 2 when damaged)", 1, 1,
         command_verify},
        {".rebuild", ".rebuild TABLE", "rebuilds TABLE and its indexes, setting aside bad records",
         1, 1, command_rebuild},
        {".repair", ".repair", "Rebuild Index: verifies and rebuilds every table", 0, 0,
         command_repair},
        {".salvaged", ".salvaged [TABLE] | --remove RUN",
         "the rebuild runs and what each set aside; removes one run", 0, 2, command_salvaged},
        {".upgrade", ".upgrade", "Upgrade DataBase to the 3.2.1 layout, then Rebuild Index", 0, 0,
         command_upgrade},
        {".backfill", ".backfill", "Update StaffID: fills the staff IDs of the transactions", 0, 0,
         command_backfill},
        {".rearrange", ".rearrange", "Re-arrange Key: renumbers the key columns", 0, 0,
         command_rearrange},
        {".import-transactions", ".import-transactions [--all] FILE",
         "Import Transaction: reads a transaction file (--all: every line, also those stored "
         "before)",
         1, 1, command_import_transactions, "--all"},
        {".mode", ".mode csv|table|line", "how a SELECT prints its rows (csv at start)", 1, 1,
         command_mode},
        {".headers", ".headers on|off", "a header row before the rows of a SELECT (on at start)", 1,
         1, command_headers},
        {".help", ".help", "this list", 0, 0, command_help},
        {".quit", ".quit", "stops reading commands", 0, 0, command_quit},
        {".exit", ".exit", "stops reading commands", 0, 0, command_quit},
    };
    return commands;
}

const Command* find_command(std::string_view name) {
    for (const Command& command : command_table())
        if (command.name == name) return &command;
    return nullptr;
}

namespace {

// Edits (insertions, deletions, substitutions, swaps of neighbours) that turn `a` into `b`.
std::size_t edit_distance(std::string_view a, std::string_view b) {
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i)
        d[i][0] = i;
    for (std::size_t j = 0; j <= b.size(); ++j)
        d[0][j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[a.size()][b.size()];
}

}  // namespace

std::string_view nearest_command(std::string_view name) {
    std::string lower = vaq::ascii_lower(name);
    if (!lower.starts_with('.')) lower.insert(0, 1, '.');
    std::string_view best;
    std::size_t best_distance = 0;
    for (const Command& command : command_table()) {
        const std::size_t distance = edit_distance(lower, command.name);
        if (best.empty() || distance < best_distance) {
            best = command.name;
            best_distance = distance;
        }
    }
    // A third of the name may be wrong, and at least two letters.
    const std::size_t allowed = std::max<std::size_t>(2, lower.size() / 3);
    return best_distance <= allowed ? best : std::string_view();
}

std::string command_list() {
    std::size_t width = 0;
    for (const Command& command : command_table())
        width = std::max(width, command.usage.size());
    std::string text;
    for (const Command& command : command_table()) {
        text += command.usage;
        text += std::string(width + 2 - command.usage.size(), ' ');
        text += command.summary;
        text += '\n';
    }
    return text;
}

std::string usage_text() {
    return "Usage: vaqdb DIR [COMMAND]\n"
           "       vaqdb --help | --version\n"
           "\n"
           "DIR is a database directory, or :NAME for an alias of the engine configuration\n"
           "($PDX_CONFIG, else ~/.config/pdx/engine.ini). With COMMAND, vaqdb runs it and\n"
           "exits; without, it reads commands from standard input, with a prompt and line\n"
           "editing when that is a terminal. A dot command is one line; an SQL statement\n"
           "may span lines and ends with ';'; \"--\" starts a comment.\n"
           "\n"
           "Commands:\n"
           "SQL statement              CREATE, ALTER, INSERT, UPDATE, DELETE, DROP TABLE,\n"
           "                           SELECT (rows as CSV), SELECT COUNT(*) FROM TABLE\n" +
           command_list() +
           "\n"
           "Exit status: the highest any command gave: 0 when all succeeded; 1 when one\n"
           "failed (the cause is on standard error); 2 when .verify found damage.\n"
           "\n"
           "Examples:\n"
           "  vaqdb /srv/vaq/data .tables\n"
           "  vaqdb :VAQ \"SELECT COUNT(*) FROM Transact WHERE StaffID IS NULL\"\n"
           "  vaqdb /srv/vaq/data .verify Transact\n"
           "  vaqdb /srv/vaq/data < script.sql\n";
}

void command_help(ShellContext& context, const Arguments& /*arguments*/) {
    context.out << command_list();
}

void command_quit(ShellContext& context, const Arguments& /*arguments*/) {
    context.quit = true;
}

}  // namespace vaq::shell
