// The key re-arrangement ("Re-arrange Key"): each table of ComboBox1 loses its key column
// (the name in ComboBox2 at the same position) and gets it back as an identity column
// numbered from 1, which is its new primary key.

#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "common/error.h"
#include "db/table.h"
#include "maintenance/key_renumbering.h"
#include "maintenance/maintenance_form.h"

namespace vaq::maintenance {

namespace {

using window::Control;

// bar5 shows the steps within one table: two before the drop, one before the add.
constexpr int kStepsPerTable = 3;

bool is_blank_or_control(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

}  // namespace

std::string drop_key_statement(std::string_view table, std::string_view key) {
    return "ALTER TABLE " + std::string(table) + " DROP COLUMN " + std::string(key);
}

std::string add_key_statement(std::string_view table, std::string_view key) {
    return "ALTER TABLE " + std::string(table) + " ADD " + std::string(key) +
           " int IDENTITY(1,1) CONSTRAINT PK_" + std::string(table) + " PRIMARY KEY";
}

std::string trim_list_item(std::string_view item) {
    while (!item.empty() && is_blank_or_control(item.front()))
        item.remove_prefix(1);
    while (!item.empty() && is_blank_or_control(item.back()))
        item.remove_suffix(1);
    return std::string(item);
}

std::filesystem::path MaintenanceForm::database_directory() const {
    return db::database_directory(session_, q1.alias_name());
}

void MaintenanceForm::BitBtn14Click() {
    const std::vector<std::string> tables = port_.items(Control::ComboBox1);
    const std::vector<std::string> keys = port_.items(Control::ComboBox2);
    port_.set_range(Control::bar4, 0, static_cast<int>(tables.size()));
    port_.set_range(Control::bar5, 0, kStepsPerTable);
    lastRearrangeFailure_.clear();
    // Our own table objects must not hold a table whose structure changes.
    Personnel.close();
    Table1.close();

    const auto advance = [this](int by) {
        port_.set_position(Control::bar5, port_.position(Control::bar5) + by);
        port_.process_events();
    };
    try {
        for (std::size_t i = 0; i < tables.size(); ++i) {
            port_.select(Control::ComboBox1, static_cast<int>(i));
            // A table without a key in the list fails below, naming the table; the list of
            // keys has no item to select for it.
            if (i < keys.size()) port_.select(Control::ComboBox2, static_cast<int>(i));
            port_.set_position(Control::bar4, static_cast<int>(i + 1));
            advance(1);
            advance(1);
            if (i >= keys.size())
                throw Error("No key column is listed for the table " + tables[i] + ".");
            // The drop, the add and the references to the key change together, or not at all.
            renumber_key(database_directory(), trim_list_item(tables[i]), trim_list_item(keys[i]),
                         executeStatement, [&] { advance(1); });
            advance(-kStepsPerTable);
        }
    } catch (const std::exception& error) {
        // The window shows only that the re-arrangement failed; the cause is kept for those
        // who can show it (the shell).
        lastRearrangeFailure_ = error.what();
        port_.show_message({"Re-arrange Fail!", "", window::BoxIcon::kNone});
    }
    port_.select(Control::ComboBox1, -1);
    port_.select(Control::ComboBox2, -1);
    port_.set_position(Control::bar4, 0);
    port_.show_message({"Update Completed", "", window::BoxIcon::kNone});
}

}  // namespace vaq::maintenance
