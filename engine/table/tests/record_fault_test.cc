// Record changes made one at a time through a cursor, with each file-changing call failing in
// turn (once with EIO, and from then on with ENOSPC): the change that meets the failure
// reports it and leaves nothing behind, the table open in the process still agrees with its
// files (the same change made again afterwards lands whole, or is refused until the table is
// opened again), and the table then reads alike through the engine and pxlib, holding the
// records of exactly the changes that succeeded.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "common/error.h"
#include "engine/table/record_editor.h"
#include "engine/table/table_admin.h"
#include "engine/table/tests/fault_sweep.h"
#include "engine/table/tests/test_support.h"

namespace pdx {
namespace {

namespace fs = std::filesystem;
using testing::Records;
using testing::TempDir;

struct Open {
    explicit Open(const fs::path& dir)
        : table(Table::open(dir, "People", Access::kWrite)),
          cursor(table->open_cursor()),
          editor(table, *cursor) {}
    std::shared_ptr<Table> table;
    std::unique_ptr<Cursor> cursor;
    RecordEditor editor;
};

void append(Open& t, int id, const std::string& name) {
    t.editor.append();
    t.editor.set_field("Id", FieldInput(std::to_string(id)));
    t.editor.set_field("Name", FieldInput(name));
    t.editor.post();
}

void remove(Open& t, int id) {
    if (!t.cursor->locate("Id", FieldInput(std::to_string(id))))
        throw std::runtime_error("no record " + std::to_string(id));
    t.editor.remove();
}

void rename(Open& t, int id, const std::string& name) {
    if (!t.cursor->locate("Id", FieldInput(std::to_string(id))))
        throw std::runtime_error("no record " + std::to_string(id));
    t.editor.edit();
    t.editor.set_field("Name", FieldInput(name));
    t.editor.post();
}

const std::vector<std::function<void(Open&)>> kChanges = {
    [](Open& t) { remove(t, 2); },
    [](Open& t) { append(t, 9, "nine"); },
    [](Open& t) { rename(t, 4, "four, renamed"); },
    [](Open& t) { remove(t, 5); },
    [](Open& t) { append(t, 0, "zero"); },
    [](Open& t) { remove(t, 1); },
};

void write_table(const fs::path& dir) {
    TableSpec spec;
    spec.fields = {{"Id", FieldType::kLong, 0}, {"Name", FieldType::kAlpha, 30}};
    spec.key_fields = 1;
    create_table(dir, "People", spec);
    Open t(dir);
    for (int id = 1; id <= 5; ++id)
        append(t, id, "person " + std::to_string(id));
}

Records records_of(const fs::path& dir) {
    const testing::TableRead read = testing::read_both(dir / "People.DB");
    if (!read.problem.empty()) throw std::runtime_error(read.problem);
    return read.records;
}

TEST(RecordFaults, AFailedChangeLeavesNothingAndTheOpenTableAgreesWithItsFiles) {
    TempDir dir;
    // The records after each number of changes, and the calls all the changes make.
    std::vector<Records> states;
    std::uint64_t points = 0;
    {
        const fs::path clean = dir / "clean";
        fs::create_directories(clean);
        write_table(clean);
        states.push_back(records_of(clean));
        for (const auto& change : kChanges) {
            {
                Open t(clean);
                change(t);
            }
            states.push_back(records_of(clean));
        }
        const fs::path count = dir / "count";
        fs::create_directories(count);
        write_table(count);
        Open t(count);
        FaultInjection counting;
        for (const auto& change : kChanges)
            change(t);
        t.table->writer().flush();
        points = counting.calls();
    }
    ASSERT_GT(points, 30u);

    testing::SweepTally tally{"record changes one at a time"};
    for (const auto& [error, sticky] : {std::pair{EIO, false}, std::pair{ENOSPC, true}}) {
        for (std::uint64_t n = 1; n <= points; ++n) {
            SCOPED_TRACE("call " + std::to_string(n) + (sticky ? " and after" : ""));
            const fs::path run = dir / "run";
            fs::remove_all(run);
            fs::create_directories(run);
            write_table(run);
            std::size_t done = 0;
            bool failed = false;
            {
                Open t(run);
                {
                    FaultInjection faults({.fail_at = n, .error = error, .sticky = sticky});
                    for (; done < kChanges.size() && !failed; ++done) {
                        try {
                            kChanges[done](t);
                        } catch (const vaq::Error&) {
                            failed = true;
                            break;
                        }
                    }
                    if (!failed) {
                        // The flush when the table closes is the last call.
                        try {
                            t.table->writer().flush();
                        } catch (const vaq::Error&) {
                            failed = true;
                        }
                    }
                }
                ++tally.points;
                if (!failed) {
                    ++tally.false_successes;
                    ADD_FAILURE() << "every change reported success";
                    continue;
                }
                // The same change once more, in the table still open, without a fault.
                if (t.editor.editing()) t.editor.cancel();
                if (done < kChanges.size()) {
                    try {
                        kChanges[done](t);
                        ++done;
                    } catch (const vaq::Error&) {
                        // Refused: an earlier change waits to be put back on the next open.
                    }
                }
            }
            const testing::TableRead read = testing::read_both(run / "People.DB");
            if (!read.problem.empty()) {
                ++tally.unreadable;
                ADD_FAILURE() << read.problem;
            } else if (read.records != states[done]) {
                ++tally.records_lost;
                ADD_FAILURE() << "the table does not hold the records of the " << done
                              << " changes that succeeded: " << read.records.size()
                              << " records instead of " << states[done].size();
            }
        }
    }
    tally.print();
}

}  // namespace
}  // namespace pdx
