#pragma once

// Builders of the controls of the main window, page by page.

class QTableView;
class QTableWidget;
class QWidget;

namespace vaq::app {

class RowSourceModel;

// "Upgrade DB/Rebuild index": the repair and upgrade buttons, progress bars and the log.
void buildUpgradePage(QWidget* page);
// "Update Blank StaffID": the back-fill and the hidden key re-arrangement group.
void buildStaffIdPage(QWidget* page);

struct ImportPageGrids {
    QTableWidget* example;
    QTableView* transactions;
};
// "Import Trans2DB": the import button, the example of the line format and the grid over
// the transaction table, shown through model.
ImportPageGrids buildImportPage(QWidget* page, RowSourceModel* model);

// Widens the columns of the example grid to their texts, sharing what room is left among
// them, so that no heading or example is cut.
void fitExampleColumns(QTableWidget* grid);

// Controls that serve the jobs as state: placed outside the client area or hidden.
void buildStateControls(QWidget* window);

}  // namespace vaq::app
