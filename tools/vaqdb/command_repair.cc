#include "tools/vaqdb/commands.h"
#include "tools/vaqdb/job_session.h"

namespace vaqdb {

// .repair: "Rebuild Index" over DIR as the alias VAQ, through the window's own job.
void command_repair(ShellContext& context, const Arguments& /*arguments*/) {
    JobSession jobs(context);
    jobs.run(vaq::window::Handler::BitBtn2Click);
    jobs.finish();
}

}  // namespace vaqdb
