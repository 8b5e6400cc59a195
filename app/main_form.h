#pragma once

// TMainForm's behaviour around its widgets: opening the database at start, FormCreate and
// FormDestroy, the menu and the About box, closing, and the wiring of every job handler so
// that an error it raises ends in the standard error box while the window stays usable.

#include <QElapsedTimer>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <memory>

#include "app/database_seam.h"
#include "port/job_set.h"

namespace vaq::app {

class AboutBox;
class DialogService;
class MainWindow;
class WidgetWindowPort;

// Where a window with the frame size `frame` goes on the desktop: centred, but with its
// top-left corner never above or left of the desktop.
QPoint place_on_screen(QSize frame, QRect desktop);

class MainForm {
  public:
    // Builds every control and lets installJobs plug in the job handlers.
    MainForm(DatabaseSeam database, DialogService& dialogs,
             const window::JobInstaller& installJobs);
    ~MainForm();
    MainForm(const MainForm&) = delete;
    MainForm& operator=(const MainForm&) = delete;

    // Activates the session and opens MainDB on the alias VAQ; raises when that fails.
    void open_database();
    // Alias list, table-utility session, empty text boxes, the example grid. An error is shown
    // in the standard error box and skips the remaining steps.
    void form_create();
    // Frees the table-utility session; an error is shown in the standard error box.
    void form_destroy();
    // Created once, hidden; each "&About..." shows the same box.
    void create_about_box();
    // Shows the window centred on the screen, its title bar on the screen.
    void show_centred();

    MainWindow& window() { return *window_; }
    window::WindowPort& port();
    AboutBox* about_box() { return aboutBox_; }
    // Shows the rows of the transaction table while that table object is open.
    void sync_transaction_grid();
    // Whether a handler the user started is running (the job, and any handler run inside it).
    bool job_running() const { return runningHandlers_ > 0; }

    // The grid catches up with a running job at most this often, and always when it ends.
    static constexpr int kGridCatchUpMilliseconds = 250;

  private:
    void connect_menu_and_exit();
    void connect_handlers();
    // Runs a handler the way a click by program does: errors reach the caller.
    void run_handler(window::Handler handler);
    // Runs a handler the way a user's action does: errors go to the standard error box.
    void run_for_user(window::Handler handler);
    void click_by_program(window::Control button);
    // While a job runs: the grid catches up now and then rather than after every record.
    void catch_up_transaction_grid();
    // Whether a tick of Timer1 falls in time the job ran, rather than in time it waited for
    // a box shown inside it.
    bool tick_counts() const;
    // The window's close check: closes when no job runs, otherwise asks whether to stop it.
    bool may_close();
    void ask_to_stop_the_job();
    void fill_alias_list();
    void clear_text_boxes();
    void fill_example_grid();
    void show_about();

    DatabaseSeam database_;
    DialogService& dialogs_;
    std::unique_ptr<MainWindow> window_;
    std::unique_ptr<WidgetWindowPort> port_;
    window::JobSet jobs_;
    AboutBox* aboutBox_ = nullptr;
    bool utilitySessionCreated_ = false;
    int runningHandlers_ = 0;
    // The event-loop level the outermost handler started at; a deeper loop is a box's.
    int jobLoopLevel_ = 0;
    bool stopRequested_ = false;
    bool stopQuestionOpen_ = false;
    QElapsedTimer sinceGridCaughtUp_;
};

}  // namespace vaq::app
