#include "engine/format/secondary_index_writer.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "engine/format/data_block.h"
#include "engine/format/field_codec.h"
#include "engine/format/index_tree.h"
#include "engine/format/new_table.h"

namespace pdx {

namespace {

constexpr std::uint8_t kXIndexStamp = 0xFF;
constexpr std::uint8_t kXSmallNumber = 7;

const char* const kBlockNumberName = "Blk Num";
const char* const kTupleNumberName = "Tup No";
const char* const kTupleOffsetName = "Tup Offset";

FieldDef pointer_field(const char* name, FieldType type, std::size_t width) {
    FieldDef def;
    def.descriptor = {type, static_cast<std::uint8_t>(width)};
    def.name = name;
    return def;
}

}  // namespace

namespace {

// Block sizes in KiB from `preferred` down to 1, then up from `preferred` to 32.
std::vector<std::size_t> sizes_from(std::size_t preferred) {
    constexpr std::size_t kMaxBlockSize = 32;
    std::vector<std::size_t> sizes;
    for (std::size_t kib = preferred; kib >= 1; --kib)
        sizes.push_back(kib);
    for (std::size_t kib = preferred + 1; kib <= kMaxBlockSize; ++kib)
        sizes.push_back(kib);
    return sizes;
}

std::size_t block_capacity(std::size_t kib, std::size_t record_size) {
    return (kib * 1024 - DataBlockHeader::kEncodedSize) / record_size;
}

}  // namespace

std::optional<IndexBlockSizes> index_block_sizes(std::uint8_t table_block_size,
                                                 std::size_t entry_size, std::size_t key_width) {
    constexpr std::size_t kMaxTreeCount = 0xFFFF;
    const std::size_t tree_entry = key_width + TreeEntry::kTrailerSize;
    for (std::size_t x : sizes_from(std::max<std::size_t>(table_block_size, 1))) {
        const std::size_t x_capacity = block_capacity(x, entry_size);
        if (x_capacity < 2) continue;
        for (std::size_t y : sizes_from(x)) {
            const std::size_t y_capacity = block_capacity(y, tree_entry);
            if (y_capacity >= 3 && y_capacity * x_capacity <= kMaxTreeCount)
                return IndexBlockSizes{static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y)};
        }
    }
    return std::nullopt;
}

IndexSuffix SecondaryIndexDefinition::suffix() const {
    IndexSuffix s;
    s.composite = composite;
    if (composite) {
        s.number = number;
        s.text = "XG" + std::to_string(number);
    } else {
        s.number = fields.at(0).table_field;
        static const char kHex[] = "0123456789ABCDEF";
        s.text = std::string("X") + kHex[(s.number >> 4) & 0xF] + kHex[s.number & 0xF];
    }
    return s;
}

bool SecondaryIndexDefinition::descending() const {
    return std::any_of(fields.begin(), fields.end(),
                       [](const IndexedField& f) { return f.descending; });
}

std::uint8_t SecondaryIndexDefinition::flags() const {
    std::uint8_t flags = 0;
    if (case_insensitive) flags |= kIndexCaseInsensitive;
    if (descending()) flags |= kIndexDescending;
    return flags;
}

IndexEntryLayout::IndexEntryLayout(const TableHeader& table,
                                   const SecondaryIndexDefinition& definition)
    : maintained_(definition.maintained), table_record_size_(table.record_size) {
    if (definition.fields.empty()) throw std::invalid_argument("an index needs a field");
    std::vector<std::size_t> offsets;
    std::size_t at = 0;
    for (const FieldDef& f : table.fields) {
        offsets.push_back(at);
        at += f.descriptor.width();
    }
    auto add = [&](FieldDef def, std::size_t from, bool copied, bool in_key, bool descending) {
        const std::size_t width = def.descriptor.width();
        if (copied) copies_.push_back({from, record_size_, width});
        if (copied && definition.case_insensitive && fields_.size() < definition.fields.size() &&
            def.descriptor.type == FieldType::kAlpha)
            upper_case_.push_back({from, record_size_, width});
        if (in_key) {
            key_parts_.push_back({record_size_, def.descriptor, descending});
            key_width_ += width;
        }
        record_size_ += width;
        fields_.push_back(std::move(def));
    };
    for (const IndexedField& indexed : definition.fields) {
        if (indexed.table_field == 0 || indexed.table_field > table.fields.size())
            throw std::invalid_argument("an index field is not a field of the table");
        const std::size_t i = indexed.table_field - 1;
        FieldDef def;
        def.descriptor = table.fields[i].descriptor;
        def.name = table.fields[i].name;
        def.number = static_cast<std::uint16_t>(indexed.table_field |
                                                (indexed.descending ? kDescendingField : 0));
        add(std::move(def), offsets[i], true, true, indexed.descending);
    }
    indexed_fields_ = fields_.size();
    indexed_width_ = record_size_;
    if (maintained_) {
        if (table.key_fields == 0)
            throw std::invalid_argument("a maintained index needs a table with a primary key");
        for (std::size_t k = 0; k < table.key_fields; ++k) {
            FieldDef def;
            def.descriptor = table.fields[k].descriptor;
            def.name = table.fields[k].name;
            add(std::move(def), offsets[k], true, true, false);
        }
        pointer_offset_ = record_size_;
        add(pointer_field(kBlockNumberName, FieldType::kShort, 2), 0, false, false, false);
    } else {
        pointer_offset_ = record_size_;
        add(pointer_field(kTupleNumberName, FieldType::kLong, 4), 0, false, true, false);
        add(pointer_field(kBlockNumberName, FieldType::kShort, 2), 0, false, true, false);
        add(pointer_field(kTupleOffsetName, FieldType::kShort, 2), 0, false, false, false);
    }
    // Fields after the indexed ones carry their own position in the X record.
    for (std::size_t i = indexed_fields_; i < fields_.size(); ++i)
        fields_[i].number = static_cast<std::uint16_t>(i + 1);
}

std::vector<EntryKeyPart> IndexEntryLayout::indexed_parts() const {
    return {key_parts_.begin(), key_parts_.begin() + static_cast<std::ptrdiff_t>(indexed_fields_)};
}

void IndexEntryLayout::make_entry(Bytes record, EntryTarget at, std::uint8_t* out) const {
    for (const Copy& c : copies_)
        std::memcpy(out + c.to, record.data() + c.from, c.width);
    for (const Copy& c : upper_case_)
        for (std::size_t i = 0; i < c.width && out[c.to + i] != 0; ++i)
            if (out[c.to + i] >= 'a' && out[c.to + i] <= 'z')
                out[c.to + i] = static_cast<std::uint8_t>(out[c.to + i] - 'a' + 'A');
    if (maintained_) {
        encode_short(static_cast<std::int16_t>(at.block), out + pointer_offset_);
        return;
    }
    encode_long(static_cast<std::int32_t>(at.tuple), out + pointer_offset_);
    encode_short(static_cast<std::int16_t>(at.block), out + pointer_offset_ + 4);
    encode_short(static_cast<std::int16_t>(at.slot * table_record_size_),
                 out + pointer_offset_ + 6);
}

std::vector<std::uint8_t> IndexEntryLayout::make_entry(Bytes record, EntryTarget at) const {
    std::vector<std::uint8_t> entry(record_size_);
    make_entry(record, at, entry.data());
    return entry;
}

TableHeader new_secondary_index_header(const TableHeader& table,
                                       const SecondaryIndexDefinition& definition,
                                       const IndexEntryLayout& layout, const std::string& file_name,
                                       IndexStamps stamps, std::uint32_t created) {
    TableHeader h;
    if (definition.composite)
        h.file_type = definition.maintained ? FileType::kCompositeIndexMaintained
                                            : FileType::kCompositeIndexSnapshot;
    else
        h.file_type = definition.maintained ? FileType::kSecondaryIndexMaintained
                                            : FileType::kSecondaryIndexSnapshot;
    h.file_version = table.file_version;
    const auto sizes =
        index_block_sizes(table.block_size_code, layout.record_size(), layout.key_width());
    if (!sizes) throw std::invalid_argument("no block size holds the entries of the index");
    h.block_size_code = sizes->index;
    h.fields = layout.fields();
    h.record_size = static_cast<std::uint16_t>(layout.record_size());
    h.key_fields = static_cast<std::uint16_t>(layout.key_fields());
    h.index_field_number = static_cast<std::uint8_t>(definition.fields.front().table_field);
    h.sort_order = table.sort_order;
    h.index_stamp = kXIndexStamp;
    h.change_count1 = stamps.tree;
    h.family_stamp = table.family_stamp;
    h.index_sync_stamp = stamps.primary;
    h.auto_inc = table.auto_inc;
    h.index_flags = definition.flags();
    h.table_name = file_name;
    if (definition.composite) h.index_name = definition.stored_name;

    start_new_header_image(h, kXSmallNumber);
    if (h.has_extension()) {
        h.update_time = created;
        h.code_page = table.code_page;
        h.sort_order_id = table.sort_order_id;
        std::uint16_t highest = static_cast<std::uint16_t>(h.fields.size());
        for (const FieldDef& f : h.fields)
            highest = std::max<std::uint16_t>(highest, f.number & ~kDescendingField);
        h.hi_field_id = static_cast<std::uint16_t>(highest + 1);
    } else {
        for (FieldDef& f : h.fields)
            f.number = 0;
    }
    clear_block_counts(h);
    h.header_size = static_cast<std::uint16_t>(h.required_header_size());
    return h;
}

TableHeader new_secondary_tree_header(const TableHeader& index, const std::string& file_name,
                                      std::uint8_t stamp) {
    TableHeader h = new_primary_index_header(index, file_name);
    const bool composite = index.file_type == FileType::kCompositeIndexMaintained ||
                           index.file_type == FileType::kCompositeIndexSnapshot;
    h.file_type = composite ? FileType::kCompositeIndexTree : FileType::kSecondaryIndexTree;
    h.index_stamp = stamp;
    const auto sizes =
        index_block_sizes(index.block_size_code, index.record_size, h.fields_width());
    if (sizes) h.block_size_code = sizes->tree;
    h.header_size = static_cast<std::uint16_t>(h.required_header_size());
    return h;
}

}  // namespace pdx
