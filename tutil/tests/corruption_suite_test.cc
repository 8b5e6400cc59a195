// The damage a crash, a torn write or a bad disk leaves, done to tables pxlib wrote, then
// rebuilt. For every case the records are counted with pxlib as the reader:
//   - invented: records in the table or KEYVIOL.DB that no writer ever wrote;
//   - dropped: records whose bytes were whole somewhere in the damaged file and that are
//     neither in the table, nor in KEYVIOL.DB, nor in PROBLEM.DB;
//   - the rebuild's result tells the counts the three tables hold, and they add up;
//   - verify finds the rebuilt table sound.
// At the end the cases are printed as a table.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "engine/table/table_name.h"
#include "engine/table/tests/generated_family.h"
#include "engine/table/tests/pxlib_reader.h"
#include "test_support/generated_database.h"
#include "tests/pxlib_writer.h"
#include "tests/support.h"
#include "tutil/rebuild.h"
#include "tutil/verifier.h"

namespace vaq::tutil {
namespace {

using namespace tutil::testing;
using Record = std::vector<std::uint8_t>;
using RecordSet = std::set<Record>;

// ID (the key of keyed tables), Name, Amount, Note: 62 bytes a record.
const std::vector<PxColumn> kColumns = {
    {"ID", pxfLong, 4}, {"Name", pxfAlpha, 20}, {"Amount", pxfNumber, 8}, {"Note", pxfAlpha, 30}};

// Memory for a few records of 62 bytes in each list of records a rebuild sets aside.
constexpr std::size_t kSetAsideMemory = 400;

struct TableSpec {
    bool keyed = false;
    int block_kib = 2;
};

// Writes the records of `ids` (in that order) through pxlib, each noted with `version`;
// returns the bytes of every record written.
std::vector<Record> write_table(const fs::path& path, const TableSpec& spec,
                                const std::vector<int>& ids,
                                const std::function<int(int)>& version) {
    std::vector<Record> written;
    PxlibWriter writer(path, kColumns, spec.keyed ? 1 : 0, spec.block_kib);
    pxdoc_t* doc = writer.doc();
    for (const int id : ids) {
        char* r = writer.fresh_record();
        std::string name = "name " + std::to_string(id);
        std::string note = "note " + std::to_string(id) + " v" + std::to_string(version(id));
        PX_put_data_long(doc, r, 4, id);
        PX_put_data_alpha(doc, r + 4, 20, name.data());
        PX_put_data_double(doc, r + 24, 8, id * 1.5);
        PX_put_data_alpha(doc, r + 32, 30, note.data());
        written.emplace_back(r, r + writer.record_size());
        writer.append();
    }
    return written;
}

std::vector<int> ids_from(int first, int count, int step = 1) {
    std::vector<int> ids;
    for (int i = 0; i < count; ++i)
        ids.push_back(first + i * step);
    return ids;
}

std::vector<Record> pxlib_records(const fs::path& table) {
    std::vector<Record> records;
    if (!fs::exists(table)) return records;
    pdx::testing::PxlibTable t(table.string());
    for (int i = 0; i < t.record_count(); ++i) {
        const char* r = t.read_record(i);
        records.emplace_back(r, r + t.doc()->px_head->px_recordsize);
    }
    return records;
}

// Records of `known` whose bytes lie whole in some slot of some block of the file.
RecordSet whole_on_disk(const std::vector<std::uint8_t>& file, const RecordSet& known) {
    RecordSet found;
    const FileGeometry g(file);
    const std::size_t per_block = (g.block_size - 6) / g.record_size;
    for (std::uint32_t b = 1; g.block(b) < file.size(); ++b)
        for (std::size_t slot = 0; slot < per_block; ++slot) {
            const std::size_t at = g.record(b, slot);
            if (at + g.record_size > file.size()) break;
            const Record bytes(file.begin() + static_cast<std::ptrdiff_t>(at),
                               file.begin() + static_cast<std::ptrdiff_t>(at + g.record_size));
            if (known.count(bytes) != 0) found.insert(bytes);
        }
    return found;
}

struct Row {
    std::string name;
    int level = 0;
    std::size_t before = 0;
    std::uint64_t table = 0;
    std::uint64_t keyviol = 0;
    std::uint64_t problem = 0;
    std::size_t invented = 0;
    std::size_t dropped = 0;
};

std::vector<Row>& rows() {
    static std::vector<Row> all;
    return all;
}

// Prints the table of every case once the suite has run.
class PrintRows : public ::testing::Environment {
  public:
    void TearDown() override {
        if (rows().empty()) return;
        std::printf("\n%-40s %5s %7s %7s %7s %7s %8s %7s\n", "case", "level", "before", "table",
                    "keyviol", "problem", "invented", "dropped");
        for (const Row& r : rows())
            std::printf("%-40s %5d %7zu %7llu %7llu %7llu %8zu %7zu\n", r.name.c_str(), r.level,
                        r.before, static_cast<unsigned long long>(r.table),
                        static_cast<unsigned long long>(r.keyviol),
                        static_cast<unsigned long long>(r.problem), r.invented, r.dropped);
    }
};
const auto* const kPrintRows = ::testing::AddGlobalTestEnvironment(new PrintRows);

class CorruptionSuite : public ::testing::Test {
  protected:
    fs::path table() const { return dir_ / "Damaged.DB"; }
    fs::path aside(const std::string& name) const { return dir_ / "aside" / name; }

    // Writes a table of `ids`; every record written is known.
    void write(
        const TableSpec& spec, const std::vector<int>& ids,
        const std::function<int(int)>& version = [](int) { return 1; }, const fs::path& path = {}) {
        const fs::path target = path.empty() ? table() : path;
        for (Record& r : write_table(target, spec, ids, version))
            known_.insert(std::move(r));
    }

    // Rebuilds the damaged table and counts where its records went; `waiting_memory` is the
    // memory the rebuild has for records that come out of key order. The lists of records
    // set aside get memory for a few records only: the rest wait on disk, as they do when
    // the damage is large.
    RebuildResult rebuild_and_count(const std::string& name,
                                    std::size_t waiting_memory = RebuildRequest::kWaitingMemory) {
        SCOPED_TRACE(name);
        const std::vector<std::uint8_t> damaged = read_file(table());
        Row row;
        row.name = name;
        row.level = verify_table(table()).level;
        const RecordSet whole = whole_on_disk(damaged, known_);
        row.before = whole.size();

        fs::create_directories(dir_ / "aside");
        const RebuildResult result =
            rebuild_table({table(), aside("Backup.DB"), aside("KEYVIOL.DB"), aside("PROBLEM.DB"),
                           nullptr, waiting_memory, kSetAsideMemory});
        const auto kept = pxlib_records(table());
        const auto violations = pxlib_records(aside("KEYVIOL.DB"));
        const auto problems = pxlib_records(aside("PROBLEM.DB"));
        row.table = kept.size();
        row.keyviol = violations.size();
        row.problem = problems.size();

        RecordSet found;
        for (const auto* list : {&kept, &violations})
            for (const Record& r : *list) {
                if (known_.count(r) == 0) ++row.invented;
                found.insert(r);
            }
        found.insert(problems.begin(), problems.end());
        for (const Record& r : whole)
            if (found.count(r) == 0) ++row.dropped;
        rows().push_back(row);

        EXPECT_EQ(row.invented, 0u);
        EXPECT_EQ(row.dropped, 0u);
        EXPECT_EQ(result.kept, kept.size());
        EXPECT_EQ(result.key_violations, violations.size());
        EXPECT_EQ(result.problems, problems.size());
        EXPECT_EQ(result.records_read, result.kept + result.set_aside());
        const Verification after = verify_table(table());
        std::string findings;
        for (const Finding& f : after.findings.entries())
            findings += f.message + "\n";
        EXPECT_EQ(after.level, 0) << findings;
        for (const auto& entry : fs::directory_iterator(dir_ / "aside"))
            EXPECT_NE(entry.path().extension(), ".tmp") << entry.path();
        return result;
    }

    template <typename Change>
    void damage(Change change) {
        patch(table(), change);
    }

    TempDir dir_;
    RecordSet known_;
};

// 62-byte records: 32 a block at 2 KiB, 16 at 1 KiB, 49 at 3 KiB, 65 at 4 KiB.
std::size_t per_block(int block_kib) {
    return (static_cast<std::size_t>(block_kib) * 1024 - 6) / 62;
}

void zero(std::vector<std::uint8_t>& b, std::size_t from, std::size_t count) {
    std::fill_n(b.begin() + static_cast<std::ptrdiff_t>(from), count, 0);
}

TEST_F(CorruptionSuite, ZeroedBlock) {
    write({false, 2}, ids_from(1, 600));
    damage([](std::vector<std::uint8_t>& b) {
        const FileGeometry g(b);
        zero(b, g.block(3), g.block_size);
    });
    rebuild_and_count("zeroed block, unkeyed 2 KiB");
}

// A 4 KiB page of the file, the one block `n` starts in, wiped.
void zero_page_at_block(std::vector<std::uint8_t>& b, std::uint32_t n) {
    const FileGeometry g(b);
    const std::size_t page = g.block(n) / 4096 * 4096;
    zero(b, page, std::min<std::size_t>(4096, b.size() - page));
}

TEST_F(CorruptionSuite, ZeroedPageAcrossABlockBoundary) {
    for (const bool keyed : {false, true})
        for (const int kib : {1, 2, 3, 4, 8}) {
            known_.clear();
            fs::remove_all(dir_ / "aside");
            write({keyed, kib}, ids_from(1, 600, 2));
            damage([](std::vector<std::uint8_t>& b) { zero_page_at_block(b, 4); });
            rebuild_and_count(std::string("zeroed page, ") + (keyed ? "keyed " : "unkeyed ") +
                              std::to_string(kib) + " KiB");
        }
}

// Block 3 of the table as `newer` has it up to `tear` bytes, the rest as `older` had it.
void tear_block(std::vector<std::uint8_t>& newer, const std::vector<std::uint8_t>& older,
                std::uint32_t block, std::size_t tear) {
    const FileGeometry g(newer);
    const std::size_t from = g.block(block) + tear;
    std::copy(older.begin() + static_cast<std::ptrdiff_t>(from),
              older.begin() + static_cast<std::ptrdiff_t>(g.block(block) + g.block_size),
              newer.begin() + static_cast<std::ptrdiff_t>(from));
}

TEST_F(CorruptionSuite, TornBlockWriteUnkeyed) {
    // The newer state changed the records of the first half of block 3 (slots 0 to 15 of
    // 32); the write of the block tore at its middle, a sector boundary.
    write(
        {false, 2}, ids_from(1, 600), [](int) { return 1; }, dir_ / "older.db");
    write({false, 2}, ids_from(1, 600), [](int id) { return id > 64 && id <= 80 ? 2 : 1; });
    const auto older = read_file(dir_ / "older.db");
    damage([&](std::vector<std::uint8_t>& b) { tear_block(b, older, 3, 1024); });
    rebuild_and_count("torn block, unkeyed 2 KiB");
}

TEST_F(CorruptionSuite, TornBlockWriteKeyed) {
    // The newer state deleted five records from the first half of block 3 (those after it
    // move up) and changed one; the write of the block tore at its middle, before the
    // table's header was written: the header still counts the five.
    write({true, 2}, ids_from(2, 600, 2));
    const auto older = read_file(table());
    damage([&](std::vector<std::uint8_t>& b) {
        const FileGeometry g(b);
        const std::size_t size = g.record_size;
        const std::size_t count = per_block(2);
        const std::size_t first = g.record(3, 4);
        const std::size_t end = g.record(3, count);
        std::copy(b.begin() + static_cast<std::ptrdiff_t>(first + 5 * size),
                  b.begin() + static_cast<std::ptrdiff_t>(end),
                  b.begin() + static_cast<std::ptrdiff_t>(first));
        zero(b, end - 5 * size, 5 * size);
        set_u16(b, g.block(3) + 4, static_cast<std::uint16_t>((count - 6) * size));
        b[g.record(3, 1) + 40] = 'X';  // a changed note
        known_.insert(Record(b.begin() + static_cast<std::ptrdiff_t>(g.record(3, 1)),
                             b.begin() + static_cast<std::ptrdiff_t>(g.record(3, 1) + size)));
        tear_block(b, older, 3, 1024);
    });
    rebuild_and_count("torn block, keyed 2 KiB");
}

TEST_F(CorruptionSuite, TornLastBlockAfterAppends) {
    // 590 records, then 10 appended to the last block (14 records, then 24); the header
    // was written, the block's second half never was.
    write(
        {false, 2}, ids_from(1, 590), [](int) { return 1; }, dir_ / "older.db");
    write({false, 2}, ids_from(1, 600));
    const auto older = read_file(dir_ / "older.db");
    damage([&](std::vector<std::uint8_t>& b) { tear_block(b, older, 19, 1024); });
    rebuild_and_count("torn last block after appends, 2 KiB");
}

TEST_F(CorruptionSuite, BlockCountsAndHeader) {
    const auto run = [&](const std::string& name,
                         const std::function<void(std::vector<std::uint8_t>&)>& change) {
        known_.clear();
        fs::remove_all(dir_ / "aside");
        write({false, 2}, ids_from(1, 600));
        damage(change);
        rebuild_and_count(name);
    };
    run("block count too low", [](std::vector<std::uint8_t>& b) {
        const FileGeometry g(b);
        set_u16(b, g.block(3) + 4, static_cast<std::uint16_t>((per_block(2) - 11) * 62));
    });
    run("block count too high (last block)", [](std::vector<std::uint8_t>& b) {
        const FileGeometry g(b);
        const std::size_t last = 600 / per_block(2) + 1;  // 24 records of 32
        set_u16(b, g.block(static_cast<std::uint32_t>(last)) + 4,
                static_cast<std::uint16_t>((600 % per_block(2) + 6 - 1) * 62));
    });
    run("block count impossible", [](std::vector<std::uint8_t>& b) {
        const FileGeometry g(b);
        set_u16(b, g.block(3) + 4, 61);
    });
    run("header's encryption mark damaged",
        [](std::vector<std::uint8_t>& b) { set_u32(b, 0x25, 0x12345678); });
}

TEST_F(CorruptionSuite, BlockOffTheChain) {
    // Block 2 leads to block 4: no reader sees the 32 records of block 3, so they are set
    // aside, not taken back into the table unasked.
    for (const bool keyed : {false, true}) {
        known_.clear();
        fs::remove_all(dir_ / "aside");
        write({keyed, 2}, ids_from(1, 600));
        damage([](std::vector<std::uint8_t>& b) {
            const FileGeometry g(b);
            set_u16(b, g.block(2), 4);
            set_u16(b, g.block(4) + 2, 2);
        });
        rebuild_and_count(std::string("block off the chain, ") + (keyed ? "keyed" : "unkeyed"));
        EXPECT_EQ(rows().back().table, 600u - per_block(2));
        EXPECT_EQ(rows().back().problem, per_block(2));
    }
}

TEST_F(CorruptionSuite, BlockOffTheChainHoldingCopies) {
    // Block 3 off the chain holds older copies of records the chain holds too (block 2's,
    // as a block that was split and let go may): nothing is set aside twice.
    write({false, 2}, ids_from(1, 600));
    damage([](std::vector<std::uint8_t>& b) {
        const FileGeometry g(b);
        std::copy_n(b.begin() + static_cast<std::ptrdiff_t>(g.block(2) + 6), per_block(2) * 62,
                    b.begin() + static_cast<std::ptrdiff_t>(g.block(3) + 6));
        set_u16(b, g.block(2), 4);
        set_u16(b, g.block(4) + 2, 2);
    });
    rebuild_and_count("block off the chain, older copies");
    EXPECT_EQ(rows().back().table, 600u - per_block(2));
    EXPECT_EQ(rows().back().problem, 0u);
}

TEST_F(CorruptionSuite, KeyedBlockCountTooLow) {
    write({true, 4}, ids_from(1, 600, 3));
    damage([](std::vector<std::uint8_t>& b) {
        const FileGeometry g(b);
        set_u16(b, g.block(2) + 4, static_cast<std::uint16_t>((per_block(4) - 21) * 62));
    });
    rebuild_and_count("block count too low, keyed 4 KiB");
}

// Every byte of every record an undamaged corpus table holds, as pxlib reads it, is the same
// after a rebuild; only the pointers of blob values into the .MB, which the rebuild writes
// anew, may differ.
// A keyed table whose records are all out of key order but the first block's: pxlib writes
// them as given, here a block at a time from the highest keys down (in key order inside each
// block, as a block split leaves them), then four keys a second time. Rebuilt with memory
// for 200 waiting records, the rest wait in sorted runs on disk, so the rebuild's memory
// does not grow with the damage. The new table holds every key once, in key order, with the
// bytes first written for it; the second copies are key violations.
TEST_F(CorruptionSuite, KeyedTableAllOutOfKeyOrder) {
    const int per = static_cast<int>(per_block(2));
    const int blocks = 156;
    std::vector<int> ids;
    for (int b = blocks - 1; b >= 0; --b)
        for (const int id : ids_from(b * per + 1, per))
            ids.push_back(id);
    const std::vector<int> again = {1000, 2000, 3000, 4000};
    ids.insert(ids.end(), again.begin(), again.end());
    std::set<int> seen;
    const std::vector<Record> written = write_table(
        table(), {true, 2}, ids, [&](int id) { return seen.insert(id).second ? 1 : 2; });
    known_.insert(written.begin(), written.end());
    const std::size_t distinct = static_cast<std::size_t>(blocks * per);

    const std::size_t record_size = written.front().size();
    const RebuildResult result =
        rebuild_and_count("all records out of key order, keyed 2 KiB", 200 * record_size);
    EXPECT_EQ(result.out_of_order, ids.size() - per);  // all but the first block's
    EXPECT_GE(result.out_of_order_runs, (ids.size() - per) / 200);

    std::vector<Record> in_key_order(written.begin(),
                                     written.begin() + static_cast<std::ptrdiff_t>(distinct));
    std::sort(in_key_order.begin(), in_key_order.end(), [](const Record& a, const Record& b) {
        return std::lexicographical_compare(a.begin(), a.begin() + 4, b.begin(), b.begin() + 4);
    });
    EXPECT_EQ(pxlib_records(table()), in_key_order);
    const std::vector<Record> second_copies(written.begin() + static_cast<std::ptrdiff_t>(distinct),
                                            written.end());
    const std::vector<Record> violations = pxlib_records(aside("KEYVIOL.DB"));
    EXPECT_EQ(RecordSet(violations.begin(), violations.end()),
              RecordSet(second_copies.begin(), second_copies.end()));
}

// The records of a table as pxlib reads them, their blob pointers zeroed (a rebuild writes
// a new .MB); nothing for a table pxlib cannot read.
std::vector<Record> masked_records(const fs::path& table) {
    std::vector<Record> records;
    try {
        pdx::testing::PxlibTable t(table.string());
        std::vector<std::pair<std::size_t, std::size_t>> pointers;  // offset, length
        std::size_t offset = 0;
        for (int i = 0; i < t.field_count(); ++i) {
            const pxfield_t& f = t.field(i);
            const bool blob = f.px_ftype == pxfMemoBLOb || f.px_ftype == pxfBLOb ||
                              f.px_ftype == pxfFmtMemoBLOb || f.px_ftype == pxfOLE ||
                              f.px_ftype == pxfGraphic;
            offset += static_cast<std::size_t>(f.px_flen);
            if (blob) pointers.emplace_back(offset - 10, 10);
        }
        for (int i = 0; i < t.record_count(); ++i) {
            const char* r = t.read_record(i);
            Record bytes(r, r + t.doc()->px_head->px_recordsize);
            for (const auto& [at, length] : pointers)
                std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), length, 0);
            records.push_back(std::move(bytes));
        }
    } catch (const std::runtime_error&) {
        records.clear();  // a table pxlib cannot read
    }
    return records;
}

// Rebuilds the undamaged table `db` (in a folder of its own) and expects pxlib to read the
// same records afterwards. False when the table was not compared: pxlib cannot read it, or
// it holds no records.
bool rebuilt_keeps_every_byte(const fs::path& db, const std::string& name) {
    const std::vector<Record> before = masked_records(db);
    if (before.empty()) return false;
    const fs::path dir = db.parent_path();
    try {
        rebuild_table({db, dir / "Backup.DB", dir / "KEYVIOL.DB", dir / "PROBLEM.DB", nullptr});
    } catch (const std::exception&) {
        return false;  // encrypted tables; the rebuild tests cover refusals
    }
    EXPECT_TRUE(masked_records(db) == before) << name;
    return true;
}

// Tables written by pxlib, by the engine and by the database generator.
TEST(UndamagedTables, WrittenTablesRebuildKeepingEveryByte) {
    std::size_t compared = 0;
    // pxlib writes the keyed table without its .PX (it writes one only when asked), which
    // the rebuild writes.
    for (const bool keyed : {false, true}) {
        TempDir dir;
        write_table(dir / "Written.DB", TableSpec{keyed, 2}, ids_from(1, 700),
                    [](int id) { return id % 4; });
        compared += rebuilt_keeps_every_byte(dir / "Written.DB", keyed ? "keyed" : "unkeyed");
    }
    {
        TempDir dir;
        const fs::path db = pdx::testing::copy_of_family("Customers", 20, 2048, false, dir.path());
        EXPECT_TRUE(rebuilt_keeps_every_byte(db, "Customers"));
    }
    TempDir generated;
    vaq::test_support::write_small_database(generated / "db");
    std::size_t tables = 0;
    for (const auto& entry : fs::directory_iterator(generated / "db")) {
        if (!pdx::same_file_name(entry.path().extension().string(), ".DB")) continue;
        TempDir dir;
        const fs::path db = pdx::testing::copy_family(entry.path(), dir.path());
        tables += rebuilt_keeps_every_byte(db, entry.path().filename().string());
    }
    EXPECT_EQ(compared, 2u);
    EXPECT_GT(tables, 5u) << "tables of the generated database compared";
}

// Real tables, laid out by other software.
TEST(UndamagedTables, RebuildKeepsEveryByte) {
    SKIP_WITHOUT_CORPUS();
    for (const auto& entry : fs::recursive_directory_iterator(corpus_dir())) {
        if (!pdx::same_file_name(entry.path().extension().string(), ".DB")) continue;
        const std::string relative = entry.path().lexically_relative(corpus_dir()).string();
        if (verify_table(entry.path()).level != 0) continue;
        TempDir dir;
        rebuilt_keeps_every_byte(copy_corpus_table(relative, dir.path()), relative);
    }
}

}  // namespace
}  // namespace vaq::tutil
