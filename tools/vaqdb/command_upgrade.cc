#include <string>

#include "common/error.h"
#include "tools/vaqdb/commands.h"
#include "tools/vaqdb/job_session.h"
#include "upgrade/install.h"

namespace vaq::shell {

// .upgrade: "Upgrade DataBase" over DIR as the alias VAQ, through the window's own job; it
// ends with "Rebuild Index" as in the window. A step that failed while the run went on (its
// box is printed) ends the command with an error as well.
void command_upgrade(ShellContext& context, const Arguments& /*arguments*/) {
    JobSession jobs(context);
    vaq::upgrade::install_upgrade_jobs(jobs.window(), jobs.window().jobs, jobs.main_database());
    jobs.run(vaq::window::Handler::BitBtn1Click);
    jobs.finish();
    const int failed = jobs.window().jobs.failedSteps;
    if (failed > 0)
        throw vaq::Error("The upgrade did not finish: " + std::to_string(failed) +
                         (failed == 1 ? " step" : " steps") + " failed, as the boxes say.");
}

}  // namespace vaq::shell
