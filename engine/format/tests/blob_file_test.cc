#include "engine/format/blob_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "engine/format/crypt.h"
#include "engine/format/format_error.h"
#include "engine/format/tests/scratch_files.h"
#include "test_support/corpus.h"

namespace pdx {
namespace {

namespace fs = std::filesystem;

class BlobFileTest : public ::testing::Test {
  protected:
    // Header, a block of small values with "hello, world" in slot 63 at 0x1000, and a
    // single value of 5000 bytes at 0x2000.
    std::vector<std::uint8_t> sample_file() {
        std::vector<std::uint8_t> file = BlobFileHeader{2, {}}.encode();
        std::vector<std::uint8_t> small(kBlobUnit, 0);
        BlobBlockHead{3, 1}.encode(small.data());
        const std::string text = "hello, world";
        BlobSlot{21, 1, 1, static_cast<std::uint8_t>(text.size())}.encode(
            small.data() + BlobSlot::kTableOffset + 63 * BlobSlot::kEncodedSize);
        std::copy(text.begin(), text.end(), small.begin() + BlobSlot::kDataStart);
        file.insert(file.end(), small.begin(), small.end());

        std::vector<std::uint8_t> single(2 * kBlobUnit, 0);
        SingleBlobHead{2, 5000, 2}.encode(single.data());
        for (std::size_t i = 0; i < 5000; ++i)
            single[9 + i] = static_cast<std::uint8_t>(i * 7);
        file.insert(file.end(), single.begin(), single.end());
        return file;
    }

    fs::path write(const std::vector<std::uint8_t>& bytes) {
        const fs::path path = dir_ / "sample.mb";
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    void expect_sample_values(const BlobFile& mb) {
        const auto small = mb.read({0x1000, 63, 12, 1});
        EXPECT_EQ(std::string(small.begin(), small.end()), "hello, world");
        const auto big = mb.read({0x2000, BlobPointer::kWholeBlock, 5000, 2});
        ASSERT_EQ(big.size(), 5000u);
        for (std::size_t i = 0; i < big.size(); ++i)
            ASSERT_EQ(big[i], static_cast<std::uint8_t>(i * 7));
    }

    testing::TempDir dir_;
};

TEST_F(BlobFileTest, ReadsSmallAndSingleValues) {
    expect_sample_values(BlobFile::open(write(sample_file()), 0));
}

TEST_F(BlobFileTest, ReadsAnEncryptedFileWithTheTablesKey) {
    auto bytes = sample_file();
    const std::uint32_t key = 0x0A25E09A;
    encrypt_blob_bytes(bytes, key);
    EXPECT_NE(bytes[0x1000], 3);
    expect_sample_values(BlobFile::open(write(bytes), key));
}

TEST_F(BlobFileTest, PointersThatDoNotFitTheFileAreErrors) {
    const BlobFile mb = BlobFile::open(write(sample_file()), 0);
    auto expect_error = [&](BlobPointer p, const char* what) {
        try {
            mb.read(p);
            ADD_FAILURE() << "no error for " << what;
        } catch (const FormatError& e) {
            EXPECT_NE(std::string(e.what()).find("sample.mb is damaged"), std::string::npos)
                << e.what();
            EXPECT_NE(std::string(e.what()).find(what), std::string::npos) << e.what();
        }
    };
    expect_error({0x0000, 63, 12, 1}, "does not point at a block");
    expect_error({0x1010, 63, 12, 1}, "does not point at a block");
    expect_error({0x9000, 63, 12, 1}, "past the end");
    expect_error({0x1000, 62, 12, 1}, "unused slot");
    expect_error({0x1000, 64, 12, 1}, "slot 64");
    expect_error({0x1000, 63, 13, 1}, "12 bytes long");
    expect_error({0x2000, 63, 12, 1}, "type 2");
    expect_error({0x2000, 0xFF, 4999, 2}, "5000 bytes long");
    expect_error({0x1000, 0xFF, 12, 1}, "type 3");
}

TEST(Crypt, DecryptUndoesEncrypt) {
    std::mt19937 random(1);
    std::vector<std::uint8_t> block(4096);
    for (auto& b : block)
        b = static_cast<std::uint8_t>(random());
    const auto plain = block;
    encrypt_table_block(block, 0x12345678, 7);
    EXPECT_NE(block, plain);
    auto wrong_block = block;
    decrypt_table_block(wrong_block, 0x12345678, 8);
    EXPECT_NE(wrong_block, plain);
    decrypt_table_block(block, 0x12345678, 7);
    EXPECT_EQ(block, plain);
}

TEST(Crypt, UnlocksARealEncryptedTableWithoutItsPassword) {
    const fs::path table =
        vaq::test_support::corpus_folder() / "paradoxdriver/encrypt/encrypted35.db";
    if (!fs::exists(table))
        GTEST_SKIP() << "corpus folder absent: " << vaq::test_support::corpus_folder();
    std::ifstream in(table, std::ios::binary);
    std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                    std::istreambuf_iterator<char>()};
    std::vector<std::uint8_t> block(bytes.begin() + 2048, bytes.begin() + 4096);
    decrypt_table_block(block, load_u32le(bytes.data() + 0x25), 1);
    // Record 1: N8 = 1, A30 = "Test 1".
    const std::string text(block.begin() + 6 + 8, block.begin() + 6 + 8 + 6);
    EXPECT_EQ(text, "Test 1");
}

}  // namespace
}  // namespace pdx
