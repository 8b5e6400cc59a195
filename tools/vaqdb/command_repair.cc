#include <string>
#include <vector>

#include "common/error.h"
#include "repair/repair_form.h"
#include "tools/vaqdb/commands.h"
#include "tools/vaqdb/job_session.h"

namespace vaq::shell {

// .repair: "Rebuild Index" over DIR as the alias VAQ, through the window's own job. Tables
// it did not rebuild make it an error that names them with their causes.
void command_repair(ShellContext& context, const Arguments& /*arguments*/) {
    JobSession jobs(context);
    jobs.run(vaq::window::Handler::BitBtn2Click);
    jobs.finish();
    const std::vector<std::string>& not_rebuilt = jobs.repair().not_rebuilt();
    if (!not_rebuilt.empty()) throw vaq::Error(vaq::repair::not_rebuilt_message(not_rebuilt));
}

}  // namespace vaq::shell
