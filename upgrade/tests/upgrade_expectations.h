#pragma once

// What the upgrade of the old database of old_database.cc must leave behind, written out by
// hand from the texts of the access-control program's upgrade: its log, the columns it adds
// to each old table, the layouts of the tables it creates. And two readers of a table file,
// ours and pxlib's, to show that both read the same.

#include <filesystem>
#include <map>
#include <string>
#include <string_view>

#include "db/schema.h"
#include "test_support/memory_window.h"
#include "upgrade/tests/upgrade_fixture.h"
#include "upgrade/upgrade_form.h"

namespace vaq::upgrade::testing {

// What the repair, pressed at the end, appends to the log in these tests: its last result
// text, without CR LF.
constexpr std::string_view kRepairText = "(repair of every table)";

// The log of one upgrade of the old database, line by line.
extern const Lines kFirstRunLog;
// What every later run appends.
extern const Lines kLaterRunLog;
// The columns the upgrade adds to each table of the access-control program that has none
// of them, as "Name type", in the order the column blocks add them.
extern const std::map<std::string_view, Lines> kAddedToOldTables;

// A table the upgrade creates: its columns for creation, then those added to it, at their
// sizes for creation; the layout it has after any upgrade.
Lines created_layout(const db::schema::TableLayout& table);

// Stands in for the repair that "Upgrade DataBase" presses at its end: counts the presses,
// notes whether the upgrade left a table or a result open, and appends the repair's text.
struct RepairStandIn {
    void install(test_support::MemoryWindow& window, UpgradeForm& form) {
        window.onClick[window::Control::BitBtn2] = [this, &window, &form] {
            ++presses;
            openAtPress = form.q1.active() || form.Q2.active() || form.Personnel.active() ||
                          form.Department.active();
            window.append_text(window::Control::Memo1, kRepairText);
        };
    }
    int presses = 0;
    bool openAtPress = false;
};

// A table file as pxlib, written by other people, reads it, and as the engine reads it:
// fields with type and size, then the bytes of every record in table order.
Lines pxlib_view(const std::filesystem::path& file);
Lines engine_view(const std::filesystem::path& file);

}  // namespace vaq::upgrade::testing
