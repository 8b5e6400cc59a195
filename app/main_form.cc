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
        WidgetWindowPort::Hooks{[this](Control button) { clickByProgram(button); },
                                [this] { catchUpTransactionGrid(); },
                                [this] { return stopRequested_; }});
    window_->setCloseCheck([this] { return mayClose(); });
    window_->transactionModel()->setReadErrorHandler(
        [this](const std::string& message) { showStandardErrorBox(dialogs_, message); });
    connectMenuAndExit();
    connectHandlers();
    if (installJobs) installJobs(*port_, jobs_);
}

MainForm::~MainForm() = default;

window::WindowPort& MainForm::port() {
    return *port_;
}

void MainForm::openDatabase() {
    if (!database_.openMainDatabase) throw Error("No database session is available");
    database_.openMainDatabase();
}

void MainForm::formCreate() {
    runShowingErrors(dialogs_, [this] {
        // The tick counter of the staff ID back-fill starts at 0 with its job.
        fillAliasList();
        if (jobs_.createUtilitySession) {
            jobs_.createUtilitySession();
            utilitySessionCreated_ = true;
        }
        clearTextBoxes();
        fillExampleGrid();
    });
    syncTransactionGrid();
}

void MainForm::formDestroy() {
    if (!utilitySessionCreated_ || !jobs_.destroyUtilitySession) return;
    utilitySessionCreated_ = false;
    runShowingErrors(dialogs_, jobs_.destroyUtilitySession);
}

void MainForm::createAboutBox() {
    if (aboutBox_ == nullptr) aboutBox_ = new AboutBox(database_.engine_version, window_.get());
}

void MainForm::showCentred() {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        window_->show();
        return;
    }
    const QRect desktop = screen->availableGeometry();
    window_->move(placeOnScreen(window_->frameGeometry().size(), desktop));
    window_->show();
    // Only now does the window know the frame its window manager gave it.
    const QPoint framed = placeOnScreen(window_->frameGeometry().size(), desktop);
    if (framed != window_->pos()) window_->move(framed);
}

QPoint placeOnScreen(QSize frame, QRect desktop) {
    const QPoint centred(desktop.left() + (desktop.width() - frame.width()) / 2,
                         desktop.top() + (desktop.height() - frame.height()) / 2);
    // On a screen smaller than the window (a small one at a large scale) the title bar and
    // the menu stay on the screen; the window's lower part runs off instead.
    return {std::max(centred.x(), desktop.left()), std::max(centred.y(), desktop.top())};
}

void MainForm::syncTransactionGrid() {
    std::shared_ptr<const window::RowSource> rows;
    runShowingErrors(dialogs_, [&] {
        if (database_.transaction_rows) rows = database_.transaction_rows();
    });
    window_->transactionModel()->setSource(std::move(rows));
}

void MainForm::connectMenuAndExit() {
    QObject::connect(window_->exitAction(), &QAction::triggered, window_.get(),
                     [this] { window_->close(); });
    QObject::connect(window_->aboutAction(), &QAction::triggered, window_.get(),
                     [this] { showAbout(); });
    auto* exitButton = window_->findChild<QAbstractButton*>(QStringLiteral("ExitBtn"));
    QObject::connect(exitButton, &QAbstractButton::clicked, window_.get(),
                     [this] { window_->close(); });
}

void MainForm::connectHandlers() {
    for (Handler handler : kAllHandlers) {
        const std::string_view name = window::control_name(window::handler_control(handler));
        QObject* source = window_->findChild<QObject*>(
            QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
        auto run = [this, handler] { runForUser(handler); };
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

void MainForm::runForUser(Handler handler) {
    // Once the user has chosen to stop and close, nothing new starts.
    if (stopRequested_) return;
    if (handler == Handler::Timer1Timer && !tickCounts()) return;
    if (runningHandlers_ == 0) jobLoopLevel_ = QThread::currentThread()->loopLevel();
    ++runningHandlers_;
    runShowingErrors(dialogs_, [this, handler] {
        try {
            run_handler(handler);
        } catch (const JobStopped&) {
            // Stopped on the user's word; the handler it ran inside stops at its next chance.
        }
    });
    --runningHandlers_;
    syncTransactionGrid();
    if (runningHandlers_ == 0 && stopRequested_) window_->close();
}

bool MainForm::tickCounts() const {
    return runningHandlers_ == 0 || QThread::currentThread()->loopLevel() <= jobLoopLevel_;
}

void MainForm::catchUpTransactionGrid() {
    if (sinceGridCaughtUp_.isValid() && sinceGridCaughtUp_.elapsed() < kGridCatchUpMilliseconds)
        return;
    syncTransactionGrid();
    sinceGridCaughtUp_.start();
}

bool MainForm::mayClose() {
    if (!jobRunning()) return true;
    // After a Yes the window closes as soon as the job has stopped.
    if (!stopRequested_) askToStopTheJob();
    return false;
}

void MainForm::askToStopTheJob() {
    if (stopQuestionOpen_) return;
    stopQuestionOpen_ = true;
    dialogs_.ask_then_call(
        {QString::fromLatin1(kApplicationTitle),
         QStringLiteral("A job is running. Stop it and close?"), window::BoxIcon::kWarning, false},
        [this](bool yes) {
            stopQuestionOpen_ = false;
            if (!yes) return;
            // The job may have ended while the question was open.
            if (!jobRunning()) {
                window_->close();
                return;
            }
            stopRequested_ = true;
        });
}

void MainForm::clickByProgram(Control button) {
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

void MainForm::fillAliasList() {
    port_->set_items(Control::AliasCombo, {});
    if (database_.standardAliases)
        port_->set_items(Control::AliasCombo, database_.standardAliases());
}

void MainForm::clearTextBoxes() {
    port_->setText(Control::Memo1, "");
    port_->setText(Control::Memo2, "");
}

void MainForm::fillExampleGrid() {
    QTableWidget* grid = window_->exampleGrid();
    for (const ExampleCell& cell : kExampleCells) {
        grid->item(cell.row, cell.column)->setText(QString::fromLatin1(cell.text));
    }
    fitExampleColumns(grid);
}

void MainForm::showAbout() {
    createAboutBox();
    // Modal to the window, without an event loop of its own: a running job goes on.
    aboutBox_->open();
}

}  // namespace vaq::app
