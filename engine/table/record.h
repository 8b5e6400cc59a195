#pragma once

// A copy of one record that lives on after its cursor moves: what an edit changes before it
// is posted, what an append fills, what a caller keeps. Values taken from it stay valid as
// long as the record does; values taken from a cursor only until the cursor moves.

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "engine/format/coding.h"
#include "engine/table/value.h"

namespace pdx {

class Table;

class Record {
  public:
    // A record of NULLs (all zero bytes) of `table`.
    static Record blank(std::shared_ptr<const Table> table);
    // A copy of `bytes`, which must be one record of `table`.
    Record(std::shared_ptr<const Table> table, Bytes bytes);

    const Table& table() const { return *table_; }
    Bytes bytes() const { return bytes_; }
    MutableBytes mutable_bytes() { return bytes_; }

    Value value(std::size_t field_index) const;
    // Letter case of `name` ignored; throws vaq::Error("Field not found: ...") when absent.
    Value field(std::string_view name) const;
    MutableBytes field_bytes(std::size_t field_index);

  private:
    std::shared_ptr<const Table> table_;
    std::vector<std::uint8_t> bytes_;
};

}  // namespace pdx
