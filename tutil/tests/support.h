#pragma once

// Helpers of the table-utility tests: byte patches of table files and a small table written
// byte by byte; the temporary folder and the copies of corpus tables are the engine's.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/format/coding.h"
#include "engine/table/tests/test_support.h"

namespace vaq::tutil::testing {

namespace fs = std::filesystem;

using pdx::testing::copy_corpus_table;
using pdx::testing::corpus_dir;
using pdx::testing::read_file;
using pdx::testing::TempDir;
using pdx::testing::write_file;

// Reads and rewrites a file around `change`.
template <typename Change>
void patch(const fs::path& path, Change change) {
    std::vector<std::uint8_t> bytes = read_file(path);
    change(bytes);
    write_file(path, bytes);
}

inline std::uint16_t u16_at(const std::vector<std::uint8_t>& b, std::size_t at) {
    return pdx::load_u16le(b.data() + at);
}
inline void set_u16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v) {
    pdx::store_u16le(b.data() + at, v);
}
inline void set_u32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    pdx::store_u32le(b.data() + at, v);
}

// Layout of a data file, read from its header bytes.
struct FileGeometry {
    std::size_t header_size = 0;
    std::size_t block_size = 0;
    std::size_t record_size = 0;

    explicit FileGeometry(const std::vector<std::uint8_t>& b)
        : header_size(u16_at(b, 2)),
          block_size(b[5] * std::size_t{1024}),
          record_size(u16_at(b, 0)) {}
    std::size_t block(std::uint32_t n) const { return header_size + (n - 1) * block_size; }
    std::size_t record(std::uint32_t n, std::size_t slot) const {
        return block(n) + 6 + slot * record_size;
    }
};

}  // namespace vaq::tutil::testing

#include "engine/format/data_block.h"
#include "engine/format/field_codec.h"
#include "engine/format/table_header.h"

namespace vaq::tutil::testing {

// An unkeyed level-7 table "Name A10, Flag L, Count I" of `records` records in 1 KiB blocks
// filled to capacity, chained 1, 2, 3 ... Record n holds "name<n>", n odd, n.
inline void write_small_table(const fs::path& path, std::uint32_t records) {
    pdx::TableHeader h;
    h.file_type = pdx::FileType::kUnkeyedTable;
    h.file_version = pdx::kVersion70;
    h.block_size_code = 1;
    h.encryption1 = pdx::kNoLevel3Encryption;
    h.code_page = 1252;
    h.sort_order_id = "ascii";
    h.table_name = path.filename().string();
    h.change_count1 = 2;
    h.family_stamp = 1;
    const std::pair<const char*, pdx::FieldDescriptor> fields[] = {
        {"Name", {pdx::FieldType::kAlpha, 10}},
        {"Flag", {pdx::FieldType::kLogical, 1}},
        {"Count", {pdx::FieldType::kLong, 4}}};
    for (const auto& [name, descriptor] : fields) {
        pdx::FieldDef f;
        f.name = name;
        f.descriptor = descriptor;
        f.number = static_cast<std::uint16_t>(h.fields.size() + 1);
        h.fields.push_back(f);
    }
    h.hi_field_id = static_cast<std::uint16_t>(h.fields.size() + 1);
    h.record_size = static_cast<std::uint16_t>(h.fields_width());
    const std::size_t per_block = h.records_per_block();
    const auto blocks = static_cast<std::uint16_t>((records + per_block - 1) / per_block);
    h.num_records = records;
    h.file_blocks = h.blocks_in_use = blocks;
    h.first_block = blocks > 0 ? 1 : 0;
    h.last_block = blocks;
    h.header_size = static_cast<std::uint16_t>(h.required_header_size());
    h.image.assign(pdx::kExtendedHeaderSize, 0);
    h.image[0x3E] = 0x1F;
    h.image[0x3F] = 0x0F;
    h.image[0x56] = 0x20;

    std::vector<std::uint8_t> file = h.encode();
    std::uint32_t n = 0;
    for (std::uint16_t b = 1; b <= blocks; ++b) {
        std::vector<std::uint8_t> block(h.block_size(), 0);
        const std::size_t count = std::min<std::size_t>(per_block, records - n);
        pdx::DataBlockHeader head{static_cast<std::uint16_t>(b < blocks ? b + 1 : 0),
                                  static_cast<std::uint16_t>(b - 1),
                                  pdx::DataBlockHeader::add_data_size_for(count, h.record_size)};
        head.encode(block.data());
        for (std::size_t i = 0; i < count; ++i, ++n) {
            std::uint8_t* p = block.data() + pdx::record_offset_in_block(i, h.record_size);
            pdx::encode_alpha("name" + std::to_string(n + 1), pdx::MutableBytes(p, 10));
            p[10] = pdx::encode_logical((n + 1) % 2 == 1);
            pdx::encode_long(static_cast<std::int32_t>(n + 1), p + 11);
        }
        file.insert(file.end(), block.begin(), block.end());
    }
    write_file(path, file);
}

}  // namespace vaq::tutil::testing
