#pragma once

// The result of a SELECT, read like a table: a field list, first/next/end, record count and
// number, and the values of the current row. The rows are the table's records that meet the
// WHERE condition, in the order of ORDER BY (ties and a select without ORDER BY keep the
// table's order). The result is fixed when the select runs: which records belong to it and
// their order; their values are read as the rows are visited.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/table/cursor.h"
#include "engine/table/value.h"

namespace pdx {
class Table;
}

namespace pdx::sql {

struct ResultField {
    // As the result names it: the table's field name, or the alias given after AS.
    std::string name;
    // The field of the table it shows.
    std::size_t table_field = 0;
};

class ResultSet {
  public:
    // Every record of the table in table order.
    ResultSet(std::shared_ptr<const Table> table, std::vector<ResultField> fields);
    // The records at `rows`, in that order.
    ResultSet(std::shared_ptr<const Table> table, std::vector<ResultField> fields,
              std::vector<Bookmark> rows);
    ~ResultSet();
    ResultSet(const ResultSet&) = delete;
    ResultSet& operator=(const ResultSet&) = delete;

    const Table& table() const { return *table_; }
    const std::vector<ResultField>& fields() const { return fields_; }
    // The result field called `name`, letter case ignored.
    std::optional<std::size_t> find_field(std::string_view name) const;

    // Movement as on a table: the result opens on its first row; next() on the last row sets
    // the end and stays there; an empty result is at its end at once.
    void first();
    void next();
    bool eof() const;
    std::uint32_t record_count() const;
    // 1-based number of the current row; 0 when there is none.
    std::uint32_t record_number() const;

    // The value of result field `index` in the current row. Throws vaq::Error when there is
    // no current row.
    Value value(std::size_t index) const;
    // By name, letter case ignored. Throws vaq::Error("Field not found: X in the result
    // from T") when the result has no such field.
    Value value(std::string_view name) const;
    // The current row's bytes as the table stores them.
    Bytes record() const;

  private:
    void show_row();
    void check_row() const;

    std::shared_ptr<const Table> table_;
    std::unique_ptr<Cursor> cursor_;
    std::vector<ResultField> fields_;
    std::optional<std::vector<Bookmark>> rows_;
    std::size_t row_ = 0;
};

}  // namespace pdx::sql
