#include "tools/vaqdb/commands.h"
#include "tools/vaqdb/job_session.h"
#include "upgrade/install.h"

namespace vaqdb {

// .upgrade: "Upgrade DataBase" over DIR as the alias VAQ, through the window's own job; it
// ends with "Rebuild Index" as in the window.
void command_upgrade(ShellContext& context, const Arguments& /*arguments*/) {
    JobSession jobs(context);
    vaq::upgrade::installUpgradeJobs(jobs.window(), jobs.window().jobs, jobs.mainDatabase());
    jobs.run(vaq::window::Handler::BitBtn1Click);
    jobs.finish();
}

}  // namespace vaqdb
