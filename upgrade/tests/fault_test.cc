// The upgrade of the small old database with one of its file-changing calls failing (once
// with EIO, or from then on with ENOSPC): the run reports the error, every table still reads
// alike through the engine and pxlib, and a second run without a fault ends with the
// database an uninterrupted upgrade gives, file for file and record for record.
//
// An upgrade makes over a thousand such calls and each run flushes many files, so the test
// takes four points of each kind spread over the run; VAQ_FAULT_EVERY=N in the environment
// takes every N-th point instead (VAQ_FAULT_EVERY=1: every point, an hour or more).

#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include "common/error.h"
#include "db/database.h"
#include "db/session.h"
#include "engine/api/config.h"
#include "engine/format/fault_injection.h"
#include "engine/table/tests/fault_sweep.h"
#include "test_support/memory_window.h"
#include "upgrade/tests/old_database.h"
#include "upgrade/tests/upgrade_expectations.h"
#include "upgrade/upgrade_form.h"

namespace vaq::upgrade::testing {
namespace {

namespace fs = std::filesystem;

struct RunResult {
    std::string error;    // what ended the run, empty when nothing did
    int failedSteps = 0;  // steps that failed while the run went on
};

// The upgrade of the database in `folder`, known as the alias VAQ, the repair at its end
// standing in.
RunResult upgrade(const fs::path& folder) {
    const AliasVaqAt alias(folder, "fault");
    RunResult result;
    {
        test_support::MemoryWindow window;
        try {
            db::Session session("Session1");
            db::Database mainDB(session, "MainDB", "VAQ");
            mainDB.open();
            UpgradeForm form(window, mainDB);
            form.on_step_failed([&] { ++result.failedSteps; });
            RepairStandIn repair;
            repair.install(window, form);
            form.BitBtn1Click();
        } catch (const std::exception& e) {
            result.error = e.what();
        }
    }
    return result;
}

// Every file of the directory by name: a table file as pxlib reads it (fields, then records
// in table order), any other file by its bytes.
std::map<std::string, Lines> database_view(const fs::path& folder) {
    std::map<std::string, Lines> view;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        const std::string ext = entry.path().extension().string();
        if (ext == ".DB" || ext == ".db")
            view[name] = pxlib_view(entry.path());
        else
            view[name] = {std::to_string(fs::file_size(entry.path()))};
    }
    return view;
}

class UpgradeFaults : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "vaq-upgrade-faults-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        if (!root_.empty()) fs::remove_all(root_, ignored);
    }

    fs::path fresh(const std::string& name) const {
        const fs::path folder = root_ / name;
        fs::remove_all(folder);
        fs::create_directories(folder);
        write_old_database(folder);
        return folder;
    }

    fs::path root_;
};

TEST_F(UpgradeFaults, FailedRunReportsItAndASecondRunEndsAsAnUninterruptedOne) {
    const fs::path reference = fresh("reference");
    std::uint64_t points = 0;
    {
        pdx::FaultInjection counting;
        ASSERT_EQ(upgrade(reference).error, "");
        points = counting.calls();
    }
    const std::map<std::string, Lines> expected = database_view(reference);

    std::uint64_t every = points / 4 + 1;
    if (const char* wanted = std::getenv("VAQ_FAULT_EVERY")) every = std::max(1, std::atoi(wanted));
    pdx::testing::SweepTally tally{"upgrade (points sampled of " + std::to_string(points) + ")"};
    for (const auto& [error, sticky] : {std::pair{EIO, false}, std::pair{ENOSPC, true}}) {
        // The sticky points start half a step later, so that the two kinds meet other calls.
        for (std::uint64_t n = sticky ? every / 2 + 1 : 1; n <= points; n += every) {
            const std::string where = "call " + std::to_string(n) + " of " +
                                      std::to_string(points) + (sticky ? " and after" : "");
            SCOPED_TRACE(where);
            const fs::path folder = fresh("point");
            RunResult failed;
            {
                pdx::FaultInjection faults({.fail_at = n, .error = error, .sticky = sticky});
                failed = upgrade(folder);
            }
            ++tally.points;
            if (failed.error.empty() && failed.failedSteps == 0) {
                ++tally.false_successes;
                ADD_FAILURE() << "the upgrade reported success";
            }
            for (const auto& [name, read] : pdx::testing::read_database(folder)) {
                if (read.problem.empty()) continue;
                ++tally.unreadable;
                ADD_FAILURE() << name << ": " << read.problem;
            }
            const RunResult second = upgrade(folder);
            EXPECT_EQ(second.error, "");
            EXPECT_EQ(second.failedSteps, 0);
            if (database_view(folder) != expected) {
                ++tally.records_lost;
                ADD_FAILURE() << "the second run ends with another database than an "
                                 "uninterrupted upgrade";
            }
        }
    }
    tally.print();
}

}  // namespace
}  // namespace vaq::upgrade::testing
