#include "engine/format/table_header.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "engine/format/format_error.h"
#include "test_support/corpus.h"

namespace pdx {
namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> read_all(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool is_paradox_family_file(const fs::path& path) {
    std::string ext = path.extension().string();
    for (char& c : ext)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return ext == ".DB" || ext == ".PX" || (ext.size() == 4 && (ext[1] == 'X' || ext[1] == 'Y'));
}

// Every header of the corpus decodes, and encoding it again gives back the same bytes.
TEST(TableHeaderCorpus, EveryHeaderDecodesAndEncodesBackByteForByte) {
    const fs::path corpus = vaq::test_support::corpus_folder();
    if (!fs::is_directory(corpus)) GTEST_SKIP() << "corpus folder absent: " << corpus;
    int files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(corpus)) {
        if (!entry.is_regular_file() || !is_paradox_family_file(entry.path())) continue;
        SCOPED_TRACE(entry.path().string());
        const auto bytes = read_all(entry.path());
        TableHeader header;
        ASSERT_NO_THROW(header = TableHeader::decode(bytes, entry.path().filename().string()));
        const auto encoded = header.encode();
        ASSERT_EQ(encoded.size(), header.header_size);
        const std::vector<std::uint8_t> original(bytes.begin(), bytes.begin() + header.header_size);
        if (encoded != original) {
            std::size_t i = 0;
            while (encoded[i] == original[i])
                ++i;
            ADD_FAILURE() << "first difference at 0x" << std::hex << i << ": " << int(encoded[i])
                          << " instead of " << int(original[i]);
        }
        ++files;
    }
    EXPECT_GT(files, 100);
}

}  // namespace
}  // namespace pdx

namespace pdx {
namespace {

TableHeader small_header(std::uint8_t version, FileType type) {
    TableHeader h;
    h.file_type = type;
    h.file_version = version;
    h.block_size_code = 1;
    h.table_name = "small.db";
    h.sort_order_id = "ascii";
    h.fields = {{{FieldType::kAlpha, 10}, "Name", 1, 0}, {{FieldType::kShort, 2}, "Count", 2, 0}};
    h.record_size = 12;
    h.header_size = static_cast<std::uint16_t>(h.required_header_size());
    return h;
}

TEST(TableHeader, Level30HeadersAreExactlyAsLongAsTheirContent) {
    TableHeader h = small_header(kVersion30, FileType::kUnkeyedTable);
    // 0x58 + 6 per field + 4 + 79 + names with their NULs.
    EXPECT_EQ(h.header_size, 0x58 + 12 + 4 + 79 + 5 + 6);
    const auto bytes = h.encode();
    const TableHeader back = TableHeader::decode(bytes, "small.db");
    EXPECT_EQ(back.fields[0].name, "Name");
    EXPECT_EQ(back.fields[1].descriptor, (FieldDescriptor{FieldType::kShort, 2}));
    EXPECT_EQ(back.fields[1].number, 0);  // level 3 has no field-number array
    EXPECT_EQ(back.encode(), bytes);
}

TEST(TableHeader, Level7HeadersArePaddedAndPlaceTheirArraysByOffset) {
    TableHeader h = small_header(kVersion70, FileType::kUnkeyedTable);
    EXPECT_EQ(h.header_size, 2048);
    const auto bytes = h.encode();
    const std::size_t numbers_at = 0x58 + load_u16le(bytes.data() + 0x66);
    EXPECT_EQ(numbers_at, 0x78 + 12 + 4 + 261 + 11);
    EXPECT_EQ(load_u16le(bytes.data() + numbers_at + 2), 2);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data()) + 0x58 +
                          load_u16le(bytes.data() + 0x6E)),
              "ascii");
    EXPECT_EQ(load_u16le(bytes.data() + 0x51), numbers_at + 4 + 6);
    EXPECT_EQ(TableHeader::decode(bytes, "small.db").encode(), bytes);
}

TEST(TableHeader, CompositeIndexKeepsItsName) {
    TableHeader h = small_header(kVersion50, FileType::kCompositeIndexMaintained);
    h.index_name = "ByName";
    h.header_size = static_cast<std::uint16_t>(h.required_header_size());
    const TableHeader back = TableHeader::decode(h.encode(), "small.XG0");
    EXPECT_EQ(back.index_name, "ByName");
    EXPECT_EQ(back.sort_order_id, "ascii");
}

TEST(TableHeader, RefusesHeadersItCannotRead) {
    auto bytes = small_header(kVersion70, FileType::kUnkeyedTable).encode();
    auto expect_error = [&](std::vector<std::uint8_t> damaged, const char* what) {
        try {
            TableHeader::decode(damaged, "bad.db");
            ADD_FAILURE() << "no error for " << what;
        } catch (const FormatError& e) {
            EXPECT_NE(std::string(e.what()).find("bad.db"), std::string::npos);
            EXPECT_NE(std::string(e.what()).find(what), std::string::npos) << e.what();
        }
    };
    auto no_nul = bytes;
    std::fill(no_nul.begin() + 0x78 + 12 + 4 + 8 + 261, no_nul.end(), 'x');
    expect_error(no_nul, "not terminated");
    auto many_fields = bytes;
    store_u16le(many_fields.data() + 0x21, 5000);
    expect_error(many_fields, "5000 fields");
    auto numbers_early = bytes;
    store_u16le(numbers_early.data() + 0x66, 0x20);
    expect_error(numbers_early, "overlaps");
    auto bcd_decimals = bytes;
    bcd_decimals[0x7A] = 0x17;
    bcd_decimals[0x7B] = 40;
    expect_error(bcd_decimals, "40 decimals");
    expect_error(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 0x40), "too short");
}

}  // namespace
}  // namespace pdx
