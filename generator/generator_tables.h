#pragma once

// The tables of an old VAQ database, from before the 3.2.1 layout, with the rows a site
// gives them. The access-control program's own tables carry the columns that program
// wrote (the ones the utility uses, and some of its own), never a column that the upgrade
// adds. Tables of newer versions are present as SiteOptions::newerTables says, each in the
// layout the upgrade would create it in, again without the columns the upgrade adds later.

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "common/datetime.h"
#include "engine/format/field_type.h"
#include "generator/generator_site.h"

namespace vaq::bench {

struct ColumnDef {
    std::string_view name;
    pdx::FieldType type;
    std::uint8_t size;  // bytes in the record; for alpha the width in characters
};

struct IndexDef {
    std::string_view name;
    std::string_view column;
    bool caseInsensitive = false;
};

struct TableDef {
    std::string_view file;  // file name in the database directory
    std::vector<ColumnDef> columns;
    std::size_t keyFields = 0;  // the leading columns that form the primary key
    std::vector<IndexDef> indexes;

    // Position of a column, letter case ignored; throws vaq::Error when absent.
    std::size_t column(std::string_view name) const;
};

// One field value. An empty value (monostate, or an empty text) leaves the field empty;
// auto-increment fields are left empty and numbered by the table.
using Cell = std::variant<std::monostate, std::int64_t, double, bool, std::string, Date, Time>;
using Row = std::vector<Cell>;

struct GeneratedTable {
    TableDef def;
    std::vector<Row> rows;
};

// The layout of the transaction table; its rows come from transaction_row().
const TableDef& transact_table();
Row transaction_row(const Transaction& transaction);

// Every other table of the old database with its rows, in the order they are written
// (tables referred to before those referring to them).
std::vector<GeneratedTable> site_tables(const Site& site);

// The layout of an old table by its file name ("Personal.DB", "Transact.db"), letter case
// ignored. Throws vaq::Error when the generator has no such table.
const TableDef& table_layout(std::string_view file);

}  // namespace vaq::bench
