// X and Y headers and X entries as we write them, against every secondary index of the
// corpus: the header we lay out for the same index over the same table must say what the
// BDE's says, and the entries we make from the table's records must be the BDE's entries.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/format/block_file.h"
#include "engine/format/index_header.h"
#include "engine/format/index_records.h"
#include "engine/format/secondary_index_writer.h"
#include "test_support/corpus.h"

namespace pdx {
namespace {

namespace fs = std::filesystem;

const fs::path kCorpus = vaq::test_support::corpus_folder();

std::optional<fs::path> member(const fs::path& x_file, const char* extension) {
    for (const auto& entry : fs::directory_iterator(x_file.parent_path())) {
        std::string stem = entry.path().stem().string();
        std::string ext = entry.path().extension().string();
        std::string want_stem = x_file.stem().string();
        auto lower = [](std::string s) {
            for (char& c : s)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            return s;
        };
        if (lower(stem) == lower(want_stem) && lower(ext) == lower(extension)) return entry.path();
    }
    return std::nullopt;
}

struct CorpusIndex {
    fs::path x;
    fs::path y;
    fs::path table;
    std::optional<fs::path> primary;
};

std::vector<CorpusIndex> corpus_indexes() {
    std::vector<CorpusIndex> found;
    for (const auto& entry : fs::recursive_directory_iterator(kCorpus)) {
        if (!IndexSuffix::parse(entry.path().extension().string())) continue;
        CorpusIndex index;
        index.x = entry.path();
        index.y = *member(
            entry.path(),
            IndexSuffix::parse(entry.path().extension().string())->tree_extension().c_str());
        index.table = *member(entry.path(), ".db");
        index.primary = member(entry.path(), ".px");
        found.push_back(index);
    }
    std::sort(found.begin(), found.end(),
              [](const CorpusIndex& a, const CorpusIndex& b) { return a.x < b.x; });
    return found;
}

SecondaryIndexDefinition definition_of(const SecondaryIndexLayout& layout, const IndexSuffix& s) {
    SecondaryIndexDefinition d;
    d.fields = layout.fields;
    d.maintained = layout.maintained;
    d.composite = layout.composite;
    d.case_insensitive = layout.case_insensitive;
    d.stored_name = layout.stored_name;
    d.number = s.composite ? s.number : 0;
    return d;
}

class CorpusIndexes : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!fs::exists(kCorpus)) GTEST_SKIP() << "corpus not found at " << kCorpus;
        indexes_ = corpus_indexes();
        ASSERT_EQ(indexes_.size(), 17u);
    }
    std::vector<CorpusIndex> indexes_;
};

TEST_F(CorpusIndexes, OurHeadersSayWhatTheBdeHeadersSay) {
    for (const CorpusIndex& c : indexes_) {
        SCOPED_TRACE(c.x.string());
        const TableHeader table = BlockFile::open(c.table).header();
        const TableHeader bde = BlockFile::open(c.x).header();
        const IndexSuffix suffix = *IndexSuffix::parse(c.x.extension().string());
        const auto layout = SecondaryIndexLayout::decode(bde, table.key_fields, c.x.string());
        const SecondaryIndexDefinition definition = definition_of(layout, suffix);
        EXPECT_EQ(definition.suffix().text, suffix.text);

        const IndexEntryLayout entries(table, definition);
        IndexStamps stamps;
        stamps.primary = c.primary ? BlockFile::open(*c.primary).header().index_stamp : 0;
        stamps.tree = 7;
        const TableHeader ours =
            TableHeader::decode(new_secondary_index_header(table, definition, entries,
                                                           "T" + suffix.extension(), stamps, 1)
                                    .encode(),
                                "ours");

        EXPECT_EQ(ours.file_type, bde.file_type);
        EXPECT_EQ(ours.record_size, bde.record_size);
        EXPECT_EQ(ours.key_fields, bde.key_fields);
        EXPECT_EQ(ours.index_field_number, bde.index_field_number);
        EXPECT_EQ(ours.index_flags, bde.index_flags);
        EXPECT_EQ(ours.hi_field_id, bde.hi_field_id);
        EXPECT_EQ(ours.index_stamp, 0xFF);
        EXPECT_EQ(ours.index_stamp, bde.index_stamp);
        EXPECT_EQ(ours.change_count1, 7);
        EXPECT_EQ(ours.family_stamp, table.family_stamp);
        EXPECT_EQ(ours.index_sync_stamp, stamps.primary);
        EXPECT_EQ(ours.sort_order, bde.sort_order);
        EXPECT_EQ(ours.sort_order_id, bde.sort_order_id);
        EXPECT_EQ(ours.code_page, bde.code_page);
        EXPECT_EQ(ours.file_version, bde.file_version);
        EXPECT_EQ(ours.encryption1, bde.encryption1);
        EXPECT_EQ(ours.index_name, bde.index_name);
        EXPECT_EQ(ours.num_records, 0u);
        EXPECT_EQ(ours.first_block, 0);
        ASSERT_EQ(ours.fields.size(), bde.fields.size());
        for (std::size_t i = 0; i < ours.fields.size(); ++i) {
            EXPECT_EQ(ours.fields[i].descriptor, bde.fields[i].descriptor) << "field " << i;
            EXPECT_EQ(ours.fields[i].name, bde.fields[i].name) << "field " << i;
            EXPECT_EQ(ours.fields[i].number, bde.fields[i].number) << "field " << i;
        }
        // Bytes the BDE writes into every X file.
        const std::vector<std::uint8_t> bytes = ours.encode();
        EXPECT_EQ(bytes[0x3E], 0x1F);
        EXPECT_EQ(bytes[0x3F], 0x0F);
        EXPECT_EQ(bytes[0x56], 0x20);
        EXPECT_EQ(bytes[0x6C], 0x01);
        EXPECT_EQ(bytes[0x6D], 0x01);
        // Our header reads back as the same index.
        const auto again = SecondaryIndexLayout::decode(ours, table.key_fields, "ours");
        EXPECT_EQ(again.maintained, layout.maintained);
        EXPECT_EQ(again.case_insensitive, layout.case_insensitive);
        EXPECT_EQ(again.stored_name, layout.stored_name);
        EXPECT_EQ(again.fields.size(), layout.fields.size());
    }
}

TEST_F(CorpusIndexes, OurTreeHeadersSayWhatTheBdeTreeHeadersSay) {
    for (const CorpusIndex& c : indexes_) {
        SCOPED_TRACE(c.y.string());
        const TableHeader bde_x = BlockFile::open(c.x).header();
        const TableHeader bde_y = BlockFile::open(c.y).header();
        const TableHeader ours =
            TableHeader::decode(new_secondary_tree_header(bde_x, "T.Y01", 42).encode(), "ours");
        EXPECT_EQ(ours.file_type, bde_y.file_type);
        EXPECT_EQ(ours.record_size, bde_y.record_size);
        EXPECT_EQ(ours.key_fields, 0);
        EXPECT_EQ(ours.sort_order, bde_y.sort_order);
        EXPECT_EQ(ours.file_version, bde_y.file_version);
        EXPECT_EQ(ours.index_stamp, 42);
        EXPECT_EQ(ours.index_levels, 0);
        EXPECT_EQ(ours.index_root, 1);
        EXPECT_EQ(ours.content_size(), bde_y.content_size());
        ASSERT_EQ(ours.fields.size(), bde_y.fields.size());
        for (std::size_t i = 0; i < ours.fields.size(); ++i)
            EXPECT_EQ(ours.fields[i].descriptor, bde_y.fields[i].descriptor);
    }
}

// Records of a table file with where they stand.
struct Placed {
    std::vector<std::uint8_t> record;
    EntryTarget at;
};

std::vector<Placed> records_of(const BlockFile& table) {
    std::vector<Placed> out;
    IndexRecordReader reader(table);
    for (bool more = reader.first(); more; more = reader.next()) {
        const Bytes r = reader.record();
        out.push_back({{r.begin(), r.end()},
                       {reader.number(), static_cast<std::uint16_t>(reader.block()),
                        static_cast<std::uint16_t>(reader.slot())}});
    }
    return out;
}

// The entries of the BDE's X file and ours, cut to `width` bytes and sorted, so that the
// BDE's block hints (which go stale) do not count.
void expect_same_entries(const fs::path& table_path, const fs::path& x_path, bool whole_entry) {
    const BlockFile table = BlockFile::open(table_path);
    const BlockFile x = BlockFile::open(x_path);
    const IndexSuffix suffix = *IndexSuffix::parse(x_path.extension().string());
    const auto layout =
        SecondaryIndexLayout::decode(x.header(), table.header().key_fields, x.name());
    const IndexEntryLayout entries(table.header(), definition_of(layout, suffix));
    const std::size_t width = whole_entry ? entries.record_size() : entries.key_width();

    std::vector<std::vector<std::uint8_t>> ours;
    for (const Placed& p : records_of(table)) {
        std::vector<std::uint8_t> entry(entries.record_size());
        entries.make_entry(p.record, p.at, entry.data());
        entry.resize(width);
        ours.push_back(entry);
    }
    std::vector<std::vector<std::uint8_t>> bde;
    IndexRecordReader reader(x);
    for (bool more = reader.first(); more; more = reader.next())
        bde.emplace_back(reader.record().begin(), reader.record().begin() + width);
    std::sort(ours.begin(), ours.end());
    std::sort(bde.begin(), bde.end());
    EXPECT_EQ(ours, bde);
}

TEST_F(CorpusIndexes, EntriesMadeFromRecordsAreTheBdeEntries) {
    // A maintained single-field index and a composite one: indexed fields, then the key.
    expect_same_entries(kCorpus / "paradoxdriver/db/CUSTOMER.DB",
                        kCorpus / "paradoxdriver/db/CUSTOMER.X06", false);
    expect_same_entries(kCorpus / "paradox-reader/zakazky.db",
                        kCorpus / "paradox-reader/zakazky.XG0", false);
    expect_same_entries(kCorpus / "paradoxdriver/joins/fk4.db",
                        kCorpus / "paradoxdriver/joins/fk4.XG0", false);
    // An up-to-date index that is not maintained: Tup No, Blk Num and Tup Offset as well.
    expect_same_entries(kCorpus / "pxlib/TypSammlung.DB", kCorpus / "pxlib/TypSammlung.X02", true);
}

TEST(SecondaryIndexDefinition, SuffixFlagsAndPointerFields) {
    SecondaryIndexDefinition d;
    d.composite = false;
    d.fields = {{12, false}};
    EXPECT_EQ(d.suffix().text, "X0C");
    EXPECT_EQ(d.suffix().tree_extension(), ".Y0C");
    EXPECT_EQ(d.flags(), 0);
    d.composite = true;
    d.number = 3;
    d.case_insensitive = true;
    d.fields = {{2, false}, {1, true}};
    EXPECT_EQ(d.suffix().text, "XG3");
    EXPECT_EQ(d.flags(), kIndexCaseInsensitive | kIndexDescending);

    // An unkeyed table of two fields: A10 and S.
    TableHeader table;
    table.file_type = FileType::kUnkeyedTable;
    table.file_version = kVersion70;
    table.block_size_code = 2;
    table.fields = {{{FieldType::kAlpha, 10}, "Name", 1, 0}, {{FieldType::kShort, 2}, "N", 2, 0}};
    table.record_size = 12;
    SecondaryIndexDefinition snapshot;
    snapshot.maintained = false;
    snapshot.fields = {{2, false}};
    const IndexEntryLayout layout(table, snapshot);
    EXPECT_EQ(layout.record_size(), 2u + 4 + 2 + 2);
    EXPECT_EQ(layout.key_width(), 2u + 4 + 2);
    EXPECT_EQ(layout.key_fields(), 3u);
    std::vector<std::uint8_t> record(12, 0);
    record[10] = 0x80;
    record[11] = 0x05;
    std::vector<std::uint8_t> entry(layout.record_size());
    layout.make_entry(record, {7, 3, 4}, entry.data());
    const std::vector<std::uint8_t> expected = {0x80, 0x05, 0x80, 0, 0, 7, 0x80, 3, 0x80, 48};
    EXPECT_EQ(entry, expected);

    // A maintained index needs the primary key to copy.
    SecondaryIndexDefinition maintained;
    maintained.fields = {{1, false}};
    EXPECT_THROW(IndexEntryLayout(table, maintained), std::invalid_argument);
}

TEST(IndexBlockSizes, TreeCountsStayWithinSixteenBits) {
    // Usual entries keep the table's block size; the tree takes the largest that fits.
    EXPECT_EQ(index_block_sizes(4, 26, 24)->index, 4);
    EXPECT_EQ(index_block_sizes(4, 26, 24)->tree, 4);
    // A date index of an unkeyed table: 340 entries per X block, so the tree gets 3 KiB.
    EXPECT_EQ(index_block_sizes(4, 12, 10)->index, 4);
    EXPECT_EQ(index_block_sizes(4, 12, 10)->tree, 3);
    // The smallest entries make the X blocks smaller too.
    EXPECT_EQ(index_block_sizes(4, 6, 4)->index, 3);
    EXPECT_EQ(index_block_sizes(4, 6, 4)->tree, 1);
    // Wide entries need blocks larger than the table's: two per X block, three per tree block.
    EXPECT_EQ(index_block_sizes(1, 342, 340)->index, 1);
    EXPECT_EQ(index_block_sizes(1, 342, 340)->tree, 2);
    EXPECT_EQ(index_block_sizes(1, 600, 598)->index, 2);
    EXPECT_FALSE(index_block_sizes(32, 20000, 16000).has_value());
    for (std::size_t entry = 4; entry < 2000; entry += 3)
        for (const std::uint8_t table : {std::uint8_t{1}, std::uint8_t{2}, std::uint8_t{4},
                                         std::uint8_t{16}, std::uint8_t{32}}) {
            const auto sizes = index_block_sizes(table, entry, entry - 2);
            ASSERT_TRUE(sizes.has_value()) << entry;
            const std::size_t x = (sizes->index * 1024u - 6) / entry;
            const std::size_t y = (sizes->tree * 1024u - 6) / (entry - 2 + 6);
            EXPECT_GE(x, 2u);
            EXPECT_GE(y, 3u);
            EXPECT_LE(x * y, 65535u) << entry << " " << int(table);
        }
}

}  // namespace
}  // namespace pdx
