// What the shell says about records a rebuild set aside, where they are (.salvaged), and
// the exit statuses of .verify, .rebuild and .repair that a script relies on.

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "engine/table/table.h"
#include "tools/vaqdb/tests/generated_database_test.h"
#include "tutil/tests/support.h"

namespace vaq::shell {
namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t kRecords = 300;

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

class SalvagedCommandTest : public GeneratedDatabaseTest {
  protected:
    SalvagedCommandTest() : GeneratedDatabaseTest("vaqdb-salvaged", 50, kPrivateDirOnly) {}

    // A small table with `spoiled` records whose logical value is impossible: a rebuild
    // cannot keep them and sets them aside.
    fs::path write_damaged_table(int spoiled) {
        const fs::path db = data() / "Small.DB";
        tutil::testing::write_small_table(db, kRecords);
        tutil::testing::patch(db, [&](std::vector<std::uint8_t>& b) {
            const tutil::testing::FileGeometry g(b);
            for (int i = 0; i < spoiled; ++i)
                b[g.record(2, static_cast<std::size_t>(i) * 3) + 10] = 0x37;
        });
        return db;
    }
};

TEST_F(SalvagedCommandTest, RebuildSaysWhereRecordsWentAndSalvagedListsAndRemovesTheRuns) {
    write_damaged_table(5);
    const Outcome verify = run({".verify", "Small"});
    EXPECT_EQ(verify.status, 2) << verify.err;
    const std::vector<std::string> findings = lines_of(verify.out);
    ASSERT_GE(findings.size(), 2u) << verify.out;
    EXPECT_NE(findings[0], "Verification Successful. Table has no errors.");
    for (std::size_t i = 1; i < findings.size(); ++i)
        EXPECT_EQ(findings[i].rfind("Small.DB", 0), 0u) << findings[i];

    const Outcome first = run({".rebuild", "Small"});
    ASSERT_EQ(first.status, 0) << first.err;
    const std::vector<std::string> said = lines_of(first.out);
    ASSERT_EQ(said.size(), 2u) << first.out;
    EXPECT_EQ(said[0], "Rebuild was successful.");
    const std::string lead = "5 records could not be kept in Small.DB; they are in PROBLEM.DB in ";
    ASSERT_EQ(said[1].rfind(lead, 0), 0u) << said[1];
    const fs::path first_folder = said[1].substr(lead.size(), said[1].size() - lead.size() - 1);
    EXPECT_TRUE(fs::exists(first_folder / "PROBLEM.DB"));
    EXPECT_EQ(pdx::Table::open_file(first_folder / "PROBLEM.DB")->record_count(), 5u);

    // A second rebuild finds nothing to set aside and keeps the first's records.
    const Outcome second = run({".rebuild", "Small"});
    EXPECT_EQ(second.status, 0) << second.err;
    EXPECT_EQ(second.out, "Rebuild was successful.\n");
    EXPECT_EQ(run({".verify", "Small"}).status, 0);
    EXPECT_EQ(pdx::Table::open_file(first_folder / "PROBLEM.DB")->record_count(), 5u);

    Outcome listed = run({".salvaged"});
    ASSERT_EQ(listed.status, 0) << listed.err;
    std::vector<std::string> runs = lines_of(listed.out);
    ASSERT_EQ(runs.size(), 3u) << listed.out;
    EXPECT_EQ(runs[0], "run\ttable\tresult\tkept\tKEYVIOL\tPROBLEM\tbackup\tfolder");
    const std::string first_run = runs[1].substr(0, runs[1].find('\t'));
    EXPECT_EQ(runs[1],
              first_run + "\tSmall.DB\trebuilt\t295\t0\t5\tkept\t" + first_folder.string());
    EXPECT_EQ(lines_of(run({".salvaged", "small.db"}).out).size(), 3u);
    EXPECT_EQ(lines_of(run({".salvaged", "Door"}).out).size(), 1u);

    const Outcome removed = run({".salvaged", "--remove", first_run});
    EXPECT_EQ(removed.status, 0) << removed.err;
    EXPECT_FALSE(fs::exists(first_folder));
    EXPECT_EQ(lines_of(run({".salvaged"}).out).size(), 2u);
    const Outcome again = run({".salvaged", "--remove", first_run});
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.err.find("No rebuild run " + first_run), std::string::npos) << again.err;
    EXPECT_EQ(run({".salvaged", "--remove"}).status, 1);
}

TEST_F(SalvagedCommandTest, ExitStatusesTellAScriptWhatHappened) {
    const Outcome clean = run({".verify", "Door"});
    EXPECT_EQ(clean.status, 0) << clean.err;
    EXPECT_EQ(clean.out, "Verification Successful. Table has no errors.\n");
    EXPECT_EQ(run({".verify", "Nothing"}).status, 1);

    // A table another writer holds cannot be rebuilt: the cause is the error.
    const fs::path db = write_damaged_table(2);
    {
        const auto writer = pdx::Table::open_file(db, pdx::Access::kWrite);
        const Outcome rebuild = run({".rebuild", "Small"});
        EXPECT_EQ(rebuild.status, 1) << rebuild.out;
        EXPECT_EQ(rebuild.err, "Rebuild was not successful. Table is busy: Small.DB.\n");
        const Outcome repair = run({".repair"});
        EXPECT_EQ(repair.status, 1) << repair.out;
        EXPECT_NE(repair.err.find("These tables were not rebuilt:"), std::string::npos)
            << repair.err;
        EXPECT_NE(repair.err.find("Small.DB"), std::string::npos) << repair.err;
    }
    // The script's status is the worst of its commands.
    const Outcome script = run({}, ".verify Small\n.verify Door\n");
    EXPECT_EQ(script.status, 2) << script.err;
    const Outcome repair = run({".repair"});
    EXPECT_EQ(repair.status, 0) << repair.err;
    EXPECT_NE(repair.out.find("2 records could not be kept in Small.DB; they are in PROBLEM.DB"),
              std::string::npos)
        << repair.out;
}

}  // namespace
}  // namespace vaq::shell
