#include "engine/sql/result_set.h"

#include "common/error.h"
#include "engine/table/table.h"
#include "engine/table/text_fold.h"

namespace pdx::sql {

ResultSet::ResultSet(std::shared_ptr<const Table> table, std::vector<ResultField> fields)
    : table_(std::move(table)), cursor_(table_->open_cursor()), fields_(std::move(fields)) {}

ResultSet::ResultSet(std::shared_ptr<const Table> table, std::vector<ResultField> fields,
                     std::vector<Bookmark> rows)
    : table_(std::move(table)),
      cursor_(table_->open_cursor()),
      fields_(std::move(fields)),
      rows_(std::move(rows)) {
    show_row();
}

ResultSet::~ResultSet() = default;

std::optional<std::size_t> ResultSet::find_field(std::string_view name) const {
    for (std::size_t i = 0; i < fields_.size(); ++i)
        if (equal_ignoring_case(fields_[i].name, name)) return i;
    return std::nullopt;
}

void ResultSet::show_row() {
    if (rows_ && row_ < rows_->size()) cursor_->go_to((*rows_)[row_]);
}

void ResultSet::first() {
    if (!rows_) return cursor_->first();
    row_ = 0;
    show_row();
}

void ResultSet::next() {
    if (!rows_) return cursor_->next();
    if (row_ < rows_->size()) ++row_;
    // The last row stays current once the end is set.
    if (row_ < rows_->size()) show_row();
}

bool ResultSet::eof() const {
    if (!rows_) return cursor_->eof();
    return row_ >= rows_->size();
}

std::uint32_t ResultSet::record_count() const {
    if (!rows_) return cursor_->record_count();
    return static_cast<std::uint32_t>(rows_->size());
}

std::uint32_t ResultSet::record_number() const {
    if (!rows_) return cursor_->record_number();
    if (rows_->empty()) return 0;
    return static_cast<std::uint32_t>(std::min(row_, rows_->size() - 1) + 1);
}

void ResultSet::check_row() const {
    if (rows_ && rows_->empty())
        throw vaq::Error("There is no current record in the result from " + table_->name() + ".");
}

Bytes ResultSet::record() const {
    check_row();
    return cursor_->record();
}

Value ResultSet::value(std::size_t index) const {
    check_row();
    return cursor_->value(fields_.at(index).table_field);
}

Value ResultSet::value(std::string_view name) const {
    if (auto index = find_field(name)) return value(*index);
    throw vaq::Error("Field not found: " + std::string(name) + " in the result from " +
                     table_->name() + ".");
}

}  // namespace pdx::sql
