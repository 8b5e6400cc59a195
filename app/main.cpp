#include <memory>

#include "app/application.h"
#include "app/dialog_service.h"
#include "app/engine_database.h"
#include "app/startup.h"

int main(int argc, char** argv) {
    vaq::app::Application application(argc, argv);
    vaq::app::QtDialogService dialogs;
    application.setErrorDialogs(&dialogs);
    auto database = std::make_shared<vaq::app::EngineDatabase>();
    // The jobs plug in here as their folders arrive; until then their buttons say so.
    vaq::window::JobInstaller installJobs = [database](vaq::window::WindowPort&,
                                                       vaq::window::JobSet&) {};
    return vaq::app::runUtility(
        application, {vaq::app::makeEngineDatabaseSeam(database), installJobs, &dialogs});
}
