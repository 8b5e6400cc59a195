#include <cstdint>

#include "engine/table/cursor.h"
#include "engine/table/table.h"
#include "tools/vaqdb/commands.h"
#include "tools/vaqdb/csv.h"
#include "tools/vaqdb/progress.h"

namespace vaqdb {

// .export TABLE: a header row of field names, then every record in table order (the key
// order of a keyed table), each value in its text form.
void command_export(ShellContext& context, const Arguments& arguments) {
    const auto table = pdx::Table::open(context.directory, arguments[0]);
    const pdx::Schema& schema = table->schema();
    CsvWriter csv(context.out);
    std::vector<std::string> row;
    for (const pdx::Field& field : schema.fields())
        row.push_back(field.name);
    csv.write_row(row);
    // Rows on a terminal are progress enough; a bar is drawn when they go elsewhere.
    ProgressBar progress(context.err, context.show_progress && !context.output_to_terminal);
    const std::uint64_t total = table->record_count();
    std::uint64_t done = 0;
    for (auto cursor = table->open_cursor(); !cursor->eof(); cursor->next()) {
        progress.show("Exporting:", done++, total);
        row.clear();
        for (std::size_t i = 0; i < schema.size(); ++i)
            row.push_back(cursor->value(i).as_text());
        csv.write_row(row);
    }
    progress.show("Exporting:", done, done);
}

}  // namespace vaqdb
