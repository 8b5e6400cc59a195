#pragma once

// Creating, deleting and renaming whole tables. Each works on the family of files of the
// table and is safe against a crash at any moment (table_family.h).

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "engine/format/field_type.h"
#include "engine/format/table_header.h"

namespace pdx {

// One field of a new table. `size` is the size byte of its descriptor: the width of alpha
// (1-255) and bytes (1-255) fields, the width in the record of memo (11-250) and other blob
// fields (10-250), that is the leader plus 10, and the number of decimals of a BCD field
// (0-32). Types of fixed width take 0 (or their width).
struct FieldSpec {
    std::string name;  // UTF-8
    FieldType type = FieldType::kAlpha;
    int size = 0;
};

struct TableSpec {
    std::vector<FieldSpec> fields;
    // The first key_fields fields form the primary key (0: an unkeyed table).
    std::size_t key_fields = 0;
};

// How new tables are laid out; the engine configuration ([engine] create_level, block_size)
// supplies them.
struct CreateOptions {
    int level = 7;          // 3, 4, 5 or 7; raised when a field type needs a higher level
    int block_size = 4096;  // bytes: 1024 times 1 to 32
};

// The longest field name Paradox allows, in characters.
inline constexpr std::size_t kMaxFieldNameLength = 25;

// Creates table `name` (".DB" added when it has no extension) in `directory`: the .DB, an
// empty .PX when it has a primary key, an empty .MB when it has blob fields. Sort order
// 'ascii', code page 1252 (437 at level 3). Returns the path of the .DB. Throws vaq::Error
// naming the table or the field: "Table already exists: NAME", a field name twice, a size
// the type does not allow, a key the format cannot hold, a record larger than a block.
std::filesystem::path create_table(const std::filesystem::path& directory, std::string_view name,
                                   const TableSpec& spec, const CreateOptions& options = {});

// Checks a table description as create_table() does, without creating anything; `table`
// names the table in messages. Returns the level the table will have.
int check_table_spec(const TableSpec& spec, const CreateOptions& options, std::string_view table);

// The language of a table: sort order and code page. New tables get 'ascii' and 1252; a
// restructured table keeps its own.
struct TableLanguage {
    std::uint8_t sort_order = 0;
    std::string sort_order_id = "ascii";
    std::uint16_t code_page = 1252;
};

// The header of an empty table laid out for `spec` (checked by check_table_spec()) at
// `level`, stored as the file `file_name`.
TableHeader layout_table(const TableSpec& spec, int level, int block_size,
                         const TableLanguage& language, const std::string& file_name);

// Deletes table `name` of `directory` with every file of its family. Throws vaq::Error
// "Table does not exist: NAME", "Table is busy: NAME" (open in this process), or
// "Table is in use by another program: NAME".
void delete_table(const std::filesystem::path& directory, std::string_view name);

// Renames table `name` and every file of its family to `new_name` (with or without its
// extension; given, the data file gets it as written). Returns the new .DB path. Errors as
// delete_table(), and "Table already exists: NEW" when the new name is taken.
std::filesystem::path rename_table(const std::filesystem::path& directory, std::string_view name,
                                   std::string_view new_name);

// The message for a table this process holds open when it must be closed.
std::string table_busy_message(std::string_view table_name);

}  // namespace pdx
