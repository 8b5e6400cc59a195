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
std::string dropKeyStatement(std::string_view table, std::string_view key);
std::string addKeyStatement(std::string_view table, std::string_view key);

// Control characters and blanks at either end removed, as list items are read.
std::string trimListItem(std::string_view item);

class MaintenanceForm {
  public:
    // Table and query objects work on the alias VAQ of `session`.
    explicit MaintenanceForm(window::WindowPort& port, db::Session& session = db::defaultSession());
    MaintenanceForm(const MaintenanceForm&) = delete;
    MaintenanceForm& operator=(const MaintenanceForm&) = delete;

    // ---- handlers ----
    // "Update StaffID": copies each card holder's staff ID into every transaction with the
    // card, with the animation, the gauge, the estimate and the completion line.
    void BitBtn3Click();
    // A tick of Timer1 during the back-fill: the remaining-time estimate into Label29.
    void Timer1Timer();
    // "Re-arrange Key": drops and adds again the key column of each table of ComboBox1.
    void BitBtn14Click();

    // Timer ticks of the running back-fill; 0 when idle.
    std::int32_t tickCount() const { return tickCount_; }

    // ---- the objects of the window ----
    db::Table Personnel;
    db::Table Table1;
    db::Query q1;

    // ---- what tests replace ----
    // The local date and time of the time stamps.
    std::function<DateTime()> clock = localNow;
    // Runs one statement of the key re-arrangement on the tables of a directory: the
    // engine's local SQL, as q1 runs it. The statements work on copies of the tables, which
    // replace the tables together with the references to their keys.
    std::function<void(const std::filesystem::path& directory, const std::string& statement)>
        executeStatement;

    // Why the last "Re-arrange Key" failed; empty when it did not. The window shows only
    // that it failed.
    const std::string& lastRearrangeFailure() const { return lastRearrangeFailure_; }

  private:
    void runBackfill();
    void restoreIdlePage();
    std::filesystem::path databaseDirectory() const;

    window::WindowPort& port_;
    db::Session& session_;
    std::int32_t tickCount_ = 0;
    std::string lastRearrangeFailure_;
};

}  // namespace vaq::maintenance
