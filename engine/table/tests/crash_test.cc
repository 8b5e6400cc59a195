// A child process changes tables and is killed (SIGKILL) at every crash point in turn, and at
// random moments: afterwards every table opens, every change whose call had returned is
// there, the change that was cut off is there wholly or not at all, and a restructure,
// delete or rename left the old table or the new one, complete.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <random>
#include <thread>

#include "engine/format/deferred_sync.h"
#include "engine/table/crash_points.h"
#include "engine/table/restructure.h"
#include "engine/table/table_name.h"
#include "engine/table/table_writer.h"
#include "engine/table/tests/pxlib_reader.h"
#include "engine/table/tests/write_test_support.h"

namespace pdx {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

struct ChildRun {
    bool killed = false;
    std::vector<std::uint8_t> reports;  // what the child said it finished, in order
};

// Runs `work` in a child process that kills itself at its `kill_at`-th crash point (never
// when 0), or that the parent kills after `delay` when that is given. The child reports
// progress by writing bytes to the pipe it is handed.
ChildRun run_child(const std::function<void(int report_fd)>& work, int kill_at,
                   std::optional<std::chrono::microseconds> delay = std::nullopt) {
    int fds[2];
    if (::pipe(fds) != 0) throw std::runtime_error("pipe failed");
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        int reached = 0;
        set_crash_point_handler([&](std::string_view) {
            if (++reached == kill_at) ::raise(SIGKILL);
        });
        try {
            work(fds[1]);
        } catch (...) {
            ::_exit(2);
        }
        ::_exit(0);
    }
    ::close(fds[1]);
    if (delay) {
        std::this_thread::sleep_for(*delay);
        ::kill(pid, SIGKILL);
    }
    ChildRun run;
    std::uint8_t byte = 0;
    while (::read(fds[0], &byte, 1) == 1)
        run.reports.push_back(byte);
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    if (!run.killed && (!WIFEXITED(status) || WEXITSTATUS(status) != 0))
        throw std::runtime_error("the child failed without being killed");
    return run;
}

void report(int fd, std::uint8_t what) {
    if (::write(fd, &what, 1) != 1) ::_exit(3);
}

void copy_directory(const fs::path& from, const fs::path& to) {
    for (const auto& entry : fs::directory_iterator(to))
        fs::remove_all(entry.path());
    for (const auto& entry : fs::directory_iterator(from))
        fs::copy(entry.path(), to / entry.path().filename(), fs::copy_options::recursive);
}

// Runs `work` on a fresh copy of `base` in `scratch`, killed at its first crash point, then at
// its second, and so on until a run ends by itself; `check` looks at `scratch` after each run.
// Returns how many runs were killed.
int kill_at_every_crash_point(const fs::path& base, const fs::path& scratch,
                              const std::function<void(int report_fd)>& work,
                              const std::function<void(const ChildRun&)>& check) {
    for (int kill_at = 1;; ++kill_at) {
        copy_directory(base, scratch);
        const ChildRun run = run_child(work, kill_at);
        SCOPED_TRACE("killed at crash point " + std::to_string(kill_at));
        check(run);
        if (!run.killed) return kill_at - 1;
    }
}

// --- record changes ---------------------------------------------------------------------

struct Contents {
    std::map<std::int64_t, std::pair<std::string, std::string>> rows;  // id -> name, note
    friend bool operator==(const Contents&, const Contents&) = default;
};

constexpr int kOperations = 24;

std::string note_for(int op) {
    return std::string(static_cast<std::size_t>(op * 173 % 3000), static_cast<char>('a' + op % 26));
}

// Operation `op`: append, change or delete, in turn.
void apply(Contents& c, int op) {
    switch (op % 3) {
        case 0:
            c.rows[100 + op] = {"new " + std::to_string(op), note_for(op)};
            break;
        case 1:
            c.rows[op + 1] = {"changed " + std::to_string(op), note_for(op)};
            break;
        default:
            c.rows.erase(op + 1);
    }
}

EditBuffer row_buffer(const std::shared_ptr<Table>& table, std::int64_t id,
                      const std::pair<std::string, std::string>& row) {
    EditBuffer buffer = EditBuffer::blank(table);
    buffer.set("Id", id);
    buffer.set("Name", row.first);
    buffer.set("Note", row.second);
    return buffer;
}

void perform(const std::shared_ptr<Table>& table, const Contents& before, int op) {
    TableWriter& writer = table->writer();
    Contents after = before;
    apply(after, op);
    if (op % 3 == 0) {
        writer.insert(row_buffer(table, 100 + op, after.rows.at(100 + op)));
        return;
    }
    // The stored record, as the cursor of a table object would hold it.
    const std::int64_t id = op + 1;
    std::vector<std::uint8_t> stored;
    for (auto cursor = table->open_cursor(); !cursor->eof(); cursor->next())
        if (*cursor->value(0).integer() == id)
            stored.assign(cursor->record().begin(), cursor->record().end());
    const RecordRef ref{stored, std::nullopt, 0};
    if (op % 3 == 1)
        writer.update(ref, row_buffer(table, id, after.rows.at(id)));
    else
        writer.remove(ref);
}

Contents read_contents(const fs::path& dir) {
    Contents c;
    const auto table = Table::open(dir, "Crash");
    for (auto cursor = table->open_cursor(); !cursor->eof(); cursor->next())
        c.rows[*cursor->value(0).integer()] = {cursor->value(1).as_text(),
                                               cursor->value(2).as_text()};
    return c;
}

Contents initial_contents() {
    Contents c;
    for (int id = 1; id <= 30; ++id)
        c.rows[id] = {"row " + std::to_string(id),
                      std::string(static_cast<std::size_t>(id * 90), 'r')};
    return c;
}

// Records of the default layout never straddle a page of the file; with names of 200
// characters in blocks of 4096 bytes some do.
struct RecordLayout {
    std::uint16_t name_width = 20;
    std::uint16_t block_size = 1024;
};
constexpr RecordLayout kStraddlingLayout{200, 4096};

void make_record_table(const fs::path& dir, RecordLayout layout = {}) {
    create_table(dir, "Crash",
                 {{{"Id", FieldType::kLong, 0},
                   {"Name", FieldType::kAlpha, layout.name_width},
                   {"Note", FieldType::kMemo, 15}},
                  1},
                 {7, layout.block_size});
    const auto table = Table::open(dir, "Crash", Access::kWrite);
    for (const auto& [id, row] : initial_contents().rows)
        table->writer().insert(row_buffer(table, id, row));
}

// The table must open for writing (its index and chain are checked then), read completely,
// agree with pxlib, and hold the changes that returned plus, perhaps, the one cut off.
void check_after_crash(const fs::path& dir, const ChildRun& run) {
    const int done = static_cast<int>(run.reports.size());
    Contents before = initial_contents();
    for (int op = 0; op < done; ++op)
        apply(before, op);
    Contents after = before;
    if (done < kOperations) apply(after, done);
    {
        const auto writable = Table::open(dir, "Crash", Access::kWrite);
        testing::expect_primary_index_matches(*writable);
    }
    const Contents found = read_contents(dir);
    EXPECT_TRUE(found == before || (run.killed && found == after))
        << done << " operations had returned; the table holds " << found.rows.size() << " rows";
    testing::PxlibTable pxlib((dir / "Crash.DB").string());
    EXPECT_EQ(static_cast<std::size_t>(pxlib.record_count()), found.rows.size());
    EXPECT_FALSE(fs::exists(dir / ".Crash.DB.journal"));
}

// The child's run: every operation in turn, each reported once it returned.
void perform_all(const fs::path& dir, int report_fd) {
    const auto table = Table::open(dir, "Crash", Access::kWrite);
    Contents contents = initial_contents();
    for (int op = 0; op < kOperations; ++op) {
        perform(table, contents, op);
        apply(contents, op);
        report(report_fd, static_cast<std::uint8_t>(op));
    }
}

TEST(Crash, RecordChangesSurviveAKillAtEveryCrashPoint) {
    TempDir base;
    make_record_table(base.path());
    TempDir work;
    const int kills = kill_at_every_crash_point(
        base.path(), work.path(), [&](int fd) { perform_all(work.path(), fd); },
        [&](const ChildRun& run) { check_after_crash(work.path(), run); });
    EXPECT_GT(kills, 3 * kOperations);  // a journal write and several writes per change
}

TEST(Crash, RecordChangesSurviveKillsAtRandomMoments) {
    TempDir base;
    make_record_table(base.path());
    TempDir work;
    const auto child = [&](int fd) { perform_all(work.path(), fd); };
    std::mt19937 random(11);
    for (int round = 0; round < 25; ++round) {
        copy_directory(base.path(), work.path());
        const auto delay = std::chrono::microseconds(random() % 20'000);
        const ChildRun run = run_child(child, 0, delay);
        SCOPED_TRACE("killed after " + std::to_string(delay.count()) + " microseconds");
        check_after_crash(work.path(), run);
    }
}

// Records changed where they stand, their key and memo kept, take the short way without
// the journal: they are held back a block at a time and written on save changes, when the
// table closes or when a change touches another block. A kill leaves each of them as it was
// or as it became, and every change saved before it as it became.
// The new name fills the field, so that a record across a page boundary changes on both
// sides of it.
std::string renamed(std::int64_t id, std::size_t width) {
    std::string name = "renamed " + std::to_string(id);
    name.resize(width, '*');
    return name;
}

std::size_t name_width(const Table& table) {
    return table.header().fields[1].descriptor.width();
}

enum class Saving { kEveryChange, kNever };

void rename_all(const std::shared_ptr<Table>& table, int report_fd, Saving saving) {
    std::vector<std::vector<std::uint8_t>> stored;
    for (auto cursor = table->open_cursor(); !cursor->eof(); cursor->next())
        stored.emplace_back(cursor->record().begin(), cursor->record().end());
    for (const std::vector<std::uint8_t>& record : stored) {
        EditBuffer buffer = EditBuffer::of(table, record);
        const std::int64_t id = *buffer.record().value(0).integer();
        buffer.set("Name", renamed(id, name_width(*table)));
        table->writer().update(RecordRef{record, std::nullopt, 0}, buffer);
        if (saving == Saving::kEveryChange) table->writer().save_changes();
        if (report_fd >= 0) report(report_fd, static_cast<std::uint8_t>(id));
    }
}

Contents renamed_contents(int count, std::size_t width = 20) {
    Contents c = initial_contents();
    for (auto& [id, row] : c.rows)
        if (id <= count) row.first = renamed(id, width);
    return c;
}

// The table opens for writing and reads whole; returns how many records were renamed (the
// first ones in table order), or -1 when its rows are no such prefix.
int renamed_prefix_after_crash(const fs::path& dir) {
    {
        const auto writable = Table::open(dir, "Crash", Access::kWrite);
        testing::expect_primary_index_matches(*writable);
    }
    const Contents found = read_contents(dir);
    testing::PxlibTable pxlib((dir / "Crash.DB").string());
    EXPECT_EQ(static_cast<std::size_t>(pxlib.record_count()), found.rows.size());
    EXPECT_FALSE(fs::exists(dir / ".Crash.DB.journal"));
    for (int count = 0; count <= 30; ++count)
        if (found == renamed_contents(count, name_width(*Table::open(dir, "Crash")))) return count;
    return -1;
}

// Counts the journaled changes and the plain writes of renaming every record.
std::pair<int, int> journaled_and_written_renaming(const fs::path& dir) {
    int journaled = 0;
    int writes = 0;
    set_crash_point_handler([&](std::string_view where) {
        if (where == "journal written") ++journaled;
        if (where == "change written") ++writes;
    });
    rename_all(Table::open(dir, "Crash", Access::kWrite), -1, Saving::kNever);
    set_crash_point_handler(nullptr);
    return {journaled, writes};
}

TEST(Crash, RecordsChangedInPlaceAreWrittenOnceABlockWithoutTheJournal) {
    TempDir base;
    make_record_table(base.path());
    const auto [journaled, writes] = journaled_and_written_renaming(base.path());
    EXPECT_EQ(journaled, 0);
    EXPECT_LE(writes, 3 + 1);  // the records of each block, then the header
    EXPECT_EQ(read_contents(base.path()), renamed_contents(30));
}

TEST(Crash, ARecordChangedAcrossAPageBoundaryGoesThroughTheJournal) {
    TempDir base;
    make_record_table(base.path(), kStraddlingLayout);
    const auto [journaled, writes] = journaled_and_written_renaming(base.path());
    EXPECT_GE(journaled, 1);
    EXPECT_EQ(read_contents(base.path()), renamed_contents(30, kStraddlingLayout.name_width));
}

TEST(Crash, RecordsChangedInPlaceMoveOnlyTheirCountersInTheHeader) {
    TempDir base;
    make_record_table(base.path());
    TempDir work;
    copy_directory(base.path(), work.path());
    rename_all(Table::open(work.path(), "Crash", Access::kWrite), -1, Saving::kNever);
    // The header moved on by the update counter 0x74, the change counter 0x2D and the
    // update time 0x60 only.
    std::vector<std::uint8_t> was = testing::read_file(base.path() / "Crash.DB");
    const std::vector<std::uint8_t> is = testing::read_file(work.path() / "Crash.DB");
    ASSERT_GE(was.size(), 0x78u);
    EXPECT_EQ(load_u32le(is.data() + 0x74), load_u32le(was.data() + 0x74) + 30);
    for (std::size_t at : {0x2D, 0x60, 0x61, 0x62, 0x63, 0x74, 0x75, 0x76, 0x77})
        was[at] = is[at];
    EXPECT_TRUE(std::equal(was.begin(), was.begin() + 0x78, is.begin()));
}

// A check after a kill of renamings not saved one by one: some first records renamed, at
// most the one cut off beyond those reported, and all of them when the run ended by itself.
std::function<void(const ChildRun&)> expect_a_whole_renaming(const fs::path& dir) {
    return [dir](const ChildRun& run) {
        const int done = static_cast<int>(run.reports.size());
        const int renamed_count = renamed_prefix_after_crash(dir);
        EXPECT_GE(renamed_count, 0) << "the table holds records of no single moment";
        EXPECT_LE(renamed_count, done + 1);
        if (!run.killed) {
            EXPECT_EQ(renamed_count, 30);  // closing the table wrote them all
        }
    };
}

class CrashInPlace : public ::testing::TestWithParam<RecordLayout> {};

TEST_P(CrashInPlace, RecordsChangedAndSavedSurviveAKillAtEveryCrashPoint) {
    TempDir base;
    make_record_table(base.path(), GetParam());
    TempDir work;
    const auto child = [&](int fd) {
        rename_all(Table::open(work.path(), "Crash", Access::kWrite), fd, Saving::kEveryChange);
    };
    const int kills =
        kill_at_every_crash_point(base.path(), work.path(), child, [&](const ChildRun& run) {
            const int done = static_cast<int>(run.reports.size());
            const int renamed_count = renamed_prefix_after_crash(work.path());
            EXPECT_TRUE(renamed_count == done || (run.killed && renamed_count == done + 1))
                << done << " changes had been saved; " << renamed_count << " are in the table";
        });
    EXPECT_GE(kills, 30);
}

TEST_P(CrashInPlace, RecordsChangedAndNotSavedLeaveAWholeTableWhenKilled) {
    TempDir base;
    make_record_table(base.path(), GetParam());
    TempDir work;
    const auto child = [&](int fd) {
        rename_all(Table::open(work.path(), "Crash", Access::kWrite), fd, Saving::kNever);
    };
    kill_at_every_crash_point(base.path(), work.path(), child,
                              expect_a_whole_renaming(work.path()));
}

// The same renaming as one walk of the writer over the whole table (change_each_in_place).
void rename_all_in_one_walk(const std::shared_ptr<Table>& table, int report_fd) {
    std::uint8_t walked = 0;
    table->writer().change_each_in_place(
        [&](MutableBytes record) {
            EditBuffer buffer = EditBuffer::of(table, record);
            const std::int64_t id = *buffer.record().value(0).integer();
            buffer.set("Name", renamed(id, name_width(*table)));
            const Bytes now = buffer.record().bytes();
            std::copy(now.begin(), now.end(), record.begin());
            return true;
        },
        [&] {
            if (report_fd >= 0) report(report_fd, ++walked);
        });
}

TEST_P(CrashInPlace, OneWalkOverTheTableLeavesAWholeTableWhenKilled) {
    TempDir base;
    make_record_table(base.path(), GetParam());
    TempDir work;
    const auto child = [&](int fd) {
        rename_all_in_one_walk(Table::open(work.path(), "Crash", Access::kWrite), fd);
    };
    const int kills = kill_at_every_crash_point(base.path(), work.path(), child,
                                                expect_a_whole_renaming(work.path()));
    EXPECT_GE(kills, 2);  // a write per block at least
}

TEST(Crash, OneWalkRefusesAChangeOfTheKey) {
    TempDir base;
    make_record_table(base.path());
    {
        const auto table = Table::open(base.path(), "Crash", Access::kWrite);
        int seen = 0;
        EXPECT_THROW(table->writer().change_each_in_place([&](MutableBytes record) {
            if (++seen < 5) return false;
            record[1] ^= 1;  // the key field
            return true;
        }),
                     vaq::Error);
    }
    EXPECT_EQ(read_contents(base.path()), initial_contents());
}

INSTANTIATE_TEST_SUITE_P(Layouts, CrashInPlace,
                         ::testing::Values(RecordLayout{}, kStraddlingLayout));

// --- appends in batches ------------------------------------------------------------------

// Records stored together (insert_all) form one change: a kill leaves the table with the
// batches that returned and perhaps the one cut off, each whole, and never a torn record.
constexpr int kBatches = 4;
constexpr int kBatchRecords = 60;
constexpr int kInitialRows = 30;

// The `n`th record appended: ids spread over the key range (37 and 240 share no divisor), so
// that a keyed table takes them into many blocks and splits some.
std::int64_t appended_id(int n) {
    return 1000 + n * 37 % (kBatches * kBatchRecords);
}

std::string appended_name(int n) {
    std::string name = "appended " + std::to_string(n);
    name.resize(20, '#');
    return name;
}

EditBuffer appended_row(const std::shared_ptr<Table>& table, std::int64_t id,
                        const std::string& name) {
    EditBuffer buffer = EditBuffer::blank(table);
    buffer.set("Id", id);
    buffer.set("Name", name);
    return buffer;
}

void make_batch_table(const fs::path& dir, bool keyed) {
    create_table(dir, "Batch",
                 {{{"Id", FieldType::kLong, 0}, {"Name", FieldType::kAlpha, 20}}, keyed ? 1u : 0u},
                 {7, 1024});
    const auto table = Table::open(dir, "Batch", Access::kWrite);
    for (int id = 1; id <= kInitialRows; ++id)
        table->writer().insert(appended_row(table, id, "row " + std::to_string(id)));
}

void append_batches(const fs::path& dir, int report_fd) {
    const auto table = Table::open(dir, "Batch", Access::kWrite);
    for (int batch = 0; batch < kBatches; ++batch) {
        std::vector<EditBuffer> rows;
        for (int n = batch * kBatchRecords; n < (batch + 1) * kBatchRecords; ++n)
            rows.push_back(appended_row(table, appended_id(n), appended_name(n)));
        std::size_t stored = 0;
        table->writer().insert_all(rows, stored);
        if (stored != rows.size()) ::_exit(4);
        report(report_fd, static_cast<std::uint8_t>(batch));
    }
}

// How many appended records the table holds (the first ones), each whole; -1 when the
// records it holds are not such a prefix or the initial rows changed.
int appended_prefix(const fs::path& dir, bool keyed) {
    {
        const auto writable = Table::open(dir, "Batch", Access::kWrite);
        if (keyed) testing::expect_primary_index_matches(*writable);
    }
    std::vector<std::pair<std::int64_t, std::string>> rows;
    for (auto cursor = Table::open(dir, "Batch")->open_cursor(); !cursor->eof(); cursor->next())
        rows.emplace_back(*cursor->value(0).integer(), cursor->value(1).as_text());
    testing::PxlibTable pxlib((dir / "Batch.DB").string());
    EXPECT_EQ(static_cast<std::size_t>(pxlib.record_count()), rows.size());
    EXPECT_FALSE(fs::exists(dir / ".Batch.DB.journal"));
    std::map<std::int64_t, std::string> by_id(rows.begin(), rows.end());
    if (by_id.size() != rows.size()) return -1;
    for (int id = 1; id <= kInitialRows; ++id)
        if (by_id[id] != "row " + std::to_string(id)) return -1;
    const int appended = static_cast<int>(rows.size()) - kInitialRows;
    for (int n = 0; n < appended; ++n) {
        const auto it = by_id.find(appended_id(n));
        if (it == by_id.end() || it->second != appended_name(n)) return -1;
        // An unkeyed table keeps them in the order they came.
        if (!keyed && rows[static_cast<std::size_t>(kInitialRows + n)].first != appended_id(n))
            return -1;
    }
    return appended;
}

void expect_whole_batches(const fs::path& dir, bool keyed, const ChildRun& run) {
    const int done = static_cast<int>(run.reports.size());
    const int appended = appended_prefix(dir, keyed);
    EXPECT_TRUE(appended == done * kBatchRecords ||
                (run.killed && appended == (done + 1) * kBatchRecords))
        << done << " batches had returned; the table holds " << appended
        << " appended records (-1: no prefix of them, or a torn record)";
}

class CrashBatch : public ::testing::TestWithParam<bool> {};

TEST_P(CrashBatch, AppendsInBatchesSurviveAKillAtEveryCrashPoint) {
    const bool keyed = GetParam();
    TempDir base;
    make_batch_table(base.path(), keyed);
    TempDir work;
    const int kills = kill_at_every_crash_point(
        base.path(), work.path(), [&](int fd) { append_batches(work.path(), fd); },
        [&](const ChildRun& run) { expect_whole_batches(work.path(), keyed, run); });
    EXPECT_GE(kills, 2 * kBatches);  // the journal and at least one block each
}

TEST_P(CrashBatch, AppendsInBatchesSurviveKillsAtRandomMoments) {
    const bool keyed = GetParam();
    TempDir base;
    make_batch_table(base.path(), keyed);
    TempDir work;
    const auto child = [&](int fd) { append_batches(work.path(), fd); };
    std::mt19937 random(keyed ? 5 : 6);
    for (int round = 0; round < 20; ++round) {
        copy_directory(base.path(), work.path());
        const auto delay = std::chrono::microseconds(random() % 15'000);
        const ChildRun run = run_child(child, 0, delay);
        SCOPED_TRACE("killed after " + std::to_string(delay.count()) + " microseconds");
        expect_whole_batches(work.path(), keyed, run);
    }
}

INSTANTIATE_TEST_SUITE_P(KeyedAndUnkeyed, CrashBatch, ::testing::Bool());

// --- family changes ----------------------------------------------------------------------

void make_family_table(const fs::path& dir, int records) {
    create_table(dir, "Family", {{{"Id", FieldType::kLong, 0}, {"Note", FieldType::kMemo, 12}}, 1},
                 {7, 1024});
    const auto table = Table::open(dir, "Family", Access::kWrite);
    for (int i = 0; i < records; ++i) {
        EditBuffer r = EditBuffer::blank(table);
        r.set("Id", std::int64_t{i});
        r.set("Note", std::string(static_cast<std::size_t>(i % 50 * 60), 'f'));
        table->writer().insert(r);
    }
    testing::write_file(dir / "Family.VAL", {table->header().family_stamp, 1, 2, 3});
}

// Either layout, with all records and values; the directory holds no leftovers.
void check_family(const fs::path& dir, int records, std::size_t old_fields, bool may_be_new) {
    const auto table = Table::open(dir, "Family");
    const std::size_t fields = table->schema().size();
    EXPECT_TRUE(fields == old_fields || (may_be_new && fields == old_fields + 1)) << fields;
    int count = 0;
    for (auto cursor = table->open_cursor(); !cursor->eof(); cursor->next(), ++count) {
        EXPECT_EQ(*cursor->value(0).integer(), count);
        EXPECT_EQ(cursor->value(1).as_text().size(), static_cast<std::size_t>(count % 50 * 60));
    }
    EXPECT_EQ(count, records);
    testing::expect_primary_index_matches(*table);
    EXPECT_EQ(testing::read_file(dir / "Family.VAL")[0], table->header().family_stamp);
    for (const auto& entry : fs::directory_iterator(dir))
        EXPECT_NE(entry.path().filename().string().substr(0, 4), ".pdx") << entry.path();
}

TEST(Crash, ARestructureLeavesTheOldTableOrTheNewOne) {
    constexpr int kRecords = 3000;
    TempDir base;
    make_family_table(base.path(), kRecords);
    TempDir work;
    const auto child = [&](int) {
        RestructurePlan plan = current_layout(*Table::open(work.path(), "Family"));
        plan.fields.push_back({{"Added", FieldType::kAlpha, 8}, std::nullopt});
        restructure_table(work.path(), "Family", plan);
    };
    const int kills =
        kill_at_every_crash_point(base.path(), work.path(), child, [&](const ChildRun& run) {
            check_family(work.path(), kRecords, 2, true);
            if (!run.killed) {
                EXPECT_EQ(Table::open(work.path(), "Family")->schema().size(), 3u);
            }
        });
    EXPECT_GE(kills, 6);
    // And at random moments of a larger one.
    TempDir big;
    make_family_table(big.path(), 40'000);
    std::mt19937 random(5);
    for (int round = 0; round < 8; ++round) {
        copy_directory(big.path(), work.path());
        run_child(child, 0, std::chrono::microseconds(random() % 150'000));
        check_family(work.path(), 40'000, 2, true);
    }
}

// Under one durable point (deferred_sync.h) the flushes wait for its end, but each change
// of a run stays whole for a killed process: the table has the fields of some step of the
// run, and every record.
TEST(Crash, ColumnsAddedUnderOneDurablePointLeaveEachStepWhole) {
    constexpr int kRecords = 2000;
    constexpr std::size_t kAdded = 3;
    TempDir base;
    make_family_table(base.path(), kRecords);
    TempDir work;
    const auto child = [&](int) {
        DeferredSync sync;
        for (std::size_t i = 0; i < kAdded; ++i) {
            RestructurePlan plan = current_layout(*Table::open(work.path(), "Family"));
            plan.fields.push_back(
                {{"Added" + std::to_string(i), FieldType::kAlpha, 8}, std::nullopt});
            restructure_table(work.path(), "Family", plan);
        }
        sync.finish();
    };
    const int kills =
        kill_at_every_crash_point(base.path(), work.path(), child, [&](const ChildRun& run) {
            const std::size_t fields = Table::open(work.path(), "Family")->schema().size();
            EXPECT_GE(fields, 2u);
            EXPECT_LE(fields, 2 + kAdded);
            check_family(work.path(), kRecords, fields, false);
            if (!run.killed) {
                EXPECT_EQ(fields, 2 + kAdded);
            }
        });
    EXPECT_GE(kills, 6 * static_cast<int>(kAdded));
}

TEST(Crash, DeleteAndRenameFinishOrLeaveTheTableWhole) {
    TempDir base;
    make_family_table(base.path(), 200);
    TempDir work;
    {
        SCOPED_TRACE("delete");
        kill_at_every_crash_point(
            base.path(), work.path(), [&](int) { delete_table(work.path(), "Family"); },
            [&](const ChildRun&) {
                recover_family_changes(work.path());
                // Once the .DB went, the whole family goes; before, the table is untouched.
                if (find_table_file(work.path(), "Family"))
                    check_family(work.path(), 200, 2, false);
                else
                    EXPECT_TRUE(family_files(work.path() / "Family.DB").empty());
            });
    }
    SCOPED_TRACE("rename");
    kill_at_every_crash_point(
        base.path(), work.path(), [&](int) { rename_table(work.path(), "Family", "Renamed"); },
        [&](const ChildRun& run) {
            recover_family_changes(work.path());
            EXPECT_EQ(family_files(work.path() / "Family.DB").size() +
                          family_files(work.path() / "Renamed.DB").size(),
                      4u);
            const bool renamed = find_table_file(work.path(), "Renamed").has_value();
            EXPECT_NE(renamed, find_table_file(work.path(), "Family").has_value());
            EXPECT_EQ(family_files(work.path() / (renamed ? "Family.DB" : "Renamed.DB")).size(),
                      0u);
            if (!run.killed) {
                EXPECT_TRUE(renamed);
            }
        });
}

}  // namespace
}  // namespace pdx
