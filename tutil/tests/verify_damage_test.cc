// The corruption suite for verify: each kind of damage, made by code on a copy of a table
// the test writes (or of a real one, for what only other software writes), gives the level
// it must give and names what is wrong. Verify never answers 0 for a damaged table.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

#include "common/error.h"
#include "engine/format/field_codec.h"
#include "engine/sql/executor.h"
#include "engine/table/edit_buffer.h"
#include "engine/table/table.h"
#include "engine/table/table_admin.h"
#include "engine/table/table_writer.h"
#include "engine/table/tests/generated_family.h"
#include "tests/pxlib_writer.h"
#include "tests/support.h"
#include "tutil/rebuild.h"
#include "tutil/verifier.h"

namespace vaq::tutil {
namespace {

namespace fs = std::filesystem;
using namespace tutil::testing;

std::string all_findings(const Verification& v) {
    std::string text;
    for (const Finding& f : v.findings.entries())
        text += "[" + std::to_string(static_cast<int>(f.weight)) + "] " + f.file + ": " +
                f.message + "\n";
    return text;
}

// Orders: a keyed family of 3000 records in 2 KiB blocks written by the engine: a primary
// index of two levels, a maintained index on City (.X06), a composite case-insensitive index
// ByTeam (.XG0), notes in the record and in the .MB, a validity file.
constexpr std::uint32_t kRecords = 3000;
using Layout = pdx::testing::FamilyLayout;

class VerifyDamage : public ::testing::Test {
  protected:
    // A fresh copy of the Orders family, clean before the damage.
    fs::path orders() {
        const fs::path db =
            pdx::testing::copy_of_family("Orders", kRecords, 2048, true, dir_.path());
        const Verification v = verify_table(db);
        EXPECT_EQ(v.level, 0) << "Orders is not clean before the damage:\n" << all_findings(v);
        return db;
    }

    // Damages `db`, verifies it, and checks the level and that some finding contains
    // `expected`.
    Verification damaged(const fs::path& db, const std::function<void(const fs::path&)>& damage,
                         int level, const std::string& expected) {
        damage(db);
        Verification v = verify_table(db);
        EXPECT_EQ(v.level, level) << all_findings(v);
        EXPECT_NE(all_findings(v).find(expected), std::string::npos)
            << "no finding says \"" << expected << "\":\n"
            << all_findings(v);
        return v;
    }
    Verification damaged(const std::function<void(const fs::path&)>& damage, int level,
                         const std::string& expected) {
        return damaged(orders(), damage, level, expected);
    }

    static fs::path sibling(const fs::path& db, const std::string& extension) {
        fs::path p = db;
        return p.replace_extension(extension);
    }
    static std::uint16_t header_u16(const fs::path& db, std::size_t at) {
        return u16_at(read_file(db), at);
    }

    TempDir dir_;
};

// --- the data file ---

TEST_F(VerifyDamage, TruncatedInsideABlock) {
    const fs::path db = orders();
    const std::uint16_t blocks = header_u16(db, 0x0C);
    ASSERT_GT(blocks, 101);
    damaged(
        db,
        [](const fs::path& file) {
            const FileGeometry g(read_file(file));
            fs::resize_file(file, g.block(101) + 1000);
        },
        1, "The file ends after 101 of the " + std::to_string(blocks) + " blocks");
}

TEST_F(VerifyDamage, TruncatedAtABlockBoundary) {
    damaged(
        [](const fs::path& db) {
            const FileGeometry g(read_file(db));
            fs::resize_file(db, g.block(101));
        },
        1, "lies beyond the end of the file");
}

TEST_F(VerifyDamage, BlockUnlinkedFromTheChain) {
    const fs::path db = orders();
    const std::vector<std::uint8_t> bytes = read_file(db);
    const FileGeometry g(bytes);
    ASSERT_NE(u16_at(bytes, g.block(10)), 0) << "block 10 is the last of the chain";
    ASSERT_NE(u16_at(bytes, g.block(10) + 2), 0) << "block 10 is the first of the chain";
    const std::size_t held =
        static_cast<std::int16_t>(u16_at(bytes, g.block(10) + 4)) / g.record_size + 1;
    damaged(
        db,
        [](const fs::path& file) {
            patch(file, [](std::vector<std::uint8_t>& b) {
                const FileGeometry geometry(b);
                const std::uint16_t next = u16_at(b, geometry.block(10));
                const std::uint16_t prev = u16_at(b, geometry.block(10) + 2);
                set_u16(b, geometry.block(prev), next);
                set_u16(b, geometry.block(next) + 2, prev);
            });
        },
        1, "Block 10 holds " + std::to_string(held) + " records but is not in the chain");
}

TEST_F(VerifyDamage, LoopInTheChain) {
    damaged(
        [](const fs::path& db) {
            patch(db, [](std::vector<std::uint8_t>& b) {
                const FileGeometry g(b);
                set_u16(b, g.block(u16_at(b, 0x10)), 3);  // the last block leads back to block 3
            });
        },
        1, "loops");
}

TEST_F(VerifyDamage, WrongRecordCount) {
    damaged(
        [](const fs::path& db) {
            patch(db, [](std::vector<std::uint8_t>& b) { set_u32(b, 0x06, kRecords + 1); });
        },
        1,
        "The header counts 3001 records but the chain of data blocks holds " +
            std::to_string(kRecords));
}

TEST_F(VerifyDamage, WrongUsedBlockCount) {
    const fs::path db = orders();
    const std::uint16_t used = header_u16(db, 0x0A);
    damaged(
        db,
        [used](const fs::path& file) {
            patch(file, [used](std::vector<std::uint8_t>& b) {
                set_u16(b, 0x0A, static_cast<std::uint16_t>(used - 1));
            });
        },
        1,
        "The chain holds " + std::to_string(used) + " blocks but the header counts " +
            std::to_string(used - 1) + " blocks in use");
}

TEST_F(VerifyDamage, ImpossibleLastRecordOffset) {
    damaged(
        [](const fs::path& db) {
            patch(db, [](std::vector<std::uint8_t>& b) {
                const FileGeometry g(b);
                set_u16(b, g.block(5) + 4, 7);
            });
        },
        1, "Block 5 of the chain has an impossible record area size");
}

TEST_F(VerifyDamage, GarbageRecordBreaksTheKeyOrder) {
    damaged(
        [](const fs::path& db) {
            patch(db, [](std::vector<std::uint8_t>& b) {
                const FileGeometry g(b);
                std::fill_n(b.begin() + static_cast<std::ptrdiff_t>(g.record(7, 3)), g.record_size,
                            0xA5);
            });
        },
        1, "Block 7, record 5 is out of key order");
}

TEST_F(VerifyDamage, DuplicateKeys) {
    damaged(
        [](const fs::path& db) {
            patch(db, [](std::vector<std::uint8_t>& b) {
                const FileGeometry g(b);
                std::copy_n(b.begin() + static_cast<std::ptrdiff_t>(g.record(3, 0)), 4,
                            b.begin() + static_cast<std::ptrdiff_t>(g.record(3, 1)));
            });
        },
        1, "Block 3, record 2 repeats the key of the record before it");
}

TEST_F(VerifyDamage, AutoIncrementCounterBelowTheData) {
    damaged(
        [](const fs::path& db) {
            patch(db, [](std::vector<std::uint8_t>& b) { set_u32(b, 0x49, 100); });
        },
        1,
        "The auto-increment counter is 100 but the table already holds the value " +
            std::to_string(kRecords));
}

TEST_F(VerifyDamage, RebuildFlagLeftSet) {
    damaged(
        [](const fs::path& db) { patch(db, [](std::vector<std::uint8_t>& b) { b[0x14] = 1; }); }, 1,
        "needing a rebuild");
}

// --- indexes ---

TEST_F(VerifyDamage, MissingPrimaryIndex) {
    damaged([&](const fs::path& db) { fs::remove(sibling(db, ".PX")); }, 1,
            "The primary index of the keyed table is missing");
}

TEST_F(VerifyDamage, StalePrimaryIndex) {
    // The last record is deleted from the data as a writer would, but the indexes are left.
    const Verification v = damaged(
        [](const fs::path& db) {
            patch(db, [](std::vector<std::uint8_t>& b) {
                const FileGeometry g(b);
                const std::size_t last = g.block(u16_at(b, 0x10));
                set_u16(b, last + 4,
                        static_cast<std::uint16_t>(u16_at(b, last + 4) - g.record_size));
                set_u32(b, 0x06, kRecords - 1);
            });
        },
        1, "The primary index does not match the table");
    EXPECT_NE(all_findings(v).find("Orders.XG0: The index holds " + std::to_string(kRecords) +
                                   " entries but the table holds " + std::to_string(kRecords - 1) +
                                   " records"),
              std::string::npos)
        << all_findings(v);
}

TEST_F(VerifyDamage, StaleSecondaryIndex) {
    damaged(
        [](const fs::path& db) {
            patch(db, [](std::vector<std::uint8_t>& b) {
                const FileGeometry g(b);
                b[g.record(20, 2) + Layout::kYearAt + 3] ^= 0x01;  // Year, in ByTeam
            });
        },
        1, "Orders.XG0: The index does not hold the entries of the table's records");
}

TEST_F(VerifyDamage, MissingSecondaryIndex) {
    damaged([&](const fs::path& db) { fs::remove(sibling(db, ".X06")); }, 1,
            "The index file is missing; its tree Orders.Y06 is still there");
}

TEST_F(VerifyDamage, MissingSecondaryIndexTree) {
    damaged([&](const fs::path& db) { fs::remove(sibling(db, ".Y06")); }, 1,
            "The tree of the index (Orders.Y06) is missing");
}

TEST_F(VerifyDamage, SecondaryIndexOutOfStepWithThePrimaryIndex) {
    damaged(
        [&](const fs::path& db) {
            patch(sibling(db, ".X06"), [](std::vector<std::uint8_t>& b) { ++b[0x2F]; });
        },
        1, "The index is out of date with the primary index");
}

TEST_F(VerifyDamage, ValidityFileOfAnotherStructure) {
    damaged(
        [&](const fs::path& db) {
            patch(sibling(db, ".VAL"), [](std::vector<std::uint8_t>& b) { ++b[0]; });
        },
        1, "The validity file is out of date");
}

// --- blobs ---

// The first record of block 1 whose note lies in the .MB: offset of its blob pointer.
std::size_t external_memo_pointer(const std::vector<std::uint8_t>& b) {
    const FileGeometry g(b);
    for (std::size_t slot = 0; slot < 10; ++slot) {
        const std::size_t at = g.record(1, slot) + Layout::kNotePointerAt;
        if (pdx::load_u32le(b.data() + at + 4) > Layout::kNoteLeader) return at;
    }
    throw std::runtime_error("no external memo");
}

TEST_F(VerifyDamage, BlobReferenceToNowhere) {
    damaged(
        [](const fs::path& db) {
            patch(db, [](std::vector<std::uint8_t>& b) {
                set_u32(b, external_memo_pointer(b), 0x00FF0000u | 0xFF);
            });
        },
        1, "refers to a blob value that does not exist");
}

TEST_F(VerifyDamage, BlobModifiedSince) {
    damaged(
        [](const fs::path& db) {
            patch(db, [](std::vector<std::uint8_t>& b) {
                const std::size_t at = external_memo_pointer(b) + 8;
                set_u16(b, at, static_cast<std::uint16_t>(u16_at(b, at) + 1));
            });
        },
        1, "has been modified since");
}

// --- levels above 1 ---

TEST_F(VerifyDamage, DamagedFieldListMustBeRebuiltByHand) {
    damaged(
        [](const fs::path& db) {
            patch(db, [](std::vector<std::uint8_t>& b) { b[0x78] = 0x42; });  // first field's type
        },
        3, "The header of Orders.DB is damaged");
}

TEST_F(VerifyDamage, IndexFileInPlaceOfATableCannotBeRebuilt) {
    damaged(
        [&](const fs::path& db) {
            fs::copy_file(sibling(db, ".PX"), db, fs::copy_options::overwrite_existing);
        },
        4, "is a Paradox index file");
}

TEST_F(VerifyDamage, DamagedEncryptedTableMustBeRebuiltByHand) {
    const fs::path db = dir_ / "Secret.DB";
    write_encrypted_table(db, 30);
    ASSERT_TRUE(pdx::Table::open_file(db)->is_encrypted());
    EXPECT_EQ(verify_table(db).level, 0) << "Secret.DB is not clean before the damage";
    damaged(
        db,
        [](const fs::path& file) {
            patch(file, [](std::vector<std::uint8_t>& b) { set_u32(b, 0x06, 5); });
        },
        3, "The header counts 5 records");
}

// --- real tables: what only other software writes ---

// Encrypted tables come from Paradox itself; the validity file checked here is a real one.
class VerifyRealDamage : public VerifyDamage {
  protected:
    void SetUp() override { SKIP_WITHOUT_CORPUS(); }
    fs::path copy(const std::string& table) {
        const fs::path db = copy_corpus_table(table, dir_.path());
        EXPECT_EQ(verify_table(db).level, 0) << table << " is not clean before the damage";
        return db;
    }
};

TEST_F(VerifyRealDamage, DamagedEncryptedTableMustBeRebuiltByHand) {
    damaged(
        copy("paradoxdriver/encrypt/encrypted.db"),
        [](const fs::path& db) {
            patch(db, [](std::vector<std::uint8_t>& b) { set_u32(b, 0x06, 5); });
        },
        3, "The header counts 5 records");
}

TEST_F(VerifyRealDamage, ValidityFileOfAnotherStructure) {
    damaged(
        copy("paradoxdriver/areas/ZIPCODES.DB"),
        [&](const fs::path& db) {
            patch(sibling(db, ".VAL"), [](std::vector<std::uint8_t>& b) { ++b[0]; });
        },
        1, "The validity file is out of date");
}

TEST(VerifyLevels, ForeignFileCannotBeRebuilt) {
    TempDir dir;
    write_file(dir / "Notes.DB", std::vector<std::uint8_t>(40, 'x'));
    EXPECT_EQ(verify_table(dir / "Notes.DB").level, 4);
    std::vector<std::uint8_t> text(4096, 'x');
    write_file(dir / "Text.DB", text);
    const Verification v = verify_table(dir / "Text.DB");
    EXPECT_EQ(v.level, 4) << all_findings(v);
}

TEST(VerifyLevels, MissingTableIsAnError) {
    TempDir dir;
    EXPECT_THROW(verify_table(dir / "None.DB"), vaq::Error);
}

// --- generated tables ---

TEST(VerifyGenerated, CleanTableHasNoFindings) {
    TempDir dir;
    write_small_table(dir / "Small.DB", 200);
    const Verification v = verify_table(dir / "Small.DB");
    EXPECT_EQ(v.level, 0) << all_findings(v);
    EXPECT_TRUE(v.findings.entries().empty()) << all_findings(v);
}

TEST(VerifyGenerated, RecordWithImpossibleValueIsUnreadable) {
    TempDir dir;
    const fs::path db = dir / "Small.DB";
    write_small_table(db, 200);
    patch(db, [](std::vector<std::uint8_t>& b) { b[FileGeometry(b).record(2, 4) + 10] = 0x37; });
    const Verification v = verify_table(db);
    EXPECT_EQ(v.level, 1);
    EXPECT_NE(all_findings(v).find("Block 2, record 5 cannot be read: field Flag holds the "
                                   "logical byte 55"),
              std::string::npos)
        << all_findings(v);
}

// A timestamp far beyond every calendar date (a damaged field) is an odd date, found without
// turning the number into an integer it does not fit.
TEST(VerifyGenerated, TimestampBeyondEveryDateIsAnOddDate) {
    TempDir dir;
    pdx::TableSpec spec;
    spec.fields = {{"Id", pdx::FieldType::kLong, 0}, {"At", pdx::FieldType::kTimestamp, 0}};
    const fs::path db = pdx::create_table(dir.path(), "Stamps", spec, pdx::CreateOptions{7, 2048});
    {
        auto t = pdx::Table::open_file(db, pdx::Access::kWrite);
        for (int i = 1; i <= 3; ++i) {
            pdx::EditBuffer r = pdx::EditBuffer::blank(t);
            r.set(0, std::int64_t{i});
            r.set(1, std::string("2024-01-02 03:04:05"));
            t->writer().insert(r);
        }
        t->writer().flush();
    }
    patch(db, [](std::vector<std::uint8_t>& b) {
        const FileGeometry g(b);
        pdx::encode_double(1e300, b.data() + g.record(1, 0) + 4);
        pdx::encode_double(-1e300, b.data() + g.record(1, 2) + 4);
    });
    const Verification v = verify_table(db);
    EXPECT_EQ(v.level, 0) << all_findings(v);
    EXPECT_NE(all_findings(v).find("2 records hold a date outside the years 100 to 9999"),
              std::string::npos)
        << all_findings(v);
}

// A keyed table emptied record by record keeps its first block in the chain, and its primary
// index then holds no entry, as for every block without records (a real table's index over
// a chain of one empty block holds none either). Verify finds nothing, and the table fills
// again from there.
TEST(VerifyGenerated, EmptiedKeyedTableIsClean) {
    TempDir dir;
    pdx::sql::Executor sql(dir.path(), pdx::CreateOptions{7, 2048});
    sql.execute("CREATE TABLE Pairs (A integer, B char(10), C integer, PRIMARY KEY (A, B))");
    sql.execute("INSERT INTO Pairs VALUES (1, 'one', 10)");
    EXPECT_EQ(sql.execute("DELETE FROM Pairs"), 1u);
    const fs::path db = pdx::Table::open(dir.path(), "Pairs")->path();
    Verification v = verify_table(db);
    EXPECT_EQ(v.level, 0) << all_findings(v);
    EXPECT_TRUE(v.findings.entries().empty()) << all_findings(v);

    for (int i = 1; i <= 200; ++i)
        sql.execute("INSERT INTO Pairs VALUES (" + std::to_string(i % 50) + ", 'n" +
                    std::to_string(i) + "', " + std::to_string(i) + ")");
    EXPECT_EQ(sql.execute("DELETE FROM Pairs WHERE C > 100"), 100u);
    v = verify_table(db);
    EXPECT_EQ(v.level, 0) << all_findings(v);
    EXPECT_EQ(sql.execute("DELETE FROM Pairs"), 100u);
    v = verify_table(db);
    EXPECT_EQ(v.level, 0) << all_findings(v);
    sql.execute("INSERT INTO Pairs VALUES (7, 'again', 1)");
    v = verify_table(db);
    EXPECT_EQ(v.level, 0) << all_findings(v);
    EXPECT_EQ(pdx::Table::open_file(db)->record_count(), 1u);
}

// A field without a name cannot name the single-field index over it, which every listing of
// the indexes needs. Such a header is damage that verify, opening and rebuild agree on: verify
// says the table must be rebuilt by hand, the table does not open, and a rebuild refuses it
// and leaves the files as they were instead of writing the same index again.
TEST(VerifyGenerated, FieldWithoutANameIsDamageEveryToolReports) {
    TempDir dir;
    pdx::sql::Executor sql(dir.path(), pdx::CreateOptions{7, 2048});
    sql.execute("CREATE TABLE Named (Id integer, Name char(10), PRIMARY KEY (Id))");
    sql.execute("INSERT INTO Named VALUES (1, 'one'), (2, 'two')");
    sql.execute("CREATE INDEX Name ON Named (Name)");
    const fs::path db = pdx::Table::open(dir.path(), "Named")->path();
    ASSERT_EQ(verify_table(db).level, 0);
    // The names follow one another, each ended by a zero: zeros in place of the second one's
    // letters leave it empty and every other name where it was.
    patch(db, [](std::vector<std::uint8_t>& b) {
        const std::string names("Id\0Name\0", 8);
        const auto at = std::search(b.begin(), b.end(), names.begin(), names.end());
        ASSERT_NE(at, b.end());
        std::fill(at + 3, at + 7, std::uint8_t{0});
    });
    const std::vector<std::uint8_t> damaged = read_file(db);

    const Verification v = verify_table(db);
    EXPECT_GE(v.level, 2) << all_findings(v);
    EXPECT_NE(all_findings(v).find("field 2 has no name"), std::string::npos) << all_findings(v);
    try {
        pdx::Table::open_file(db);
        ADD_FAILURE() << "the table opened";
    } catch (const vaq::Error& e) {
        EXPECT_NE(std::string(e.what()).find("field 2 has no name"), std::string::npos) << e.what();
    }
    EXPECT_THROW(
        rebuild_table({db, dir / "Backup.DB", dir / "KEYVIOL.DB", dir / "PROBLEM.DB", nullptr}),
        vaq::Error);
    EXPECT_EQ(read_file(db), damaged);
}

TEST(VerifyGenerated, FreeListAndLostBlocks) {
    TempDir dir;
    const fs::path db = dir / "Small.DB";
    write_small_table(db, 200);  // records of 15 bytes: 67, 67 and 66 in 3 blocks
    // Block 3 is emptied and put on the free list, as a writer frees a block: clean.
    patch(db, [](std::vector<std::uint8_t>& b) {
        const FileGeometry g(b);
        set_u16(b, g.block(2), 0);
        set_u16(b, g.block(3), 0);
        set_u16(b, g.block(3) + 4, static_cast<std::uint16_t>(-static_cast<int>(g.record_size)));
        set_u16(b, 0x0A, 2);
        set_u16(b, 0x10, 2);
        set_u16(b, 0x4D, 3);
        set_u32(b, 0x06, 134);
    });
    Verification v = verify_table(db);
    EXPECT_EQ(v.level, 0) << all_findings(v);
    // Off the free list again, the empty block is lost.
    patch(db, [](std::vector<std::uint8_t>& b) { set_u16(b, 0x4D, 0); });
    v = verify_table(db);
    EXPECT_EQ(v.level, 1);
    EXPECT_NE(all_findings(v).find("Block 3 is neither in the chain nor in the free list"),
              std::string::npos)
        << all_findings(v);
}

TEST(VerifyGenerated, ProgressMovesThroughThePhases) {
    TempDir dir;
    write_small_table(dir / "Small.DB", 5000);
    std::vector<std::pair<Phase, int>> reports;
    verify_table(dir / "Small.DB",
                 [&](Phase phase, int percent) { reports.emplace_back(phase, percent); });
    ASSERT_FALSE(reports.empty());
    for (Phase phase : {Phase::kHeader, Phase::kData, Phase::kIndexes}) {
        int last = -1;
        bool finished = false;
        for (const auto& [p, percent] : reports) {
            if (p != phase) continue;
            EXPECT_GE(percent, last);
            last = percent;
            finished = percent == 100;
        }
        EXPECT_TRUE(finished) << "phase " << static_cast<int>(phase);
    }
}

}  // namespace
}  // namespace vaq::tutil
