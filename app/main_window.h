#pragma once

// The main window TMainForm as widgets: the menu strip, the page control with its three
// pages, the state controls outside the pages, the open-file dialogs and the timer. Every
// control's objectName is its name in the window layout. The window only builds; what the
// controls do is wired by MainForm.

#include <QWidget>
#include <functional>

class QAction;
class QTableView;
class QTableWidget;

namespace vaq::app {

class RowSourceModel;

class MainWindow : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kClientWidth = 450;
    static constexpr int kClientHeight = 545;

    explicit MainWindow(QWidget* parent = nullptr);

    // Menu "&File" / "&Exit" and "&Help" / "&About...".
    QAction* exit_action() const { return exitAction_; }
    QAction* about_action() const { return aboutAction_; }
    QTableWidget* example_grid() const { return exampleGrid_; }
    QTableView* transaction_grid() const { return transactionGrid_; }
    RowSourceModel* transaction_model() const { return transactionModel_; }
    // Asked whenever the window is to close (close box, "&Exit", ExitBtn); false keeps it.
    void set_close_check(std::function<bool()> may_close);

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void build_menu_strip();
    void build_pages();
    void build_dialogs_and_timer();

    QAction* exitAction_ = nullptr;
    QAction* aboutAction_ = nullptr;
    QTableWidget* exampleGrid_ = nullptr;
    QTableView* transactionGrid_ = nullptr;
    RowSourceModel* transactionModel_ = nullptr;
    std::function<bool()> mayClose_;
};

}  // namespace vaq::app
