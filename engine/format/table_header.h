#pragma once

// The header at the start of every file of a table family: .DB tables, the .PX primary
// index, .Xnn/.XGn secondary indexes and their .Ynn/.YGn trees. All numbers little-endian.
//
//   0x00-0x57  fixed part, every file
//   0x58-0x77  extension, only DB and X files of level 4 and above
//   then       variable part: field descriptors, table-name pointer, field-name pointers
//              (DB/X), table name, field names (DB/X), crypt info, field numbers (DB/X >= 4),
//              sort-order id (DB/X >= 4), index name (XGn)
//   up to headerSize: zeros
//
// Level 3.0 headers are exactly as long as their content; later levels pad to a multiple
// of 2048 bytes. Block n of the file starts at headerSize + (n - 1) * blockSize.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/format/coding.h"
#include "engine/format/field_type.h"

namespace pdx {

// Header byte 0x04.
enum class FileType : std::uint8_t {
    kKeyedTable = 0,                // .DB with a primary index (.PX)
    kPrimaryIndex = 1,              // .PX
    kUnkeyedTable = 2,              // .DB without a primary key
    kSecondaryIndexSnapshot = 3,    // .Xnn, not maintained (rebuilt on demand)
    kSecondaryIndexTree = 4,        // .Ynn
    kSecondaryIndexMaintained = 5,  // .Xnn, updated with every change
    kCompositeIndexSnapshot = 6,    // .XGn, not maintained
    kCompositeIndexTree = 7,        // .YGn
    kCompositeIndexMaintained = 8,  // .XGn, maintained
};

bool is_table_file(FileType type);           // 0, 2
bool is_index_tree_file(FileType type);      // 1, 4, 7: PX and Y files (B-tree, no field names)
bool is_secondary_data_file(FileType type);  // 3, 5, 6, 8: X files (DB layout)

// Header byte 0x39.
enum FileVersion : std::uint8_t {
    kVersion30 = 0x03,
    kVersion35 = 0x04,
    kVersion40 = 0x09,  // 0x05-0x09 are level 4
    kVersion50 = 0x0B,  // 0x0A, 0x0B are level 5
    kVersion70 = 0x0C,
};

// Table level the BDE reports for a file version: 3 (3.0 and 3.5), 4, 5 or 7.
int table_level(std::uint8_t file_version);

// Value of header 0x25 in level >= 4 DB and X files: the key moved to 0x5C.
inline constexpr std::uint32_t kNoLevel3Encryption = 0xFF00FF00;
inline constexpr std::size_t kFixedHeaderSize = 0x58;
inline constexpr std::size_t kExtendedHeaderSize = 0x78;
inline constexpr std::size_t kHeaderSizeUnit = 0x800;  // level >= 3.5 headers are padded to it

struct FieldDef {
    FieldDescriptor descriptor;
    // As stored, NUL-terminated on disk, in the table's code page. Empty in PX and Y files.
    std::string name;
    // Entry of the field-number array (DB and X files of level >= 4; 1, 2, 3 ... in tables).
    // In X files bit 15 marks a descending field. 0 when the file has no such array.
    std::uint16_t number = 0;
    // The writer's in-memory address the BDE leaves behind; kept only to write it back.
    std::uint32_t name_pointer = 0;

    friend bool operator==(const FieldDef&, const FieldDef&) = default;
};

class TableHeader {
  public:
    // --- fixed part ---
    std::uint16_t record_size = 0;                 // 0x00 bytes per record (PX/Y: key length + 6)
    std::uint16_t header_size = 0;                 // 0x02 offset of block 1
    FileType file_type = FileType::kUnkeyedTable;  // 0x04
    std::uint8_t block_size_code = 0;              // 0x05 block size in KiB
    std::uint32_t num_records = 0;                 // 0x06 (PX/Y: entries at all levels)
    std::uint16_t blocks_in_use = 0;               // 0x0A blocks in the chain
    std::uint16_t file_blocks = 0;                 // 0x0C blocks in the file, free ones included
    std::uint16_t first_block = 0;                 // 0x0E head of the chain, 0 = none
    std::uint16_t last_block = 0;                  // 0x10 tail of the chain
    std::uint8_t modified_flags1 = 0;              // 0x14 non-zero: table needs a rebuild
    std::uint8_t index_field_number = 0;  // 0x15 X files: table field number of the first key
    std::uint16_t index_root = 0;         // 0x1E PX/Y: root block
    std::uint8_t index_levels = 0;        // 0x20 PX/Y: tree height, 0 when empty
    // 0x21 numFields is fields.size().
    std::uint16_t key_fields = 0;            // 0x23 DB: leading key fields; X: key fields
    std::uint32_t encryption1 = 0;           // 0x25 level 3.x key; 0xFF00FF00 in DB/X of level >= 4
    std::uint8_t sort_order = 0;             // 0x29 language-driver byte
    std::uint8_t modified_flags2 = 0;        // 0x2A non-zero: rebuild needed
    std::uint8_t index_stamp = 0;            // 0x2C PX/Y change stamp; 0xFF in X files
    std::uint8_t change_count1 = 0;          // 0x2D
    std::uint8_t family_stamp = 0;           // 0x2E copied into X files and the .VAL
    std::uint8_t index_sync_stamp = 0;       // 0x2F X files: the PX stamp when last synchronised
    std::uint8_t write_protected = 0;        // 0x38
    std::uint8_t file_version = 0;           // 0x39 see FileVersion
    std::uint32_t auto_inc = 0;              // 0x49 level >= 5 DB: last auto-increment value issued
    std::uint16_t first_free_block = 0;      // 0x4D head of the free-block list
    std::uint8_t index_update_required = 0;  // 0x4F
    std::uint8_t index_flags = 0;            // 0x55 DB: 2 = referential integrity; X: index flags
    // --- extension (has_extension()) ---
    std::uint32_t encryption2 = 0;  // 0x5C key of level >= 4 DB/X, 0 = not encrypted
    std::uint32_t update_time = 0;  // 0x60 Unix seconds of the last header update
    std::uint16_t hi_field_id = 0;  // 0x64 1 + highest entry of the field-number array
    std::uint16_t code_page = 0;    // 0x6A DOS/Windows code page
    // --- variable part ---
    std::vector<FieldDef> fields;
    std::uint32_t table_name_pointer = 0;  // runtime pointer, kept only to write it back
    std::string table_name;                // NUL-padded 79 or 261 bytes; not authoritative
    std::string sort_order_id;             // e.g. "ascii", "ANSIINTL" (DB/X of level >= 4)
    std::string index_name;                // XGn files only
    // Bytes between the field names and the field numbers (encrypted tables), kept as read.
    std::vector<std::uint8_t> crypt_info;
    // The header as read (headerSize bytes). Bytes this type does not interpret are written
    // back from here by encode(); a fresh header starts from zeros.
    std::vector<std::uint8_t> image;

    // Parses a whole header (at least headerSize bytes; the first 0x58 tell how many).
    // `file` names the file in error messages. Throws FormatError when the bytes are not a
    // Paradox header this engine can read.
    static TableHeader decode(Bytes bytes, std::string_view file);
    // headerSize read from the first bytes of a file (needs 4 bytes).
    static std::uint16_t peek_header_size(Bytes bytes) { return load_u16le(bytes.data() + 2); }

    // headerSize bytes: the image with every field above written over it and the variable
    // part laid out again, zeros after it. Throws std::logic_error when header_size is too
    // small for the content (see required_header_size()).
    std::vector<std::uint8_t> encode() const;

    std::size_t block_size() const { return static_cast<std::size_t>(block_size_code) * 1024; }
    int level() const { return table_level(file_version); }
    // Fixed part followed by 0x58-0x77.
    bool has_extension() const;
    bool has_field_names() const { return !is_index_tree_file(file_type); }
    bool has_field_numbers() const { return has_extension(); }
    std::size_t table_name_length() const { return file_version >= kVersion70 ? 261 : 79; }
    // Offset where the variable part starts (0x58 or 0x78).
    std::size_t variable_part_offset() const;
    // End of the variable part as encode() lays it out (realHeaderSize, 0x51).
    std::size_t content_size() const;
    // The smallest valid headerSize for the content: exact for level 3.0, else a multiple of
    // 2048.
    std::size_t required_header_size() const;

    bool is_encrypted() const { return encryption_key() != 0; }
    // The password key: 0x25 at level 3.x, 0x5C above; 0 = not encrypted.
    std::uint32_t encryption_key() const;

    // Sum of the field widths: the record size a DB or X file must have (PX/Y add 6).
    std::size_t fields_width() const;
    std::size_t records_per_block() const {
        return record_size == 0 ? 0 : (block_size() - 6) / record_size;
    }
    // Byte offset of block n (1-based) in the file.
    std::uint64_t block_offset(std::uint32_t block) const {
        return header_size + static_cast<std::uint64_t>(block - 1) * block_size();
    }
};

}  // namespace pdx
