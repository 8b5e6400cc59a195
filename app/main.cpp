#include <memory>

#include "app/application.h"
#include "app/dialog_service.h"
#include "app/engine_database.h"
#include "app/job_wiring.h"
#include "app/startup.h"

int main(int argc, char** argv) {
    vaq::app::Application application(argc, argv);
    vaq::app::QtDialogService dialogs;
    application.setErrorDialogs(&dialogs);
    auto database = std::make_shared<vaq::app::EngineDatabase>();
    return vaq::app::runUtility(application, {vaq::app::makeProgramDatabaseSeam(database),
                                              vaq::app::makeJobInstaller(database), &dialogs});
}
