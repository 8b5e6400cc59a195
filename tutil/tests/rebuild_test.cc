// Rebuild: after it, verify answers 0 and every record of every undamaged block is in the
// table; records that break the key are in KEYVIOL.DB, unreadable ones in PROBLEM.DB, the
// original files in the Backup family; a rebuild that fails leaves the table as it was.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

#include "common/error.h"
#include "engine/api/config.h"
#include "engine/api/engine_error.h"
#include "engine/api/private_folders.h"
#include "engine/table/crash_points.h"
#include "engine/table/cursor.h"
#include "engine/table/table.h"
#include "engine/table/table_name.h"
#include "engine/table/tests/generated_family.h"
#include "test_support/generated_database.h"
#include "tests/library_calls.h"
#include "tests/pxlib_writer.h"
#include "tests/support.h"
#include "tutil/rebuild_runs.h"
#include "tutil/tutil.h"
#include "tutil/verifier.h"

namespace vaq::tutil {
namespace {

using namespace tutil::testing;
using Records = std::vector<std::vector<std::uint8_t>>;

class RebuildTest : public ::testing::Test {
  protected:
    void SetUp() override {
        pdx::use_configuration(pdx::Configuration::from_text(
            "[engine]\nprivate_dir = " + (dir_ / "private").string() + "\n", dir_.path(), "test"));
        fs::create_directory(dir_ / "data");
    }
    void TearDown() override { pdx::reload_configuration(); }

    fs::path data() const { return dir_ / "data"; }
    // The auxiliary table `name` of the table's last rebuild.
    fs::path aux(const fs::path& table, const std::string& name) const {
        const auto runs = pdx::run_folders(dir_ / "private" /
                                           pdx::database_id(table.parent_path()) / table.stem());
        return (runs.empty() ? dir_ / "no rebuild" : runs.back()) / name;
    }

    // The calls a rebuild makes, in their order, in one session; the result of the last.
    TUResult rebuild(const fs::path& table) {
        last_ = RebuildResult{};
        return rebuild_through_library(table, &last_);
    }

    static Records records_of(const fs::path& table) {
        Records out;
        const auto t = pdx::Table::open_file(table);
        for (auto c = t->open_cursor(); !c->eof(); c->next())
            out.emplace_back(c->record().begin(), c->record().end());
        return out;
    }

    // Every record's values as text, in table order.
    static std::vector<std::vector<std::string>> values_of(const fs::path& table) {
        std::vector<std::vector<std::string>> rows;
        const auto t = pdx::Table::open_file(table);
        for (auto c = t->open_cursor(); !c->eof(); c->next()) {
            std::vector<std::string> row;
            for (std::size_t i = 0; i < t->schema().size(); ++i)
                row.push_back(c->value(i).as_text());
            rows.push_back(std::move(row));
        }
        return rows;
    }

    static std::string findings(const Verification& v) {
        std::string text;
        for (const Finding& f : v.findings.entries())
            text += f.file + ": " + f.message + "\n";
        return text;
    }

    static void expect_clean(const fs::path& table) {
        const Verification v = verify_table(table);
        EXPECT_EQ(v.level, 0) << findings(v);
    }

    TempDir dir_;
    RebuildResult last_;  // of the last rebuild()
};

std::int32_t count_field(const std::vector<std::uint8_t>& record) {
    return *pdx::decode_long(record.data() + 11);
}

TEST_F(RebuildTest, UnkeyedTableKeepsEveryReadableRecord) {
    const fs::path db = data() / "Small.DB";
    write_small_table(db, 500);  // 67 records a block, 8 blocks
    const std::vector<std::uint8_t> original = read_file(db);
    patch(db, [](std::vector<std::uint8_t>& b) {
        const FileGeometry g(b);
        set_u16(b, g.block(3), 5);      // block 4 falls off the chain
        set_u16(b, g.block(7), 2);      // block 7 leads back to block 2
        b[g.record(5, 3) + 10] = 0x37;  // an impossible logical value
        set_u16(b, g.block(6) + 4, 9);  // block 6: impossible record area size
        set_u32(b, 0x06, 7);
    });
    ASSERT_EQ(rebuild(db), 0) << pdx::last_error_message();
    expect_clean(db);

    const Records kept = records_of(db);
    std::vector<std::int32_t> values;
    for (const auto& r : kept)
        values.push_back(count_field(r));
    // Every record of blocks 1-3, 5, 7 and 8 but the impossible one, in table order: blocks
    // of the chain first, then block 8, the header's last block. Block 4 fell off the chain.
    EXPECT_EQ(kept.size(), 500u - 2 * 67 - 1);
    std::vector<std::int32_t> sorted = values;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_TRUE(std::adjacent_find(sorted.begin(), sorted.end()) == sorted.end());
    for (std::int32_t n = 1; n <= 500; ++n) {
        const bool in_block_4_or_6 = (n > 3 * 67 && n <= 4 * 67) || (n > 5 * 67 && n <= 6 * 67);
        const bool impossible = n == 4 * 67 + 4;
        EXPECT_EQ(std::binary_search(sorted.begin(), sorted.end(), n),
                  !in_block_4_or_6 && !impossible)
            << n;
    }

    // The records of blocks 4 and 6 and the impossible one are problems; nothing is lost.
    const Records problems = records_of(aux(db, "PROBLEM.DB"));
    EXPECT_EQ(problems.size(), 2 * 67u + 1);
    EXPECT_FALSE(fs::exists(aux(db, "KEYVIOL.DB")));
    // The result tells the same.
    EXPECT_EQ(last_.records_read, 500u);
    EXPECT_EQ(last_.kept, kept.size());
    EXPECT_EQ(last_.problems, 2 * 67u + 1);
    EXPECT_EQ(last_.key_violations, 0u);
    EXPECT_EQ(last_.problem_table, aux(db, "PROBLEM.DB"));
    EXPECT_TRUE(last_.key_violation_table.empty());
    // The original is kept whole.
    EXPECT_EQ(read_file(aux(db, "Backup.Db")), [&] {
        std::vector<std::uint8_t> damaged = original;
        const FileGeometry g(damaged);
        set_u16(damaged, g.block(3), 5);
        set_u16(damaged, g.block(7), 2);
        damaged[g.record(5, 3) + 10] = 0x37;
        set_u16(damaged, g.block(6) + 4, 9);
        set_u32(damaged, 0x06, 7);
        return damaged;
    }());
}

// The records of each block of the chain, in chain order, read from the data file's bytes.
std::vector<std::pair<std::uint16_t, std::size_t>> chain_of(const std::vector<std::uint8_t>& b) {
    const FileGeometry g(b);
    std::vector<std::pair<std::uint16_t, std::size_t>> chain;
    for (std::uint16_t block = u16_at(b, 0x0E); block != 0; block = u16_at(b, g.block(block)))
        chain.emplace_back(
            block, static_cast<std::int16_t>(u16_at(b, g.block(block) + 4)) / g.record_size + 1);
    return chain;
}

TEST_F(RebuildTest, TruncatedKeyedTableKeepsTheRecordsOfWholeBlocks) {
    const fs::path db = pdx::testing::copy_of_family("Orders", 3000, 2048, true, data());
    // Compared by value: the notes move into a new .MB, and their pointers with them.
    const auto before = values_of(db);
    const std::vector<std::uint8_t> bytes = read_file(db);
    const FileGeometry g(bytes);
    const auto chain = chain_of(bytes);
    // The file is cut inside a block two thirds down the chain; the blocks before it in the
    // chain lie before it in the file.
    const std::size_t cut = chain.size() * 2 / 3;
    std::size_t whole = 0;
    for (std::size_t i = 0; i < cut; ++i) {
        ASSERT_LT(chain[i].first, chain[cut].first);
        whole += chain[i].second;
    }
    const std::size_t in_block = (700 - 6) / g.record_size;  // whole records before byte 700
    ASSERT_LT(in_block, chain[cut].second);
    fs::resize_file(db, g.block(chain[cut].first) + 700);
    ASSERT_EQ(rebuild(db), 0) << pdx::last_error_message();
    expect_clean(db);
    const auto after = values_of(db);
    EXPECT_EQ(after.size(), whole + in_block);
    EXPECT_TRUE(std::equal(after.begin(), after.end(), before.begin()));
    EXPECT_EQ(records_of(aux(db, "PROBLEM.DB")).size(), 1u);  // the record cut in two
    EXPECT_TRUE(fs::exists(aux(db, "Backup.PX")));
    EXPECT_TRUE(fs::exists(aux(db, "Backup.VAL")));
}

TEST_F(RebuildTest, DuplicateKeysGoToTheKeyViolationTable) {
    const fs::path db = pdx::testing::copy_of_family("Customers", 20, 2048, false, data());
    const Records before = records_of(db);
    std::vector<std::uint8_t> duplicate;
    patch(db, [&](std::vector<std::uint8_t>& b) {
        const FileGeometry g(b);
        std::copy_n(b.begin() + static_cast<std::ptrdiff_t>(g.record(1, 0)), 4,
                    b.begin() + static_cast<std::ptrdiff_t>(g.record(1, 1)));
        duplicate.assign(b.begin() + static_cast<std::ptrdiff_t>(g.record(1, 1)),
                         b.begin() + static_cast<std::ptrdiff_t>(g.record(1, 1) + g.record_size));
    });
    ASSERT_EQ(rebuild(db), 0) << pdx::last_error_message();
    expect_clean(db);
    EXPECT_EQ(records_of(db).size(), before.size() - 1);
    const Records violations = records_of(aux(db, "KEYVIOL.DB"));
    ASSERT_EQ(violations.size(), 1u);
    EXPECT_EQ(violations[0], duplicate);
    // What the window and the shell say after "Rebuild was successful.".
    EXPECT_EQ(rebuild_notes(db, last_),
              std::vector<std::string>{
                  "1 record could not be kept in Customers.DB; it is in KEYVIOL.DB in " +
                  aux(db, "KEYVIOL.DB").parent_path().string() + "."});
}

TEST_F(RebuildTest, AutoIncrementCounterIsRaisedAndBlobsAreCarried) {
    const fs::path db = pdx::testing::copy_of_family("Customers", 20, 2048, false, data());
    patch(db, [](std::vector<std::uint8_t>& b) { set_u32(b, 0x49, 0); });
    ASSERT_EQ(rebuild(db), 0) << pdx::last_error_message();
    expect_clean(db);
    const auto table = pdx::Table::open_file(db);
    EXPECT_GE(table->header().auto_inc, 20u);
    std::vector<std::string> memos;
    for (auto c = table->open_cursor(); !c->eof(); c->next())
        memos.push_back(c->value(pdx::testing::FamilyLayout::kNoteField).as_text());
    const auto original = pdx::Table::open_file(aux(db, "Backup.Db"));
    std::size_t i = 0;
    for (auto c = original->open_cursor(); !c->eof(); c->next(), ++i)
        EXPECT_EQ(c->value(pdx::testing::FamilyLayout::kNoteField).as_text(), memos.at(i));
    EXPECT_EQ(i, 20u);
}

TEST_F(RebuildTest, LostBlobValueKeepsItsLeaderAndIsListed) {
    const fs::path db = pdx::testing::copy_of_family("Customers", 20, 2048, false, data());
    fs::remove(data() / "Customers.MB");
    ASSERT_EQ(rebuild(db), 0) << pdx::last_error_message();
    expect_clean(db);
    EXPECT_EQ(records_of(db).size(), 20u);
    EXPECT_EQ(records_of(aux(db, "PROBLEM.DB")).size(), 4u);  // the values kept in the .MB
    // Said as records that lost a value, not as records that left the table.
    const std::vector<std::string> notes = rebuild_notes(db, last_);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].rfind("4 records of Customers.DB lost a memo or blob value;", 0), 0u)
        << notes[0];
}

TEST_F(RebuildTest, FailureLeavesTheTableAsItWas) {
    const fs::path db = data() / "Small.DB";
    write_small_table(db, 300);
    patch(db, [](std::vector<std::uint8_t>& b) { b[FileGeometry(b).record(2, 1) + 10] = 0x37; });
    const std::vector<std::uint8_t> before = read_file(db);
    // The new family cannot be swapped in.
    pdx::set_crash_point_handler([](std::string_view where) {
        if (where == "family staged") throw vaq::Error("The disk refused the new family.");
    });
    EXPECT_NE(rebuild(db), 0);
    pdx::set_crash_point_handler(nullptr);
    EXPECT_EQ(pdx::last_error_message(), "The disk refused the new family.");
    EXPECT_EQ(read_file(db), before);
    for (const auto& entry : fs::directory_iterator(data()))
        EXPECT_EQ(entry.path().filename(), "Small.DB") << "left behind: " << entry.path();
}

TEST_F(RebuildTest, TablesThatCannotBeRebuilt) {
    write_encrypted_table(data() / "Secret.DB", 30);
    EXPECT_NE(rebuild(data() / "Secret.DB"), 0);
    EXPECT_NE(pdx::last_error_message().find("password"), std::string::npos);
    write_file(data() / "Notes.DB", std::vector<std::uint8_t>(100, 'x'));
    EXPECT_NE(rebuild(data() / "Notes.DB"), 0);
}

// The same for a table Paradox itself encrypted.
TEST_F(RebuildTest, RealEncryptedTableCannotBeRebuilt) {
    SKIP_WITHOUT_CORPUS();
    const fs::path encrypted = copy_corpus_table("paradoxdriver/encrypt/encrypted.db", data());
    EXPECT_NE(rebuild(encrypted), 0);
    EXPECT_NE(pdx::last_error_message().find("password"), std::string::npos);
}

TEST_F(RebuildTest, EveryGeneratedTableRebuildsToItsOwnRecords) {
    vaq::test_support::write_small_database(data(), 7);
    pdx::testing::copy_of_family("Orders", 3000, 2048, true, data());
    std::size_t tables = 0;
    for (const auto& entry : fs::directory_iterator(data())) {
        if (!pdx::same_file_name(entry.path().extension().string(), ".DB")) continue;
        const std::string name = entry.path().filename().string();
        const std::vector<std::vector<std::string>> before = values_of(entry.path());
        if (rebuild(entry.path()) != 0) {
            ADD_FAILURE() << name << ": " << pdx::last_error_message();
            continue;
        }
        ++tables;
        const Verification v = verify_table(entry.path());
        EXPECT_EQ(v.level, 0) << name << "\n" << findings(v);
        // Blob values move into a new .MB; every value reads the same.
        EXPECT_EQ(values_of(entry.path()), before) << name;
    }
    EXPECT_GT(tables, 5u);
}

// Real tables, laid out by other software.
TEST_F(RebuildTest, EveryUndamagedCorpusTableRebuildsToItsOwnRecords) {
    SKIP_WITHOUT_CORPUS();
    for (const auto& entry : fs::recursive_directory_iterator(corpus_dir())) {
        if (!pdx::same_file_name(entry.path().extension().string(), ".DB")) continue;
        const std::string relative = entry.path().lexically_relative(corpus_dir()).string();
        if (verify_table(entry.path()).level != 0 ||
            pdx::Table::open_file(entry.path())->is_encrypted())
            continue;
        TempDir dir;
        const fs::path db = copy_corpus_table(relative, dir.path());
        const std::vector<std::vector<std::string>> before = values_of(db);
        const TUResult result = rebuild(db);
        if (result != 0) {
            ADD_FAILURE() << relative << ": " << pdx::last_error_message();
            continue;
        }
        const Verification v = verify_table(db);
        EXPECT_EQ(v.level, 0) << relative << "\n" << findings(v);
        // Blob values move into a new .MB; every value reads the same.
        EXPECT_EQ(values_of(db), before) << relative;
    }
}

}  // namespace
}  // namespace vaq::tutil
