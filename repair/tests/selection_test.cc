// Choosing one table (alias list, table list, by its file), its properties, and the verify and
// rebuild of that table, with the real library and with one whose answers a test chooses.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "engine/api/callbacks.h"
#include "engine/api/engine_error.h"
#include "engine/api/private_folders.h"
#include "repair/tests/repair_fixture.h"

namespace vaq::repair::testing {
namespace {

using window::BoxIcon;

class SelectionTest : public RepairFixture {
  protected:
    std::string extra_configuration() const override {
        return "[alias lowered]\ntype = standard\npath = data\n"
               "[alias Remote]\ntype = ORACLE\npath = data\n"
               "[alias Second]\ntype = STANDARD\npath = data\n";
    }
    void SetUp() override {
        RepairFixture::SetUp();
        sql("CREATE TABLE Door (DoorID integer, Name char(20), Opens time, PRIMARY KEY (DoorID))");
        sql("INSERT INTO Door VALUES (1, 'Front', '8:00:00')");
        sql("CREATE TABLE Staff (ID integer, Name char(30))");
        form_->FormCreate();
    }

    std::string location(const std::string& table) const { return (data() / table).string(); }

    // The ten property labels as "Caption value".
    std::vector<std::string> property_lines() const {
        std::vector<std::string> lines;
        for (const PropertyLabel& property : kPropertyLabels)
            lines.push_back(std::string(property.caption) + " " + window_.text(property.label));
        return lines;
    }

    void choose_alias(const std::string& alias) {
        const auto aliases = window_.items(Control::AliasCombo);
        const auto found = std::find(aliases.begin(), aliases.end(), alias);
        ASSERT_NE(found, aliases.end());
        window_.select(Control::AliasCombo, static_cast<int>(found - aliases.begin()));
        form_->AliasComboChange();
    }
    void choose_table(int index) {
        window_.select(Control::TableCombo, index);
        form_->TableComboChange();
    }
};

TEST_F(SelectionTest, AliasListHoldsOnlyStandardAliasesSpelledExactly) {
    EXPECT_EQ(window_.items(Control::AliasCombo), (std::vector<std::string>{"VAQ", "Second"}));
    EXPECT_EQ(window_.selected_index(Control::AliasCombo), -1);
    EXPECT_NE(form_->BDEUtil, nullptr);
}

TEST_F(SelectionTest, ChoosingAnAliasListsItsTablesAndClearsTheRest) {
    form_->SetLocation(location("Door.DB"));
    window_.set_text(Control::FieldsLB, "3");
    window_.set_text(Control::MessageLB, "Rebuild was successful.");
    window_.set_position(Control::PBData, 70);

    choose_alias("Second");
    EXPECT_EQ(window_.items(Control::TableCombo),
              (std::vector<std::string>{"Door.DB", "Staff.DB"}));
    EXPECT_EQ(window_.text(Control::TableLocEdit), "");
    EXPECT_FALSE(window_.is_enabled(Control::VerifyBtn));
    EXPECT_FALSE(window_.is_enabled(Control::RebuildBtn));
    EXPECT_EQ(window_.text(Control::MessageLB), "");
    EXPECT_EQ(window_.position(Control::PBData), 0);
    EXPECT_EQ(window_.text(Control::FieldsLB), "0");
    EXPECT_EQ(window_.text(Control::TabLvlLB), "0");
}

TEST_F(SelectionTest, ChoosingATableSetsItsLocationAndShowsItsProperties) {
    choose_alias("VAQ");
    choose_table(0);
    EXPECT_EQ(window_.text(Control::TableLocEdit), location("Door.DB"));
    EXPECT_TRUE(window_.is_enabled(Control::VerifyBtn));
    EXPECT_TRUE(window_.is_enabled(Control::RebuildBtn));
    const auto lines = property_lines();
    EXPECT_EQ(lines[0], "Fields: 3");
    EXPECT_EQ(lines[2], "Indexes: 1");
    EXPECT_EQ(lines[3], "Validities: 0");
    EXPECT_EQ(lines[4], "References: 0");
    EXPECT_EQ(lines[9], "Table Level: 7");

    // A table whose properties cannot be read keeps the earlier table's values, yet its
    // location is set and both buttons work.
    std::filesystem::resize_file(data() / "Staff.DB", 10);
    choose_table(1);
    EXPECT_EQ(property_lines(), lines);
    EXPECT_EQ(window_.text(Control::TableLocEdit), location("Staff.DB"));
    EXPECT_TRUE(window_.is_enabled(Control::RebuildBtn));
}

TEST_F(SelectionTest, AnUnknownAliasOrNoAliasIsAClearError) {
    window_.set_items(Control::AliasCombo, {"Gone"});
    window_.select(Control::AliasCombo, 0);
    window_.set_items(Control::TableCombo, {"Door.DB"});
    window_.select(Control::TableCombo, 0);
    EXPECT_EQ(failure_of([&] { form_->SelectTable(); }), "Alias not found: Gone");
    window_.select(Control::AliasCombo, -1);
    EXPECT_EQ(failure_of([&] { form_->SelectTable(); }),
              "No alias is selected, so the table Door.DB cannot be found");
}

TEST_F(SelectionTest, ByDirectoryTakesTheChosenFileOrNothing) {
    choose_alias("VAQ");
    form_->ByDirectBtnClick();  // cancelled
    EXPECT_EQ(window_.dialogs, std::vector<Control>{Control::OpenDialog1});
    EXPECT_EQ(window_.selected_index(Control::AliasCombo), 0);
    EXPECT_EQ(window_.items(Control::TableCombo).size(), 2u);

    window_.fileAnswers.push_back(location("Door.DB"));
    form_->ByDirectBtnClick();
    EXPECT_EQ(window_.text(Control::TableLocEdit), location("Door.DB"));
    EXPECT_EQ(window_.selected_index(Control::AliasCombo), -1);
    EXPECT_TRUE(window_.items(Control::TableCombo).empty());
    EXPECT_TRUE(window_.is_enabled(Control::VerifyBtn));
    EXPECT_EQ(window_.text(Control::FieldsLB), "3");
}

TEST_F(SelectionTest, VerifyWritesTheLevelsMessageOrNothing) {
    form_->SetLocation(location("Door.DB"));
    form_->VerifyBtnClick();
    EXPECT_EQ(window_.text(Control::MessageLB), "Verification Successful. Table has no errors.");
    EXPECT_GT(window_.position(Control::PBData), 0);
    EXPECT_FALSE(window_.busy);
    EXPECT_EQ(window_.busyStarts, 1);
    EXPECT_FALSE(pdx::has_callback(nullptr, pdx::cbGENPROGRESS));

    // The library refuses a file that is not there: nothing is written, bars start over.
    form_->SetLocation(location("Missing.DB"));
    form_->VerifyBtnClick();
    EXPECT_EQ(window_.text(Control::MessageLB), "");
    EXPECT_EQ(window_.position(Control::PBData), 0);
    EXPECT_FALSE(window_.busy);
    EXPECT_FALSE(pdx::has_callback(nullptr, pdx::cbGENPROGRESS));
}

TEST_F(SelectionTest, RebuildOfAGoodTableSucceedsAndKeepsItsRows) {
    form_->SetLocation(location("Door.DB"));
    form_->RebuildBtnClick();
    EXPECT_EQ(window_.text(Control::MessageLB), "Rebuild was successful.");
    EXPECT_TRUE(window_.boxes.empty());
    form_->VerifyBtnClick();
    EXPECT_EQ(window_.text(Control::MessageLB), "Verification Successful. Table has no errors.");
    EXPECT_TRUE(fs::exists(private_dir() / pdx::database_id(data()) / "Door"));
}

TEST_F(SelectionTest, WithoutAUtilitySessionVerifyAndRebuildSaySo) {
    form_->FormDestroy();
    form_->SetLocation(location("Door.DB"));
    const std::string expected =
        "The table-utility session was not started with the window, so no table can be "
        "verified or rebuilt";
    EXPECT_EQ(failure_of([&] { form_->VerifyBtnClick(); }), expected);
    EXPECT_EQ(failure_of([&] { form_->RebuildBtnClick(); }), expected);
    EXPECT_FALSE(window_.busy);
}

// ---- a library whose answers the test chooses ----

struct Script {
    std::int32_t level = 0;
    TUResult verify = 0;
    TUResult counts = 0;
    TUResult fill = 0;
    TUResult rebuild = 0;
    std::vector<std::string> calls;
    std::uint16_t fieldCount = 0;
    bool arraysAsCounted = false;
    std::string descriptionName;
    // The fill fails only for paths holding this text (every path when empty).
    std::string failingFill;
};
Script script;

TUResult scripted_verify(hTUses, const char*, const char* driver, const char* errorTable,
                         const char*, std::int32_t options, std::int32_t* level) {
    script.calls.push_back(std::string("verify ") + driver + " " + errorTable + " " +
                           std::to_string(options));
    pdx::report_progress(nullptr, {40, pdx::kPhaseData, ""});
    *level = script.level;
    return script.verify;
}

TUResult scripted_counts(hTUses, const char*, std::uint16_t* fields, std::uint16_t* indexes,
                         std::uint16_t* security, std::uint16_t* checks, std::uint16_t* references,
                         std::uint16_t* parameters, std::uint16_t* optionalUnits) {
    script.calls.push_back("counts");
    *fields = 3;
    *indexes = 1;
    *security = 0;
    *checks = 2;
    *references = 0;
    *parameters = 0;
    *optionalUnits = 1;
    return script.counts;
}

TUResult scripted_fill(hTUses, tutil::CRTblDesc* desc, const char* table, const char*) {
    script.calls.push_back("fill");
    if (!script.failingFill.empty())
        return std::string(table).find(script.failingFill) == std::string::npos
                   ? TUResult{0}
                   : pdx::record_failure(pdx::DBIERR_ENGINE, "The description cannot be filled.");
    script.fieldCount = desc->iFldCount;
    script.arraysAsCounted = desc->iIdxCount == 1 && desc->pidxDesc != nullptr &&
                             desc->pfldDesc != nullptr && desc->psecDesc == nullptr &&
                             desc->iValChkCount == 2 && desc->pvchkDesc != nullptr &&
                             desc->printDesc == nullptr && desc->pOptData != nullptr &&
                             std::strcmp(desc->szTblType, "PARADOX") == 0 &&
                             std::strcmp(desc->szErrTblName, "Rebuild.DB") == 0;
    script.descriptionName = desc->szTblName;
    return script.fill;
}

TUResult scripted_rebuild(hTUses, const char*, const char* driver, const char* backup,
                          const char* keyViolations, const char* problems, tutil::CRTblDesc*) {
    script.calls.push_back(std::string("rebuild ") + driver + " " + backup + " " + keyViolations +
                           " " + problems);
    pdx::report_progress(nullptr, {100, pdx::kPhaseRebuild, ""});
    return script.rebuild;
}

class ScriptedRebuildTest : public SelectionTest {
  protected:
    UtilityLibrary library() const override {
        UtilityLibrary scripted;
        scripted.verify_table = scripted_verify;
        scripted.get_cr_tbl_desc_count = scripted_counts;
        scripted.fill_cr_tbl_desc = scripted_fill;
        scripted.rebuild_table = scripted_rebuild;
        return scripted;
    }
    void SetUp() override {
        script = {};
        SelectionTest::SetUp();
        form_->SetLocation(location("Door.DB"));
    }
};

TEST_F(ScriptedRebuildTest, ALevelFourTableIsStillRebuilt) {
    script.level = 4;
    form_->RebuildBtnClick();
    EXPECT_EQ(script.calls,
              (std::vector<std::string>{"verify PARADOX VERIFY.DB 0", "counts", "fill",
                                        "rebuild PARADOX Backup.Db KEYVIOL.DB PROBLEM.DB"}));
    EXPECT_EQ(window_.text(Control::MessageLB), "Rebuild was successful.");
    EXPECT_EQ(script.fieldCount, 3);
    EXPECT_TRUE(script.arraysAsCounted);
    EXPECT_EQ(script.descriptionName, location("Door.DB"));
    EXPECT_EQ(window_.position(Control::PBData), 40);
    EXPECT_EQ(window_.position(Control::PBRebuild), 100);
    EXPECT_FALSE(pdx::has_callback(nullptr, pdx::cbGENPROGRESS));
}

TEST_F(ScriptedRebuildTest, LibraryFailuresBecomeTextsNotErrors) {
    script.verify = pdx::DBIERR_ENGINE;
    script.rebuild = pdx::DBIERR_ENGINE;
    form_->RebuildBtnClick();
    EXPECT_EQ(window_.text(Control::MessageLB), "Rebuild was not successful.");

    // Without counts there is no rebuild and the verification's message stays.
    script = {};
    script.level = 1;
    script.counts = pdx::DBIERR_ENGINE;
    form_->RebuildBtnClick();
    EXPECT_EQ(script.calls, (std::vector<std::string>{"verify PARADOX VERIFY.DB 0", "counts"}));
    EXPECT_EQ(window_.text(Control::MessageLB), "Verification Successful. Verification completed.");
    EXPECT_TRUE(window_.boxes.empty());
}

TEST_F(ScriptedRebuildTest, AFailingFillShowsItsBoxOnceAndKeepsTheVerification) {
    script.level = 2;
    script.fill = pdx::DBIERR_ENGINE;
    form_->RebuildBtnClick();
    ASSERT_EQ(window_.boxes.size(), 1u);
    EXPECT_EQ(window_.boxes[0].text, "Error Filling table structure");
    EXPECT_EQ(window_.boxes[0].icon, BoxIcon::kError);
    EXPECT_EQ(window_.boxes[0].title, "");
    EXPECT_EQ(window_.text(Control::MessageLB),
              "Verification Successful. Verification could not be completed.");
    EXPECT_EQ(script.calls.back(), "fill");
    EXPECT_FALSE(window_.busy);
}

TEST_F(ScriptedRebuildTest, InTheBatchAFailingFillShowsItsBoxOnceAndTheBatchGoesOn) {
    script.failingFill = "Door";
    form_->BitBtn2Click();
    EXPECT_EQ(std::count(script.calls.begin(), script.calls.end(),
                         "rebuild PARADOX Backup.Db KEYVIOL.DB PROBLEM.DB"),
              1);
    EXPECT_EQ(window_.box_texts(),
              (std::vector<std::string>{"Error Filling table structure", "Rebuild was successful.",
                                        "These tables were not rebuilt:\nDoor.DB: Verification "
                                        "Successful. Table has no errors. The description "
                                        "cannot be filled."}));
    EXPECT_EQ(window_.text(Control::Memo1), "Rebuild was successful.");
}

TEST_F(ScriptedRebuildTest, ALocationTooLongForTheRecordIsRefusedByName) {
    const std::string longPath = "/" + std::string(300, 'x') + ".DB";
    form_->SetLocation(longPath);
    EXPECT_EQ(failure_of([&] { form_->RebuildBtnClick(); }),
              "The table location is longer than 260 characters, so the table cannot be "
              "rebuilt: " +
                  longPath);
    EXPECT_EQ(script.calls, (std::vector<std::string>{"verify PARADOX VERIFY.DB 0", "counts"}));
    EXPECT_FALSE(pdx::has_callback(nullptr, pdx::cbGENPROGRESS));
    EXPECT_FALSE(window_.busy);
}

}  // namespace
}  // namespace vaq::repair::testing
