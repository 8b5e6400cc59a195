// An import run again stores each line once: after a bad line was mended, after an import
// was killed at any moment. Also what an import file may hold that is no transaction (a
// byte-order mark, empty lines, CR LF), and how messages show the values they quote.

#include <chrono>
#include <random>
#include <set>

#include "common/tests/killed_child.h"
#include "engine/table/table_name.h"
#include "engine/table/tests/pxlib_reader.h"
#include "import/import_messages.h"
#include "import/tests/import_fixture.h"

namespace vaq::import::testing {
namespace {

// One line per card number from..to, each a valid transaction.
std::string lines(int from, int to) {
    std::string text;
    for (int n = from; n <= to; ++n)
        text += "15/10/2004,15:33:00,2,1," + std::to_string(n) + ",1\r\n";
    return text;
}

class ImportRerunTest : public ImportTest {
  protected:
    // The card numbers of the transaction table, read by pxlib, in table order.
    std::vector<std::string> cards_by_pxlib() const {
        const fs::path file = *pdx::find_table_file(root_ / "data", "Transact");
        pdx::testing::PxlibTable px(file.string());
        int offset = 0;
        int width = 0;
        for (int i = 0; i < px.field_count(); ++i) {
            if (std::string(px.field(i).px_fname) == "CardID") {
                width = px.field(i).px_flen;
                break;
            }
            offset += px.field(i).px_flen;
        }
        std::vector<std::string> cards;
        for (int n = 0; n < px.record_count(); ++n) {
            const char* record = px.read_record(n);
            cards.emplace_back(record + offset, strnlen(record + offset, width));
        }
        return cards;
    }
    // Every card number from 1 to `count` exactly once.
    void expect_each_line_once(int count, const std::string& when = {}) const {
        const std::vector<std::string> cards = cards_by_pxlib();
        std::multiset<std::string> seen(cards.begin(), cards.end());
        EXPECT_EQ(cards.size(), static_cast<std::size_t>(count)) << when;
        for (int n = 1; n <= count; ++n)
            EXPECT_EQ(
                seen.count(std::string(10 - std::to_string(n).size(), '0') + std::to_string(n)), 1U)
                << "line " << n << " " << when;
    }
};

TEST_F(ImportRerunTest, AMendedFileImportedAgainStoresEachLineOnce) {
    const fs::path file = root_ / "day.txt";
    std::ofstream(file, std::ios::binary) << lines(1, 3) << "31/02/2004\r\n" << lines(5, 7);
    window_.fileAnswer = file.string();
    try {
        form_->Button2Click();
        FAIL() << "the bad line did not stop the import";
    } catch (const Error& error) {
        EXPECT_EQ(std::string(error.what()),
                  "Line 4: '31/02/2004' is not a valid date and time. Lines 1-3 were imported "
                  "(3 records).");
    }
    expect_each_line_once(3);

    // Mended: the user is asked, and only the lines after the stored ones are imported.
    std::ofstream(file, std::ios::binary | std::ios::trunc) << lines(1, 7);
    form_->Button2Click();
    ASSERT_EQ(window_.questions.size(), 1U);
    const std::string& question = window_.questions[0].text;
    EXPECT_EQ(question.rfind("Lines 1-3 of this file were imported on ", 0), 0U) << question;
    EXPECT_TRUE(question.ends_with("; importing from line 4.")) << question;
    expect_each_line_once(7);

    // The whole file again: nothing is new. Answered No, nothing is imported either.
    form_->Button2Click();
    EXPECT_EQ(window_.questions.back().text.find("Lines 1-7 of this file"), 0U);
    window_.answerYes = false;
    std::ofstream(file, std::ios::binary | std::ios::app) << lines(8, 9);
    form_->Button2Click();
    expect_each_line_once(7);
    window_.answerYes = true;
    form_->Button2Click();
    expect_each_line_once(9);

    // A file that differs in its first lines is a new file; --all imports every line.
    const std::string other = write_file("16/10/2004,15:33:00,2,1,1,1\r\n" + lines(2, 3));
    window_.fileAnswer = other;
    const std::size_t asked = window_.questions.size();
    form_->Button2Click();
    EXPECT_EQ(window_.questions.size(), asked);
    EXPECT_EQ(cards_by_pxlib().size(), 12U);
    window_.fileAnswer = file.string();
    form_->importEveryLine = true;
    form_->Button2Click();
    EXPECT_EQ(window_.questions.size(), asked);
    EXPECT_EQ(cards_by_pxlib().size(), 21U);
}

TEST_F(ImportRerunTest, AnImportKilledAtAnyMomentStoresEachLineOnceWhenRunAgain) {
    constexpr int kLines = 400;
    const fs::path file = root_ / "big.txt";
    // Empty lines among them: a batch of lines stored together is not one record a line.
    std::string text;
    for (int n = 1; n <= kLines; ++n)
        text += lines(n, n) + (n % 7 == 0 ? "\r\n" : "");
    std::ofstream(file, std::ios::binary) << text;
    window_.fileAnswer = file.string();
    const fs::path pristine = root_ / "pristine";
    fs::copy(root_ / "data", pristine);

    // Killed at a point inside a store, or at a moment of the clock.
    std::mt19937 random(71207);
    int cutOff = 0;
    for (int round = 0; round < 10; ++round) {
        form_.reset();
        fs::remove_all(root_ / "data");
        fs::remove_all(root_ / "private");
        fs::copy(pristine, root_ / "data");
        form_ = std::make_unique<ImportForm>(window_);
        const int killAt = round < 5 ? 1 + static_cast<int>(random() % 900) : 0;
        test_support::run_killed_child(
            [&] { form_->Button2Click(); }, killAt,
            killAt == 0 ? std::optional(std::chrono::microseconds(random() % 150000))
                        : std::nullopt);
        const std::size_t storedBefore = transactions().size();
        if (storedBefore > 0 && storedBefore < static_cast<std::size_t>(kLines)) ++cutOff;

        form_->Button2Click();
        expect_each_line_once(
            kLines, "round " + std::to_string(round) + ", killed at " + std::to_string(killAt));
    }
    EXPECT_GE(cutOff, 3) << "too few imports were killed halfway to tell anything";
}

TEST_F(ImportRerunTest, ByteOrderMarkAndEmptyLinesAreNoTransactions) {
    VAQ_IMPORT("\xEF\xBB\xBF" + lines(1, 1) + "\r\n\n" + lines(2, 2) + "\r\n\r\n");
    expect_each_line_once(2);
    VAQ_IMPORT("\n\r\n");
    VAQ_IMPORT("");
    expect_each_line_once(2);
}

TEST_F(ImportRerunTest, MessagesNameTheLineAndShowValuesSafely) {
    // A field of 200 KB is shown by its first 60 characters.
    const std::string huge(200 * 1024, '7');
    std::string failure = import_failure(lines(1, 2) + huge + "\n");
    EXPECT_EQ(failure, "Line 3: '" + std::string(60, '7') +
                           "\xE2\x80\xA6' is not a valid date and time. Lines 1-2 were imported "
                           "(2 records).");
    // A file in UTF-16: its bytes are shown, not cut at the first NUL.
    failure = import_failure(std::string("\xFF\xFE"
                                         "1\0"
                                         "5\0",
                                         6) +
                             "\n");
    EXPECT_EQ(failure.rfind("Line 1: '\\xFF\\xFE1\\x005\\x00' is not a valid date and time. ", 0),
              0U)
        << failure;
    EXPECT_NE(failure.find("No line was imported."), std::string::npos);

    EXPECT_EQ(shown_value("a\tb\x7f\xC3\xA9"), "a\\x09b\\x7F\xC3\xA9");
    EXPECT_EQ(shown_message("Field TTime: '" + std::string(70, 'x') + "' no\x01"),
              "Field TTime: '" + std::string(60, 'x') + "\xE2\x80\xA6' no\\x01");
    EXPECT_EQ(stopped_at_line(9, "Key violation.", 9, 0),
              "Line 9: Key violation. No line was imported.");
    EXPECT_EQ(stopped_at_line(5, "x", 3, 2), "Line 5: x. Lines 3-4 were imported (2 records).");
}

TEST_F(ImportRerunTest, EmptyNameAndFolderAreClearErrors) {
    window_.fileAnswer = "";
    EXPECT_THROW(form_->Button2Click(), Error);
    window_.fileAnswer = root_.string();
    try {
        form_->Button2Click();
        FAIL() << "a folder was imported";
    } catch (const Error& error) {
        EXPECT_NE(std::string(error.what()).find("is a folder"), std::string::npos);
    }
    window_.fileAnswer = (root_ / "none.txt").string();
    form_->Button2Click();
    EXPECT_EQ(form_->last_problem(), "File not found: " + (root_ / "none.txt").string());
}

}  // namespace
}  // namespace vaq::import::testing
