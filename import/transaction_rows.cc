#include "import/transaction_rows.h"

namespace vaq::import {

TransactionRows::TransactionRows(std::string alias_name, std::string table_name,
                                 db::Session& session,
                                 std::shared_ptr<const std::uint64_t> storedRecords)
    : table_(std::move(alias_name), std::move(table_name), session),
      storedRecords_(std::move(storedRecords)) {}

void TransactionRows::move_to(std::int64_t row) const {
    // Reopened after every import change, so the reading table sees the new records.
    if (table_.active() && readVersion_ != *storedRecords_) table_.close();
    if (!table_.active()) {
        table_.open();
        readVersion_ = *storedRecords_;
    }
    // Rows are read forwards as a grid scrolls; going back starts again at the first.
    if (table_.rec_no() == 0 || static_cast<std::int64_t>(table_.rec_no()) - 1 > row)
        table_.first();
    while (!table_.eof() && static_cast<std::int64_t>(table_.rec_no()) - 1 < row)
        table_.next();
}

std::vector<std::string> TransactionRows::field_names() const {
    if (!table_.active()) move_to(0);
    return table_.field_names();
}

std::int64_t TransactionRows::row_count() const {
    move_to(0);
    return table_.record_count();
}

std::vector<std::vector<std::string>> TransactionRows::read_rows(std::int64_t first,
                                                                 std::int64_t count) const {
    std::vector<std::vector<std::string>> rows;
    if (count <= 0 || first < 0) return rows;
    move_to(first);
    const std::vector<std::string> names = table_.field_names();
    while (static_cast<std::int64_t>(rows.size()) < count && !table_.eof() &&
           static_cast<std::int64_t>(table_.rec_no()) - 1 == first + std::int64_t(rows.size())) {
        std::vector<std::string> row;
        row.reserve(names.size());
        for (const std::string& name : names)
            row.push_back(table_.field_by_name(name).as_string());
        rows.push_back(std::move(row));
        const std::uint32_t before = table_.rec_no();
        table_.next();
        if (table_.rec_no() == before) break;  // the last record
    }
    return rows;
}

std::uint64_t TransactionRows::version() const {
    return *storedRecords_;
}

}  // namespace vaq::import
