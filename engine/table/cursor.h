#pragma once

// A position in a table walked in some order. The base class holds what every order shares:
// field access by name and locate. TableCursor walks the table's own order; cursors in the
// order of an index derive from Cursor the same way.
//
// Movement follows the table objects of the system: a cursor opens on its first record;
// next() on the last record sets end of table and stays there; an empty table is at its end
// at once and has no current record.

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "engine/format/coding.h"
#include "engine/table/field_input.h"
#include "engine/table/record.h"
#include "engine/table/value.h"

namespace pdx {

class Table;
class LocateLookup;

// Where a cursor stands, to return there later. `block` and `slot` are the cursor's own
// coordinates (for the table order: data block and record slot in it).
struct Bookmark {
    std::uint32_t record_number = 0;  // 0 = no current record
    std::uint32_t block = 0;
    std::uint32_t slot = 0;
    std::uint64_t change_count = 0;  // the table's change count when it was taken
    bool at_end = false;             // end of table was set
};

struct LocateOptions {
    bool case_insensitive = false;
};

class Cursor {
  public:
    explicit Cursor(std::shared_ptr<const Table> table);
    virtual ~Cursor();
    Cursor(const Cursor&) = delete;
    Cursor& operator=(const Cursor&) = delete;

    const Table& table() const { return *table_; }

    virtual void first() = 0;
    virtual void next() = 0;
    virtual bool eof() const = 0;
    // Records the cursor walks (the table's record count for the table order).
    virtual std::uint32_t record_count() const;
    // 1-based number of the current record in the cursor's order; 0 when there is none.
    virtual std::uint32_t record_number() const = 0;
    virtual bool has_record() const { return record_number() != 0; }
    // The current record's bytes. Throws vaq::Error when there is no current record.
    virtual Bytes record() const = 0;
    virtual Bookmark bookmark() const = 0;
    virtual void go_to(const Bookmark& bookmark) = 0;

    // Values of the current record; valid until the cursor moves (copy_record() keeps one).
    Value value(std::size_t field_index) const;
    // Letter case of `name` ignored; throws vaq::Error("Field not found: ...") when absent.
    Value field(std::string_view name) const;

    // A copy of the current record. Throws vaq::Error when there is no current record.
    Record copy_record() const;

    // Moves to the first record, in the cursor's order, whose fields `field_names`
    // (separated by ";") equal `values` (one per field); true when found. When nothing
    // matches the cursor stays where it was and false is returned. Alpha fields compare as
    // text, with or without letter case; number fields compare as numbers (a text value is
    // read as a number); an empty value matches an empty field. A second locate on the same
    // fields builds a lookup of the first record for every key, kept while the table is
    // unchanged, so that repeated locates on a large table stay fast.
    bool locate(std::string_view field_names, std::span<const FieldInput> values,
                LocateOptions options = {});
    bool locate(std::string_view field_names, const FieldInput& value, LocateOptions options = {}) {
        return locate(field_names, std::span<const FieldInput>(&value, 1), options);
    }

  protected:
    [[noreturn]] void no_current_record() const;
    // For cursors whose order changes other than through the table's change count.
    void forget_lookups();

  private:
    std::shared_ptr<const Table> table_;
    std::unique_ptr<LocateLookup> lookup_;
};

}  // namespace pdx
