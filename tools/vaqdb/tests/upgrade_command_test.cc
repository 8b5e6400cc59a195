// The shell's "Upgrade DataBase" over a generated old database: the upgrade's
// log lines as they are written, then the repair it presses; an error ends the
// command with status 1.

#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "bench/database_generator.h"
#include "engine/api/config.h"
#include "tools/vaqdb/shell.h"

namespace vaqdb {
namespace {

namespace fs = std::filesystem;

struct Outcome {
    int status = 0;
    std::string out;
    std::string err;
};

class UpgradeCommandTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "vaqdb-upgrade-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        pdx::useConfiguration(
            pdx::Configuration::fromText("[engine]\nprivate_dir = private\n", root_, "test"));
        vaq::bench::GeneratorOptions options;
        options.out = data();
        options.site.controllers = 2;
        options.site.doorsPerController = 2;
        options.site.staff = 10;
        options.site.transactions = 100;
        vaq::bench::generateDatabase(options);
    }
    void TearDown() override {
        pdx::reloadConfiguration();
        std::error_code ignored;  // a leftover temporary folder is no test failure
        fs::remove_all(root_, ignored);
    }

    fs::path data() const { return root_ / "data"; }

    Outcome upgrade() {
        std::istringstream in;
        std::ostringstream out, err;
        Outcome result;
        result.status = run_main({data().string(), ".upgrade"}, in, out, err);
        result.out = out.str();
        result.err = err.str();
        return result;
    }

    fs::path root_;
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

}  // namespace
}  // namespace vaqdb
