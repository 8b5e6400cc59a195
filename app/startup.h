#pragma once

// Program start: title, main window, session and MainDB, FormCreate, About box, and the
// window shown centred until it closes.

#include <memory>
#include <string>

#include "app/database_seam.h"
#include "port/job_set.h"

class QApplication;

namespace vaq::app {

class DialogService;
class MainForm;

struct StartupParts {
    DatabaseSeam database;
    window::JobInstaller installJobs;
    DialogService* dialogs = nullptr;
};

// For the "Application Error" box: where the alias VAQ came from (the --database folder, the
// engine configuration file read, or that there is none) and how to add it.
std::string configuration_note(const std::string& databaseOption);

// Start-up up to the About box; the window is not shown yet. When the session or MainDB
// cannot be opened, shows the "Application Error" box and returns null.
// `databaseOption`: the folder given by --database; empty when the engine configuration
// names it.
std::unique_ptr<MainForm> start_main_form(StartupParts parts,
                                          const std::string& databaseOption = {});

// The whole run; the program's exit code (1 when the database could not be opened).
int run_utility(QApplication& application, StartupParts parts,
                const std::string& databaseOption = {});

}  // namespace vaq::app
