#pragma once

// Which job fills which handlers of the window: the repair (with the start-up steps of the
// alias list and the table-utility session), the upgrade and the record maintenance, over the
// window's Session1 and MainDB.

#include <memory>

#include "app/database_seam.h"
#include "app/engine_database.h"
#include "app/port/job_set.h"

namespace vaq::app {

// Installs every job over `database`, which the returned installer keeps alive.
window::JobInstaller makeJobInstaller(std::shared_ptr<EngineDatabase> database);

// The database seam of the real program: the repair fills the alias list in its start-up
// step, so the window's own alias step only empties the list.
DatabaseSeam makeProgramDatabaseSeam(std::shared_ptr<EngineDatabase> database);

}  // namespace vaq::app
