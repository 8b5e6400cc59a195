#include <cstdint>

#include "engine/table/cursor.h"
#include "engine/table/table.h"
#include "tools/vaqdb/commands.h"
#include "tools/vaqdb/csv.h"
#include "tools/vaqdb/csv_row_text.h"
#include "tools/vaqdb/progress.h"

namespace vaq::shell {

namespace {

// The CSV text is gathered in one buffer and written out a large piece at a time (each row
// at once on a terminal, where the rows are the progress).
constexpr std::size_t kOutputChunk = std::size_t{256} << 10;

}  // namespace

// .export TABLE: a header row of field names, then every record in table order (the key
// order of a keyed table), each value in its text form.
void command_export(ShellContext& context, const Arguments& arguments) {
    const auto table = pdx::Table::open(context.directory, arguments[0]);
    const pdx::Schema& schema = table->schema();
    std::vector<std::string> names;
    for (const pdx::Field& field : schema.fields())
        names.push_back(field.name);
    CsvWriter(context.out).write_row(names);
    // Rows on a terminal are progress enough; a bar is drawn when they go elsewhere.
    ProgressBar progress(context.err, context.show_progress && !context.output_to_terminal);
    const std::uint64_t total = table->record_count();
    std::uint64_t done = 0;
    const std::size_t chunk = context.output_to_terminal ? 0 : kOutputChunk;
    // The buffer's size is its room; `used` is how much of it holds text.
    std::string text(chunk + 4096, '\0');
    std::size_t used = 0;
    CsvRowText row_text(*table);
    for (auto cursor = table->open_cursor(); !cursor->eof(); cursor->next()) {
        progress.show("Exporting:", done++, total);
        used = row_text.write(cursor->record(), text, used);
        text[used++] = '\r';
        text[used++] = '\n';
        if (used >= chunk) {
            context.out.write(text.data(), static_cast<std::streamsize>(used));
            used = 0;
        }
    }
    context.out.write(text.data(), static_cast<std::streamsize>(used));
    progress.show("Exporting:", done, done);
}

}  // namespace vaq::shell
