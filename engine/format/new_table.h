#pragma once

// The headers of a freshly created table family, laid out as the BDE lays them out for an
// empty table: a .DB of exactly headerSize bytes with no blocks, and for a keyed table a
// .PX of one header with no blocks (root 1, no levels).
//
// Bytes of the .DB header that a fresh table carries besides the counts (all others 0):
//   0x12        a small number of unknown meaning (the BDE writes values such as 6 and 9)
//   0x25        0xFF00FF00 at level >= 4 (the password key moved to 0x5C)
//   0x2D        change counter, at least 2: Paradox ignores a .PX next to a lower value
//   0x2E        family stamp, repeated in byte 0 of the .VAL and in the X files
//   0x3E-0x3F   1F 0F
//   0x56        0x20 at level >= 4
//   0x60        creation time, Unix seconds (level >= 4)
//   0x64        fields + 1
//   0x6C-0x6D   01 01
//   0x70        1
// The .PX header: 0x12 small number, 0x1E root 1, 0x2C index stamp (equal to the table's
// 0x2D), 0x49 = 2; the key fields' descriptors at 0x58, then the table name ("NAME.PX").

#include <cstdint>
#include <string>
#include <vector>

#include "engine/format/table_header.h"

namespace pdx {

struct NewTableLayout {
    // A field as stored: descriptor and name in the table's code page.
    struct Field {
        FieldDescriptor descriptor;
        std::string stored_name;
    };

    std::vector<Field> fields;
    std::size_t key_fields = 0;  // the leading fields that form the primary key
    std::uint8_t file_version = kVersion70;
    std::size_t block_size = 4096;  // a multiple of 1024, at most 32768
    std::uint8_t sort_order = 0;    // 0 = 'ascii'
    std::string sort_order_id = "ascii";
    std::uint16_t code_page = 1252;
    std::string file_name;      // "Door.DB": stored as the table name, not authoritative
    std::uint32_t created = 0;  // Unix seconds
};

// The file version of a table level: 3 (written as 3.5), 4, 5 or 7.
std::uint8_t file_version_of_level(int level);

inline constexpr std::uint8_t kFreshChangeCount = 2;
inline constexpr std::uint8_t kFreshFamilyStamp = 1;

// The header of the empty .DB.
TableHeader new_table_header(const NewTableLayout& layout);

// The header of the empty .PX of a keyed table, for `table` as new_table_header() made it
// (or as read). `file_name` is stored as its table name ("Door.PX").
TableHeader new_primary_index_header(const TableHeader& table, const std::string& file_name);

// Starts the header bytes of a new data or index file whose file version is set: the
// constants every BDE-written file carries, `small_number` at 0x12, and the extension's
// constants (no level-3 encryption) where the version has one; the fixed part alone where not.
void start_new_header_image(TableHeader& header, std::uint8_t small_number);

// Sets the fixed-part bytes 0x06-0x11 and the tree fields of an index header back to an
// empty file (no blocks, root 1, no levels).
void clear_block_counts(TableHeader& header);

// Sets the counts of an index tree file whose blocks 1..`used` were just written, `levels`
// levels deep: `entries` entries in all (the root stays as set; 1 in an empty tree).
void set_tree_counts(TableHeader& header, std::uint32_t entries, std::uint16_t used, int levels);

}  // namespace pdx
