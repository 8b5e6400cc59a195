#pragma once

// The fixed rows the upgrade writes: the names of the controller event codes, the card
// formats and the kinds of leave.

#include <span>
#include <string_view>

namespace vaq::upgrade {

struct CodeName {
    int code;
    std::string_view name;
};

// The event codes 0 to 49 with their names, in code order. Names are stored as the
// access-control program shows them, misspellings and bare numbers included.
std::span<const CodeName> event_names();

// FormatIndex and FormatName of the three card formats, in index order.
std::span<const CodeName> card_formats();

// The rows of LeaveType.db, written only right after the upgrade creates that table. The
// blanks at both ends and the double quotes belong to the statements.
inline constexpr std::string_view kLeaveTypeInserts[] = {
    " Insert into LeaveType.db Values (1, \"Annual Leave\") ",
    " Insert into LeaveType.db Values (2, \"Sick Leave with Certificate\") ",
    " Insert into LeaveType.db Values (3, \"Sick Leave without Certificate\") ",
};

}  // namespace vaq::upgrade
