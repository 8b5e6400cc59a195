// The staff ID back-fill ("Update StaffID") and its remaining-time estimate.

#include <string>
#include <string_view>
#include <unordered_map>

#include "db/schema.h"
#include "maintenance/backfill_texts.h"
#include "maintenance/maintenance_form.h"

namespace vaq::maintenance {

namespace {

using window::Control;
namespace personal = db::schema::Personal;
namespace transact = db::schema::Transact;

// Table1 is bound to the transaction table by this name, without its extension.
constexpr std::string_view kTransactTable = "Transact";

// The staff ID of the first staff record, in the table's order, of every card ID. Card IDs
// compare exactly, letter case significant. A staff record without a card is left out: a
// transaction without a card number belongs to nobody, not to the first staff member who
// has no card.
std::unordered_map<std::string, std::string> staffIdsByCard(db::Table& personnel) {
    std::unordered_map<std::string, std::string> staffIds;
    staffIds.reserve(personnel.recordCount());
    for (personnel.first(); !personnel.eof(); personnel.next()) {
        std::string cardId = personnel.fieldByName(personal::CardID).asString();
        if (cardId.empty()) continue;
        staffIds.try_emplace(std::move(cardId),
                             personnel.fieldByName(personal::StaffID).asString());
    }
    personnel.first();
    return staffIds;
}

}  // namespace

void MaintenanceForm::BitBtn3Click() {
    const std::string start = timeStamp(clock());
    port_.setEnabled(Control::PageControl1, false);
    port_.setEnabled(Control::BitBtn3, false);
    port_.setVisible(Control::Animate1, true);
    port_.setRunning(Control::Animate1, true);
    try {
        runBackfill();
    } catch (...) {
        // The error reaches the error box; the page must not stay disabled behind it.
        restoreIdlePage();
        throw;
    }
    const std::string end = timeStamp(clock());
    port_.setRunning(Control::Timer1, false);
    port_.setText(Control::Label29, "");
    Table1.close();
    tickCount_ = 0;
    port_.setText(Control::Memo2, completionLine(start, end));
    port_.setVisible(Control::Animate1, false);
    port_.setRunning(Control::Animate1, false);
    port_.showMessage({"Update Completed", "", window::BoxIcon::None});
    port_.setEnabled(Control::PageControl1, true);
    port_.setEnabled(Control::BitBtn3, true);
    port_.setPosition(Control::bar1, 0);
}

void MaintenanceForm::runBackfill() {
    Table1.close();
    Table1.setTableName(std::string(kTransactTable));
    Table1.open();
    const bool personnelWasOpen = Personnel.active();
    Personnel.open();
    Personnel.first();
    const auto staffIds = staffIdsByCard(Personnel);
    // Only this run needed the staff table; another job may need it free to change its
    // structure.
    if (!personnelWasOpen) Personnel.close();

    port_.setRange(Control::bar1, 0, static_cast<int>(Table1.recordCount()));
    port_.setRunning(Control::Timer1, true);
    const std::uint32_t count = Table1.recordCount();
    Table1.first();
    for (std::uint32_t done = 0; done < count && !Table1.eof(); ++done) {
        const std::string cardId = Table1.fieldByName(transact::CardID).asString();
        const auto found = cardId.empty() ? staffIds.end() : staffIds.find(cardId);
        // A transaction that has the staff ID already is left as it is: storing it again
        // would change nothing.
        if (found != staffIds.end() &&
            Table1.fieldByName(transact::StaffID).asString() != found->second) {
            Table1.edit();
            Table1.setFieldText(transact::StaffID, found->second);
            Table1.post();
        }
        Table1.next();
        port_.setPosition(Control::bar1, static_cast<int>(done + 1));
        port_.processEvents();
    }
}

void MaintenanceForm::restoreIdlePage() {
    port_.setRunning(Control::Timer1, false);
    port_.setText(Control::Label29, "");
    Table1.close();
    tickCount_ = 0;
    port_.setVisible(Control::Animate1, false);
    port_.setRunning(Control::Animate1, false);
    port_.setEnabled(Control::PageControl1, true);
    port_.setEnabled(Control::BitBtn3, true);
    port_.setPosition(Control::bar1, 0);
}

void MaintenanceForm::Timer1Timer() {
    ++tickCount_;
    if (!Table1.active()) return;
    port_.setText(Control::Label29,
                  remainingTimeText(Table1.recordCount(), Table1.recNo(), tickCount_));
}

}  // namespace vaq::maintenance
