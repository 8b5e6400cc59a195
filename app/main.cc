#include <cstdio>
#include <exception>
#include <memory>

#include "app/application.h"
#include "app/command_line.h"
#include "app/dialog_service.h"
#include "app/engine_database.h"
#include "app/job_wiring.h"
#include "app/startup.h"
#include "engine/api/config.h"

namespace {

// --database DIR: the directory stands as the alias VAQ; the rest of the configuration (other
// aliases, the engine's settings) stays as the engine reads it.
bool use_database_option(const std::string& directory) {
    try {
        pdx::use_configuration(pdx::current_configuration()->with_standard_alias("VAQ", directory));
        return true;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "vaq-utility: %s\n", error.what());
        return false;
    }
}

}  // namespace

int main(int argc, char** argv) {
    const vaq::app::CommandLine options = vaq::app::parse_command_line(argc, argv);
    if (!options.error.empty()) {
        std::fprintf(stderr, "vaq-utility: %s; vaq-utility --help lists the options.\n",
                     options.error.c_str());
        return 1;
    }
    if (options.help) {
        std::fputs(vaq::app::usage_text().c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::fputs(vaq::app::version_text().c_str(), stdout);
        return 0;
    }
    if (options.database && !use_database_option(*options.database)) return 1;

    vaq::app::Application application(argc, argv);
    vaq::app::QtDialogService dialogs;
    application.set_error_dialogs(&dialogs);
    vaq::app::ProgramWiring wiring =
        vaq::app::make_program_wiring(std::make_shared<vaq::app::EngineDatabase>());
    return vaq::app::run_utility(
        application, {std::move(wiring.database), std::move(wiring.installJobs), &dialogs},
        options.database.value_or(std::string()));
}
