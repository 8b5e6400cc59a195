#pragma once

// How the upgrade plugs into the main window.

#include "db/database.h"
#include "port/job_set.h"

namespace vaq::upgrade {

// Fills the handlers BitBtn1Click ("Upgrade DataBase") and Button3Click into `jobs`. The
// handlers keep their query and table objects for as long as the job set holds them;
// `main_database` (the window's MainDB) must outlive the job set.
void install_upgrade_jobs(window::WindowPort& port, window::JobSet& jobs,
                          db::Database& main_database);

}  // namespace vaq::upgrade
