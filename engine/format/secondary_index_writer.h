#pragma once

// What a writer of secondary indexes needs from the format: the headers of a fresh X file and
// of its Y tree, laid out as the BDE lays them out, and the X entries made from table records
// (the layouts are in index_header.h and index_tree.h).
//
// Bytes of a fresh X header besides the counts, the fields and the names (all others 0):
//   0x12        a small number of unknown meaning (the BDE writes 4 to 10)
//   0x15        table field number of the first indexed field
//   0x25        0xFF00FF00 at level >= 4
//   0x2C        0xFF in every X file
//   0x2D        a counter of unknown meaning; the Y file's stamp, which most files seen repeat
//   0x2E        the table's family stamp (its 0x2E)
//   0x2F        the .PX stamp (0x2C) the entries agree with; 0 without a .PX
//   0x3E-0x3F   1F 0F
//   0x49        the table's 0x49
//   0x55        index flags (index_header.h)
//   0x56        0x20 at level >= 4
//   0x60        creation time, Unix seconds
//   0x64        1 + the largest of the field count and the entries of the field-number array
//   0x6C-0x6D   01 01
// The Y header is the header of a .PX (new_table.h) over the X key fields, with file type 4
// under an Xnn file and 7 under an XGn file.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/format/coding.h"
#include "engine/format/index_header.h"
#include "engine/format/table_header.h"

namespace pdx {

// A secondary index to be written: which table fields it orders by and how its file is kept.
struct SecondaryIndexDefinition {
    std::vector<IndexedField> fields;  // table field numbers (1-based), in index order
    // Maintained indexes (file types 5, 8) are kept in step with every change and need a
    // keyed table; the others (3, 6) point at record positions and are rebuilt.
    bool maintained = true;
    // An XGn file, which stores its name; otherwise an Xnn file, named after its one field,
    // which must be case-sensitive and ascending.
    bool composite = true;
    bool case_insensitive = false;
    std::string stored_name;  // XGn: the name in the table's code page
    unsigned number = 0;      // XGn: n

    IndexSuffix suffix() const;
    bool descending() const;
    std::uint8_t flags() const;  // header byte 0x55
};

// Where a record lies, for the entry that points at it.
struct EntryTarget {
    std::uint32_t tuple = 0;  // 1-based position in table order
    std::uint16_t block = 0;  // data block
    std::uint16_t slot = 0;   // 0-based slot in the block
};

// A field of the X key, at `offset` in an X entry.
struct EntryKeyPart {
    std::size_t offset = 0;
    FieldDescriptor descriptor;
    bool descending = false;
};

// The X entry of an index over a table: its fields, its key, and how it is made from a
// record. A case-insensitive index stores the alpha values of its indexed fields in upper
// case (ASCII letters; the BDE's files show no others).
class IndexEntryLayout {
  public:
    IndexEntryLayout(const TableHeader& table, const SecondaryIndexDefinition& definition);

    // The X file's fields with names and field numbers, as its header lists them.
    const std::vector<FieldDef>& fields() const { return fields_; }
    std::size_t record_size() const { return record_size_; }
    // The leading fields and bytes that form the X key (header 0x23).
    std::size_t key_fields() const { return key_parts_.size(); }
    std::size_t key_width() const { return key_width_; }
    // The indexed fields' bytes at the front of an entry.
    std::size_t indexed_width() const { return indexed_width_; }
    const std::vector<EntryKeyPart>& key_parts() const { return key_parts_; }
    // The first indexed fields' parts: the index order without its tie-breakers.
    std::vector<EntryKeyPart> indexed_parts() const;

    // Writes record_size() bytes at `out`: the entry of `record` lying at `at`.
    void make_entry(Bytes record, EntryTarget at, std::uint8_t* out) const;
    std::vector<std::uint8_t> make_entry(Bytes record, EntryTarget at) const;

  private:
    struct Copy {
        std::size_t from = 0;
        std::size_t to = 0;
        std::size_t width = 0;
    };

    bool maintained_ = true;
    std::size_t table_record_size_ = 0;
    std::vector<FieldDef> fields_;
    std::vector<Copy> copies_;
    std::vector<Copy> upper_case_;  // indexed alpha fields of a case-insensitive index
    std::vector<EntryKeyPart> key_parts_;
    std::size_t indexed_fields_ = 0;
    std::size_t indexed_width_ = 0;
    std::size_t key_width_ = 0;
    std::size_t pointer_offset_ = 0;  // Blk Num (maintained) or Tup No (not maintained)
    std::size_t record_size_ = 0;
};

// Block sizes (in KiB, header byte 0x05) of the X file and the Y tree of an index. An entry
// of the tree's level 1 counts the entries of one X block, and the entry above it the sum
// of those counts, in 16 bits: a tree block full of entries over full X blocks must not
// count more than 65535. The X file takes the table's block size and the tree the largest
// that keeps within that (both smaller when the entries are very small), as the BDE pairs
// 16 KiB X files with 2 KiB trees. Nothing when no block size holds two entries of the X
// file and three of the tree.
struct IndexBlockSizes {
    std::uint8_t index = 0;
    std::uint8_t tree = 0;
};
std::optional<IndexBlockSizes> index_block_sizes(std::uint8_t table_block_size,
                                                 std::size_t entry_size, std::size_t key_width);

// Stamps that tie a new X file to its family (section "family stamps" of the format).
struct IndexStamps {
    std::uint8_t primary = 0;  // the .PX 0x2C, 0 when the table has none
    std::uint8_t tree = 0;     // the Y 0x2C
};

// The header of an empty X file for `table` (as read or created), with the block size of
// index_block_sizes(). `file_name` ("Door.XG0") is stored as its table name. Throws
// std::invalid_argument when no block size fits the entries.
TableHeader new_secondary_index_header(const TableHeader& table,
                                       const SecondaryIndexDefinition& definition,
                                       const IndexEntryLayout& layout, const std::string& file_name,
                                       IndexStamps stamps, std::uint32_t created);

// The header of the empty Y tree over the X file `index`, with the block size of
// index_block_sizes().
TableHeader new_secondary_tree_header(const TableHeader& index, const std::string& file_name,
                                      std::uint8_t stamp);

}  // namespace pdx
