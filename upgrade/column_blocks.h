#pragma once

// The twelve column blocks of the upgrade: the columns newer versions of VAQ expect, each
// added to its table when missing, some with a first value for every existing row.

#include <optional>
#include <span>
#include <string_view>

#include "upgrade/statements.h"

namespace vaq::upgrade {

// The text written into the new column PanicPIN of every controller row.
inline constexpr std::string_view kDefaultPanicPin = "1234";

// One AddFieldIfMissing call: table, column and the column type as the engine's SQL
// writes it.
struct AddFieldCall {
    std::string_view table;
    std::string_view column;
    std::string_view type;
};

// A row of a column group: tested against the field list of the group's select, then an
// ALTER, an UPDATE giving the new column its first value, and a log line. A row may instead
// be an AddFieldIfMissing call with its own select.
struct GroupRow {
    std::string_view testedColumn;
    std::string_view alter;  // empty for an AddFieldIfMissing row
    OptionalText update;
    OptionalText log;
    std::optional<AddFieldCall> add_field;
};

struct ColumnBlock {
    int number;  // 1 to 12
    // Blocks 1 and 2: AddFieldIfMissing calls, one after the other.
    std::span<const AddFieldCall> addFields;
    // Blocks 3 to 12: the select held open in Q2 while the rows are tested, and the rows.
    std::string_view select;
    std::span<const GroupRow> rows;
    // Block 7 opens its select again once its column was added.
    bool reopenAfterAdding = false;
};

std::span<const ColumnBlock> column_blocks();
// Block 1 to 12; throws vaq::Error for another number.
const ColumnBlock& column_block(int number);

}  // namespace vaq::upgrade
