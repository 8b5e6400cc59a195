#pragma once

// Record maintenance of the main window: the staff ID back-fill of the transactions
// ("Update StaffID", with its timer) and the renumbering of the key columns of four tables
// ("Re-arrange Key"), with the table and query objects they work with.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "common/datetime.h"
#include "db/query.h"
#include "db/session.h"
#include "db/table.h"
#include "port/window_port.h"

namespace vaq::maintenance {

// The two statements that renumber key column K of table T.
std::string drop_key_statement(std::string_view table, std::string_view key);
std::string add_key_statement(std::string_view table, std::string_view key);

// Control characters and blanks at either end removed, as list items are read.
std::string trim_list_item(std::string_view item);

class StaffIdsByCard;

// What one back-fill came to, transaction by transaction. Every transaction read falls in
// exactly one of the other counts.
struct StaffIdBackfill {
    std::uint64_t read = 0;
    // Given the card holder's staff ID (blank before, or another ID).
    std::uint64_t filled = 0;
    // Holding the card holder's staff ID already: left as they were.
    std::uint64_t alreadyFilled = 0;
    // Without a card ID, or with one no staff record has: left as they were.
    std::uint64_t noStaffMatched = 0;
    // The card holder has no staff ID and the transaction has one: a blank never replaces it.
    std::uint64_t blankHolderKept = 0;
};

// "12 transactions read: 5 filled, 3 already filled, 2 without a matching staff record, 2
// kept because the card holder has no staff ID."
std::string backfill_summary(const StaffIdBackfill& result);

class MaintenanceForm {
  public:
    // Table and query objects work on the alias VAQ of `session`.
    explicit MaintenanceForm(window::WindowPort& port,
                             db::Session& session = db::default_session());
    MaintenanceForm(const MaintenanceForm&) = delete;
    MaintenanceForm& operator=(const MaintenanceForm&) = delete;

    // ---- handlers ----
    // "Update StaffID": copies each card holder's staff ID into every transaction with the
    // card, with the animation, the gauge, the estimate and the completion line.
    void BitBtn3Click();
    // The back-fill itself, with the gauge and Timer1 running: binds Table1 to the
    // transactions, copies the staff IDs and returns what it did; the page around it, the
    // completion line and the box are up to the caller. An engine error stops it; the
    // transactions stored before the failing one stay stored.
    StaffIdBackfill backfill_staff_ids();
    // What the last BitBtn3Click came to; all zero when it failed or has not run.
    const StaffIdBackfill& last_backfill() const { return lastBackfill_; }
    // A tick of Timer1 during the back-fill: the remaining-time estimate into Label29.
    void Timer1Timer();
    // "Re-arrange Key": drops and adds again the key column of each table of ComboBox1.
    void BitBtn14Click();

    // Timer ticks of the running back-fill; 0 when idle.
    std::int32_t tick_count() const { return tickCount_; }

    // ---- the objects of the window ----
    db::Table Personnel;
    db::Table Table1;
    db::Query q1;

    // ---- what tests replace ----
    // The local date and time of the time stamps.
    std::function<DateTime()> clock = local_now;
    // Runs one statement of the key re-arrangement on the tables of a directory: the
    // engine's local SQL, as q1 runs it. The statements work on copies of the tables, which
    // replace the tables together with the references to their keys.
    std::function<void(const std::filesystem::path& directory, const std::string& statement)>
        executeStatement;

    // Why the last "Re-arrange Key" failed; empty when it did not. The window shows only
    // that it failed.
    const std::string& last_rearrange_failure() const { return lastRearrangeFailure_; }

  private:
    bool backfill_in_place(const StaffIdsByCard& staffIds, StaffIdBackfill& result);
    void restore_idle_page();
    std::filesystem::path database_directory() const;

    window::WindowPort& port_;
    db::Session& session_;
    std::int32_t tickCount_ = 0;
    std::string lastRearrangeFailure_;
    StaffIdBackfill lastBackfill_;
    bool walkingInPlace_ = false;
    std::uint32_t recordsWalked_ = 0;
};

}  // namespace vaq::maintenance
