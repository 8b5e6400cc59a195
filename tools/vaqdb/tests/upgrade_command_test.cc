// The shell's "Upgrade DataBase" over a generated old database: the upgrade's
// log lines as they are written, then the repair it presses; an error ends the
// command with status 1.

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "engine/format/fault_injection.h"
#include "tools/vaqdb/shell.h"
#include "tools/vaqdb/tests/generated_database_test.h"

namespace vaq::shell {
namespace {

namespace fs = std::filesystem;

class UpgradeCommandTest : public GeneratedDatabaseTest {
  protected:
    UpgradeCommandTest() : GeneratedDatabaseTest("vaqdb-upgrade", 100, kPrivateDirOnly) {}

    Outcome upgrade() { return run({".upgrade"}); }
};

TEST_F(UpgradeCommandTest, PrintsEveryLogLineThenTheRepairAndASecondRunOnlyWhatEveryRunWrites) {
    const Outcome first = upgrade();
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(first.out.rfind("Upgraded Successfully : Table EMCARD_MAS.db Added\n"
                              "Upgraded Successfully : Table EMCARD_DET.db Added\n",
                              0),
              0u);
    EXPECT_NE(first.out.find("\nPanicPIN Field added \n"), std::string::npos);
    EXPECT_NE(first.out.find("Upgraded Successfully : Event Type Updated\n"
                             "Upgraded Successfully : New Index added on: DeptTimeTable.DB\n"),
              std::string::npos);
    EXPECT_NE(first.out.find("box: "), std::string::npos);

    const Outcome second = upgrade();
    ASSERT_EQ(second.status, 0) << second.err;
    const std::string lastIndexLines =
        "Upgraded Successfully : New Index added on: ActiveRelay.DB\n"
        "Upgraded Successfully : New Index added on: Leave.DB\n";
    const std::size_t lastIndex = first.out.find(lastIndexLines);
    ASSERT_NE(lastIndex, std::string::npos);
    const std::string repair = first.out.substr(lastIndex + lastIndexLines.size());
    EXPECT_EQ(second.out,
              "Upgraded Successfully : Event Type Updated\n"
              "Upgraded Successfully : New Index added on: Leave.DB\n"
              "Upgraded Successfully : New Index added on: Leave.DB\n" +
                  repair);
}

TEST_F(UpgradeCommandTest, MissingDoorTableEndsTheCommandWithTheEngineError) {
    for (const auto& entry : fs::directory_iterator(data()))
        if (entry.path().stem() == "Door") fs::remove(entry.path());
    const Outcome outcome = upgrade();
    EXPECT_EQ(outcome.status, 1);
    EXPECT_NE(outcome.err.find("Door"), std::string::npos) << outcome.err;
    EXPECT_EQ(outcome.out,
              "Upgraded Successfully : Table EMCARD_MAS.db Added\n"
              "Upgraded Successfully : Table EMCARD_DET.db Added\n"
              "Upgraded Successfully : Table CardFormat.db Added\n"
              "Upgraded Successfully : Table DoorTree.db Added\n");
}

TEST_F(UpgradeCommandTest, AStepThatFailsWhileTheRunGoesOnEndsTheCommandWithStatus1) {
    // The renames a whole run makes, counted on a copy of the database: its last ones are
    // those of the repair at its end, which shows a table it cannot rebuild in a box and
    // goes on with the next.
    const fs::path copy = data().parent_path() / "copy";
    fs::copy(data(), copy, fs::copy_options::recursive);
    std::uint64_t renames = 0;
    {
        pdx::FaultInjection counting({.calls = static_cast<unsigned>(pdx::FileCall::kRename)});
        std::istringstream in;
        std::ostringstream out, err;
        ASSERT_EQ(run_main({copy.string(), ".upgrade"}, in, out, err), 0) << err.str();
        renames = counting.calls();
    }
    pdx::FaultInjection faults(
        {.calls = static_cast<unsigned>(pdx::FileCall::kRename), .fail_at = renames});
    const Outcome outcome = upgrade();
    EXPECT_EQ(faults.failures(), 1u);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_NE(outcome.out.find("box: These tables were not rebuilt:"), std::string::npos)
        << outcome.out;
    EXPECT_NE(outcome.err.find("The upgrade did not finish: 1 step failed"), std::string::npos)
        << outcome.err;
}

}  // namespace
}  // namespace vaq::shell
