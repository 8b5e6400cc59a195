#pragma once

// Program start: title, main window, session and MainDB, FormCreate, About box, and the
// window shown centred until it closes.

#include <memory>

#include "app/database_seam.h"
#include "app/port/job_set.h"

class QApplication;

namespace vaq::app {

class DialogService;
class MainForm;

struct StartupParts {
    DatabaseSeam database;
    window::JobInstaller installJobs;
    DialogService* dialogs = nullptr;
};

// Start-up up to the About box; the window is not shown yet. When the session or MainDB
// cannot be opened, shows the "Application Error" box and returns null.
std::unique_ptr<MainForm> startMainForm(StartupParts parts);

// The whole run; the program's exit code (1 when the database could not be opened).
int runUtility(QApplication& application, StartupParts parts);

}  // namespace vaq::app
