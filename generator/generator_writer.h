#pragma once

// Writes one generated table through the engine: creates it in the folder with its layout,
// primary key and secondary indexes, and appends rows to it.

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "generator/generator_tables.h"

namespace vaq::bench {

class TableWriter {
  public:
    // Creates the table `def.file` in `folder`. Throws the engine's error when it cannot.
    TableWriter(const std::filesystem::path& folder, const TableDef& def);
    ~TableWriter();
    TableWriter(const TableWriter&) = delete;
    TableWriter& operator=(const TableWriter&) = delete;

    // Appends one row (one cell per column of the layout).
    void append(const Row& row);
    // Writes what is pending and closes the table; returns the rows appended.
    std::int64_t finish();

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// Values of one row by column name; columns not named stay empty.
using NamedRow = std::map<std::string, Cell>;

// Creates the old table `file` (table_layout()) in `folder` with `rows`.
void write_table(const std::filesystem::path& folder, std::string_view file,
                 const std::vector<NamedRow>& rows);

}  // namespace vaq::bench
