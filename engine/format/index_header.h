#pragma once

// What the name and the header of a secondary index file (.Xnn, .XGn) say about the index.
//
// File names. `.Xnn` is a single-field, case-sensitive index on table field nn (two hex
// digits: .X0C is field 12); it has no stored name and is called after its field. `.XGn` is
// any other index (composite, case-insensitive, descending, unique, or simply named) and
// carries its name in its header. Each X file has a B-tree beside it with Y for X in its
// extension (.Y0C, .YG0).
//
// An X file is laid out like a table; its records hold, in this order:
//   maintained (file types 5, 8)      the indexed fields, the table's primary-key fields,
//                                     Blk Num (S): the data block that held the record when
//                                     the entry was written (a hint)
//   not maintained (file types 3, 6)  the indexed fields, Tup No (I): the record's 1-based
//                                     position in table order, Blk Num (S): its data block,
//                                     Tup Offset (S): its byte offset in the block's record
//                                     area (slot * recordSize)
// Header 0x23 counts the leading fields that form the X key: the indexed fields plus the
// primary key (maintained) or plus Tup No and Blk Num (not maintained).
//
// The field-number array starts with the table field numbers of the indexed fields; bit 15
// of an entry marks a descending field. The remaining entries hold their own position in
// the X record. Header 0x15 repeats the first indexed field. A case-insensitive index stores
// the alpha values of its indexed fields in upper case (ASCII letters seen so far), not as
// typed.
//
// Header 0x55 holds the index flags: bit 0 case-insensitive, bit 4 descending, bit 5 unique.
// An index flagged descending that marks none of its fields is taken as descending in all.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/format/table_header.h"

namespace pdx {

// The part of an index file's extension after the dot: "X0C" or "XG0" (letter case ignored).
struct IndexSuffix {
    bool composite = false;
    // Xnn: the table field number nn; XGn: n.
    unsigned number = 0;
    // Upper case, without the dot: "X0C", "XG0".
    std::string text;

    // Nothing when `extension` (".X0C", "xg1") names no secondary index file.
    static std::optional<IndexSuffix> parse(std::string_view extension);
    // The extension of the matching tree file: ".Y0C", ".YG0".
    std::string tree_extension() const;
    // The extension of the index file itself: ".X0C", ".XG0".
    std::string extension() const { return "." + text; }
};

inline constexpr std::uint8_t kIndexCaseInsensitive = 0x01;
inline constexpr std::uint8_t kIndexDescending = 0x10;
inline constexpr std::uint8_t kIndexUnique = 0x20;
inline constexpr std::uint16_t kDescendingField = 0x8000;

struct IndexedField {
    std::uint16_t table_field = 0;  // 1-based field number in the table
    bool descending = false;
};

struct SecondaryIndexLayout {
    bool maintained = false;
    bool composite = false;  // an XGn file
    bool case_insensitive = false;
    bool descending = false;
    bool unique = false;
    std::vector<IndexedField> fields;
    // Fields of the X key (header 0x23).
    std::size_t key_fields = 0;
    // XGn files: the name as stored, in the table's code page.
    std::string stored_name;

    // Index of the first field after the indexed ones: the primary key of a maintained
    // index, Tup No of one that is not maintained.
    std::size_t first_pointer_field() const { return fields.size(); }

    // Reads the header of an X file on a table whose primary key has `table_key_fields`
    // fields. Throws FormatError naming `file` when the header is not one of a secondary
    // index or its fields are not laid out as above.
    static SecondaryIndexLayout decode(const TableHeader& header, std::size_t table_key_fields,
                                       std::string_view file);
};

}  // namespace pdx
