#include "engine/format/new_table.h"

#include <stdexcept>

#include "engine/format/header_counters.h"

namespace pdx {

namespace {

constexpr std::size_t kUnknownSmallNumber = 0x12;
constexpr std::size_t kIndexWorkspace = 0x16;
constexpr std::size_t kUnknown3E = 0x3E;
constexpr std::size_t kUnknown49 = 0x49;
constexpr std::size_t kUnknown56 = 0x56;
constexpr std::size_t kUnknown6C = 0x6C;
constexpr std::size_t kChangeCount4 = 0x70;

}  // namespace

std::uint8_t file_version_of_level(int level) {
    switch (level) {
        case 3:
            return kVersion35;
        case 4:
            return kVersion40;
        case 5:
            return kVersion50;
        case 7:
            return kVersion70;
        default:
            throw std::invalid_argument("table level " + std::to_string(level) +
                                        " is not 3, 4, 5 or 7");
    }
}

TableHeader new_table_header(const NewTableLayout& layout) {
    TableHeader h;
    h.file_type = layout.key_fields > 0 ? FileType::kKeyedTable : FileType::kUnkeyedTable;
    h.file_version = layout.file_version;
    h.block_size_code = static_cast<std::uint8_t>(layout.block_size / 1024);
    h.key_fields = static_cast<std::uint16_t>(layout.key_fields);
    h.sort_order = layout.sort_order;
    h.change_count1 = kFreshChangeCount;
    h.family_stamp = kFreshFamilyStamp;
    h.table_name = layout.file_name;
    for (const NewTableLayout::Field& f : layout.fields) {
        FieldDef def;
        def.descriptor = f.descriptor;
        def.name = f.stored_name;
        h.fields.push_back(def);
    }
    h.record_size = static_cast<std::uint16_t>(h.fields_width());

    start_new_header_image(h, 6);
    // The BDE leaves a pointer to its index workspace here in keyed tables and 0 otherwise.
    if (layout.key_fields > 0) h.image[kIndexWorkspace] = 1;
    if (h.has_extension()) {
        h.image[kChangeCount4] = 1;
        h.update_time = layout.created;
        h.code_page = layout.code_page;
        h.sort_order_id = layout.sort_order_id;
        for (std::size_t i = 0; i < h.fields.size(); ++i)
            h.fields[i].number = static_cast<std::uint16_t>(i + 1);
        h.hi_field_id = static_cast<std::uint16_t>(h.fields.size() + 1);
    }
    h.header_size = static_cast<std::uint16_t>(h.required_header_size());
    return h;
}

TableHeader new_primary_index_header(const TableHeader& table, const std::string& file_name) {
    TableHeader h;
    h.file_type = FileType::kPrimaryIndex;
    h.file_version = table.file_version;
    h.block_size_code = table.block_size_code;
    h.sort_order = table.sort_order;
    h.index_stamp = table.change_count1;
    h.table_name = file_name;
    for (std::size_t i = 0; i < table.key_fields; ++i) {
        FieldDef def;
        def.descriptor = table.fields[i].descriptor;
        h.fields.push_back(def);
    }
    h.record_size = static_cast<std::uint16_t>(h.fields_width() + 6);
    h.image.assign(kFixedHeaderSize, 0);
    h.image[kUnknownSmallNumber] = 5;
    h.image[kUnknown49] = 2;
    clear_block_counts(h);
    h.header_size = static_cast<std::uint16_t>(h.required_header_size());
    return h;
}

void start_new_header_image(TableHeader& header, std::uint8_t small_number) {
    header.image.assign(kExtendedHeaderSize, 0);
    header.image[kUnknownSmallNumber] = small_number;
    header.image[kUnknown3E] = 0x1F;
    header.image[kUnknown3E + 1] = 0x0F;
    if (!header.has_extension()) {
        header.image.resize(kFixedHeaderSize);
        return;
    }
    header.encryption1 = kNoLevel3Encryption;
    header.image[kUnknown56] = 0x20;
    header.image[kUnknown6C] = 0x01;
    header.image[kUnknown6C + 1] = 0x01;
}

void clear_block_counts(TableHeader& header) {
    header.num_records = 0;
    header.blocks_in_use = 0;
    set_file_blocks(header, 0);
    header.first_block = 0;
    header.last_block = 0;
    header.first_free_block = 0;
    if (is_index_tree_file(header.file_type)) {
        header.index_root = 1;
        header.index_levels = 0;
    }
}

void set_tree_counts(TableHeader& header, std::uint32_t entries, std::uint16_t used, int levels) {
    header.num_records = entries;
    header.blocks_in_use = used;
    set_file_blocks(header, used);
    header.first_block = used > 0 ? 1 : 0;
    header.last_block = used;
    header.index_levels = static_cast<std::uint8_t>(levels);
    if (used == 0) header.index_root = 1;
}

}  // namespace pdx
