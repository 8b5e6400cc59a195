// The shell's table-utility commands, its "Rebuild Index" and SQL statements, over a
// generated database with a private directory of the test's own.

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "common/error.h"
#include "engine/api/private_folders.h"
#include "tools/vaqdb/shell.h"
#include "tools/vaqdb/terminal_window.h"
#include "tools/vaqdb/tests/generated_database_test.h"

namespace vaq::shell {
namespace {

namespace fs = std::filesystem;
using vaq::window::Control;

class RepairCommandsTest : public GeneratedDatabaseTest {
  protected:
    RepairCommandsTest() : GeneratedDatabaseTest("vaqdb-repair", 100, kOtherAliasAndPrivateDir) {}
};

TEST_F(RepairCommandsTest, PropsPrintsTheTenPropertiesOfTheWindow) {
    const Outcome props = run({".props", "door"});
    ASSERT_EQ(props.status, 0) << props.err;
    std::istringstream lines(props.out);
    std::vector<std::string> captions;
    for (std::string line; std::getline(lines, line);)
        captions.push_back(line.substr(0, line.rfind(' ')));
    EXPECT_EQ(captions,
              (std::vector<std::string>{"Fields:", "Record Size:", "Indexes:", "Validities:",
                                        "References:", "Restructure Version:", "Aux Passwords:",
                                        "Code Page:", "Block Size:", "Table Level:"}));
    EXPECT_NE(props.out.find("Validities: 0\nReferences: 0\n"), std::string::npos);
    EXPECT_EQ(props.out.find("Fields: 0\n"), std::string::npos);
}

TEST_F(RepairCommandsTest, VerifyAndRebuildPrintTheResultTexts) {
    Outcome verify = run({".verify", "Transact"});
    EXPECT_EQ(verify.status, 0) << verify.err;
    EXPECT_EQ(verify.out, "Verification Successful. Table has no errors.\n");

    fs::resize_file(data() / "Transact.db", fs::file_size(data() / "Transact.db") - 3000);
    verify = run({".verify", "Transact"});
    EXPECT_EQ(verify.status, 2) << verify.err;  // damage found
    EXPECT_EQ(verify.out.rfind("Verification Successful. ", 0), 0u) << verify.out;
    EXPECT_NE(verify.out.rfind("Verification Successful. Table has no errors.\n", 0), 0u);
    // Each finding on a line of its own after the result text.
    EXPECT_NE(verify.out.find("\nTransact.db"), std::string::npos) << verify.out;

    const Outcome rebuild = run({".rebuild", "Transact.db"});
    EXPECT_EQ(rebuild.status, 0) << rebuild.err;
    EXPECT_EQ(rebuild.out.rfind("Rebuild was successful.\n", 0), 0u) << rebuild.out;
    EXPECT_EQ(run({".verify", "Transact"}).out, "Verification Successful. Table has no errors.\n");
}

TEST_F(RepairCommandsTest, RepairRunsRebuildIndexOverTheDirectoryAsVaq) {
    const Outcome repair = run({".repair"});
    EXPECT_EQ(repair.status, 0) << repair.err;
    EXPECT_EQ(repair.out, "Rebuild was successful.\nbox: Rebuild was successful.\n");
    EXPECT_TRUE(fs::is_directory(root_ / "private" / pdx::database_id(data()) / "Transact"));
    // The alias VAQ stood for the directory only while the command ran.
    EXPECT_EQ(pdx::current_configuration()->find_alias("VAQ"), nullptr);
    EXPECT_NE(pdx::current_configuration()->find_alias("Other"), nullptr);
}

TEST_F(RepairCommandsTest, WrongTablesAreNamed) {
    Outcome missing = run({".verify", "Nothing"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "Table does not exist: Nothing\n");
    missing = run({".props", "../data/Door"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(run({".rebuild"}).err, "Usage: .rebuild TABLE\n");
}

TEST_F(RepairCommandsTest, SqlStatementsRunAndSelectPrintsCsv) {
    const Outcome script = run({},
                               "CREATE TABLE Notes (ID integer, Note char(20), Day date,\n"
                               "  PRIMARY KEY (ID));\n"
                               "INSERT INTO Notes VALUES (2, 'b, with comma', '3/21/2005');\n"
                               "INSERT INTO Notes VALUES (1, 'a', '1/1/2006');\n"
                               "SELECT * FROM Notes;\n"
                               "SELECT Note FROM notes.db WHERE ID = 2\n");
    EXPECT_EQ(script.status, 0) << script.err;
    EXPECT_EQ(script.out,
              "ID,Note,Day\r\n1,a,2006-01-01\r\n2,\"b, with comma\",2005-03-21\r\n"
              "Note\r\n\"b, with comma\"\r\n");
    const Outcome wrong = run({"SELECT * FROM Absent"});
    EXPECT_EQ(wrong.status, 1);
    EXPECT_FALSE(wrong.err.empty());
}

TEST(TerminalWindowTest, LogLinesBoxesAndBars) {
    std::ostringstream out, err;
    {
        TerminalWindow window(out, err, true);
        window.append_text(Control::Memo1, "Upgraded Successfully : Table Leave.db Added\r\n");
        window.set_position(Control::PBData, 50);
        window.append_text(Control::Memo1, "Rebuild was successful.");
        window.show_message({"Rebuild was successful.", "", vaq::window::BoxIcon::kNone});
        window.set_position(Control::PBRebuild, 140);
        EXPECT_EQ(window.position(Control::PBRebuild), 100);
    }
    EXPECT_EQ(out.str(),
              "Upgraded Successfully : Table Leave.db Added\nRebuild was successful.\n"
              "box: Rebuild was successful.\n");
    EXPECT_EQ(err.str(),
              "\rData: [###############               ] 50%\n"
              "\rRebuild: [##############################] 100%\n");

    std::ostringstream quietErr;
    TerminalWindow quiet(out, quietErr, false);
    quiet.set_position(Control::PBData, 50);
    EXPECT_EQ(quietErr.str(), "");
    EXPECT_THROW(quiet.click(Control::BitBtn2), vaq::Error);
}

}  // namespace
}  // namespace vaq::shell
