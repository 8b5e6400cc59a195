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
    vaq::app::ProgramWiring wiring =
        vaq::app::makeProgramWiring(std::make_shared<vaq::app::EngineDatabase>());
    return vaq::app::runUtility(
        application, {std::move(wiring.database), std::move(wiring.installJobs), &dialogs});
}
