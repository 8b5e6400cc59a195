#include "app/job_wiring.h"

#include "maintenance/install.h"
#include "repair/install.h"
#include "upgrade/install.h"

namespace vaq::app {

window::JobInstaller makeJobInstaller(std::shared_ptr<EngineDatabase> database) {
    return [database](window::WindowPort& port, window::JobSet& jobs) {
        repair::installRepairJobs(port, jobs, database->session(), database->mainDatabase());
        upgrade::installUpgradeJobs(port, jobs, database->mainDatabase());
        maintenance::installMaintenanceJobs(port, jobs);
    };
}

DatabaseSeam makeProgramDatabaseSeam(std::shared_ptr<EngineDatabase> database) {
    DatabaseSeam seam = makeEngineDatabaseSeam(std::move(database));
    seam.standardAliases = nullptr;
    return seam;
}

}  // namespace vaq::app
