// Whole imports over real tables: the example line, partial lines, card numbers, the
// lookups and the remembered controller key, dates read day first, the ways an import stops,
// and what stays open for the grid.

#include "import/tests/import_fixture.h"

namespace vaq::import::testing {
namespace {

TEST_F(ImportTest, TheExampleLineBecomesOneCompleteRecord) {
    VAQ_IMPORT("15/10/2004,15:33:00,2,1,15433336,1\r\n");
    const std::vector<Record> records = transactions();
    ASSERT_EQ(records.size(), 1U);
    EXPECT_EQ(records[0], (Record{{"TransID", "1"},
                                  {"TDate", "10/15/2004"},
                                  {"TTime", "15:33:00"},
                                  {"ControllerID", "11"},
                                  {"DoorID", "1"},
                                  {"Door", "Front"},
                                  {"CardID", "0015433336"},
                                  {"PersonalID", "1"},
                                  {"StaffID", "ST-1"},
                                  {"EventID", "1"}}));
    EXPECT_EQ(form_->remembered_controller_key(), 11);
    // The format the import set last stays, month first.
    EXPECT_EQ(short_date_format(), "mm/dd/yyyy");
    EXPECT_EQ(window_.dialogs, std::vector<Control>{Control::OpenDialog2});
    EXPECT_EQ(window_.initialFolder, "/opt/vaq/");
    EXPECT_EQ(window_.busyStarts, 1);
    EXPECT_FALSE(window_.busy);
    EXPECT_TRUE(window_.boxes.empty());
    // The lookup tables are closed, the transactions stay open for the grid.
    EXPECT_FALSE(form_->Controller.active());
    EXPECT_FALSE(form_->Personnel.active());
    EXPECT_FALSE(form_->Door.active());
    EXPECT_TRUE(form_->Transaction.active());
    const auto rows = form_->transaction_rows();
    ASSERT_NE(rows, nullptr);
    EXPECT_EQ(rows->row_count(), 1);
    EXPECT_EQ(rows->read_rows(0, 10).at(0).at(1), "10/15/2004");
}

TEST_F(ImportTest, DatesAreReadDayFirstWhateverTheSystemOrder) {
    // Only a date: nothing else is written.
    VAQ_IMPORT("1/2/2004\n3/4/2005 10:30\n");
    const std::vector<Record> records = transactions();
    ASSERT_EQ(records.size(), 2U);
    EXPECT_EQ(records[0], (Record{{"TransID", "1"}, {"TDate", "02/01/2004"}}));
    EXPECT_EQ(records[1].at("TDate"), "04/03/2005");
}

TEST_F(ImportTest, CardNumbersArePaddedAndFoundIgnoringLetterCase) {
    VAQ_IMPORT(
        "15/10/2004,15:33:00,2,1,15433336,1,99,extra\n"  // past the sixth field
        "15/10/2004,15:33:00,2,1, 15433336,\n"           // a blank inside, no event
        "15/10/2004,15:33:00,2,1,12345678901,3\n"        // longer than ten
        "15/10/2004,15:33:00,2,1,,3\n"                   // empty
        "15/10/2004,15:33:00,2,1,00abcdef12,3\n");       // other letter case
    const std::vector<Record> records = transactions();
    ASSERT_EQ(records.size(), 5U);
    EXPECT_EQ(records[0].at("EventID"), "1");
    EXPECT_EQ(records[0].at("StaffID"), "ST-1");
    EXPECT_EQ(records[1].at("CardID"), "0 15433336");
    EXPECT_EQ(records[1].count("EventID"), 0U);
    EXPECT_EQ(records[1].count("StaffID"), 0U);
    EXPECT_EQ(records[2].at("CardID"), "12345678901");
    EXPECT_EQ(records[3].at("CardID"), "0000000000");
    EXPECT_EQ(records[3].count("PersonalID"), 0U);
    EXPECT_EQ(records[4].at("CardID"), "00abcdef12");
    EXPECT_EQ(records[4].at("PersonalID"), "2");
    EXPECT_EQ(records[4].at("StaffID"), "ST-2");
}

TEST_F(ImportTest, DoorsAreLookedUpUnderTheLastControllerFound) {
    VAQ_IMPORT(
        "15/10/2004,08:00:00,9,5,1,1\n"    // no controller 9 yet: key 0
        "15/10/2004,08:00:00,3,1,1,1\n"    // controller 3 has key 12
        "15/10/2004,08:00:00,9,1,1,1\n");  // not found: still key 12
    // A later import of the same run goes on with the key.
    VAQ_IMPORT("16/10/2004,08:00:00,77,1,1,1\n");
    const std::vector<Record> records = transactions();
    ASSERT_EQ(records.size(), 4U);
    EXPECT_EQ(records[0].count("ControllerID"), 0U);
    EXPECT_EQ(records[0].at("Door"), "Orphan");
    EXPECT_EQ(records[1].at("ControllerID"), "12");
    EXPECT_EQ(records[1].at("Door"), "Back");
    EXPECT_EQ(records[2].count("ControllerID"), 0U);
    EXPECT_EQ(records[2].at("Door"), "Back");
    EXPECT_EQ(records[3].at("Door"), "Back");
    EXPECT_EQ(form_->remembered_controller_key(), 12);
}

TEST_F(ImportTest, AnInvalidDateStopsTheImportAfterStoringTheEarlierLines) {
    const std::string failure =
        import_failure("15/10/2004,15:33:00,2,1,15433336,1\n31/02/2004,15:33:00\n1/1/2005\n");
    EXPECT_EQ(failure,
              "Line 2: '31/02/2004' is not a valid date and time. Line 1 was imported (1 record).");
    EXPECT_EQ(transactions().size(), 1U);
    EXPECT_EQ(short_date_format(), "dd/mm/yyyy");
    EXPECT_EQ(open_files_of_the_test(), 0);
    EXPECT_FALSE(window_.busy);
    // The lookup tables are let go; the transactions stay open for the grid.
    EXPECT_FALSE(form_->Controller.active());
    EXPECT_FALSE(form_->Personnel.active());
    EXPECT_FALSE(form_->Door.active());
    EXPECT_TRUE(form_->Transaction.active());

    EXPECT_EQ(import_failure("1/1/2001\n\n,15:00\n"),
              "Line 3: '' is not a valid date and time. Lines 1-2 were imported (1 record).");
}

TEST_F(ImportTest, TheRecordOfALineThatFailsIsNeverStored) {
    const std::string failure = import_failure("15/10/2004,25:99:00,2,1,15433336,1\n");
    EXPECT_NE(failure, "");
    EXPECT_EQ(form_->Transaction.state(), db::Table::State::kBrowse);
    EXPECT_EQ(open_files_of_the_test(), 0);
    // A later import posts only its own record.
    VAQ_IMPORT("16/10/2004,08:00:00,2,1,1,1\n");
    const std::vector<Record> records = transactions();
    ASSERT_EQ(records.size(), 1U);
    EXPECT_EQ(records[0].at("TDate"), "10/16/2004");
    EXPECT_EQ(records[0].count("CardID"), 1U);

    EXPECT_NE(import_failure("15/10/2004,08:00:00,x\n"), "");
    EXPECT_NE(import_failure("15/10/2004,08:00:00,2,1,1,seven\n"), "");
    EXPECT_EQ(transactions().size(), 1U);
}

TEST_F(ImportTest, CancelMissingFileAndEmptyFile) {
    window_.fileAnswer.reset();
    form_->Button2Click();
    EXPECT_TRUE(window_.boxes.empty());
    EXPECT_FALSE(form_->Controller.active());
    EXPECT_FALSE(form_->Personnel.active());
    EXPECT_FALSE(form_->Transaction.active());
    EXPECT_EQ(form_->transaction_rows(), nullptr);

    window_.fileAnswer = (root_ / "nothing.txt").string();
    form_->Button2Click();
    ASSERT_EQ(window_.boxes.size(), 1U);
    EXPECT_EQ(window_.boxes[0].text, "File not found.");
    EXPECT_EQ(window_.boxes[0].title, "VAQ Message");
    EXPECT_EQ(window_.boxes[0].icon, window::BoxIcon::kError);
    EXPECT_EQ(window_.busyStarts, 0);

    set_short_date_format("yyyy/mm/dd");
    import("");
    EXPECT_EQ(short_date_format(), "yyyy/mm/dd");
    EXPECT_TRUE(transactions().empty());
}

TEST_F(ImportTest, ASecondStartWhileRunningIsRefused) {
    std::string refusal;
    window_.onEvents = [&] {
        try {
            form_->Button2Click();
        } catch (const Error& error) {
            refusal = error.what();
        }
    };
    VAQ_IMPORT("15/10/2004,15:33:00,2,1,15433336,1\n");
    EXPECT_EQ(refusal, "The transaction import is already running.");
    EXPECT_EQ(window_.dialogs.size(), 1U);
    EXPECT_EQ(transactions().size(), 1U);
    EXPECT_FALSE(form_->running());
}

}  // namespace
}  // namespace vaq::import::testing
