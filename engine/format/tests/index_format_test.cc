// Index files byte by byte: tree entries, the walk of a PX/Y tree from its root and its
// refusal of damaged trees, the names of index files, and what an X header says.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/format/field_codec.h"
#include "engine/format/format_error.h"
#include "engine/format/index_header.h"
#include "engine/format/index_tree.h"
#include "engine/format/tests/scratch_files.h"

namespace pdx {
namespace {

namespace fs = std::filesystem;

struct Entry {
    std::int32_t key;
    std::uint16_t block;
    std::uint16_t count;
};

// A .PX over one Long key with 1 KiB blocks; block n of the file holds blocks[n - 1],
// chained in file order.
class TreeFile {
  public:
    std::vector<std::vector<Entry>> blocks;
    std::uint16_t root = 1;
    std::uint8_t levels = 1;
    FileType type = FileType::kPrimaryIndex;

    TableHeader header() const {
        TableHeader h;
        h.file_type = type;
        h.file_version = kVersion70;
        h.block_size_code = 1;
        FieldDef key;
        key.descriptor = {FieldType::kLong, 4};
        h.fields.push_back(key);
        h.record_size = 10;
        h.table_name = "tree.PX";
        h.index_root = root;
        h.index_levels = levels;
        for (const auto& block : blocks)
            h.num_records += static_cast<std::uint32_t>(block.size());
        h.file_blocks = h.blocks_in_use = h.last_block = static_cast<std::uint16_t>(blocks.size());
        h.first_block = blocks.empty() ? 0 : 1;
        h.header_size = static_cast<std::uint16_t>(h.required_header_size());
        return h;
    }

    std::vector<std::uint8_t> bytes(const TableHeader& h) const {
        std::vector<std::uint8_t> file = h.encode();
        for (std::size_t b = 0; b < blocks.size(); ++b) {
            std::vector<std::uint8_t> block(1024);
            DataBlockHeader head;
            head.next_block = b + 1 < blocks.size() ? static_cast<std::uint16_t>(b + 2) : 0;
            head.prev_block = static_cast<std::uint16_t>(b);
            head.add_data_size = DataBlockHeader::add_data_size_for(blocks[b].size(), 10);
            head.encode(block.data());
            for (std::size_t i = 0; i < blocks[b].size(); ++i) {
                std::uint8_t key[4];
                encode_long(blocks[b][i].key, key);
                TreeEntry{Bytes(key, 4), blocks[b][i].block, blocks[b][i].count}.encode(
                    block.data() + 6 + i * 10);
            }
            file.insert(file.end(), block.begin(), block.end());
        }
        return file;
    }
    std::vector<std::uint8_t> bytes() const { return bytes(header()); }
};

// Two levels with the root in the middle of the chain, as ZIPCODES.PX has it: leaves in
// blocks 1 and 3, root in block 2.
TreeFile two_levels() {
    TreeFile t;
    t.levels = 2;
    t.root = 2;
    t.blocks = {{{1, 1, 10}, {50, 2, 10}}, {{1, 1, 20}, {100, 3, 5}}, {{100, 3, 5}}};
    return t;
}

std::int32_t key_of(const TreeLeaf& leaf) {
    return *decode_long(leaf.key.data());
}

TEST(TreeEntry, BlockAndCountAreStoredLikeShortValues) {
    const std::uint8_t key[2] = {0xAB, 0xCD};
    std::uint8_t bytes[8] = {};
    TreeEntry{Bytes(key, 2), 1, 300}.encode(bytes);
    EXPECT_EQ(std::vector<std::uint8_t>(bytes, bytes + 8),
              (std::vector<std::uint8_t>{0xAB, 0xCD, 0x80, 0x01, 0x81, 0x2C, 0x80, 0x00}));
    // Block numbers above 32767 keep their value through the flipped top bit.
    TreeEntry{Bytes(key, 2), 40000, 0}.encode(bytes);
    const TreeEntry back = TreeEntry::decode(bytes, 2);
    EXPECT_EQ(back.block, 40000);
    EXPECT_EQ(back.count, 0);
    EXPECT_EQ(back.key.data(), bytes);
}

class IndexTreeFile : public ::testing::Test {
  protected:
    std::vector<TreeLeaf> leaves(const std::vector<std::uint8_t>& bytes) {
        testing::write_file(dir_ / "tree.PX", bytes);
        return IndexTree::open(dir_ / "tree.PX").leaves();
    }
    void expect_refused(const std::vector<std::uint8_t>& bytes, const std::string& what) {
        try {
            leaves(bytes);
            ADD_FAILURE() << "no error for a tree that should fail with: " << what;
        } catch (const FormatError& e) {
            EXPECT_NE(std::string(e.what()).find("tree.PX"), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find(what), std::string::npos) << e.what();
        }
    }
    testing::TempDir dir_;
};

TEST_F(IndexTreeFile, LeavesComeFromTheRootDownInKeyOrder) {
    const auto found = leaves(two_levels().bytes());
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(key_of(found[0]), 1);
    EXPECT_EQ(key_of(found[1]), 50);
    EXPECT_EQ(key_of(found[2]), 100);
    EXPECT_EQ(found[1].block, 2);
    EXPECT_EQ(found[1].count, 10);
    EXPECT_EQ(found[2].block, 3);
}

TEST_F(IndexTreeFile, EmptyTreeHasNoLeavesAndMustCountNoEntries) {
    TreeFile empty;
    empty.levels = 0;
    EXPECT_TRUE(leaves(empty.bytes()).empty());
    TableHeader lying = empty.header();
    lying.num_records = 4;
    expect_refused(empty.bytes(lying), "4 entries but gives the tree no level");
}

TEST_F(IndexTreeFile, DamagedTreesAreRefusedWithTheFileNamed) {
    TreeFile t = two_levels();
    t.blocks[1][1].block = 2;  // the root names itself
    expect_refused(t.bytes(), "loops");

    t = two_levels();
    t.blocks[1][1].block = 9;
    expect_refused(t.bytes(), "outside the 3 blocks");

    t = two_levels();
    t.blocks[1][0].count = 21;
    expect_refused(t.bytes(), "counts 21 records but its block 1 counts 20");

    t = two_levels();
    t.blocks[2].clear();
    t.blocks[1][1].count = 0;
    expect_refused(t.bytes(), "block 3 of tree level 1 holds no entries");

    t = two_levels();
    TableHeader h = t.header();
    h.num_records = 6;
    expect_refused(t.bytes(h), "counts 6 entries but its tree holds 5");
    h = t.header();
    h.index_levels = 40;
    expect_refused(t.bytes(h), "tree height 40");
    h.index_levels = 3;  // walks leaves as if they were inner blocks
    expect_refused(t.bytes(h), "damaged");
    h = t.header();
    h.index_root = 0;
    expect_refused(t.bytes(h), "outside");

    auto cut = t.bytes();
    cut.resize(cut.size() - 1024 + 8);  // block 3 holds one entry of 10 bytes
    expect_refused(cut, "ends inside");
}

TEST_F(IndexTreeFile, OnlyTreeFilesAreTrees) {
    TreeFile t = two_levels();
    t.type = FileType::kSecondaryIndexTree;
    EXPECT_EQ(leaves(t.bytes()).size(), 3u);
    TableHeader h = t.header();
    h.file_type = FileType::kUnkeyedTable;
    h.record_size = 4;
    for (std::size_t i = 0; i < h.fields.size(); ++i)
        h.fields[i].name = "Field" + std::to_string(i + 1);
    try {
        leaves(t.bytes(h));
        ADD_FAILURE() << "a table was read as an index tree";
    } catch (const FormatError& e) {
        EXPECT_STREQ(e.what(), "tree.PX is not an index tree (its file type is 2).");
    }
}

TEST(IndexSuffix, NamesOfIndexFilesAreReadInAnyLetterCase) {
    const auto x0c = IndexSuffix::parse(".X0C");
    ASSERT_TRUE(x0c);
    EXPECT_FALSE(x0c->composite);
    EXPECT_EQ(x0c->number, 12u);
    EXPECT_EQ(x0c->tree_extension(), ".Y0C");
    const auto lower = IndexSuffix::parse("x0c");
    ASSERT_TRUE(lower);
    EXPECT_EQ(lower->text, "X0C");
    const auto xg1 = IndexSuffix::parse(".xg1");
    ASSERT_TRUE(xg1);
    EXPECT_TRUE(xg1->composite);
    EXPECT_EQ(xg1->number, 1u);
    EXPECT_EQ(xg1->extension(), ".XG1");
    EXPECT_EQ(xg1->tree_extension(), ".YG1");
    EXPECT_EQ(IndexSuffix::parse(".XG12")->number, 12u);
    for (const char* other : {".X00", ".XZ1", ".X123", ".DB", ".XG", ".XGa", ".Y02", ".PX", ""})
        EXPECT_FALSE(IndexSuffix::parse(other)) << other;
}

// An X header on a table keyed by `key_fields` fields; `indexed` are the field-number
// entries of the indexed fields.
TableHeader x_header(bool maintained, bool composite, std::vector<std::uint16_t> indexed,
                     std::size_t key_fields) {
    TableHeader h;
    h.file_type = composite ? (maintained ? FileType::kCompositeIndexMaintained
                                          : FileType::kCompositeIndexSnapshot)
                            : (maintained ? FileType::kSecondaryIndexMaintained
                                          : FileType::kSecondaryIndexSnapshot);
    h.file_version = kVersion70;
    const auto add = [&](FieldType type, std::uint8_t size, std::uint16_t number) {
        FieldDef f;
        f.descriptor = {type, size};
        f.number = number;
        h.fields.push_back(f);
    };
    for (std::uint16_t n : indexed)
        add(FieldType::kAlpha, 10, n);
    if (maintained) {
        for (std::size_t k = 0; k < key_fields; ++k)
            add(FieldType::kLong, 4, static_cast<std::uint16_t>(h.fields.size() + 1));
        add(FieldType::kShort, 2, static_cast<std::uint16_t>(h.fields.size() + 1));
        h.key_fields = static_cast<std::uint16_t>(indexed.size() + key_fields);
    } else {
        add(FieldType::kLong, 4, static_cast<std::uint16_t>(h.fields.size() + 1));
        add(FieldType::kShort, 2, static_cast<std::uint16_t>(h.fields.size() + 1));
        add(FieldType::kShort, 2, static_cast<std::uint16_t>(h.fields.size() + 1));
        h.key_fields = static_cast<std::uint16_t>(indexed.size() + 2);
    }
    h.index_field_number = static_cast<std::uint8_t>(indexed.front() & 0xFF);
    return h;
}

TEST(SecondaryIndexLayout, MaintainedCompositeIndexWithFlags) {
    TableHeader h = x_header(true, true, {3 | kDescendingField, 2}, 2);
    h.index_field_number = 3;
    h.index_flags = kIndexCaseInsensitive | kIndexUnique;
    h.index_name = "ByName";
    const auto layout = SecondaryIndexLayout::decode(h, 2, "t.XG0");
    EXPECT_TRUE(layout.maintained);
    EXPECT_TRUE(layout.composite);
    EXPECT_TRUE(layout.case_insensitive);
    EXPECT_TRUE(layout.unique);
    EXPECT_FALSE(layout.descending);
    ASSERT_EQ(layout.fields.size(), 2u);
    EXPECT_EQ(layout.fields[0].table_field, 3);
    EXPECT_TRUE(layout.fields[0].descending);
    EXPECT_EQ(layout.fields[1].table_field, 2);
    EXPECT_FALSE(layout.fields[1].descending);
    EXPECT_EQ(layout.key_fields, 4u);
    EXPECT_EQ(layout.stored_name, "ByName");
}

TEST(SecondaryIndexLayout, DescendingFlagWithoutMarkedFieldsTurnsEveryFieldDown) {
    TableHeader h = x_header(true, true, {3, 2}, 1);
    h.index_field_number = 3;
    h.index_flags = kIndexDescending;
    const auto layout = SecondaryIndexLayout::decode(h, 1, "t.XG0");
    EXPECT_TRUE(layout.fields[0].descending);
    EXPECT_TRUE(layout.fields[1].descending);
}

TEST(SecondaryIndexLayout, SnapshotIndexEndsWithItsPointerFields) {
    const auto layout = SecondaryIndexLayout::decode(x_header(false, false, {5}, 0), 0, "t.X05");
    EXPECT_FALSE(layout.maintained);
    ASSERT_EQ(layout.fields.size(), 1u);
    EXPECT_EQ(layout.fields[0].table_field, 5);
    EXPECT_EQ(layout.first_pointer_field(), 1u);
}

TEST(SecondaryIndexLayout, HeadersThatContradictTheLayoutAreRefused) {
    const auto refused = [](const TableHeader& h, std::size_t key, const std::string& what) {
        try {
            SecondaryIndexLayout::decode(h, key, "t.X02");
            ADD_FAILURE() << "accepted; expected: " << what;
        } catch (const FormatError& e) {
            EXPECT_NE(std::string(e.what()).find("t.X02"), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find(what), std::string::npos) << e.what();
        }
    };
    TableHeader h = x_header(true, false, {2}, 1);
    h.key_fields = 3;
    refused(h, 1, "counts 3 key fields instead of 2");
    refused(x_header(true, false, {2}, 1), 2, "leave no room");
    refused(x_header(true, false, {2}, 1), 0, "needs a table with a primary key");
    h = x_header(true, false, {2}, 1);
    h.fields.back().descriptor = {FieldType::kLong, 4};
    refused(h, 1, "should be Blk Num");
    h = x_header(false, false, {2}, 0);
    h.fields[1].descriptor = {FieldType::kShort, 2};
    refused(h, 0, "should be Tup No");
    h = x_header(false, false, {2}, 0);
    h.index_field_number = 7;
    refused(h, 0, "names field 7 first");
    h = x_header(false, false, {2}, 0);
    h.fields[0].number = kDescendingField;
    h.index_field_number = 0;
    refused(h, 0, "indexed field 1 is 0");
    h.file_type = FileType::kSecondaryIndexTree;
    refused(h, 0, "is not a secondary index");
}

}  // namespace
}  // namespace pdx
