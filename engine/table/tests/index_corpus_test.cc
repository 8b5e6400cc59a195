// The indexes of every corpus table: their names and fields as listed, the trees of the
// .PX and Y files against the blocks they describe, and walks in every index order that
// visit each record once and in order.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "common/error.h"
#include "engine/format/index_records.h"
#include "engine/format/index_tree.h"
#include "engine/table/cursor.h"
#include "engine/table/index_catalog.h"
#include "engine/table/index_cursor.h"
#include "engine/table/table.h"
#include "test_support/corpus.h"

namespace pdx {
namespace {

namespace fs = std::filesystem;

const fs::path kCorpus = vaq::test_support::corpus_folder();

#define SKIP_WITHOUT_CORPUS()                        \
    if (!fs::is_directory(kCorpus))                  \
    GTEST_SKIP() << "The Paradox corpus " << kCorpus \
                 << " is absent; index tests need ../shared/corpus/paradox."

using Record = std::vector<std::uint8_t>;

std::vector<fs::path> corpus_tables() {
    std::vector<fs::path> tables;
    for (const auto& entry : fs::recursive_directory_iterator(kCorpus)) {
        std::string ext = entry.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), ::toupper);
        if (entry.is_regular_file() && ext == ".DB") tables.push_back(entry.path());
    }
    std::sort(tables.begin(), tables.end());
    return tables;
}

// Tables that cannot be read without a password are not the concern of these tests.
bool readable(const fs::path& path) {
    return path.parent_path().filename() != "encrypt";
}

std::vector<Record> walk(Cursor& cursor) {
    std::vector<Record> records;
    for (cursor.first(); !cursor.eof(); cursor.next()) {
        const Bytes r = cursor.record();
        records.emplace_back(r.begin(), r.end());
        EXPECT_EQ(cursor.record_number(), records.size());
    }
    return records;
}

std::vector<Record> sorted(std::vector<Record> records) {
    std::sort(records.begin(), records.end());
    return records;
}

std::string listing(const Table& table) {
    std::string text;
    for (const SecondaryIndex& index : list_secondary_indexes(table)) {
        text += index.name + ":";
        for (std::size_t i = 0; i < index.fields.size(); ++i)
            text += (i > 0 ? ";" : "") + table.schema()[index.fields[i]].name;
        text += index.layout.maintained ? " maintained" : " snapshot";
        if (index.layout.case_insensitive) text += " nocase";
        if (index.layout.fields.front().descending) text += " desc";
        if (index.stale) text += " stale";
        text += "|";
    }
    return text;
}

TEST(IndexCatalog, CorpusIndexesAreListedWithNamesFieldsAndFlagsInSuffixOrder) {
    SKIP_WITHOUT_CORPUS();
    const std::map<std::string, std::string> expected = {
        {"paradox-reader/zakazky.db", "ISKUPINA:ROK;MESIC;DEN;SMENA;TYPL;TAVBA maintained nocase|"},
        {"paradox-reader/testtab.DB", "TIMEINDEX:TIME maintained nocase|"},
        {"pxlib/TypSammlung.DB", "Numerisch:Numerisch snapshot|Zähler:Zähler snapshot|"},
        {"paradoxdriver/db/CUSTOMER.DB", "City:City maintained|"},
        {"paradoxdriver/db/AREACODES.DB", "ste:State maintained nocase|"},
        {"paradoxdriver/joins/C.DB", "A:A maintained|B:B maintained|"},
        {"paradoxdriver/joins/case.db", "C:C snapshot stale|"},
        {"paradoxdriver/joins/fk4.db", "reference:FK1;FK maintained|"},
        {"paradoxdriver/joins/indexed.db", "Descending:Indexed snapshot nocase desc|"},
        {"paradoxdriver/joins/multiple.db", "FK:FK maintained|FK2:FK2 maintained|"},
        {"paradoxdriver/areas/ZIPCODES.DB", ""},
    };
    for (const auto& [name, want] : expected) {
        SCOPED_TRACE(name);
        auto table = Table::open_file(kCorpus / name);
        EXPECT_EQ(listing(*table), want);
    }
}

TEST(IndexCatalog, FindsAnIndexByNameInAnyLetterCaseAndNamesTheTableWhenMissing) {
    SKIP_WITHOUT_CORPUS();
    auto table = Table::open(kCorpus / "paradox-reader", "ZAKAZKY");
    EXPECT_EQ(find_secondary_index(*table, "iskupina").name, "ISKUPINA");
    try {
        open_index_cursor(*table, "ControlID");
        ADD_FAILURE() << "an unknown index opened";
    } catch (const vaq::Error& e) {
        EXPECT_STREQ(e.what(), "Index does not exist: ControlID on zakazky.db");
    }
    // The primary index has no name: an empty name stands for it.
    auto primary = open_index_cursor(*table, "");
    EXPECT_EQ(walk(*primary).size(), 3988u);
}

// Walks every index of every table: each record once, and consecutive records in the
// index's order wherever that order is established.
TEST(IndexCursor, EveryCorpusIndexWalksEachRecordOnceInIndexOrder) {
    SKIP_WITHOUT_CORPUS();
    int walks = 0;
    for (const fs::path& path : corpus_tables()) {
        if (!readable(path)) continue;
        SCOPED_TRACE(path.string());
        auto table = Table::open_file(path);
        auto chain = table->open_cursor();
        const std::vector<Record> all = sorted(walk(*chain));
        ASSERT_EQ(all.size(), table->record_count());

        auto primary = open_primary_cursor(*table);
        const std::vector<Record> in_key_order = walk(*primary);
        EXPECT_EQ(sorted(in_key_order), all);

        for (const SecondaryIndex& index : list_secondary_indexes(*table)) {
            SCOPED_TRACE(index.name);
            std::vector<KeyOrder::Part> parts;
            for (std::size_t i = 0; i < index.fields.size(); ++i) {
                const Field& f = table->schema()[index.fields[i]];
                parts.push_back({f.offset, f.descriptor, index.layout.fields[i].descending});
            }
            const KeyOrder order(parts, alpha_collation_of(table->header()),
                                 index.layout.case_insensitive);
            auto cursor = open_index_cursor(*table, index);
            const std::vector<Record> records = walk(*cursor);
            EXPECT_EQ(sorted(records), all);
            for (std::size_t i = 1; i < records.size(); ++i) {
                const auto o = order.certain_compare(records[i - 1], records[i]);
                EXPECT_TRUE(!o || *o <= 0) << "records " << i << " and " << i + 1;
            }
            ++walks;
        }
    }
    EXPECT_GE(walks, 14);
}

// zakazky.XG0 holds six numbers and texts; its order by ROK, MESIC, DEN, SMENA is checked
// on the values themselves, NULL first.
TEST(IndexCursor, ZakazkyCompositeIndexAscendsByYearMonthDayShift) {
    SKIP_WITHOUT_CORPUS();
    auto table = Table::open(kCorpus / "paradox-reader", "zakazky");
    auto cursor = open_index_cursor(*table, "ISKUPINA");
    std::vector<std::int64_t> previous;
    int n = 0;
    for (; !cursor->eof(); cursor->next(), ++n) {
        std::vector<std::int64_t> key;
        for (const char* f : {"ROK", "MESIC", "DEN", "SMENA"}) {
            auto v = cursor->field(f).integer();
            key.push_back(v ? *v : INT64_MIN);
        }
        EXPECT_LE(previous, key) << "entry " << n + 1;
        previous = key;
    }
    EXPECT_EQ(n, 3988);
}

// TypSammlung.X0C orders by the autoincrement Zähler, X02 by the number Numerisch.
TEST(IndexCursor, TypSammlungSnapshotIndexesOrderByTheirNumbers) {
    SKIP_WITHOUT_CORPUS();
    auto table = Table::open(kCorpus / "pxlib", "TypSammlung");
    auto counter = open_index_cursor(*table, "zähler");
    std::vector<std::string> values;
    for (; !counter->eof(); counter->next())
        values.push_back(counter->field("Zähler").as_text());
    EXPECT_EQ(values, (std::vector<std::string>{"1", "2", "3", "4", "5"}));
    // X0C was taken before the records moved: its positions no longer hold its keys.
    EXPECT_TRUE(dynamic_cast<PositionListCursor&>(*counter).sorted_here());

    auto number = open_index_cursor(*table, "Numerisch");
    values.clear();
    for (; !number->eof(); number->next())
        values.push_back(number->field("Numerisch").as_text());
    EXPECT_EQ(values, (std::vector<std::string>{"-40", "0", "1.34", "23", "40"}));
    EXPECT_FALSE(dynamic_cast<PositionListCursor&>(*number).sorted_here());
}

TEST(IndexCursor, StaleSnapshotIsReplacedByASortOfTheTable) {
    SKIP_WITHOUT_CORPUS();
    auto table = Table::open(kCorpus / "paradoxdriver/joins", "case");
    auto index = find_secondary_index(*table, "C");
    EXPECT_TRUE(index.stale);
    EXPECT_EQ(index.entries, 0u);
    auto cursor = open_index_cursor(*table, index);
    EXPECT_TRUE(dynamic_cast<PositionListCursor&>(*cursor).sorted_here());
    EXPECT_EQ(walk(*cursor).size(), 1u);
}

// Bookmarks taken in index order lead back to the same record; locate finds the first
// match in index order.
TEST(IndexCursor, BookmarkAndLocateFollowTheIndexOrder) {
    SKIP_WITHOUT_CORPUS();
    auto table = Table::open(kCorpus / "paradoxdriver/db", "customer");
    auto cursor = open_index_cursor(*table, "city");
    ASSERT_EQ(cursor->field("City").as_text(), "Aptos");
    for (int i = 0; i < 5; ++i)
        cursor->next();
    const Bookmark mark = cursor->bookmark();
    const std::string custno = cursor->field("CustNo").as_text();
    cursor->first();
    cursor->go_to(mark);
    EXPECT_EQ(cursor->field("CustNo").as_text(), custno);
    EXPECT_EQ(cursor->record_number(), 6u);

    ASSERT_TRUE(cursor->locate("City", FieldInput(std::string("santa cruz")),
                               LocateOptions{.case_insensitive = true}));
    // The first Santa Cruz record in City order is the one with the lowest CustNo.
    EXPECT_EQ(cursor->field("CustNo").as_text(), "1");
    while (!cursor->eof())
        cursor->next();
    EXPECT_EQ(cursor->field("City").as_text(), "Soquel");
}

std::vector<Record> data_chain_first_keys(const BlockFile& data, std::size_t key_length,
                                          std::vector<std::uint16_t>& blocks,
                                          std::vector<std::uint16_t>& counts) {
    std::vector<Record> keys;
    std::vector<std::uint8_t> buffer;
    for (std::uint32_t b = data.header().first_block; b != 0;) {
        const DataBlockHeader head = data.read_data_block(b, buffer);
        const std::size_t count = head.record_count(data.header().record_size);
        // An empty block stands in the chain of an empty X file; the tree lists none.
        if (count > 0) {
            blocks.push_back(static_cast<std::uint16_t>(b));
            counts.push_back(static_cast<std::uint16_t>(count));
            keys.emplace_back(buffer.begin() + 6,
                              buffer.begin() + 6 + static_cast<std::ptrdiff_t>(key_length));
        }
        b = head.next_block;
    }
    return keys;
}

void expect_leaves_describe(const IndexTree& tree, const BlockFile& data) {
    std::vector<std::uint16_t> blocks, counts;
    const auto keys = data_chain_first_keys(data, tree.key_length(), blocks, counts);
    const auto leaves = tree.leaves();
    ASSERT_EQ(leaves.size(), blocks.size());
    for (std::size_t i = 0; i < leaves.size(); ++i) {
        SCOPED_TRACE("leaf " + std::to_string(i + 1));
        EXPECT_EQ(leaves[i].block, blocks[i]);
        EXPECT_EQ(leaves[i].count, counts[i]);
        EXPECT_EQ(leaves[i].key, keys[i]);
    }
}

// Level-1 entries of every .PX name the table's blocks in chain order with their counts
// and first keys; those of every Y file do the same for its X file.
TEST(IndexTreeCorpus, LeafEntriesMatchTheBlocksTheyDescribe) {
    SKIP_WITHOUT_CORPUS();
    int trees = 0;
    for (const fs::path& path : corpus_tables()) {
        if (!readable(path)) continue;
        SCOPED_TRACE(path.string());
        auto table = Table::open_file(path);
        if (auto px = primary_index_file(*table)) {
            expect_leaves_describe(IndexTree::open(*px), table->data_file());
            ++trees;
        }
        for (const SecondaryIndex& index : list_secondary_indexes(*table)) {
            if (!index.tree_file) continue;
            SCOPED_TRACE(index.tree_file->string());
            expect_leaves_describe(IndexTree::open(*index.tree_file),
                                   BlockFile::open(index.index_file));
            ++trees;
        }
    }
    EXPECT_GE(trees, 50);
}

TEST(IndexTreeCorpus, TwoLevelTreesAreWalkedFromTheirRoot) {
    SKIP_WITHOUT_CORPUS();
    const IndexTree zakazky = IndexTree::open(kCorpus / "paradox-reader/zakazky.PX");
    EXPECT_EQ(zakazky.levels(), 2);
    EXPECT_EQ(zakazky.leaves().size(), 285u);
    const IndexTree groups = IndexTree::open(kCorpus / "paradox-reader/zakazky.YG0");
    EXPECT_EQ(groups.levels(), 2);
    EXPECT_EQ(groups.leaves().size(), 114u);
    // The root of ZIPCODES.PX is block 3, linked in the middle of the leaf chain.
    const IndexTree zip = IndexTree::open(kCorpus / "paradoxdriver/areas/ZIPCODES.PX");
    EXPECT_EQ(zip.file().header().index_root, 3);
    EXPECT_EQ(zip.leaves().size(), 686u);
}

}  // namespace
}  // namespace pdx
