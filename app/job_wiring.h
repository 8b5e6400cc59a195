#pragma once

// Which job fills which handlers of the window: the repair (with the start-up steps of the
// alias list and the table-utility session), the upgrade, the record maintenance and the
// transaction import, over the window's Session1 and MainDB; and where the grid DBGrid1
// takes its rows from (the import's table object Transaction).

#include <memory>

#include "app/database_seam.h"
#include "app/engine_database.h"
#include "port/job_set.h"

namespace vaq::app {

struct ProgramWiring {
    DatabaseSeam database;
    window::JobInstaller installJobs;
};

// The seam and the installer of the real program over `database`, which both keep alive.
// The repair fills the alias list in its start-up step, so the window's own alias step only
// empties the list.
ProgramWiring make_program_wiring(std::shared_ptr<EngineDatabase> database);

}  // namespace vaq::app
