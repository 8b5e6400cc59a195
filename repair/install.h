#pragma once

// How the repair plugs into the main window.

#include <functional>
#include <memory>

#include "db/database.h"
#include "db/session.h"
#include "port/job_set.h"
#include "repair/repair_form.h"

namespace vaq::repair {

// Fills the handlers of the alias, table and location controls, "Verify", "Rebuild",
// "Rebuild Index" and "Rebuild and Fix All" into `jobs`, and the start-up and end steps of
// the table-utility session (the alias list, then BDEUtil). `session1` and `main_database`
// must outlive the job set. Returns the repair the handlers run, for a caller that reports
// more of its results than the window shows (the shell).
std::shared_ptr<RepairForm> install_repair_jobs(
    window::WindowPort& port, window::JobSet& jobs, db::Session& session1,
    db::Database& main_database, std::function<LocalTime()> clock = read_local_clock);

}  // namespace vaq::repair
