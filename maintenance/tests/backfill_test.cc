// The staff ID back-fill: its texts, a run over real tables, the page around it, and the
// page after an error.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/dateformat.h"
#include "common/error.h"
#include "db/schema.h"
#include "maintenance/backfill_texts.h"
#include "maintenance/maintenance_form.h"
#include "maintenance/tests/site_fixture.h"
#include "test_support/memory_window.h"

namespace vaq::maintenance::testing {

using window::Control;
namespace {

namespace personal = db::schema::Personal;
namespace transact = db::schema::Transact;

TEST(BackfillTexts, RemainingTimeCountsWholeRecordsPerTick) {
    // 899 records left at 10 records a tick: 89 ticks.
    EXPECT_EQ(remaining_time_text(1000, 101, 10), "1min29sec");
    EXPECT_EQ(remaining_time_text(1000, 1000, 7), "0min0sec");
    EXPECT_EQ(remaining_time_text(1'000'000, 1000, 1), "16min39sec");
    EXPECT_EQ(remaining_time_text(1'000'000, 1, 1), "16666min39sec");
}

TEST(BackfillTexts, SlowerThanOneRecordPerTickStillGivesAnEstimate) {
    // 5 records in 10 ticks: half a record a tick, 995 records left take 1990 ticks.
    EXPECT_EQ(remaining_time_text(1000, 5, 10), "33min10sec");
    EXPECT_EQ(remaining_time_text(10, 1, 3), "0min27sec");
    // Nothing done or no tick yet: nothing to say.
    EXPECT_EQ(remaining_time_text(1000, 0, 4), "");
    EXPECT_EQ(remaining_time_text(1000, 10, 0), "");
}

TEST(BackfillTexts, TimeStampsUseTheSystemSeparators) {
    const DateTimeFormats saved = date_time_formats();
    const DateTime moment{{2004, 2, 1}, {7, 5, 9, 500}};
    set_date_separator('/');
    set_time_separator(':');
    EXPECT_EQ(time_stamp(moment), "2004/02/01 07:05:09");
    set_date_separator('-');
    set_time_separator('.');
    EXPECT_EQ(time_stamp(moment), "2004-02-01 07.05.09");
    set_date_time_formats(saved);

    EXPECT_EQ(completion_line("2004/02/01 07:05:09", "2004/02/01 07:06:00"),
              "Update Completed :  ---- From : 2004/02/01 07:05:09 - To : 2004/02/01 07:06:00");
}

class BackfillTest : public SiteFixture {
  protected:
    void SetUp() override {
        SiteFixture::SetUp();
        savedFormats_ = date_time_formats();
        set_date_separator('/');
        set_time_separator(':');
        form_ = std::make_unique<MaintenanceForm>(window_);
        // Start and end of a run one minute and a second apart.
        form_->clock = [this] {
            return DateTime{{2026, 12, 7}, {9, clockCalls_++ == 0 ? 0 : 1, 1, 0}};
        };
    }
    void TearDown() override {
        form_.reset();
        set_date_time_formats(savedFormats_);
        SiteFixture::TearDown();
    }

    void write_staff() {
        write_table(personal::kTable,
                    {{{std::string(personal::CardID), std::string("0000000001")},
                      {std::string(personal::StaffID), std::string("S-1")}},
                     {{std::string(personal::CardID), std::string("0000000002")},
                      {std::string(personal::StaffID), std::string("S-2")}},
                     // The same card again: the first staff record in table order wins.
                     {{std::string(personal::CardID), std::string("0000000002")},
                      {std::string(personal::StaffID), std::string("S-2-later")}},
                     {{std::string(personal::CardID), std::string("abc0000003")},
                      {std::string(personal::StaffID), std::string("S-3")}},
                     // No card issued.
                     {{std::string(personal::StaffID), std::string("S-nocard")}}});
    }

    static NamedRow transaction(const std::string& card, const std::string& staff) {
        NamedRow row{{std::string(transact::TDate), Date{2004, 10, 15}},
                     {std::string(transact::EventID), std::int64_t{1}}};
        if (!card.empty()) row[std::string(transact::CardID)] = card;
        if (!staff.empty()) row[std::string(transact::StaffID)] = staff;
        return row;
    }

    std::vector<std::string> staff_ids_of_transactions() const {
        const auto names = field_names(transact::kTable);
        std::size_t column = 0;
        while (!iequals_name(names[column], transact::StaffID))
            ++column;
        std::vector<std::string> ids;
        for (const auto& row : read_all(transact::kTable))
            ids.push_back(row[column]);
        return ids;
    }
    static bool iequals_name(const std::string& a, std::string_view b) {
        return a.size() == b.size() &&
               std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
                   return std::tolower(static_cast<unsigned char>(x)) ==
                          std::tolower(static_cast<unsigned char>(y));
               });
    }

    void expect_counts(const StaffIdBackfill& expected) const {
        const StaffIdBackfill& got = form_->last_backfill();
        EXPECT_EQ(got.read, expected.read);
        EXPECT_EQ(got.filled, expected.filled);
        EXPECT_EQ(got.alreadyFilled, expected.alreadyFilled);
        EXPECT_EQ(got.noStaffMatched, expected.noStaffMatched);
        EXPECT_EQ(got.blankHolderKept, expected.blankHolderKept);
    }

    void expect_idle_page() const {
        EXPECT_TRUE(window_.is_enabled(Control::PageControl1));
        EXPECT_TRUE(window_.is_enabled(Control::BitBtn3));
        EXPECT_FALSE(window_.is_visible(Control::Animate1));
        EXPECT_FALSE(window_.is_running(Control::Animate1));
        EXPECT_FALSE(window_.is_running(Control::Timer1));
        EXPECT_EQ(window_.text(Control::Label29), "");
        EXPECT_EQ(window_.position(Control::bar1), 0);
        EXPECT_EQ(form_->tick_count(), 0);
        EXPECT_FALSE(form_->Table1.active());
    }

    test_support::MemoryWindow window_;
    std::unique_ptr<MaintenanceForm> form_;
    int clockCalls_ = 0;
    DateTimeFormats savedFormats_;
};

TEST_F(BackfillTest, EmptyTransactionTableCompletesAtOnce) {
    write_staff();
    write_table(transact::kTable, {});
    form_->BitBtn3Click();

    // The bar is set to the range 0 to 0, which the window shows as an empty bar of width 1.
    EXPECT_EQ(window_.range(Control::bar1), std::make_pair(0, 1));
    EXPECT_EQ(window_.eventRounds, 0);
    EXPECT_EQ(window_.text(Control::Memo2),
              "Update Completed :  ---- From : 2026/12/07 09:00:01 - To : 2026/12/07 09:01:01");
    EXPECT_EQ(window_.box_texts(), std::vector<std::string>{"Update Completed"});
    expect_counts({});
    expect_idle_page();
}

TEST_F(BackfillTest, CopiesTheStaffIdOfTheCardHolderWithLetterCaseSignificant) {
    write_staff();
    write_table(transact::kTable,
                {transaction("0000000001", ""), transaction("0000000002", "OLD"),  // overwritten
                 transaction("ABC0000003", "KEEP"),  // other letter case
                 transaction("abc0000003", ""), transaction("0000000009", "NONE"),  // no such card
                 transaction("", "")});  // no card at all

    // The page while the records are walked, and a timer tick after every record.
    bool disabledWhileRunning = true;
    std::vector<std::string> estimates;
    window_.onEvents = [&] {
        disabledWhileRunning = disabledWhileRunning && !window_.is_enabled(Control::PageControl1) &&
                               !window_.is_enabled(Control::BitBtn3) &&
                               window_.is_running(Control::Animate1) &&
                               window_.is_visible(Control::Animate1);
        if (window_.is_running(Control::Timer1)) form_->Timer1Timer();
        estimates.push_back(window_.text(Control::Label29));
    };
    form_->BitBtn3Click();

    EXPECT_EQ(staff_ids_of_transactions(),
              (std::vector<std::string>{"S-1", "S-2", "KEEP", "S-3", "NONE", ""}));
    expect_counts({.read = 6, .filled = 3, .noStaffMatched = 3});
    EXPECT_TRUE(disabledWhileRunning);
    EXPECT_EQ(window_.range(Control::bar1), std::make_pair(0, 6));
    EXPECT_EQ(window_.position_history(Control::bar1), (std::vector<int>{1, 2, 3, 4, 5, 6, 0}));
    ASSERT_EQ(estimates.size(), 6U);
    EXPECT_FALSE(estimates.front().empty());
    EXPECT_EQ(window_.box_texts(), std::vector<std::string>{"Update Completed"});
    expect_idle_page();
}

TEST_F(BackfillTest, FindsEveryCardOfALargeStaffTable) {
    // Card IDs of 2 to 15 characters that often share their first 8; some cards come twice.
    const auto card = [](int n) {
        std::string id(1 + n % 12, '0');
        id.front() = 'C';
        return id.append(std::to_string(n));
    };
    // Every fourth staff ID long enough not to be stored with its card.
    const auto staffId = [](int n) {
        return std::string("S").append(std::to_string(n)).append(n % 4 == 0 ? 15 : 0, '-');
    };
    const int staffCount = 300;
    std::vector<NamedRow> staff;
    for (int n = 0; n < staffCount; ++n) {
        staff.push_back({{std::string(personal::CardID), card(n)},
                         {std::string(personal::StaffID), staffId(n)}});
        if (n % 50 == 49)
            staff.push_back({{std::string(personal::CardID), card(n - 10)},
                             {std::string(personal::StaffID), "later"}});
    }
    write_table(personal::kTable, staff);
    std::vector<NamedRow> transactions;
    std::vector<std::string> expected;
    for (int i = 0; i < staffCount + 20; ++i) {
        const int holder = (i * 7) % (staffCount + 20);  // the last 20 cards belong to nobody
        transactions.push_back(transaction(card(holder), ""));
        expected.push_back(holder < staffCount ? staffId(holder) : "");
    }
    write_table(transact::kTable, transactions);

    form_->BitBtn3Click();
    EXPECT_EQ(staff_ids_of_transactions(), expected);
}

TEST_F(BackfillTest, ABlankStaffIdNeverReplacesAFilledOne) {
    // Card holders without a staff ID among many with one; their transactions were stored
    // with an ID (by hand, or before the staff record lost it).
    std::vector<NamedRow> staff;
    std::vector<NamedRow> transactions;
    std::vector<std::string> expected;
    StaffIdBackfill counts;
    for (int n = 0; n < 200; ++n) {
        const std::string card = "C" + std::to_string(1000 + n);
        const bool blankHolder = n % 7 == 3;
        NamedRow holder{{std::string(personal::CardID), card}};
        if (!blankHolder) holder[std::string(personal::StaffID)] = "S" + std::to_string(n);
        staff.push_back(holder);
        const bool filled = n % 2 == 0;
        transactions.push_back(transaction(card, filled ? "T" + std::to_string(n) : ""));
        if (blankHolder)
            expected.push_back(filled ? "T" + std::to_string(n) : "");
        else
            expected.push_back("S" + std::to_string(n));
        ++counts.read;
        ++(blankHolder ? (filled ? counts.blankHolderKept : counts.alreadyFilled) : counts.filled);
    }
    write_table(personal::kTable, staff);
    write_table(transact::kTable, transactions);

    form_->BitBtn3Click();
    const std::vector<std::string> after = staff_ids_of_transactions();
    ASSERT_EQ(after.size(), expected.size());
    std::size_t blanked = 0;
    for (std::size_t i = 0; i < after.size(); ++i)
        if (after[i].empty() && !expected[i].empty()) ++blanked;
    EXPECT_EQ(blanked, 0U) << "filled staff IDs blanked";
    EXPECT_EQ(after, expected);
    expect_counts(counts);
}

TEST_F(BackfillTest, SecondRunFindsNothingToChange) {
    write_staff();
    write_table(transact::kTable, {transaction("0000000001", "S-1")});
    // Nothing differs, so nothing is stored: this run needs no writing at all.
    form_->BitBtn3Click();
    EXPECT_EQ(staff_ids_of_transactions(), std::vector<std::string>{"S-1"});
    expect_counts({.read = 1, .alreadyFilled = 1});
    expect_idle_page();
}

TEST_F(BackfillTest, AnEngineErrorLeavesThePageUsable) {
    write_staff();  // but no transaction table
    EXPECT_THROW(form_->BitBtn3Click(), Error);
    expect_idle_page();
    EXPECT_TRUE(window_.boxes.empty());
    EXPECT_EQ(window_.text(Control::Memo2), "");
    expect_counts({});
}

TEST_F(BackfillTest, TimerTicksOutsideARunChangeNothingVisible) {
    form_->Timer1Timer();
    EXPECT_EQ(window_.text(Control::Label29), "");
}

}  // namespace
}  // namespace vaq::maintenance::testing
