// .import CSVFILE TABLE: appends the rows of a CSV file to an existing table through the
// engine's writer, so that keys are checked and indexes kept up to date.
//
// The header row names fields of the table (letter case ignored, any order, fields left
// out stay empty or, for auto-increment fields, are numbered). Values take the forms
// .export writes; an empty value empties the field. Empty lines are skipped when the header
// names more than one field.
//
// The file is read once; each row is converted into its record once and the records are
// stored in file order, a batch at a time, all of them as one statement of the table's
// writer (its journal keeps what they overwrite). A malformed line or a value a field
// cannot take, anywhere in the file, leaves the table as it was: the statement is given up
// and the table put back before the error is reported. When the writer refuses a row (a key
// violation, a full table), the rows before it stay stored and are saved, the rest of the
// file is still checked, and the error says how many rows were stored and from which line
// on nothing was. Ctrl-C stops the same way, between two rows. A process killed meanwhile
// leaves the statement in the journal: the next open of the table puts the table back as
// it was before the import.

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/error.h"
#include "engine/table/edit_buffer.h"
#include "engine/table/schema.h"
#include "engine/table/table.h"
#include "engine/table/table_writer.h"
#include "tools/vaqdb/commands.h"
#include "tools/vaqdb/csv.h"
#include "tools/vaqdb/csv_record.h"
#include "tools/vaqdb/interrupt.h"
#include "tools/vaqdb/progress.h"

namespace vaq::shell {

namespace {

// A failure that must leave the table as it was before the import: malformed input, or a
// statement that could not be ended.
class NothingImported : public vaq::Error {
  public:
    using vaq::Error::Error;
};

class Importer {
  public:
    Importer(std::shared_ptr<pdx::Table> table, std::string path, ProgressBar& progress,
             const InterruptRequest& interrupt)
        : table_(std::move(table)),
          path_(std::move(path)),
          progress_(progress),
          interrupt_(interrupt),
          batch_rows_(batch_rows(*table_)) {}

    const std::string& table_name() const { return table_->name(); }

    // Returns the rows stored. Throws NothingImported when the statement must be put back,
    // vaq::Error (saying what was stored) when a prefix of the rows stays.
    std::size_t run() {
        std::ifstream in(path_, std::ios::binary);
        if (!in)
            throw NothingImported("Cannot open the CSV file " + path_ + ": " +
                                  std::strerror(errno));
        CsvReader reader(in, path_);
        pdx::TableWriter::Statement statement(table_->writer());
        const std::size_t stored = read_and_store(reader);
        try {
            statement.finish();
        } catch (const std::exception& error) {
            throw NothingImported(error.what());
        }
        progress_.close();
        if (refusal_) throw vaq::Error(*refusal_ + " " + stored_note(stored, refused_line_));
        if (interrupted_line_ != 0)
            throw vaq::Error("Interrupted. " + stored_note(stored, interrupted_line_));
        return stored;
    }

  private:
    // Rows converted and waiting to be stored together: the first `size` of `rows` (the
    // buffers are filled again for each batch), with the line each began on.
    struct Batch {
        std::vector<pdx::EditBuffer> rows;
        std::vector<std::size_t> lines;
        std::size_t size = 0;
    };
    // Rows stored in one change of the table: the journal and the header are written once
    // for all of them. As many as make about 512 KiB of records (4096 of a transaction
    // table), so that wide records do not make a large batch.
    static std::size_t batch_rows(const pdx::Table& table) {
        constexpr std::size_t kBatchBytes = std::size_t{512} << 10;
        const std::size_t record_size = std::max<std::size_t>(table.schema().record_size(), 1);
        return std::clamp<std::size_t>(kBatchBytes / record_size, 64, 4096);
    }

    std::size_t read_and_store(CsvReader& reader) {
        std::vector<std::string_view> row;
        std::vector<std::vector<std::uint8_t>> blobs;
        Batch batch;
        std::size_t stored = 0;
        std::uint64_t rows = 0;
        try {
            read_header(reader);
            const CsvRecordMaker maker(*table_, columns_);
            const std::uint64_t size = progress_.enabled() ? file_size(path_) : 0;
            while (true) {
                pdx::EditBuffer& slot = take_slot(batch);
                // Most lines are plain records of common values: their record is made from
                // the line as it stands. Any other line is read as CSV and converted field by
                // field, which also words what is wrong with it.
                std::string_view line;
                const bool made = maker.makes_plain_lines() && reader.peek_line(line) &&
                                  maker.make_plain(line, slot.record().mutable_bytes());
                if (made) {
                    reader.take_line();
                } else {
                    if (!reader.read_row(row)) break;
                    if (blank(row)) continue;
                }
                // Ctrl-C stops between two records; the ones stored stay and are saved.
                if (interrupt_.requested()) {
                    store(batch, stored);
                    if (!refusal_) interrupted_line_ = reader.line();
                    break;
                }
                batch.lines[batch.size] = reader.line();
                if (!made) convert(reader, maker, row, blobs, slot);
                if (++batch.size == batch_rows_) store(batch, stored);
                // Where the reading stands is asked now and then only.
                if (++rows % 4096 == 0 && size > 0)
                    progress_.show("Importing:", reader.offset(), size);
            }
            if (interrupted_line_ == 0) store(batch, stored);
        } catch (const vaq::Error& error) {
            throw NothingImported(error.what());
        }
        return stored;
    }

    // The next slot of the batch, its line noted.
    pdx::EditBuffer& take_slot(Batch& batch) {
        if (batch.rows.size() == batch.size) {
            batch.rows.push_back(pdx::EditBuffer::blank(table_));
            batch.lines.push_back(0);
        }
        return batch.rows[batch.size];
    }

    void convert(const CsvReader& reader, const CsvRecordMaker& maker,
                 const std::vector<std::string_view>& row,
                 std::vector<std::vector<std::uint8_t>>& blobs, pdx::EditBuffer& record) {
        if (row.size() != columns_.size())
            throw vaq::Error(line_text(reader) + ": the row has " + std::to_string(row.size()) +
                             " fields where the header names " + std::to_string(columns_.size()) +
                             ".");
        try {
            maker.make(row, record.record().mutable_bytes(), blobs);
        } catch (const vaq::Error& error) {
            throw vaq::Error(line_text(reader) + ", " + error.what());
        }
        for (std::size_t i = 0; i < blobs.size(); ++i)
            record.set_bytes(maker.blob_fields()[i], blobs[i]);
    }

    // Stores the rows waiting, unless a row was refused before: from then on the rest of the
    // file is only checked.
    void store(Batch& batch, std::size_t& stored) {
        const std::size_t count = batch.size;
        batch.size = 0;
        if (refusal_ || count == 0) return;
        std::size_t done = 0;
        try {
            table_->writer().insert_all(std::span(batch.rows.data(), count), done);
        } catch (const std::exception& error) {
            refused_line_ = batch.lines.at(done);
            refusal_ = path_ + " line " + std::to_string(refused_line_) + ": " + error.what();
        }
        stored += done;
    }

    // An empty line, which cannot be a row when the header names more than one field (with
    // one field it is a row whose value is empty).
    bool blank(const std::vector<std::string_view>& row) const {
        return columns_.size() > 1 && row.size() == 1 && row[0].empty();
    }

    std::string line_text(const CsvReader& reader) const {
        return reader.source() + " line " + std::to_string(reader.line());
    }

    std::string stored_note(std::size_t stored, std::size_t line) const {
        const std::string from = "line " + std::to_string(line);
        return stored == 0   ? "No row was imported into " + table_->name() + "."
               : stored == 1 ? "The row before " + from + " was imported into " + table_->name() +
                                   "; " + from + " and the lines after it were not."
                             : "The " + std::to_string(stored) + " rows before " + from +
                                   " were imported into " + table_->name() + "; " + from +
                                   " and the lines after it were not.";
    }

    void read_header(CsvReader& reader) {
        std::vector<std::string_view> names;
        if (!reader.read_row(names))
            throw vaq::Error(reader.source() +
                             " is empty: it needs a header row naming fields of " + table_->name() +
                             ".");
        columns_.clear();
        const pdx::Schema& schema = table_->schema();
        for (const std::string_view name : names) {
            std::size_t index = 0;
            try {
                index = schema.field(name, table_->name()).index;
            } catch (const vaq::Error& error) {
                throw vaq::Error(line_text(reader) + ": " + error.what());
            }
            for (std::size_t taken : columns_)
                if (taken == index)
                    throw vaq::Error(line_text(reader) + ": field " + schema[index].name +
                                     " is named twice in the header.");
            columns_.push_back(index);
        }
    }

    static std::uint64_t file_size(const std::string& path) {
        std::error_code error;
        const std::uintmax_t size = std::filesystem::file_size(path, error);
        return error ? 0 : static_cast<std::uint64_t>(size);
    }

    std::shared_ptr<pdx::Table> table_;
    std::string path_;
    ProgressBar& progress_;
    const InterruptRequest& interrupt_;
    std::size_t batch_rows_;
    std::vector<std::size_t> columns_;    // field index of each CSV column
    std::optional<std::string> refusal_;  // the writer's error for the row it refused
    std::size_t refused_line_ = 0;
    std::size_t interrupted_line_ = 0;  // the first line not stored after Ctrl-C
};

}  // namespace

// Opening the table again puts back what its journal holds of the import.
std::string put_back(const std::filesystem::path& directory, const std::string& table,
                     const std::string& name) {
    try {
        pdx::Table::open(directory, table, pdx::Access::kWrite);
    } catch (const std::exception& error) {
        return " Taking back the rows stored so far failed (" + std::string(error.what()) +
               "); the next open of " + name + " takes them back.";
    }
    return " Nothing was imported into " + name + ".";
}

void command_import(ShellContext& context, const Arguments& arguments) {
    const std::string& path = arguments[0];
    const CsvDateForms forms;
    ProgressBar progress(context.err, context.show_progress);
    const InterruptRequest interrupt;
    std::string name;
    std::size_t stored = 0;
    try {
        Importer importer(pdx::Table::open(context.directory, arguments[1], pdx::Access::kWrite),
                          path, progress, interrupt);
        name = importer.table_name();
        stored = importer.run();
    } catch (const NothingImported& error) {
        // The importer has let go of the table: it can be opened again to be put back.
        progress.close();
        std::string message = error.what();
        if (!message.ends_with('.')) message += '.';
        throw vaq::Error(message + put_back(context.directory, arguments[1], name));
    } catch (const vaq::Error&) {
        progress.close();
        throw;
    }
    context.out << "Imported " << stored << (stored == 1 ? " row" : " rows") << " into " << name
                << ".\n";
}

}  // namespace vaq::shell
