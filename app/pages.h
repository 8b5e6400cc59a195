#pragma once

// Builders of the controls of the main window, page by page.

class QTableView;
class QTableWidget;
class QWidget;

namespace vaq::app {

class RowSourceModel;

// "Upgrade DB/Rebuild index": the repair and upgrade buttons, progress bars and the log.
void build_upgrade_page(QWidget* page);
// "Update Blank StaffID": the back-fill and the hidden key re-arrangement group.
void build_staff_id_page(QWidget* page);

struct ImportPageGrids {
    QTableWidget* example;
    QTableView* transactions;
};
// "Import Trans2DB": the import button, the example of the line format and the grid over
// the transaction table, shown through model.
ImportPageGrids build_import_page(QWidget* page, RowSourceModel* model);

// Widens the columns of the example grid to their texts, sharing what room is left among
// them, so that no heading or example is cut.
void fit_example_columns(QTableWidget* grid);

// Controls that serve the jobs as state: placed outside the client area or hidden.
void build_state_controls(QWidget* window);

}  // namespace vaq::app
