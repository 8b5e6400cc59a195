// "Rebuild Index" and "Rebuild and Fix All" over a generated database, and the backup of the
// database directory into its time-stamped folder.

#include <gtest/gtest.h>

#include <fstream>

#include "db/table.h"
#include "engine/api/engine_error.h"
#include "engine/api/private_folders.h"
#include "engine/table/table.h"
#include "repair/install.h"
#include "repair/tests/repair_fixture.h"
#include "tutil/rebuild_runs.h"
#include "tutil/tests/support.h"

namespace vaq::repair::testing {
namespace {

using window::BoxIcon;
using window::MessageBox;

class BatchTest : public RepairFixture {
  protected:
    void SetUp() override {
        RepairFixture::SetUp();
        form_->FormCreate();
    }
    fs::path backup_root() const { return root_ / "bin" / "Backup"; }
};

TEST_F(BatchTest, RebuildIndexRebuildsEveryTableAndReportsTheLast) {
    generate();
    window_.set_text(Control::Memo1, "Upgraded Successfully : Table Leave.db Added\r\n");
    form_->BitBtn2Click();

    const auto tables = window_.items(Control::TableCombo);
    ASSERT_GT(tables.size(), 5u);
    EXPECT_EQ(std::count(window_.presses.begin(), window_.presses.end(), Control::RebuildBtn),
              static_cast<long>(tables.size()));
    EXPECT_EQ(window_.text(Control::MessageLB), "Rebuild was successful.");
    EXPECT_EQ(window_.text(Control::Memo1),
              "Upgraded Successfully : Table Leave.db Added\r\nRebuild was successful.");
    ASSERT_EQ(window_.boxes.size(), 1u);
    EXPECT_EQ(window_.boxes[0].text, "Rebuild was successful.");
    EXPECT_EQ(window_.boxes[0].title, "");
    EXPECT_EQ(window_.boxes[0].icon, BoxIcon::kNone);

    // The controls are left on the last table.
    EXPECT_EQ(window_.text(Control::AliasCombo), "VAQ");
    EXPECT_EQ(window_.selected_index(Control::TableCombo), static_cast<int>(tables.size()) - 1);
    EXPECT_EQ(window_.text(Control::TableLocEdit), (data() / tables.back()).string());
    EXPECT_TRUE(window_.is_enabled(Control::RebuildBtn));
    EXPECT_NE(window_.text(Control::FieldsLB), "0");
    // Each table kept its own backup in the database's folder of the private directory.
    for (const std::string& table : tables)
        EXPECT_TRUE(
            fs::is_directory(private_dir() / pdx::database_id(data()) / fs::path(table).stem()))
            << table;

    // Rebuilt tables verify clean.
    window_.select(Control::TableCombo, 0);
    form_->SelectTable();
    form_->VerifyBtnClick();
    EXPECT_EQ(window_.text(Control::MessageLB), "Verification Successful. Table has no errors.");
}

TEST_F(BatchTest, ADamagedTableIsRepairedByTheBatch) {
    generate();
    // A Paradox file cut inside its last block: the rows of every whole block survive.
    const auto transact = data() / "Transact.db";
    ASSERT_TRUE(fs::exists(transact));
    fs::resize_file(transact, fs::file_size(transact) - 1000);
    form_->SetLocation(transact.string());
    form_->VerifyBtnClick();
    EXPECT_NE(window_.text(Control::MessageLB), "Verification Successful. Table has no errors.");

    form_->BitBtn2Click();
    form_->SetLocation(transact.string());
    form_->VerifyBtnClick();
    EXPECT_EQ(window_.text(Control::MessageLB), "Verification Successful. Table has no errors.");
}

TEST_F(BatchTest, TablesThatWereNotRebuiltAreNamedAfterTheSummary) {
    generate(20);
    // A table this process holds open is refused by the rebuild; the batch goes on.
    db::Table door("VAQ", "Door.DB", *session_);
    door.open();
    form_->BitBtn2Click();
    EXPECT_EQ(window_.text(Control::Memo1), "Rebuild was successful.");
    ASSERT_EQ(window_.boxes.size(), 2u);
    EXPECT_EQ(window_.boxes[0].text, "Rebuild was successful.");
    // Each with the cause the library gave.
    EXPECT_EQ(window_.boxes[1].text.rfind(
                  "These tables were not rebuilt:\nDoor.DB: Rebuild was not successful. ", 0),
              0u)
        << window_.boxes[1].text;
    EXPECT_NE(window_.boxes[1].text.find("busy"), std::string::npos) << window_.boxes[1].text;
    EXPECT_EQ(form_->not_rebuilt().size(), 1u);
    EXPECT_EQ(window_.boxes[1].icon, BoxIcon::kWarning);
    door.close();
}

TEST_F(BatchTest, WithNoTablesTheCurrentMessageIsReportedUnchanged) {
    window_.set_text(Control::MessageLB, "MessageLB");
    form_->BitBtn2Click();
    EXPECT_TRUE(window_.presses.empty());
    EXPECT_EQ(window_.text(Control::Memo1), "MessageLB");
    EXPECT_EQ(window_.box_texts(), std::vector<std::string>{"MessageLB"});
}

TEST_F(BatchTest, WithoutTheAliasVaqTheBatchNamesWhatIsMissing) {
    window_.set_items(Control::AliasCombo, {"DefaultDD"});
    EXPECT_EQ(failure_of([&] { form_->BitBtn2Click(); }),
              "The engine lists no standard alias VAQ, so no table can be rebuilt");
    EXPECT_TRUE(window_.boxes.empty());
}

TEST_F(BatchTest, AnEngineErrorEndsTheBatchWithoutAReport) {
    generate(20);
    window_.jobs.handlers[window::Handler::RebuildBtnClick] = [] {
        throw pdx::EngineError(pdx::DBIERR_ENGINE, "Table is in use: Door.DB");
    };
    EXPECT_EQ(failure_of([&] { form_->BitBtn2Click(); }), "Table is in use: Door.DB");
    EXPECT_EQ(window_.presses.size(), 1u);
    EXPECT_EQ(window_.text(Control::Memo1), "");
    EXPECT_TRUE(window_.boxes.empty());
}

TEST_F(BatchTest, RebuildAndFixAllUpgradesBetweenTheRebuildAndTheReport) {
    generate(20);
    std::vector<std::string> seen;
    window_.jobs.handlers[window::Handler::BitBtn1Click] = [&] {
        seen.push_back(window_.text(Control::MessageLB));
        window_.append_text(Control::Memo1, "Upgraded Successfully : StaffIDField added \r\n");
    };
    window_.set_checked(Control::CheckBox1, true);  // "Rebuild and Fix All" never backs up
    form_->Button1Click();
    EXPECT_EQ(seen, std::vector<std::string>{"Rebuild was successful."});
    EXPECT_EQ(window_.presses.back(), Control::BitBtn1);
    EXPECT_EQ(window_.text(Control::Memo1),
              "Upgraded Successfully : StaffIDField added \r\nRebuild was successful.");
    EXPECT_EQ(window_.box_texts(), std::vector<std::string>{"Rebuild was successful."});
    EXPECT_FALSE(fs::exists(backup_root()));
}

TEST_F(BatchTest, RebuildAndFixAllRebuildingTwiceKeepsAndNamesWhatTheFirstRebuildSetAside) {
    generate(20);
    const fs::path small = data() / "Small.DB";
    tutil::testing::write_small_table(small, 300);
    tutil::testing::patch(small, [](std::vector<std::uint8_t>& b) {
        const tutil::testing::FileGeometry g(b);
        for (std::size_t slot : {0, 4, 8, 12})
            b[g.record(2, slot) + 10] = 0x37;  // an impossible logical value
    });
    // The upgrade ends with a "Rebuild Index" of its own: every table is rebuilt twice.
    window_.jobs.handlers[window::Handler::BitBtn1Click] = [&] { form_->BitBtn2Click(); };
    form_->Button1Click();

    const std::vector<tutil::RebuildRun> runs = tutil::rebuild_runs(data(), "Small");
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].problems, 4u);
    EXPECT_EQ(runs[1].problems, 0u);
    EXPECT_EQ(pdx::Table::open_file(runs[0].folder / "PROBLEM.DB")->record_count(), 4u);
    EXPECT_EQ(pdx::Table::open_file(small)->record_count(), 296u);
    // The run's own report names where the records went, once, after the result text.
    const std::string memo = window_.text(Control::Memo1);
    const std::string note =
        "Rebuild was successful.\r\n4 records could not be kept in Small.DB; "
        "they are in PROBLEM.DB in " +
        runs[0].folder.string() + ".";
    EXPECT_TRUE(memo.ends_with(note)) << memo;
    EXPECT_EQ(memo.find("could not be kept"), memo.rfind("could not be kept")) << memo;
    EXPECT_EQ(window_.box_texts(),
              (std::vector<std::string>{"Rebuild was successful.", "Rebuild was successful."}));
}

TEST_F(BatchTest, InstalledHandlersReachTheRepair) {
    test_support::MemoryWindow other;
    other.executableDirectory = window_.executableDirectory;
    install_repair_jobs(other, other.jobs, *session_, *mainDB_);
    for (auto handler : {window::Handler::AliasComboChange, window::Handler::TableComboChange,
                         window::Handler::ByDirectBtnClick, window::Handler::VerifyBtnClick,
                         window::Handler::RebuildBtnClick, window::Handler::BitBtn2Click,
                         window::Handler::Button1Click})
        EXPECT_TRUE(other.jobs.handlers.count(handler)) << window::handler_name(handler);
    other.jobs.createUtilitySession();
    EXPECT_EQ(other.items(Control::AliasCombo), std::vector<std::string>{"VAQ"});
    other.jobs.handlers[window::Handler::BitBtn2Click]();
    EXPECT_EQ(other.box_texts(), std::vector<std::string>{""});
    other.jobs.destroyUtilitySession();
}

// ---- backup ----

TEST(BackupFolderNameTest, FollowsTheTimeStampRule) {
    EXPECT_EQ(backup_folder_name({2005, 3, 21, 9, 30, 5}), "20050321 093005");
    EXPECT_EQ(backup_folder_name({2006, 1, 1, 7, 5, 9}), "20060101 070509");
    EXPECT_EQ(backup_folder_name({2024, 12, 31, 23, 59, 59}), "20241231 235959");
    EXPECT_EQ(backup_folder_name({999, 10, 10, 0, 0, 0}), "9991010 000000");
}

TEST_F(BatchTest, BackupCopiesTheFilesOfTheDirectoryFlat) {
    generate(20);
    fs::create_directory(data() / "old");
    std::ofstream(data() / "old" / "inner.DB") << "not copied";
    std::ofstream(data() / "notes.txt") << "copied too";
    now_ = {2006, 1, 1, 7, 5, 9};

    form_->BackupDatabase();
    const fs::path folder = backup_root() / "20060101 070509";
    ASSERT_TRUE(fs::is_directory(folder));
    std::size_t files = 0;
    for (const auto& entry : fs::directory_iterator(data())) {
        if (entry.is_directory()) continue;
        ++files;
        EXPECT_EQ(fs::file_size(folder / entry.path().filename()), entry.file_size());
    }
    EXPECT_EQ(static_cast<std::size_t>(
                  std::distance(fs::directory_iterator(folder), fs::directory_iterator())),
              files);
    EXPECT_FALSE(fs::exists(folder / "old"));
    EXPECT_EQ(window_.boxes.size(), 1u);
    EXPECT_EQ(window_.boxes[0].text, "The Database backup successfully");
    EXPECT_EQ(window_.boxes[0].title, "Backup DataBase");
    EXPECT_FALSE(window_.busy);
}

TEST_F(BatchTest, TwoBackupsInOneSecondFailWithTheFoldersName) {
    std::ofstream(data() / "Door.DB") << "x";
    form_->BackupDatabase();
    const fs::path folder = backup_root() / "20050321 093005";
    EXPECT_EQ(failure_of([&] { form_->BackupDatabase(); }), folder.string());
    EXPECT_EQ(window_.boxes.size(), 1u);
    now_.second = 6;
    form_->BackupDatabase();
    EXPECT_TRUE(fs::exists(backup_root() / "20050321 093006" / "Door.DB"));
}

TEST_F(BatchTest, ADirectoryOfOnlyFoldersGivesAnEmptyBackup) {
    fs::create_directory(data() / "archive");
    form_->BackupDatabase();
    EXPECT_TRUE(fs::is_empty(backup_root() / "20050321 093005"));
    EXPECT_EQ(window_.box_texts(), std::vector<std::string>{"The Database backup successfully"});
}

TEST_F(BatchTest, ABackupRootThatCannotBeMadeIsNamed) {
    std::ofstream(backup_root()) << "a file where the folder should be";
    EXPECT_EQ(failure_of([&] { form_->BackupDatabase(); }), backup_root().string());
}

TEST_F(BatchTest, AnIncompleteBackupIsAnErrorAndNoTableIsTouched) {
    generate(20);
    fs::create_symlink(root_ / "nowhere.DB", data() / "Lost.DB");
    window_.set_checked(Control::CheckBox1, true);
    const std::string message = failure_of([&] { form_->BitBtn2Click(); });
    EXPECT_EQ(message, "The database backup in " + (backup_root() / "20050321 093005").string() +
                           " is incomplete; these files could not be copied: Lost.DB");
    EXPECT_TRUE(window_.presses.empty());
    EXPECT_TRUE(window_.boxes.empty());
    EXPECT_FALSE(window_.busy);
}

TEST_F(BatchTest, RebuildIndexBacksUpFirstWhenTicked) {
    generate(20);
    window_.set_checked(Control::CheckBox1, true);
    form_->BitBtn2Click();
    EXPECT_TRUE(fs::exists(backup_root() / "20050321 093005" / "Transact.db"));
    EXPECT_EQ(window_.box_texts(), (std::vector<std::string>{"The Database backup successfully",
                                                             "Rebuild was successful."}));
}

}  // namespace
}  // namespace vaq::repair::testing
