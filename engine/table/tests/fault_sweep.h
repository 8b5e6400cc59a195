#pragma once

// Fault sweeps: an operation run once for every file-changing call it makes, with that call
// failing (fault_injection.h), each time in a fresh copy of its database. After each run the
// tables are read back through the engine (which first puts back a change the journal still
// holds) and through pxlib, and a check says whether what they hold is acceptable: the state
// of before the operation or of after it, or for appends a prefix of the new records.
//
// A tally counts the points, the runs that reported success although a call failed, the
// tables that could not be read or were read differently by the two readers, and the runs
// whose records were neither acceptable state.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "common/error.h"
#include "engine/format/fault_injection.h"
#include "engine/table/cursor.h"
#include "engine/table/table.h"
#include "engine/table/table_family.h"
#include "engine/table/table_name.h"
#include "engine/table/tests/pxlib_reader.h"

namespace pdx::testing {

namespace fs = std::filesystem;

// A table's records, each as its bytes, sorted: what the table holds whatever its order.
using Records = std::vector<std::string>;

struct TableRead {
    std::string problem;  // empty when the engine and pxlib read the same records
    Records records;
};

// What every table of a directory holds, by file name (upper case).
using DatabaseState = std::map<std::string, TableRead>;

inline Records engine_records(const fs::path& table_file) {
    const auto table = Table::open_file(table_file, Access::kRead);
    Records records;
    for (auto cursor = table->open_cursor(); !cursor->eof(); cursor->next()) {
        const Bytes record = cursor->record();
        records.emplace_back(record.begin(), record.end());
    }
    std::sort(records.begin(), records.end());
    return records;
}

inline Records pxlib_records(const fs::path& table_file) {
    PxlibTable px(table_file.string());
    const auto size = static_cast<std::size_t>(px.doc()->px_head->px_recordsize);
    Records records;
    for (int n = 0; n < px.record_count(); ++n)
        records.emplace_back(px.read_record(n), size);
    std::sort(records.begin(), records.end());
    return records;
}

// Reads the table through the engine first, so that a change its journal still holds is
// put back before pxlib, which knows no journal, reads the files.
inline TableRead read_both(const fs::path& table_file) {
    TableRead read;
    try {
        read.records = engine_records(table_file);
    } catch (const std::exception& e) {
        read.problem = std::string("the engine cannot read it: ") + e.what();
        return read;
    }
    try {
        if (pxlib_records(table_file) != read.records)
            read.problem = "pxlib reads other records than the engine";
    } catch (const std::exception& e) {
        read.problem = std::string("pxlib cannot read it: ") + e.what();
    }
    return read;
}

// The tables are listed once the family changes a failure left behind are finished or undone,
// as the first open of a table of the directory would do, so that the list is of the
// tables the engine then shows.
inline DatabaseState read_database(const fs::path& directory) {
    recover_family_changes(directory);
    DatabaseState state;
    for (const auto& entry : fs::directory_iterator(directory)) {
        if (!entry.is_regular_file() || !same_file_name(entry.path().extension().string(), ".DB"))
            continue;
        std::string name = entry.path().filename().string();
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        state.emplace(std::move(name), read_both(entry.path()));
    }
    return state;
}

// True when every table of `state` was read alike and holds the records of `expected`.
inline bool holds(const DatabaseState& state, const DatabaseState& expected) {
    if (state.size() != expected.size()) return false;
    for (const auto& [name, read] : expected) {
        const auto it = state.find(name);
        if (it == state.end() || it->second.records != read.records) return false;
    }
    return true;
}

struct SweepTally {
    explicit SweepTally(std::string name = {}) : operation(std::move(name)) {}

    std::string operation;
    std::uint64_t points = 0;
    std::uint64_t false_successes = 0;
    std::uint64_t unreadable = 0;
    std::uint64_t records_lost = 0;
    std::vector<std::string> failures;  // what went wrong where, for the test's message

    void add(const SweepTally& other) {
        points += other.points;
        false_successes += other.false_successes;
        unreadable += other.unreadable;
        records_lost += other.records_lost;
        failures.insert(failures.end(), other.failures.begin(), other.failures.end());
    }
    bool clean() const { return false_successes == 0 && unreadable == 0 && records_lost == 0; }
    // One row of the table "operation | points | false successes | unreadable | records lost".
    void print() const {
        std::cout << "fault sweep | " << operation << " | " << points << " | " << false_successes
                  << " | " << unreadable << " | " << records_lost << std::endl;
    }
};

struct Sweep {
    std::string operation;
    // Writes the database the operation starts from into an empty directory.
    std::function<void(const fs::path&)> prepare;
    // The operation over the directory; it reports a failure by throwing vaq::Error.
    std::function<void(const fs::path&)> run;
    // Whether the records read back after a failed run are acceptable.
    std::function<bool(const DatabaseState&)> acceptable;
};

// Copies every file of the folder `from` into the folder `to`.
inline void copy_files(const fs::path& from, const fs::path& to) {
    for (const auto& entry : fs::directory_iterator(from))
        fs::copy_file(entry.path(), to / entry.path().filename());
}

// A fresh folder `root`/`name` holding the prepared database.
inline fs::path fresh_copy(const Sweep& sweep, const fs::path& root, const std::string& name) {
    const fs::path folder = root / name;
    fs::remove_all(folder);
    fs::create_directories(folder);
    sweep.prepare(folder);
    return folder;
}

// The number of file-changing calls the operation makes, run once without a fault.
inline std::uint64_t count_points(const Sweep& sweep, const fs::path& root, unsigned calls) {
    const fs::path folder = fresh_copy(sweep, root, "count");
    FaultInjection counting(FaultPlan{.calls = calls});
    sweep.run(folder);
    return counting.calls();
}

// Runs the operation with the `n`-th counted call failing as `plan` says, then reads back.
inline void run_point(const Sweep& sweep, const fs::path& root, FaultPlan plan, SweepTally& tally) {
    const fs::path folder = fresh_copy(sweep, root, "point");
    const std::string where = sweep.operation + ", call " + std::to_string(plan.fail_at) +
                              (plan.sticky ? " and after" : "") + " failing with " +
                              std::strerror(plan.error);
    bool succeeded = false;
    {
        FaultInjection faults(plan);
        try {
            sweep.run(folder);
            succeeded = faults.failures() > 0;
        } catch (const vaq::Error&) {
        }
    }
    ++tally.points;
    if (succeeded) {
        ++tally.false_successes;
        tally.failures.push_back(where + ": reported success");
    }
    const DatabaseState state = read_database(folder);
    for (const auto& [name, read] : state) {
        if (read.problem.empty()) continue;
        ++tally.unreadable;
        tally.failures.push_back(where + ": " + name + ": " + read.problem);
    }
    if (!sweep.acceptable(state)) {
        ++tally.records_lost;
        tally.failures.push_back(where + ": the tables hold neither state");
    }
}

// The operation with every point failing in turn: once with EIO, and from then on with
// ENOSPC. `every` > 1 takes every so many points only (and the last one).
inline SweepTally sweep_every_point(const Sweep& sweep, const fs::path& root,
                                    unsigned calls = kEveryFileCall, std::uint64_t every = 1) {
    SweepTally tally{sweep.operation};
    const std::uint64_t points = count_points(sweep, root, calls);
    for (const auto& [error, sticky] : {std::pair{EIO, false}, std::pair{ENOSPC, true}}) {
        for (std::uint64_t n = 1; n <= points; ++n) {
            if (n % every != 0 && n != points) continue;
            run_point(sweep, root,
                      FaultPlan{.calls = calls, .fail_at = n, .error = error, .sticky = sticky},
                      tally);
        }
    }
    return tally;
}

inline std::string describe_failures(const SweepTally& tally) {
    std::string text;
    for (std::size_t i = 0; i < tally.failures.size() && i < 20; ++i)
        text += tally.failures[i] + "\n";
    return text;
}

}  // namespace pdx::testing
