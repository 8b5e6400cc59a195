#include "engine/table/table.h"
#include "tools/vaqdb/commands.h"

namespace vaq::shell {

// .count TABLE: the number of records, as the table's header holds it.
void command_count(ShellContext& context, const Arguments& arguments) {
    const auto table = pdx::Table::open(context.directory, arguments[0]);
    context.out << table->record_count() << '\n';
}

}  // namespace vaq::shell
