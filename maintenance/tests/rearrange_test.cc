// The key re-arrangement: its statements in order, the messages and bars on success and on
// failure, a table put back when its key could not be added again, and real renumbering.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "common/error.h"
#include "engine/table/table_family.h"
#include "engine/table/table_name.h"
#include "maintenance/key_renumbering.h"
#include "maintenance/maintenance_form.h"
#include "maintenance/tests/site_fixture.h"
#include "test_support/memory_window.h"

namespace vaq::maintenance::testing {

using window::Control;
namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kTables = {"MessForm", "MessSys", "Personal", "Transact"};
const std::vector<std::string> kKeys = {"MessID", "MessID", "PersonalID", "TransID"};

std::string contents_of(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class RearrangeTest : public SiteFixture {
  protected:
    void SetUp() override {
        SiteFixture::SetUp();
        write_site(30, 200);
        window_.set_items(Control::ComboBox1, kTables);
        window_.set_items(Control::ComboBox2, kKeys);
        form_ = std::make_unique<MaintenanceForm>(window_);
    }
    void TearDown() override {
        form_.reset();
        SiteFixture::TearDown();
    }

    // Records the statements instead of running them; `fail` says which one raises.
    void record_statements(
        std::function<void(const fs::path&, const std::string&)> beforeEach = {}) {
        form_->executeStatement = [this, beforeEach](const fs::path& directory,
                                                     const std::string& statement) {
            statements_.push_back(statement);
            if (beforeEach) beforeEach(directory, statement);
        };
    }

    std::map<std::string, std::string> family_contents(std::string_view table) const {
        std::map<std::string, std::string> files;
        for (const fs::path& file : pdx::family_files(*pdx::find_table_file(data(), table)))
            files[file.filename().string()] = contents_of(file);
        return files;
    }

    void expect_closing_state() {
        EXPECT_EQ(window_.selected_index(Control::ComboBox1), -1);
        EXPECT_EQ(window_.selected_index(Control::ComboBox2), -1);
        EXPECT_EQ(window_.position(Control::bar4), 0);
        // Nothing of the work is left beside the tables.
        for (const auto& entry : fs::directory_iterator(data()))
            EXPECT_NE(entry.path().filename().string().front(), '.')
                << "left behind: " << entry.path();
    }

    test_support::MemoryWindow window_;
    std::unique_ptr<MaintenanceForm> form_;
    std::vector<std::string> statements_;
};

TEST(KeyStatements, AreTheEnginesIdentityForm) {
    EXPECT_EQ(drop_key_statement("MessForm", "MessID"), "ALTER TABLE MessForm DROP COLUMN MessID");
    EXPECT_EQ(
        add_key_statement("MessForm", "MessID"),
        "ALTER TABLE MessForm ADD MessID int IDENTITY(1,1) CONSTRAINT PK_MessForm PRIMARY KEY");
    EXPECT_EQ(trim_list_item(" \tTransact\r\n"), "Transact");
    EXPECT_EQ(trim_list_item("Mess Form"), "Mess Form");
    EXPECT_EQ(trim_list_item("\x01\x1f"), "");
}

TEST_F(RearrangeTest, EightStatementsDropBeforeAddInListOrder) {
    record_statements();
    form_->BitBtn14Click();

    EXPECT_EQ(statements_,
              (std::vector<std::string>{
                  "ALTER TABLE MessForm DROP COLUMN MessID",
                  "ALTER TABLE MessForm ADD MessID int IDENTITY(1,1) CONSTRAINT PK_MessForm "
                  "PRIMARY KEY",
                  "ALTER TABLE MessSys DROP COLUMN MessID",
                  "ALTER TABLE MessSys ADD MessID int IDENTITY(1,1) CONSTRAINT PK_MessSys "
                  "PRIMARY KEY",
                  "ALTER TABLE Personal DROP COLUMN PersonalID",
                  "ALTER TABLE Personal ADD PersonalID int IDENTITY(1,1) CONSTRAINT PK_Personal "
                  "PRIMARY KEY",
                  "ALTER TABLE Transact DROP COLUMN TransID",
                  "ALTER TABLE Transact ADD TransID int IDENTITY(1,1) CONSTRAINT PK_Transact "
                  "PRIMARY KEY",
              }));
    EXPECT_EQ(window_.box_texts(), std::vector<std::string>{"Update Completed"});
    EXPECT_EQ(window_.range(Control::bar4), std::make_pair(0, 4));
    EXPECT_EQ(window_.range(Control::bar5), std::make_pair(0, 3));
    EXPECT_EQ(window_.position_history(Control::bar4), (std::vector<int>{1, 2, 3, 4, 0}));
    EXPECT_EQ(window_.position_history(Control::bar5),
              (std::vector<int>{1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3, 0}));
    EXPECT_EQ(window_.eventRounds, 16);
    expect_closing_state();
}

TEST_F(RearrangeTest, FailureOfTheFirstStatementChangesNothing) {
    const auto before = family_contents("MessForm");
    record_statements(
        [](const fs::path&, const std::string&) { throw Error("Table is in use: MessForm.DB."); });
    form_->BitBtn14Click();

    EXPECT_EQ(statements_.size(), 1U);
    EXPECT_EQ(window_.box_texts(),
              (std::vector<std::string>{"Re-arrange Fail!", "Update Completed"}));
    EXPECT_EQ(family_contents("MessForm"), before);
    // bar5 stays where the failing step left it.
    EXPECT_EQ(window_.position(Control::bar5), 2);
    expect_closing_state();
}

TEST_F(RearrangeTest, AFailedAddPutsTheTableBackAsItWasBeforeTheDrop) {
    const auto personal = family_contents("Personal");
    const auto transact = family_contents("Transact");
    record_statements([](const fs::path& directory, const std::string& statement) {
        // The statements really run on the copies, up to the add of Personal, which fails.
        if (statement.rfind("ALTER TABLE Personal ADD", 0) == 0)
            throw Error("Key violation in Personal.DB.");
        run_engine_statement(directory, statement);
    });
    form_->BitBtn14Click();

    ASSERT_EQ(statements_.size(), 6U);
    EXPECT_EQ(window_.box_texts(),
              (std::vector<std::string>{"Re-arrange Fail!", "Update Completed"}));
    EXPECT_EQ(family_contents("Personal"), personal);
    EXPECT_EQ(family_contents("Transact"), transact);
    expect_closing_state();
}

TEST_F(RearrangeTest, MissingTableOrKeyFailsBeforeAnyStatement) {
    window_.set_items(Control::ComboBox1, {"NoSuchTable"});
    record_statements();
    form_->BitBtn14Click();
    EXPECT_TRUE(statements_.empty());
    EXPECT_EQ(window_.box_texts(),
              (std::vector<std::string>{"Re-arrange Fail!", "Update Completed"}));

    window_.boxes.clear();
    window_.set_items(Control::ComboBox1, {" MessForm\t", "MessSys"});
    window_.set_items(Control::ComboBox2, {"MessID"});
    form_->BitBtn14Click();
    EXPECT_EQ(statements_.size(), 2U);
    EXPECT_EQ(statements_.front(), "ALTER TABLE MessForm DROP COLUMN MessID");
    EXPECT_EQ(window_.box_texts(),
              (std::vector<std::string>{"Re-arrange Fail!", "Update Completed"}));
    // The second table has no key listed: the failure names it (the window's list of keys
    // has no item to select for it, which failed before).
    EXPECT_EQ(form_->last_rearrange_failure(), "No key column is listed for the table MessSys.");
    expect_closing_state();
}

TEST_F(RearrangeTest, KeysAreNumberedOneToNWithEveryOtherColumnKept) {
    const std::vector<std::string> names = field_names("MessForm");
    const auto before = read_all("MessForm");
    const auto personalBefore = read_all("Personal");
    form_->BitBtn14Click();
    EXPECT_EQ(window_.box_texts(), std::vector<std::string>{"Update Completed"});

    // The key comes first (the format wants key fields in front), numbered in table order.
    const std::vector<std::string> after = field_names("MessForm");
    ASSERT_EQ(after.size(), names.size());
    const auto rows = read_all("MessForm");
    ASSERT_EQ(rows.size(), before.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i][0], std::to_string(i + 1));
        std::map<std::string, std::string> was, is;
        for (std::size_t c = 0; c < names.size(); ++c)
            if (names[c] != "MessID") was[names[c]] = before[i][c];
        for (std::size_t c = 0; c < after.size(); ++c)
            if (after[c] != "MessID") is[after[c]] = rows[i][c];
        EXPECT_EQ(is, was) << "record " << i + 1;
    }
    const auto personalAfter = read_all("Personal");
    ASSERT_EQ(personalAfter.size(), personalBefore.size());
    for (std::size_t i = 0; i < personalAfter.size(); ++i)
        EXPECT_EQ(personalAfter[i][0], std::to_string(i + 1));
}

}  // namespace
}  // namespace vaq::maintenance::testing
