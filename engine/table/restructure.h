#pragma once

// Rewriting a table with a new list of fields: added fields (at the end, or first when they
// form a new primary key), dropped fields, fields whose type changes. Every record is
// carried over in table order (sorted anew when the primary key changes), blob values are
// copied into a fresh .MB (modification number 1, as the BDE does), the .VAL is carried as
// it is with its family stamp renewed, view settings (.TV, .FAM) are carried as they are,
// and the .PX is built anew. Secondary indexes are
// rebuilt by the installed rebuilder (index_maintenance.h).
//
// The new family is written under temporary names in a staging folder, flushed, and swapped
// in by an atomic rename (table_family.h): a crash at any moment leaves the old table or the
// new one, complete. Nothing is changed when an error stops the restructure (a value that
// does not fit its new field, a duplicate in a new primary key, a full disk).
//
// The new header keeps what describes the table rather than its layout: block size, sort
// order and code page, the auto-increment counter (never below the highest value carried),
// and the change counter; the level rises when a new field type needs it, and the family
// stamp (0x2E, repeated in the .VAL and the X files) moves on.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

#include "engine/table/table_admin.h"

namespace pdx {

class Table;

struct RestructureField {
    FieldSpec spec;
    // The old field whose values this one takes (0-based); nothing for a new field, which
    // starts empty, or, when it is an auto-increment field, numbered from 1 in table order.
    std::optional<std::size_t> source;
};

struct RestructurePlan {
    std::vector<RestructureField> fields;
    std::size_t key_fields = 0;
};

// The plan that keeps `table` as it is; callers change it from there.
RestructurePlan current_layout(const Table& table);

// Rewrites table `name` of `directory` as `plan` describes. Throws vaq::Error naming the
// table and, where one is at fault, the field: "Table is busy: NAME" when this process holds
// it open, "Table is in use by another program: NAME", "Key violation in NAME" when the new
// primary key is not unique, a value that does not fit its new field.
void restructure_table(const std::filesystem::path& directory, std::string_view name,
                       const RestructurePlan& plan);

}  // namespace pdx
