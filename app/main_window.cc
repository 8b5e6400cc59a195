#include "app/main_window.h"

#include <QAbstractItemView>
#include <QAction>
#include <QCloseEvent>
#include <QCompleter>
#include <QFileDialog>
#include <QFrame>
#include <QMenu>
#include <QMenuBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include "app/pages.h"
#include "app/pictures.h"
#include "app/row_source_model.h"

namespace vaq::app {
namespace {

constexpr int kMenuStripHeight = 23;

QFont default_window_font() {
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    return font;
}

// A flat toolbar button with a caption that opens its menu, as a classic menu bar item would.
// The menu pops up without an event loop of its own, so that a job which lets the window
// answer between its records goes on while the menu is open.
void add_menu_button(QToolBar* toolBar, const char* name, QMenu* menu) {
    auto* button = new QToolButton(toolBar);
    button->setObjectName(QString::fromLatin1(name));
    button->setText(menu->title());
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    button->setAutoRaise(true);
    // The platform gives tool buttons and menus fonts of their own; the strip and its menus
    // use the window's font, as a menu bar of the window would.
    button->setFont(default_window_font());
    menu->setFont(default_window_font());
    // A click that closes the open menu does not open it again.
    button->setAttribute(Qt::WA_NoMouseReplay);
    QObject::connect(button, &QToolButton::pressed, menu, [button, menu] {
        if (menu->isVisible()) return;
        menu->popup(button->mapToGlobal(QPoint(0, button->height())));
    });
    toolBar->addWidget(button);
}

QFileDialog* open_file_dialog(QWidget* window, const char* name, const QStringList& filters) {
    auto* dialog = new QFileDialog(window);
    dialog->setObjectName(QString::fromLatin1(name));
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setNameFilters(filters);
    // The file-name field's completion list is a window of its own; it goes with the dialog
    // rather than staying on screen to catch the next click.
    QObject::connect(dialog, &QDialog::finished, dialog, [dialog] {
        for (QCompleter* completer : dialog->findChildren<QCompleter*>()) {
            if (QAbstractItemView* list = completer->popup()) list->hide();
        }
    });
    return dialog;
}

}  // namespace

MainWindow::MainWindow(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("VAQ DataBase Utility "));
    setWindowIcon(program_icon());
    setFont(default_window_font());
    setFixedSize(kClientWidth, kClientHeight);
    build_menu_strip();
    build_pages();
    build_state_controls(this);
    build_dialogs_and_timer();
}

void MainWindow::set_close_check(std::function<bool()> may_close) {
    mayClose_ = std::move(may_close);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (mayClose_ && !mayClose_()) {
        event->ignore();
        return;
    }
    event->accept();
}

void MainWindow::build_menu_strip() {
    auto* fileMenu = new QMenu(QStringLiteral("&File"), this);
    fileMenu->setObjectName(QStringLiteral("Exit1"));
    exitAction_ = fileMenu->addAction(QStringLiteral("&Exit"));
    exitAction_->setObjectName(QStringLiteral("File1"));

    auto* helpMenu = new QMenu(QStringLiteral("&Help"), this);
    helpMenu->setObjectName(QStringLiteral("About1"));
    aboutAction_ = helpMenu->addAction(QStringLiteral("&About..."));
    aboutAction_->setObjectName(QStringLiteral("mAbout"));

    // The menu shows as buttons of the toolbar strip; its bar itself is never shown.
    auto* mainMenu = new QMenuBar(this);
    mainMenu->setObjectName(QStringLiteral("MainMenu1"));
    mainMenu->addMenu(fileMenu);
    mainMenu->addMenu(helpMenu);
    mainMenu->hide();

    auto* coolBar = new QFrame(this);
    coolBar->setObjectName(QStringLiteral("CoolBar1"));
    coolBar->setGeometry(0, 0, kClientWidth, kMenuStripHeight);
    auto* toolBar = new QToolBar(coolBar);
    toolBar->setObjectName(QStringLiteral("ToolBar1"));
    toolBar->setGeometry(0, 0, kClientWidth, kMenuStripHeight);
    toolBar->setMovable(false);
    toolBar->setFloatable(false);
    toolBar->setContentsMargins(0, 0, 0, 0);
    add_menu_button(toolBar, "ToolButton1", fileMenu);
    add_menu_button(toolBar, "ToolButton2", helpMenu);
}

void MainWindow::build_pages() {
    auto* pages = new QTabWidget(this);
    pages->setObjectName(QStringLiteral("PageControl1"));
    pages->setGeometry(0, kMenuStripHeight, kClientWidth, kClientHeight - kMenuStripHeight);

    auto* upgradePage = new QWidget();
    upgradePage->setObjectName(QStringLiteral("TabSheet1"));
    build_upgrade_page(upgradePage);
    pages->addTab(upgradePage, QStringLiteral("Upgrade DB/Rebuild index"));

    auto* staffIdPage = new QWidget();
    staffIdPage->setObjectName(QStringLiteral("TabSheet2"));
    build_staff_id_page(staffIdPage);
    pages->addTab(staffIdPage, QStringLiteral("Update Blank StaffID"));

    auto* importPage = new QWidget();
    importPage->setObjectName(QStringLiteral("TabSheet3"));
    transactionModel_ = new RowSourceModel(this);
    transactionModel_->setObjectName(QStringLiteral("DataSource1"));
    const ImportPageGrids grids = build_import_page(importPage, transactionModel_);
    exampleGrid_ = grids.example;
    transactionGrid_ = grids.transactions;
    pages->addTab(importPage, QStringLiteral("Import Trans2DB"));

    pages->setCurrentIndex(0);
}

void MainWindow::build_dialogs_and_timer() {
    QFileDialog* tables =
        open_file_dialog(this, "OpenDialog1", {QStringLiteral("DB Files (*.db)")});
    tables->setDefaultSuffix(QStringLiteral("db"));
    // The table is only read through the chosen path: open read-only, no box to untick.
    tables->setOption(QFileDialog::ReadOnly);

    // "*.*" means every file, with or without an extension.
    open_file_dialog(this, "OpenDialog2",
                     {QStringLiteral("(*.txt;*.dat;*.csv) (*.txt *.dat *.csv)"),
                      QStringLiteral("All(*.*) (*)")});

    auto* timer = new QTimer(this);
    timer->setObjectName(QStringLiteral("Timer1"));
    timer->setInterval(1000);
}

}  // namespace vaq::app
