#include "engine/table/index_catalog.h"
#include "engine/table/table.h"
#include "tools/vaqdb/commands.h"

namespace vaq::shell {

// .indexes TABLE: the named secondary indexes in the engine's order, `name<TAB>f1;f2`.
void command_indexes(ShellContext& context, const Arguments& arguments) {
    const auto table = pdx::Table::open(context.directory, arguments[0]);
    for (const pdx::SecondaryIndex& index : pdx::list_secondary_indexes(*table)) {
        context.out << index.name << '\t';
        for (std::size_t i = 0; i < index.fields.size(); ++i)
            context.out << (i > 0 ? ";" : "") << table->schema()[index.fields[i]].name;
        context.out << '\n';
    }
}

}  // namespace vaq::shell
