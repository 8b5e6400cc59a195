// The corruption suite on tables the engine generates: a keyed table with an auto-increment
// key, text, numbers, a logical, a memo partly kept in the .MB and a maintained secondary
// index. Each kind of damage gives level 1; a rebuild then gives level 0, keeps every record
// of every undamaged block, and puts the records it cannot keep in the table into
// KEYVIOL.DB or PROBLEM.DB.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "engine/api/config.h"
#include "engine/api/engine_error.h"
#include "engine/table/cursor.h"
#include "engine/table/edit_buffer.h"
#include "engine/table/secondary_index.h"
#include "engine/table/table.h"
#include "engine/table/table_admin.h"
#include "engine/table/table_writer.h"
#include "tests/support.h"
#include "tutil/rebuild.h"
#include "tutil/verifier.h"

namespace vaq::tutil {
namespace {

using namespace tutil::testing;

constexpr int kRecords = 1500;
constexpr std::size_t kNoteField = 5;

// Id +, Name A20, Door I, Flag L, Day D, Note M20 (a 10-byte leader).
pdx::TableSpec visits_spec() {
    pdx::TableSpec spec;
    spec.fields = {{"Id", pdx::FieldType::kAutoInc, 0}, {"Name", pdx::FieldType::kAlpha, 20},
                   {"Door", pdx::FieldType::kLong, 0},  {"Flag", pdx::FieldType::kLogical, 0},
                   {"Day", pdx::FieldType::kDate, 0},   {"Note", pdx::FieldType::kMemo, 20}};
    spec.key_fields = 1;
    return spec;
}

// Writes the pristine table once per test program; every test damages a copy.
const fs::path& pristine() {
    static TempDir dir;
    static const fs::path table = [] {
        const fs::path db =
            pdx::create_table(dir.path(), "Visits", visits_spec(), pdx::CreateOptions{7, 2048});
        {
            auto t = pdx::Table::open_file(db, pdx::Access::kWrite);
            for (int i = 1; i <= kRecords; ++i) {
                pdx::EditBuffer r = pdx::EditBuffer::blank(t);
                r.set(1, std::string("Visitor ") + std::to_string(i));
                r.set(2, std::int64_t{i % 37});
                r.set(3, i % 3 == 0);
                const int day = i % 28 + 1;
                r.set(4, std::string("2024-01-") + (day < 10 ? "0" : "") + std::to_string(day));
                r.set(kNoteField, i % 5 == 0 ? std::string(40 + i % 300, 'n') + std::to_string(i)
                                             : std::string("short ") + std::to_string(i % 10));
                t->writer().insert(r);
            }
            t->writer().flush();
        }
        // Door: a single-field index called after its field (.X03); ByName: a composite,
        // case-insensitive one (.XG0).
        pdx::create_secondary_index(dir.path(), "Visits",
                                    pdx::SecondaryIndexRequest{"Door", {"Door"}, false, false});
        pdx::create_secondary_index(
            dir.path(), "Visits",
            pdx::SecondaryIndexRequest{"ByName", {"Name", "Day"}, true, false});
        return db;
    }();
    return table;
}

struct Row {
    std::uint32_t block = 0;
    std::uint32_t slot = 0;  // 0-based
    std::vector<std::string> values;
};

using Place = std::pair<std::uint32_t, std::uint32_t>;  // block, 0-based slot

// What a damage takes away: the records of whole blocks or single records, which must then
// not be in the rebuilt table, and records whose values it changes.
struct Loss {
    std::set<std::uint32_t> blocks;
    std::set<Place> records;
    std::set<Place> changed;
    bool long_notes = false;  // memo values beyond their leader
};

// Every record by its Id, with the data block it lies in.
std::map<std::string, Row> rows_of(const fs::path& db) {
    std::map<std::string, Row> rows;
    const auto t = pdx::Table::open_file(db);
    for (auto c = t->open_cursor(); !c->eof(); c->next()) {
        Row row{c->bookmark().block, c->bookmark().slot, {}};
        for (std::size_t i = 0; i < t->schema().size(); ++i)
            row.values.push_back(c->value(i).as_text());
        rows[row.values[0]] = row;
    }
    return rows;
}

std::string describe(const Verification& v) {
    std::string text;
    for (const Finding& f : v.findings.entries())
        text += "[" + std::to_string(static_cast<int>(f.weight)) + "] " + f.file + ": " +
                f.message + "\n";
    return text;
}

class GeneratedDamage : public ::testing::Test {
  protected:
    void SetUp() override {
        pdx::use_configuration(pdx::Configuration::from_text(
            "[engine]\nprivate_dir = " + (dir_ / "private").string() + "\n", dir_.path(), "test"));
        fs::create_directory(dir_ / "data");
        for (const auto& entry : fs::directory_iterator(pristine().parent_path()))
            if (entry.is_regular_file() && entry.path().filename().string()[0] != '.')
                fs::copy_file(entry.path(), dir_ / "data" / entry.path().filename());
        db_ = dir_ / "data" / pristine().filename();
        before_ = rows_of(db_);
        ASSERT_EQ(before_.size(), static_cast<std::size_t>(kRecords));
        const Verification clean = verify_table(db_);
        ASSERT_EQ(clean.level, 0) << describe(clean);
    }
    void TearDown() override { pdx::reload_configuration(); }

    fs::path aux(const std::string& name) const { return dir_ / "private" / "Visits" / name; }
    fs::path sibling(const std::string& extension) const {
        fs::path p = db_;
        return p.replace_extension(extension);
    }

    // Damages the table; verify must give level 1 and name the damage (0 when `expected` is
    // empty); the rebuild must give level 0 and keep every record `loss` does not take.
    void damage_and_rebuild(const std::function<void()>& damage, const std::string& expected,
                            const Loss& loss = {}) {
        damage();
        const Verification v = verify_table(db_);
        EXPECT_EQ(v.level, expected.empty() ? 0 : 1) << describe(v);
        EXPECT_NE(describe(v).find(expected), std::string::npos)
            << "no finding says \"" << expected << "\":\n"
            << describe(v);

        fs::create_directories(dir_ / "private" / "Visits");
        ASSERT_NO_THROW(result_ = rebuild_table({db_, aux("Backup.Db"), aux("KEYVIOL.DB"),
                                                 aux("PROBLEM.DB"), nullptr}));
        const Verification after = verify_table(db_);
        EXPECT_EQ(after.level, 0) << describe(after);

        after_ = rows_of(db_);
        for (const auto& [id, row] : before_) {
            const Place place{row.block, row.slot};
            const auto found = after_.find(id);
            if (loss.blocks.count(row.block) || loss.records.count(place)) {
                EXPECT_TRUE(found == after_.end() || loss.blocks.count(row.block))
                    << "record " << id << " should have left the table";
                continue;
            }
            if (found == after_.end()) {
                ADD_FAILURE() << "record " << id << " of block " << row.block << " is lost";
                continue;
            }
            if (loss.changed.count(place)) continue;
            std::vector<std::string> expected_values = row.values;
            if (loss.long_notes)
                expected_values[kNoteField].resize(
                    std::min<std::size_t>(expected_values[kNoteField].size(), 10));
            EXPECT_EQ(found->second.values, expected_values) << "record " << id;
        }
    }

    // Where the record with Id `id` lay before the damage.
    Place place_of(int id) const {
        const Row& row = before_.at(std::to_string(id));
        return {row.block, row.slot};
    }
    std::uint32_t last_block() const {
        std::uint32_t last = 0;
        for (const auto& [id, row] : before_)
            last = std::max(last, row.block);
        return last;
    }

    std::size_t records_in(const std::string& name) const {
        return fs::exists(aux(name)) ? pdx::Table::open_file(aux(name))->record_count() : 0;
    }

    template <typename Change>
    void patch_table(Change change) {
        patch(db_, change);
    }

    TempDir dir_;
    fs::path db_;
    std::map<std::string, Row> before_;
    std::map<std::string, Row> after_;
    RebuildResult result_;
};

// A table after deletes and changes through the engine's writer (split, merged and freed
// blocks, moved keys, replaced blobs) is undamaged, and a rebuild keeps every value.
TEST_F(GeneratedDamage, ChangedTableIsCleanAndRebuildsToItself) {
    {
        auto t = pdx::Table::open_file(db_, pdx::Access::kWrite);
        std::vector<std::vector<std::uint8_t>> doomed;
        std::vector<std::vector<std::uint8_t>> changed;
        int n = 0;
        for (auto c = t->open_cursor(); !c->eof(); c->next(), ++n) {
            if (n % 3 == 0 || (n > 400 && n < 700))
                doomed.emplace_back(c->record().begin(), c->record().end());
            else if (n % 7 == 0)
                changed.emplace_back(c->record().begin(), c->record().end());
        }
        // A record found by its bytes alone: no position, no record number.
        const auto by_bytes = [](const std::vector<std::uint8_t>& r) {
            pdx::RecordRef ref;
            ref.record = r;
            return ref;
        };
        for (const auto& r : doomed)
            t->writer().remove(by_bytes(r));
        for (const auto& r : changed) {
            pdx::EditBuffer e = pdx::EditBuffer::of(t, r);
            e.set(2, std::int64_t{99});
            e.set(kNoteField, std::string(300, 'c'));
            t->writer().update(by_bytes(r), e);
        }
        t->writer().flush();
    }
    const Verification v = verify_table(db_);
    EXPECT_EQ(v.level, 0) << describe(v);
    before_ = rows_of(db_);
    damage_and_rebuild([] {}, "");
    EXPECT_EQ(after_.size(), before_.size());
}

TEST_F(GeneratedDamage, TruncatedInsideABlock) {
    // The file ends inside the fourth record of the last block of the chain, which is the
    // last block of the file for a table written in order.
    const std::uint32_t last = last_block();
    Loss loss;
    for (const auto& [id, row] : before_)
        if (row.block == last && row.slot >= 3) loss.records.insert({row.block, row.slot});
    damage_and_rebuild(
        [&] {
            const FileGeometry g(read_file(db_));
            fs::resize_file(db_, g.record(last, 3) + 10);
        },
        "records but the file ends after 3 of them", loss);
    EXPECT_EQ(records_in("PROBLEM.DB"), 1u);  // the record cut in two
    EXPECT_EQ(after_.size(), before_.size() - loss.records.size());
}

TEST_F(GeneratedDamage, TruncatedAtABlockBoundary) {
    const std::uint32_t last = last_block();
    damage_and_rebuild([&] { fs::resize_file(db_, FileGeometry(read_file(db_)).block(last)); },
                       "lies beyond the end of the file", Loss{{last}, {}, {}, false});
    EXPECT_EQ(records_in("PROBLEM.DB"), 0u);
}

TEST_F(GeneratedDamage, BlockUnlinkedFromTheChain) {
    // No reader sees block 4's records: they are set aside, not taken back unasked.
    const auto unlinked = static_cast<std::size_t>(std::count_if(
        before_.begin(), before_.end(), [](const auto& r) { return r.second.block == 4; }));
    ASSERT_GT(unlinked, 0u);
    damage_and_rebuild(
        [&] {
            patch_table([](std::vector<std::uint8_t>& b) {
                const FileGeometry g(b);
                const std::uint16_t next = u16_at(b, g.block(4));
                const std::uint16_t prev = u16_at(b, g.block(4) + 2);
                set_u16(b, g.block(prev), next);
                set_u16(b, g.block(next) + 2, prev);
            });
        },
        "Block 4 holds", Loss{{4}, {}, {}, false});
    EXPECT_EQ(after_.size(), before_.size() - unlinked);
    EXPECT_EQ(records_in("PROBLEM.DB"), unlinked);
}

TEST_F(GeneratedDamage, LoopInTheChain) {
    damage_and_rebuild(
        [&] {
            patch_table([](std::vector<std::uint8_t>& b) {
                set_u16(b, FileGeometry(b).block(u16_at(b, 0x10)), 2);
            });
        },
        "loops");
    EXPECT_EQ(after_.size(), before_.size());
}

TEST_F(GeneratedDamage, WrongRecordCount) {
    damage_and_rebuild([&] { patch_table([](std::vector<std::uint8_t>& b) { set_u32(b, 6, 9); }); },
                       "The header counts 9 records");
}

TEST_F(GeneratedDamage, WrongUsedBlockCount) {
    damage_and_rebuild(
        [&] { patch_table([](std::vector<std::uint8_t>& b) { set_u16(b, 0x0A, 1); }); },
        "blocks in use");
}

TEST_F(GeneratedDamage, ImpossibleLastRecordOffset) {
    const std::size_t in_block_3 = static_cast<std::size_t>(std::count_if(
        before_.begin(), before_.end(), [](const auto& r) { return r.second.block == 3; }));
    damage_and_rebuild(
        [&] {
            patch_table(
                [](std::vector<std::uint8_t>& b) { set_u16(b, FileGeometry(b).block(3) + 4, 5); });
        },
        "Block 3 of the chain has an impossible record area size", Loss{{3}, {}, {}, false});
    EXPECT_EQ(records_in("PROBLEM.DB"), in_block_3);  // kept, for a person to look at
}

TEST_F(GeneratedDamage, GarbageRecord) {
    damage_and_rebuild(
        [&] {
            patch_table([](std::vector<std::uint8_t>& b) {
                b[FileGeometry(b).record(6, 2) + 4 + 20 + 4] = 0x99;  // Flag
            });
        },
        "field Flag holds the logical byte 153", Loss{{}, {{6, 2}}, {}, false});
    EXPECT_EQ(after_.size(), before_.size() - 1);
    EXPECT_EQ(records_in("PROBLEM.DB"), 1u);
}

TEST_F(GeneratedDamage, DuplicateKeys) {
    damage_and_rebuild(
        [&] {
            patch_table([](std::vector<std::uint8_t>& b) {
                const FileGeometry g(b);
                std::memcpy(b.data() + g.record(2, 5), b.data() + g.record(2, 4), 4);
            });
        },
        "repeats the key", Loss{{}, {{2, 5}}, {}, false});
    EXPECT_EQ(records_in("KEYVIOL.DB"), 1u);
    EXPECT_EQ(after_.size(), before_.size() - 1);
}

TEST_F(GeneratedDamage, StalePrimaryIndex) {
    damage_and_rebuild(
        [&] {
            patch(sibling(".PX"), [](std::vector<std::uint8_t>& b) {
                // The count of the first level-1 entry of the first index block.
                const FileGeometry g(b);
                const std::size_t entry = g.block(u16_at(b, 0x1E)) + 6 + g.record_size - 4;
                b[entry + 1] ^= 0x01;
            });
        },
        "Visits.PX");
}

TEST_F(GeneratedDamage, MissingPrimaryIndex) {
    damage_and_rebuild([&] { fs::remove(sibling(".PX")); },
                       "The primary index of the keyed table is missing");
}

TEST_F(GeneratedDamage, StaleSecondaryIndex) {
    damage_and_rebuild(
        [&] {
            patch_table([](std::vector<std::uint8_t>& b) {
                b[FileGeometry(b).record(5, 1) + 4 + 20 + 3] ^= 0x01;  // Door, indexed
            });
        },
        "Visits.X03: The index does not hold the entries of the table's records",
        Loss{{}, {}, {{5, 1}}, false});
}

TEST_F(GeneratedDamage, MissingSecondaryIndex) {
    // A single-field index is known by its file name alone: it comes back.
    damage_and_rebuild([&] { fs::remove(sibling(".X03")); }, "The index file is missing");
    EXPECT_TRUE(fs::exists(sibling(".X03")));
    EXPECT_TRUE(result_.dropped_indexes.empty());
    EXPECT_TRUE(fs::exists(sibling(".XG0")));
}

TEST_F(GeneratedDamage, MissingCompositeIndexFile) {
    // The definition of a composite index lived in its X file: the rebuild leaves the index
    // out and keeps its tree with the backup.
    damage_and_rebuild([&] { fs::remove(sibling(".XG0")); }, "The index file is missing");
    EXPECT_FALSE(fs::exists(sibling(".YG0")));
    EXPECT_TRUE(fs::exists(aux("Backup.YG0")));
    // The result says so, with the fields its tree still tells.
    ASSERT_EQ(result_.dropped_indexes.size(), 1u);
    const DroppedIndex& dropped = result_.dropped_indexes[0];
    EXPECT_EQ(dropped.file, "Visits.XG0");
    EXPECT_EQ(dropped.fields, (std::vector<std::string>{"Name", "Day"}));
    EXPECT_NE(dropped.reason.find("missing"), std::string::npos);
}

TEST_F(GeneratedDamage, MissingSecondaryIndexTree) {
    damage_and_rebuild([&] { fs::remove(sibling(".YG0")); }, "The tree of the index");
    EXPECT_TRUE(fs::exists(sibling(".YG0")));
}

TEST_F(GeneratedDamage, AutoIncrementCounterBelowTheData) {
    damage_and_rebuild(
        [&] { patch_table([](std::vector<std::uint8_t>& b) { set_u32(b, 0x49, 10); }); },
        "The auto-increment counter is 10");
    EXPECT_GE(pdx::Table::open_file(db_)->header().auto_inc, static_cast<std::uint32_t>(kRecords));
}

TEST_F(GeneratedDamage, BrokenBlobReference) {
    damage_and_rebuild(
        [&] { patch(sibling(".MB"), [](std::vector<std::uint8_t>& b) { b.resize(4096); }); },
        "refers to a blob value that does not exist", Loss{{}, {}, {}, true});
    // The long notes lost their values beyond the leader; their records stay and are listed.
    EXPECT_EQ(records_in("PROBLEM.DB"), static_cast<std::size_t>(kRecords / 5));
}

}  // namespace
}  // namespace vaq::tutil
