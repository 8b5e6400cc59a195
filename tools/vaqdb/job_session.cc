#include "tools/vaqdb/job_session.h"

#include <string>

#include "common/error.h"
#include "repair/install.h"

namespace vaq::shell {

JobSession::JobSession(ShellContext& context)
    : previous_(pdx::current_configuration()),
      window_(context.out, context.err, context.show_progress) {
    pdx::use_configuration(previous_->with_standard_alias("VAQ", context.directory));
    try {
        session1_ = std::make_unique<vaq::db::Session>("Session1");
        mainDatabase_ = std::make_unique<vaq::db::Database>(*session1_, "MainDB", "VAQ");
        mainDatabase_->open();
        repair_ =
            vaq::repair::install_repair_jobs(window_, window_.jobs, *session1_, *mainDatabase_);
        window_.jobs.createUtilitySession();
    } catch (...) {
        window_.jobs = {};
        repair_.reset();
        mainDatabase_.reset();
        session1_.reset();
        pdx::use_configuration(*previous_);
        throw;
    }
}

JobSession::~JobSession() {
    // Without finish() (an error is on its way) the utility session closes with its object.
    window_.jobs = {};
    repair_.reset();
    mainDatabase_.reset();
    session1_.reset();
    pdx::use_configuration(*previous_);
}

void JobSession::finish() {
    if (window_.jobs.destroyUtilitySession) window_.jobs.destroyUtilitySession();
}

void JobSession::run(vaq::window::Handler handler) {
    const auto found = window_.jobs.handlers.find(handler);
    if (found == window_.jobs.handlers.end() || !found->second)
        throw vaq::Error("The shell cannot run " + std::string(vaq::window::handler_name(handler)));
    found->second();
}

}  // namespace vaq::shell
