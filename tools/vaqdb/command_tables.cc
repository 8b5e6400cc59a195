#include "engine/api/tables.h"
#include "tools/vaqdb/commands.h"

namespace vaq::shell {

// .tables: the tables of the directory, one file name a line.
void command_tables(ShellContext& context, const Arguments& /*arguments*/) {
    for (const std::string& name : pdx::list_tables(context.directory))
        context.out << name << '\n';
}

}  // namespace vaq::shell
