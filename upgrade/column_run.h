#pragma once

// Columns added to one table by one restructure. A column block adds its columns one ALTER
// at a time, and each ALTER rewrites the whole table and swaps its files: the old files
// freed, the new ones flushed. Where several missing columns of one table follow each other,
// the upgrade adds them with one ALTER that lists them all, which leaves the same table.
// These are the texts of that statement, made from the single ALTERs of the block.

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace vaq::upgrade {

// An ALTER of the form "alter table T add F Y".
struct AlterParts {
    std::string_view head;        // "alter table T", the table as the statement names it
    std::string_view table;       // T without its quotes
    std::string_view definition;  // "F Y"
    std::string_view column;      // F
};

// The parts of `statement`; nothing when it is not an ALTER adding one column.
std::optional<AlterParts> split_alter(std::string_view statement);

// "alter table T add F1 Y1, add F2 Y2, ...": `head` followed by every definition.
std::string joined_alter(std::string_view head, std::span<const std::string_view> definitions);

}  // namespace vaq::upgrade
