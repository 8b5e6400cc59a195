#include "app/main_form.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QGuiApplication>
#include <QScreen>
#include <QTableWidget>
#include <QThread>
#include <QTimer>
#include <algorithm>

#include "app/about_box.h"
#include "app/dialog_service.h"
#include "app/error_box.h"
#include "app/main_window.h"
#include "app/pages.h"
#include "app/row_source_model.h"
#include "app/widget_window_port.h"
#include "common/error.h"

namespace vaq::app {

using window::Control;
using window::Handler;

namespace {

struct ExampleCell {
    int column;
    int row;
    const char* text;
};

// The example of the import line format, cell by cell in the order they are written.
constexpr ExampleCell kExampleCells[] = {
    {0, 0, "Field -->"},  {0, 1, "Example"},  {1, 1, "15/10/2004"}, {2, 1, "15:33:00"},
    {3, 1, "2"},          {4, 1, "1"},        {5, 1, "15433336"},   {6, 1, "1"},
    {1, 0, "dd/mm/yyyy"}, {2, 0, "hh:mm:ss"}, {3, 0, "DoorID"},     {4, 0, "ControllerID"},
    {5, 0, "CardNo"},     {6, 0, "EventID"},
};

constexpr Handler kAllHandlers[] = {
#define VAQ_WINDOW_HANDLER_ITEM(name, control) Handler::name,
    VAQ_WINDOW_HANDLERS(VAQ_WINDOW_HANDLER_ITEM)
#undef VAQ_WINDOW_HANDLER_ITEM
};

}  // namespace

MainForm::MainForm(DatabaseSeam database, DialogService& dialogs,
                   const window::JobInstaller& installJobs)
    : database_(std::move(database)), dialogs_(dialogs), window_(std::make_unique<MainWindow>()) {
    port_ = std::make_unique<WidgetWindowPort>(
        *window_, dialogs_,
        WidgetWindowPort::Hooks{[this](Control button) { click_by_program(button); },
                                [this] { catch_up_transaction_grid(); },
                                [this] { return stopRequested_; }});
    window_->set_close_check([this] { return may_close(); });
    window_->transaction_model()->set_read_error_handler(
        [this](const std::string& message) { show_standard_error_box(dialogs_, message); });
    connect_menu_and_exit();
    connect_handlers();
    if (installJobs) installJobs(*port_, jobs_);
}

MainForm::~MainForm() = default;

window::WindowPort& MainForm::port() {
    return *port_;
}

void MainForm::open_database() {
    if (!database_.open_main_database) throw Error("No database session is available");
    database_.open_main_database();
}

void MainForm::form_create() {
    run_showing_errors(dialogs_, [this] {
        // The tick counter of the staff ID back-fill starts at 0 with its job.
        fill_alias_list();
        if (jobs_.createUtilitySession) {
            jobs_.createUtilitySession();
            utilitySessionCreated_ = true;
        }
        clear_text_boxes();
        fill_example_grid();
    });
    sync_transaction_grid();
}

void MainForm::form_destroy() {
    if (!utilitySessionCreated_ || !jobs_.destroyUtilitySession) return;
    utilitySessionCreated_ = false;
    run_showing_errors(dialogs_, jobs_.destroyUtilitySession);
}

void MainForm::create_about_box() {
    if (aboutBox_ == nullptr) aboutBox_ = new AboutBox(database_.engine_version, window_.get());
}

void MainForm::show_centred() {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        window_->show();
        return;
    }
    const QRect desktop = screen->availableGeometry();
    window_->move(place_on_screen(window_->frameGeometry().size(), desktop));
    window_->show();
    // Only now does the window know the frame its window manager gave it.
    const QPoint framed = place_on_screen(window_->frameGeometry().size(), desktop);
    if (framed != window_->pos()) window_->move(framed);
}

QPoint place_on_screen(QSize frame, QRect desktop) {
    const QPoint centred(desktop.left() + (desktop.width() - frame.width()) / 2,
                         desktop.top() + (desktop.height() - frame.height()) / 2);
    // On a screen smaller than the window (a small one at a large scale) the title bar and
    // the menu stay on the screen; the window's lower part runs off instead.
    return {std::max(centred.x(), desktop.left()), std::max(centred.y(), desktop.top())};
}

void MainForm::sync_transaction_grid() {
    std::shared_ptr<const window::RowSource> rows;
    run_showing_errors(dialogs_, [&] {
        if (database_.transaction_rows) rows = database_.transaction_rows();
    });
    window_->transaction_model()->set_source(std::move(rows));
}

void MainForm::connect_menu_and_exit() {
    QObject::connect(window_->exit_action(), &QAction::triggered, window_.get(),
                     [this] { window_->close(); });
    QObject::connect(window_->about_action(), &QAction::triggered, window_.get(),
                     [this] { show_about(); });
    auto* exitButton = window_->findChild<QAbstractButton*>(QStringLiteral("ExitBtn"));
    QObject::connect(exitButton, &QAbstractButton::clicked, window_.get(),
                     [this] { window_->close(); });
}

void MainForm::connect_handlers() {
    for (Handler handler : kAllHandlers) {
        const std::string_view name = window::control_name(window::handler_control(handler));
        QObject* source = window_->findChild<QObject*>(
            QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
        auto run = [this, handler] { run_for_user(handler); };
        if (auto* button = qobject_cast<QAbstractButton*>(source)) {
            QObject::connect(button, &QAbstractButton::clicked, window_.get(), run);
        } else if (auto* list = qobject_cast<QComboBox*>(source)) {
            // Only the user's choice runs the change handler, never a selection by program.
            QObject::connect(list, &QComboBox::activated, window_.get(), run);
        } else if (auto* timer = qobject_cast<QTimer*>(source)) {
            QObject::connect(timer, &QTimer::timeout, window_.get(), run);
        } else {
            throw Error("No event to connect for the handler " +
                        std::string(window::handler_name(handler)));
        }
    }
}

void MainForm::run_handler(Handler handler) {
    const auto found = jobs_.handlers.find(handler);
    if (found == jobs_.handlers.end() || !found->second) {
        throw Error("This version of the utility cannot run " +
                    std::string(window::handler_name(handler)) + " yet");
    }
    found->second();
}

void MainForm::run_for_user(Handler handler) {
    // Once the user has chosen to stop and close, nothing new starts.
    if (stopRequested_) return;
    if (handler == Handler::Timer1Timer && !tick_counts()) return;
    if (runningHandlers_ == 0) jobLoopLevel_ = QThread::currentThread()->loopLevel();
    ++runningHandlers_;
    run_showing_errors(dialogs_, [this, handler] {
        try {
            run_handler(handler);
        } catch (const JobStopped&) {
            // Stopped on the user's word; the handler it ran inside stops at its next chance.
        }
    });
    --runningHandlers_;
    sync_transaction_grid();
    if (runningHandlers_ == 0 && stopRequested_) window_->close();
}

bool MainForm::tick_counts() const {
    return runningHandlers_ == 0 || QThread::currentThread()->loopLevel() <= jobLoopLevel_;
}

void MainForm::catch_up_transaction_grid() {
    if (sinceGridCaughtUp_.isValid() && sinceGridCaughtUp_.elapsed() < kGridCatchUpMilliseconds)
        return;
    sync_transaction_grid();
    sinceGridCaughtUp_.start();
}

bool MainForm::may_close() {
    if (!job_running()) return true;
    // After a Yes the window closes as soon as the job has stopped.
    if (!stopRequested_) ask_to_stop_the_job();
    return false;
}

void MainForm::ask_to_stop_the_job() {
    if (stopQuestionOpen_) return;
    stopQuestionOpen_ = true;
    dialogs_.ask_then_call(
        {QString::fromLatin1(kApplicationTitle),
         QStringLiteral("A job is running. Stop it and close?"), window::BoxIcon::kWarning, false},
        [this](bool yes) {
            stopQuestionOpen_ = false;
            if (!yes) return;
            // The job may have ended while the question was open.
            if (!job_running()) {
                window_->close();
                return;
            }
            stopRequested_ = true;
        });
}

void MainForm::click_by_program(Control button) {
    for (Handler handler : kAllHandlers) {
        if (window::handler_control(handler) == button &&
            window::handler_name(handler).ends_with("Click")) {
            run_handler(handler);
            return;
        }
    }
    throw Error("Control " + std::string(window::control_name(button)) +
                " is not a button with a handler");
}

void MainForm::fill_alias_list() {
    port_->set_items(Control::AliasCombo, {});
    if (database_.standard_aliases)
        port_->set_items(Control::AliasCombo, database_.standard_aliases());
}

void MainForm::clear_text_boxes() {
    port_->set_text(Control::Memo1, "");
    port_->set_text(Control::Memo2, "");
}

void MainForm::fill_example_grid() {
    QTableWidget* grid = window_->example_grid();
    for (const ExampleCell& cell : kExampleCells) {
        grid->item(cell.row, cell.column)->setText(QString::fromLatin1(cell.text));
    }
    fit_example_columns(grid);
}

void MainForm::show_about() {
    create_about_box();
    // Modal to the window, without an event loop of its own: a running job goes on.
    aboutBox_->open();
}

}  // namespace vaq::app
