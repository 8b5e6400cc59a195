#pragma once

// Small tables built byte by byte for tests, a temporary folder to put them in, and copies
// of the corpus tables (copied at test time; the corpus itself is never written).

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "engine/format/data_block.h"
#include "engine/format/field_codec.h"
#include "engine/format/table_header.h"
#include "engine/format/tests/scratch_files.h"
#include "engine/table/table_family.h"
#include "test_support/corpus.h"

namespace pdx::testing {

namespace fs = std::filesystem;

inline fs::path corpus_dir() {
    return vaq::test_support::corpus_folder();
}

inline bool have_corpus() {
    return fs::is_directory(corpus_dir());
}

#define SKIP_WITHOUT_CORPUS()                                                    \
    if (!::pdx::testing::have_corpus())                                          \
    GTEST_SKIP() << "The Paradox corpus folder " << ::pdx::testing::corpus_dir() \
                 << " is absent; these tests need it."

// Copies the family of a corpus table (`relative` names its .DB) into `into`; returns the
// copy of the .DB. The copies are writable.
inline fs::path copy_corpus_table(const std::string& relative, const fs::path& into) {
    const fs::path source = corpus_dir() / relative;
    for (const fs::path& f : family_files(source)) {
        const fs::path target = into / f.filename();
        fs::copy_file(f, target, fs::copy_options::overwrite_existing);
        fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write);
    }
    return into / source.filename();
}

// An unkeyed level-7 table (or another level) whose blocks are chained 1, 2, 3 ... and
// filled to capacity, unless a test changes the bytes afterwards.
class TableBuilder {
  public:
    TableBuilder(std::vector<std::pair<std::string, FieldDescriptor>> fields,
                 std::uint8_t block_size_code = 1) {
        h_.file_type = FileType::kUnkeyedTable;
        h_.file_version = kVersion70;
        h_.block_size_code = block_size_code;
        h_.encryption1 = kNoLevel3Encryption;
        h_.code_page = 1252;
        h_.sort_order_id = "ascii";
        h_.table_name = "test.db";
        for (auto& [name, descriptor] : fields) {
            FieldDef f;
            f.name = name;
            f.descriptor = descriptor;
            f.number = static_cast<std::uint16_t>(h_.fields.size() + 1);
            h_.fields.push_back(f);
        }
        h_.hi_field_id = static_cast<std::uint16_t>(h_.fields.size() + 1);
        h_.record_size = static_cast<std::uint16_t>(h_.fields_width());
    }

    TableHeader& header() { return h_; }
    std::size_t offset(std::size_t field) const {
        std::size_t at = 0;
        for (std::size_t i = 0; i < field; ++i)
            at += h_.fields[i].descriptor.width();
        return at;
    }

    // A record of NULLs to fill with the setters below and add().
    std::vector<std::uint8_t> record() const {
        return std::vector<std::uint8_t>(h_.record_size, 0);
    }
    void set_long(std::vector<std::uint8_t>& r, std::size_t field, std::int32_t v) const {
        encode_long(v, r.data() + offset(field));
    }
    void set_short(std::vector<std::uint8_t>& r, std::size_t field, std::int16_t v) const {
        encode_short(v, r.data() + offset(field));
    }
    void set_double(std::vector<std::uint8_t>& r, std::size_t field, double v) const {
        encode_double(v, r.data() + offset(field));
    }
    void set_alpha(std::vector<std::uint8_t>& r, std::size_t field, const std::string& text) const {
        encode_alpha(text,
                     MutableBytes(r.data() + offset(field), h_.fields[field].descriptor.width()));
    }
    void add(std::vector<std::uint8_t> record) { records_.push_back(std::move(record)); }

    std::vector<std::uint8_t> build() const {
        TableHeader h = h_;
        const std::size_t per_block = h.records_per_block();
        const std::size_t blocks = (records_.size() + per_block - 1) / per_block;
        h.num_records = static_cast<std::uint32_t>(records_.size());
        h.file_blocks = h.blocks_in_use = static_cast<std::uint16_t>(blocks);
        h.first_block = blocks ? 1 : 0;
        h.last_block = static_cast<std::uint16_t>(blocks);
        h.header_size = static_cast<std::uint16_t>(h.required_header_size());
        std::vector<std::uint8_t> file = h.encode();
        for (std::size_t b = 0; b < blocks; ++b) {
            std::vector<std::uint8_t> block(h.block_size(), 0);
            const std::size_t first = b * per_block;
            const std::size_t count = std::min(per_block, records_.size() - first);
            DataBlockHeader head;
            head.next_block = b + 1 < blocks ? static_cast<std::uint16_t>(b + 2) : 0;
            head.prev_block = static_cast<std::uint16_t>(b);
            head.add_data_size = DataBlockHeader::add_data_size_for(count, h.record_size);
            head.encode(block.data());
            for (std::size_t i = 0; i < count; ++i)
                std::copy(records_[first + i].begin(), records_[first + i].end(),
                          block.begin() + static_cast<std::ptrdiff_t>(
                                              record_offset_in_block(i, h.record_size)));
            file.insert(file.end(), block.begin(), block.end());
        }
        return file;
    }

  private:
    TableHeader h_;
    std::vector<std::vector<std::uint8_t>> records_;
};

}  // namespace pdx::testing
