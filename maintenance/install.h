#pragma once

// How record maintenance plugs into the main window.

#include <memory>

#include "db/session.h"
#include "port/job_set.h"

namespace vaq::maintenance {

class MaintenanceForm;

// Fills the handlers BitBtn3Click ("Update StaffID"), Timer1Timer and BitBtn14Click
// ("Re-arrange Key") into `jobs`; they share one MaintenanceForm, which is returned and
// lives as long as the job set or the caller holds it.
std::shared_ptr<MaintenanceForm> install_maintenance_jobs(
    window::WindowPort& port, window::JobSet& jobs, db::Session& session = db::default_session());

}  // namespace vaq::maintenance
