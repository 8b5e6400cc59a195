// .import CSVFILE TABLE: appends the rows of a CSV file to an existing table through the
// engine's writer, so that keys are checked and indexes kept up to date.
//
// The header row names fields of the table (letter case ignored, any order, fields left
// out stay empty or, for auto-increment fields, are numbered). Values take the forms
// .export writes; an empty value empties the field. Empty lines are skipped when the header
// names more than one field.
//
// The file is read twice. The first pass converts every value of every row and stores
// nothing, so that a malformed line or a value a field cannot take leaves the table as it
// was. The second pass stores the rows in file order; when the writer refuses one (a key
// violation, a full table), the rows before it stay stored and are saved, and the error
// says how many rows were stored and from which line on nothing was. Ctrl-C stops the same
// way, between two rows.

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "common/dateformat.h"
#include "common/error.h"
#include "engine/table/edit_buffer.h"
#include "engine/table/table.h"
#include "engine/table/table_writer.h"
#include "tools/vaqdb/commands.h"
#include "tools/vaqdb/csv.h"
#include "tools/vaqdb/interrupt.h"
#include "tools/vaqdb/progress.h"

namespace vaqdb {

namespace {

// While it lives, the process date and time formats are the CSV forms (YYYY-MM-DD,
// HH:MM:SS), so that the field conversions, which try the process formats first, cannot
// read a CSV date in a regional field order.
class CsvDateForms {
  public:
    CsvDateForms() : saved_(vaq::dateTimeFormats()) {
        vaq::DateTimeFormats forms;
        forms.shortDateFormat = "yyyy/mm/dd";
        forms.dateSeparator = '-';
        forms.longTimeFormat = "hh:nn:ss";
        forms.timeSeparator = ':';
        vaq::setDateTimeFormats(forms);
    }
    // The saved formats were valid when they were read, so setting them back cannot fail.
    ~CsvDateForms() { vaq::setDateTimeFormats(saved_); }
    CsvDateForms(const CsvDateForms&) = delete;
    CsvDateForms& operator=(const CsvDateForms&) = delete;

  private:
    vaq::DateTimeFormats saved_;
};

class CsvFile {
  public:
    explicit CsvFile(const std::string& path) : in_(path, std::ios::binary), reader_(in_, path) {
        if (!in_)
            throw vaq::Error("Cannot open the CSV file " + path + ": " + std::strerror(errno));
    }
    bool read_row(std::vector<std::string>& fields) {
        const bool found = reader_.read_row(fields);
        if (in_.bad()) throw vaq::Error("Cannot read the CSV file " + reader_.source() + ".");
        return found;
    }
    std::size_t line() const { return reader_.line(); }
    const std::string& source() const { return reader_.source(); }
    // Bytes read so far.
    std::uint64_t offset() {
        const std::streamoff at = in_.tellg();
        return at < 0 ? 0 : static_cast<std::uint64_t>(at);
    }

  private:
    std::ifstream in_;
    CsvReader reader_;
};

// Dates and times must be in the CSV forms exactly; the field conversion would also take
// other spellings (one-digit months, two-digit years) and guess.
void check_csv_form(const pdx::Field& field, const std::string& text) {
    if (text.empty()) return;
    try {
        switch (field.type()) {
            case pdx::FieldType::kDate:
                vaq::parseIsoDate(text);
                return;
            case pdx::FieldType::kTime:
                vaq::parseIsoTime(text);
                return;
            case pdx::FieldType::kTimestamp:
                vaq::parseIsoDateTime(text);
                return;
            default:
                return;
        }
    } catch (const vaq::Error&) {
        const char* form = field.type() == pdx::FieldType::kDate   ? "YYYY-MM-DD"
                           : field.type() == pdx::FieldType::kTime ? "HH:MM:SS[.mmm]"
                                                                   : "YYYY-MM-DD HH:MM:SS[.mmm]";
        throw vaq::Error("'" + text + "' is not in the form " + form);
    }
}

class Importer {
  public:
    Importer(std::shared_ptr<pdx::Table> table, std::string path, ProgressBar& progress,
             const InterruptRequest& interrupt)
        : table_(std::move(table)),
          path_(std::move(path)),
          progress_(progress),
          interrupt_(interrupt) {}

    // Every row converted, nothing stored.
    void check_all() {
        CsvFile file(path_);
        read_header(file);
        std::vector<std::string> row;
        rows_ = 0;
        const std::uint64_t size = progress_.enabled() ? file_size(path_) : 0;
        while (file.read_row(row)) {
            if (interrupt_.requested()) throw vaq::Error("Interrupted.");
            if (blank(row)) continue;
            convert(file, row);
            // Where the reading stands costs a system call: asked now and then only.
            if (++rows_ % 4096 == 0 && size > 0) progress_.show("Checking:", file.offset(), size);
        }
    }

    // Returns the rows stored.
    std::size_t store_all() {
        CsvFile file(path_);
        read_header(file);
        std::vector<std::string> row;
        Batch batch;
        std::size_t stored = 0;
        try {
            while (file.read_row(row)) {
                if (blank(row)) continue;
                // Ctrl-C stops between two records; the ones stored stay and are saved.
                if (interrupt_.requested()) {
                    store(batch, stored);
                    throw vaq::Error("Interrupted.");
                }
                progress_.show("Importing:", stored, rows_);
                batch.rows.push_back(convert(file, row));
                batch.lines.push_back(file.line());
                if (batch.rows.size() == kBatchRows) store(batch, stored);
            }
            store(batch, stored);
            table_->writer().flush();
        } catch (const std::exception& error) {
            progress_.close();
            // The first line not stored: the one refused, else the first of the rows waiting.
            const std::size_t line = batch.refused_line != 0 ? batch.refused_line
                                     : batch.lines.empty()   ? file.line()
                                                             : batch.lines.front();
            throw vaq::Error(std::string(error.what()) + " " + stored_note(stored, line));
        }
        progress_.close();
        return stored;
    }

  private:
    // Rows converted and waiting to be stored together, with the line each began on.
    struct Batch {
        std::vector<pdx::EditBuffer> rows;
        std::vector<std::size_t> lines;
        std::size_t refused_line = 0;
    };
    // Rows stored in one change of the table: the journal and the header are written once
    // for all of them.
    static constexpr std::size_t kBatchRows = 512;

    void store(Batch& batch, std::size_t& stored) {
        std::size_t done = 0;
        try {
            table_->writer().insert_all(batch.rows, done);
        } catch (const std::exception& error) {
            stored += done;
            batch.refused_line = batch.lines.at(done);
            throw vaq::Error(path_ + " line " + std::to_string(batch.refused_line) + ": " +
                             error.what());
        }
        stored += done;
        batch.rows.clear();
        batch.lines.clear();
    }

    // An empty line, which cannot be a row when the header names more than one field (with
    // one field it is a row whose value is empty).
    bool blank(const std::vector<std::string>& row) const {
        return columns_.size() > 1 && row.size() == 1 && row[0].empty();
    }

    std::string line_text(const CsvFile& file) const {
        return file.source() + " line " + std::to_string(file.line());
    }

    std::string stored_note(std::size_t stored, std::size_t line) {
        const std::string from = "line " + std::to_string(line);
        std::string note = stored == 0 ? "No row was imported into " + table_->name() + "."
                           : stored == 1
                               ? "The row before " + from + " was imported into " + table_->name() +
                                     "; " + from + " and the lines after it were not."
                               : "The " + std::to_string(stored) + " rows before " + from +
                                     " were imported into " + table_->name() + "; " + from +
                                     " and the lines after it were not.";
        try {
            table_->writer().flush();
        } catch (const std::exception& error) {
            note += " Saving the imported rows to disk failed: " + std::string(error.what());
        }
        return note;
    }

    void read_header(CsvFile& file) {
        std::vector<std::string> names;
        if (!file.read_row(names))
            throw vaq::Error(file.source() + " is empty: it needs a header row naming fields of " +
                             table_->name() + ".");
        columns_.clear();
        const pdx::Schema& schema = table_->schema();
        for (const std::string& name : names) {
            std::size_t index = 0;
            try {
                index = schema.field(name, table_->name()).index;
            } catch (const vaq::Error& error) {
                throw vaq::Error(line_text(file) + ": " + error.what());
            }
            for (std::size_t taken : columns_)
                if (taken == index)
                    throw vaq::Error(line_text(file) + ": field " + schema[index].name +
                                     " is named twice in the header.");
            columns_.push_back(index);
        }
    }

    pdx::EditBuffer convert(const CsvFile& file, const std::vector<std::string>& row) const {
        if (row.size() != columns_.size())
            throw vaq::Error(line_text(file) + ": the row has " + std::to_string(row.size()) +
                             " fields where the header names " + std::to_string(columns_.size()) +
                             ".");
        pdx::EditBuffer buffer = pdx::EditBuffer::blank(table_);
        for (std::size_t i = 0; i < row.size(); ++i) {
            const pdx::Field& field = table_->schema()[columns_[i]];
            try {
                check_csv_form(field, row[i]);
                buffer.set(columns_[i], pdx::FieldInput(row[i]));
            } catch (const vaq::Error& error) {
                std::string message = error.what();
                if (!message.empty() && message.back() != '.') message += '.';
                throw vaq::Error(line_text(file) + ", field " + field.name + ": " + message);
            }
        }
        return buffer;
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
    std::vector<std::size_t> columns_;  // field index of each CSV column
    std::uint64_t rows_ = 0;            // rows found by check_all()
};

}  // namespace

void command_import(ShellContext& context, const Arguments& arguments) {
    const std::string& path = arguments[0];
    const auto table = pdx::Table::open(context.directory, arguments[1], pdx::Access::kWrite);
    const CsvDateForms forms;
    ProgressBar progress(context.err, context.show_progress);
    const InterruptRequest interrupt;
    Importer importer(table, path, progress, interrupt);
    try {
        importer.check_all();
    } catch (const vaq::Error& error) {
        progress.close();
        std::string message = error.what();
        if (!message.ends_with('.')) message += '.';
        throw vaq::Error(message + " Nothing was imported into " + table->name() + ".");
    }
    const std::size_t stored = importer.store_all();
    context.out << "Imported " << stored << (stored == 1 ? " row" : " rows") << " into "
                << table->name() << ".\n";
}

}  // namespace vaqdb
