#include "engine/table/table.h"
#include "tools/vaqdb/commands.h"
#include "tools/vaqdb/sql_types.h"

namespace vaq::shell {

// .schema TABLE: one line per field, `name<TAB>type`, then `PRIMARY KEY (f1, f2)` when the
// table is keyed.
void command_schema(ShellContext& context, const Arguments& arguments) {
    const auto table = pdx::Table::open(context.directory, arguments[0]);
    const pdx::Schema& schema = table->schema();
    for (const pdx::Field& field : schema.fields())
        context.out << field.name << '\t' << sql_type_name(field.descriptor) << '\n';
    if (schema.key_fields() == 0) return;
    context.out << "PRIMARY KEY (";
    for (std::size_t k = 0; k < schema.key_fields(); ++k)
        context.out << (k > 0 ? ", " : "") << schema[k].name;
    context.out << ")\n";
}

}  // namespace vaq::shell
