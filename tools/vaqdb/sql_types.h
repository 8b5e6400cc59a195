#pragma once

// The SQL name of a field's type as the shell prints it: char(n), smallint, integer,
// autoinc, boolean, date, time, datetime, float, money, bcd(n), memo(n), blob(n),
// fmtmemo(n), ole(n), graphic(n), bytes(n). The number is the size byte of the field's
// descriptor: the width for char and bytes, the decimals for bcd, the width in the record
// (leader plus 10) for the memo and blob types.

#include <string>

#include "engine/format/field_type.h"

namespace vaq::shell {

std::string sql_type_name(const pdx::FieldDescriptor& descriptor);

}  // namespace vaq::shell
