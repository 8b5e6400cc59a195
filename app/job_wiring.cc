#include "app/job_wiring.h"

#include "import/import_form.h"
#include "import/install.h"
#include "maintenance/install.h"
#include "repair/install.h"
#include "upgrade/install.h"

namespace vaq::app {

namespace {

// The forms whose objects the window reaches outside their handlers.
struct InstalledForms {
    std::shared_ptr<import::ImportForm> import;
};

}  // namespace

ProgramWiring make_program_wiring(std::shared_ptr<EngineDatabase> database) {
    const auto forms = std::make_shared<InstalledForms>();
    ProgramWiring wiring;
    wiring.database = make_engine_database_seam(database);
    wiring.database.standard_aliases = nullptr;
    wiring.database.transaction_rows = [forms]() -> std::shared_ptr<const window::RowSource> {
        return forms->import ? forms->import->transaction_rows() : nullptr;
    };
    wiring.installJobs = [database, forms](window::WindowPort& port, window::JobSet& jobs) {
        repair::install_repair_jobs(port, jobs, database->session(), database->main_database());
        upgrade::install_upgrade_jobs(port, jobs, database->main_database());
        maintenance::install_maintenance_jobs(port, jobs);
        forms->import = import::install_import_jobs(port, jobs);
    };
    return wiring;
}

}  // namespace vaq::app
