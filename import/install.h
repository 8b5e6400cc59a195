#pragma once

// How the transaction import plugs into the main window.

#include <memory>

#include "db/session.h"
#include "port/job_set.h"

namespace vaq::import {

class ImportForm;

// Fills the handler Button2Click ("Import Transaction ") into `jobs`. The returned form
// also gives the grid its rows (ImportForm::transaction_rows); it lives as long as the job
// set or the caller holds it.
std::shared_ptr<ImportForm> install_import_jobs(window::WindowPort& port, window::JobSet& jobs,
                                                db::Session& session = db::default_session());

}  // namespace vaq::import
