#include "bench/transact_table.h"

#include <array>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/format/data_block.h"
#include "engine/format/field_codec.h"
#include "engine/format/file.h"
#include "engine/format/table_header.h"

namespace vaq::bench {

namespace {

using pdx::FieldType;

struct Column {
    const char* name;
    FieldType type;
    std::uint8_t size;
};

// TransID, TDate, TTime, ControllerID, DoorID, Door, CardID, PersonalID, StaffID, EventID, DT.
constexpr std::array<Column, 11> kColumns = {{
    {"TransID", FieldType::kLong, 4},
    {"TDate", FieldType::kDate, 4},
    {"TTime", FieldType::kTime, 4},
    {"ControllerID", FieldType::kLong, 4},
    {"DoorID", FieldType::kLong, 4},
    {"Door", FieldType::kAlpha, 20},
    {"CardID", FieldType::kAlpha, 10},
    {"PersonalID", FieldType::kLong, 4},
    {"StaffID", FieldType::kAlpha, 20},
    {"EventID", FieldType::kLong, 4},
    {"DT", FieldType::kTimestamp, 8},
}};

constexpr std::uint8_t kBlockSizeCode = 4;  // 4096-byte blocks

pdx::TableHeader transact_header(std::uint32_t records, std::uint16_t blocks) {
    pdx::TableHeader h;
    h.file_type = pdx::FileType::kUnkeyedTable;
    h.file_version = pdx::kVersion70;
    h.block_size_code = kBlockSizeCode;
    h.encryption1 = pdx::kNoLevel3Encryption;
    h.code_page = 1252;
    h.sort_order = 0;
    h.sort_order_id = "ascii";
    h.table_name = "Transact.db";
    h.change_count1 = 2;
    h.family_stamp = 1;
    for (const Column& c : kColumns) {
        pdx::FieldDef f;
        f.descriptor = {c.type, c.size};
        f.name = c.name;
        f.number = static_cast<std::uint16_t>(h.fields.size() + 1);
        h.fields.push_back(f);
    }
    h.hi_field_id = static_cast<std::uint16_t>(h.fields.size() + 1);
    h.record_size = static_cast<std::uint16_t>(h.fields_width());
    h.num_records = records;
    h.file_blocks = h.blocks_in_use = blocks;
    h.first_block = blocks > 0 ? 1 : 0;
    h.last_block = blocks;
    h.header_size = static_cast<std::uint16_t>(h.required_header_size());
    // Constant bytes every BDE-written table carries.
    h.image.assign(pdx::kExtendedHeaderSize, 0);
    h.image[0x3E] = 0x1F;
    h.image[0x3F] = 0x0F;
    h.image[0x56] = 0x20;
    h.image[0x6C] = 0x01;
    h.image[0x6D] = 0x01;
    return h;
}

void put_alpha(std::uint8_t* p, std::size_t width, const std::string& text) {
    pdx::encode_alpha(text, pdx::MutableBytes(p, width));
}

}  // namespace

void fill_transact_record(std::uint8_t* p, std::uint32_t n) {
    const std::int32_t day = 730'000 + static_cast<std::int32_t>(n / 500);  // from 1999 on
    const std::int32_t ms = static_cast<std::int32_t>((n * 7919u) % 86'400u) * 1000;
    pdx::encode_long(static_cast<std::int32_t>(n + 1), p);
    pdx::encode_long(day, p + 4);
    pdx::encode_long(ms, p + 8);
    pdx::encode_long(static_cast<std::int32_t>(n % 16 + 1), p + 12);
    pdx::encode_long(static_cast<std::int32_t>(n % 64 + 1), p + 16);
    put_alpha(p + 20, 20, "Door " + std::to_string(n % 64 + 1));
    char card[16];
    std::snprintf(card, sizeof card, "%010u", 15'000'000u + n % 20'000u);
    put_alpha(p + 40, 10, card);
    pdx::encode_long(static_cast<std::int32_t>(n % 20'000 + 1), p + 50);
    if (n % 5 != 0) put_alpha(p + 54, 20, "S" + std::to_string(n % 20'000 + 1));
    pdx::encode_long(static_cast<std::int32_t>(n % 8), p + 74);
    pdx::encode_double(static_cast<double>(day) * 86'400'000.0 + ms, p + 78);
}

void write_transact_table(const std::filesystem::path& path, std::uint32_t records) {
    std::FILE* create = std::fopen(path.c_str(), "wb");
    if (create == nullptr) throw std::runtime_error("cannot create " + path.string());
    std::fclose(create);
    pdx::File file = pdx::File::open(path, pdx::File::Mode::kReadWrite);

    pdx::TableHeader probe = transact_header(0, 0);
    const std::size_t per_block = probe.records_per_block();
    const std::size_t block_count = (records + per_block - 1) / per_block;
    if (block_count > 0xFFFF) throw std::runtime_error("too many records for one table");
    const auto blocks = static_cast<std::uint16_t>(block_count);
    const pdx::TableHeader header = transact_header(records, blocks);
    file.write_at(0, header.encode());

    const std::size_t block_size = header.block_size();
    const std::size_t record_size = header.record_size;
    std::vector<std::uint8_t> block(block_size);
    std::uint32_t written = 0;
    for (std::uint16_t b = 1; b <= blocks; ++b) {
        std::fill(block.begin(), block.end(), 0);
        const std::size_t count = std::min<std::size_t>(per_block, records - written);
        pdx::DataBlockHeader head;
        head.next_block = b < blocks ? static_cast<std::uint16_t>(b + 1) : 0;
        head.prev_block = static_cast<std::uint16_t>(b - 1);
        head.add_data_size = pdx::DataBlockHeader::add_data_size_for(count, record_size);
        head.encode(block.data());
        for (std::size_t i = 0; i < count; ++i)
            fill_transact_record(block.data() + pdx::record_offset_in_block(i, record_size),
                                 written++);
        file.write_at(header.block_offset(b), block);
    }
}

}  // namespace vaq::bench
