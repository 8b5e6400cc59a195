#include "engine/format/table_header.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "engine/format/format_error.h"

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
    const fs::path corpus = VAQ_CORPUS_DIR;
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
