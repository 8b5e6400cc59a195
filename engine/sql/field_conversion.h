#pragma once

// Values of statements stored into fields. A field converts what it is given to its own
// type: a text constant is read as the field's date ('1/1/2000', month first), time
// ('0:0:0:'), timestamp, number or logical value; numbers go into number fields and, when
// whole, into integer fields; true and false into logical fields. NULL and an empty text
// empty the field. What a field cannot take is refused with an error naming the field, its
// table and the value; the field is then left as it was.

#include <cstddef>

#include "engine/sql/sql_value.h"

namespace pdx {
class EditBuffer;
}

namespace pdx::sql {

// Stores `value` into field `field` of the record being built. Throws SqlError (without a
// place in the statement; the caller adds it).
void store_value(EditBuffer& buffer, std::size_t field, const SqlValue& value);

}  // namespace pdx::sql
