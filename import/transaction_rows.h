#pragma once

// The rows of the transaction table for the grid, read through a table object of their own
// so that the grid never moves the import's record.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "db/session.h"
#include "db/table.h"
#include "port/row_source.h"

namespace vaq::import {

class TransactionRows : public window::RowSource {
  public:
    // `storedRecords` counts the records the import stored; the grid reads again when it
    // changes.
    TransactionRows(std::string alias_name, std::string table_name, db::Session& session,
                    std::shared_ptr<const std::uint64_t> storedRecords);

    std::vector<std::string> field_names() const override;
    std::int64_t row_count() const override;
    std::vector<std::vector<std::string>> read_rows(std::int64_t first,
                                                    std::int64_t count) const override;
    std::uint64_t version() const override;

  private:
    // Opens the reading table when needed and moves it to 0-based row `row`.
    void move_to(std::int64_t row) const;

    mutable db::Table table_;
    std::shared_ptr<const std::uint64_t> storedRecords_;
    mutable std::uint64_t readVersion_ = 0;
};

}  // namespace vaq::import
