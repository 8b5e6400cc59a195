#pragma once

// The result of a SELECT, read like a table: a field list, first/next/end, record count and
// number, and the values of the current row. The rows are the table's records that meet the
// WHERE condition, in the order of ORDER BY (ties and a select without ORDER BY keep the
// table's order). Which records belong to the result and their order are fixed when the
// select runs; their values are read from the table as the rows are visited.
//
// An open result does not stand in the way of statements on its table. The executor reads a
// small result (up to kSnapshotValues values) into memory at once, so that it holds no table
// at all. A larger one reads its table as its rows are visited; before a table's files are
// replaced, deleted or renamed (ALTER TABLE, DROP TABLE, a rebuild), release_results() makes
// every open result on it let the table go: a result of up to kMaxKeptValues values keeps
// them in memory and reads on as before; a larger one keeps its field list, and reading a
// row of it then raises an error that asks to open it again.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/format/field_type.h"
#include "engine/sql/sql_value.h"
#include "engine/table/cursor.h"

namespace pdx {
class Table;
}

namespace pdx::sql {

struct ResultField {
    // As the result names it: the table's field name, or the alias given after AS.
    std::string name;
    // The field of the table it shows, and that field's type and size.
    std::size_t table_field = 0;
    FieldDescriptor descriptor;
};

class ResultSet {
  public:
    // Results that let their table go keep at most this many values in memory.
    static constexpr std::size_t kMaxKeptValues = 1'000'000;
    // Results of at most this many values are read into memory when the select runs.
    static constexpr std::size_t kSnapshotValues = 100'000;

    // Every record of the table in table order.
    ResultSet(std::shared_ptr<const Table> table, std::vector<ResultField> fields);
    // The records at `rows`, in that order.
    ResultSet(std::shared_ptr<const Table> table, std::vector<ResultField> fields,
              std::vector<Bookmark> rows);
    // Rows computed rather than read (a count), for the table called `table_name`.
    ResultSet(std::string table_name, std::vector<ResultField> fields,
              std::vector<std::vector<SqlValue>> rows);
    ~ResultSet();
    ResultSet(const ResultSet&) = delete;
    ResultSet& operator=(const ResultSet&) = delete;

    // The file name of the table ("Door.DB"), for messages.
    const std::string& table_name() const { return table_name_; }
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
    SqlValue value(std::size_t index) const;
    // By name, letter case ignored. Throws vaq::Error("Field not found: X in the result
    // from T.DB.") when the result has no such field.
    SqlValue value(std::string_view name) const;

    // True while the result reads its table.
    bool holds_table() const { return table_ != nullptr; }
    // Rows times fields.
    std::size_t value_count() const;
    // Lets the table go, keeping the rows in memory when they hold at most `max_kept_values`
    // values.
    void release_table(std::size_t max_kept_values = kMaxKeptValues);

  private:
    // Reading the table in table order, every record a row.
    bool plain() const;
    void check_row() const;
    void show_row();
    std::vector<SqlValue> read_row(const Cursor& cursor) const;

    std::string table_name_;
    std::filesystem::path table_path_;
    std::vector<ResultField> fields_;
    // While the table is held: the cursor, and the rows when they are not the table order.
    std::shared_ptr<const Table> table_;
    std::unique_ptr<Cursor> cursor_;
    std::optional<std::vector<Bookmark>> rows_;
    // Once the table is let go: the rows' values, or nothing when there were too many.
    std::optional<std::vector<std::vector<SqlValue>>> kept_;
    std::string lost_because_;
    std::uint32_t count_ = 0;
    std::size_t row_ = 0;
    bool at_end_ = false;

    friend void release_results(const std::filesystem::path& table_file);
};

// Makes every open result on the table at `table_file` let it go (see above).
void release_results(const std::filesystem::path& table_file);

}  // namespace pdx::sql
