#include "engine/sql/result_set.h"

#include <algorithm>
#include <mutex>

#include "common/error.h"
#include "engine/table/table.h"
#include "engine/table/table_name.h"
#include "engine/table/text_fold.h"

namespace pdx::sql {

namespace fs = std::filesystem;

namespace {

// The results that are open, so that a change of a table's files can reach them.
struct OpenResults {
    std::mutex mutex;
    std::vector<ResultSet*> results;
};

OpenResults& open_results() {
    static OpenResults open;
    return open;
}

bool same_table_file(const fs::path& a, const fs::path& b) {
    if (!same_file_name(a.filename().string(), b.filename().string())) return false;
    std::error_code ignored;
    return fs::weakly_canonical(a.parent_path(), ignored) ==
           fs::weakly_canonical(b.parent_path(), ignored);
}

}  // namespace

ResultSet::ResultSet(std::shared_ptr<const Table> table, std::vector<ResultField> fields)
    : table_name_(table->name()),
      table_path_(table->path()),
      fields_(std::move(fields)),
      table_(std::move(table)),
      cursor_(table_->open_cursor()) {
    std::lock_guard lock(open_results().mutex);
    open_results().results.push_back(this);
}

ResultSet::ResultSet(std::shared_ptr<const Table> table, std::vector<ResultField> fields,
                     std::vector<Bookmark> rows)
    : ResultSet(std::move(table), std::move(fields)) {
    count_ = static_cast<std::uint32_t>(rows.size());
    rows_ = std::move(rows);
    at_end_ = count_ == 0;
    show_row();
}

ResultSet::ResultSet(std::string table_name, std::vector<ResultField> fields,
                     std::vector<std::vector<SqlValue>> rows)
    : table_name_(std::move(table_name)),
      fields_(std::move(fields)),
      kept_(std::move(rows)),
      count_(static_cast<std::uint32_t>(kept_->size())),
      at_end_(count_ == 0) {}

ResultSet::~ResultSet() {
    std::lock_guard lock(open_results().mutex);
    std::erase(open_results().results, this);
}

std::optional<std::size_t> ResultSet::find_field(std::string_view name) const {
    for (std::size_t i = 0; i < fields_.size(); ++i)
        if (equal_ignoring_case(fields_[i].name, name)) return i;
    return std::nullopt;
}

bool ResultSet::plain() const {
    return table_ != nullptr && !rows_;
}

void ResultSet::show_row() {
    if (rows_ && row_ < rows_->size()) cursor_->go_to((*rows_)[row_]);
}

void ResultSet::first() {
    if (plain()) return cursor_->first();
    row_ = 0;
    at_end_ = count_ == 0;
    show_row();
}

void ResultSet::next() {
    if (plain()) return cursor_->next();
    // The last row stays current once the end is set.
    if (row_ + 1 < count_) {
        ++row_;
        show_row();
    } else {
        at_end_ = true;
    }
}

bool ResultSet::eof() const {
    return plain() ? cursor_->eof() : at_end_;
}

std::uint32_t ResultSet::record_count() const {
    return plain() ? cursor_->record_count() : count_;
}

std::uint32_t ResultSet::record_number() const {
    if (plain()) return cursor_->record_number();
    return count_ == 0 ? 0 : static_cast<std::uint32_t>(row_ + 1);
}

void ResultSet::check_row() const {
    if (!plain() && count_ == 0)
        throw vaq::Error("There is no current record in the result from " + table_name_ + ".");
    if (!table_ && !kept_)
        throw vaq::Error("The result from " + table_name_ +
                         " can no longer be read: the table was changed since the query was "
                         "opened (" +
                         lost_because_ + "). Open the query again.");
}

SqlValue ResultSet::value(std::size_t index) const {
    check_row();
    const ResultField& field = fields_.at(index);
    if (table_) return value_of(cursor_->value(field.table_field));
    return (*kept_)[row_][index];
}

SqlValue ResultSet::value(std::string_view name) const {
    if (auto index = find_field(name)) return value(*index);
    throw vaq::Error("Field not found: " + std::string(name) + " in the result from " +
                     table_name_ + ".");
}

std::vector<SqlValue> ResultSet::read_row(const Cursor& cursor) const {
    std::vector<SqlValue> values;
    values.reserve(fields_.size());
    for (const ResultField& field : fields_)
        values.push_back(value_of(cursor.value(field.table_field)));
    return values;
}

std::size_t ResultSet::value_count() const {
    return std::size_t{record_count()} * std::max<std::size_t>(fields_.size(), 1);
}

void ResultSet::release_table(std::size_t max_kept_values) {
    if (!table_) return;
    const std::uint32_t current = record_number();
    const bool end = eof();
    const std::size_t rows = rows_ ? rows_->size() : table_->record_count();
    if (value_count() > max_kept_values) {
        lost_because_ = "it had too many rows to keep";
    } else {
        try {
            std::vector<std::vector<SqlValue>> kept;
            kept.reserve(rows);
            if (rows_) {
                for (const Bookmark& mark : *rows_) {
                    cursor_->go_to(mark);
                    kept.push_back(read_row(*cursor_));
                }
            } else {
                for (auto walk = table_->open_cursor(); !walk->eof(); walk->next())
                    kept.push_back(read_row(*walk));
            }
            kept_ = std::move(kept);
        } catch (const vaq::Error& error) {
            // Reported when a row is read; the table change itself goes on.
            lost_because_ = error.what();
        }
    }
    count_ = kept_ ? static_cast<std::uint32_t>(kept_->size()) : static_cast<std::uint32_t>(rows);
    row_ = current == 0 ? 0 : std::min<std::size_t>(current - 1, count_ == 0 ? 0 : count_ - 1);
    at_end_ = end || count_ == 0;
    rows_.reset();
    cursor_.reset();
    table_.reset();
}

void release_results(const fs::path& table_file) {
    std::lock_guard lock(open_results().mutex);
    for (ResultSet* result : open_results().results)
        if (result->table_ && same_table_file(result->table_path_, table_file))
            result->release_table();
}

}  // namespace pdx::sql
