#pragma once

// The table steps of the upgrade: each creates one table when its file is missing from the
// database directory.

#include <span>
#include <string_view>

#include "upgrade/statements.h"

namespace vaq::upgrade {

struct TableStep {
    std::string_view name;  // "T1" .. "T18"
    // The file tested, with the backslash that joins it to the directory.
    std::string_view fileName;
    // The lines of the CREATE TABLE statement, blanks and tabs at either end included.
    std::span<const std::string_view> lines;
    // Statements run one by one after the table is created.
    std::span<const std::string_view> followUps;
    OptionalText log;
};

// T1 to T18 in the order the upgrade runs them.
std::span<const TableStep> table_steps();
// The step of that name ("T7"); throws vaq::Error for an unknown name.
const TableStep& table_step(std::string_view name);

}  // namespace vaq::upgrade
