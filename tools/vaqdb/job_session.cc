#include "tools/vaqdb/job_session.h"

#include <unistd.h>

#include <iostream>

#include <string>

#include "common/error.h"
#include "engine/table/table_name.h"
#include "repair/install.h"

namespace vaqdb {

namespace fs = std::filesystem;

namespace {

// The configuration in force with the alias VAQ standing for `directory`; the other aliases
// and the engine settings stay as they are.
pdx::Configuration withVaqAt(const pdx::Configuration& current, const fs::path& directory) {
    std::string text = "[alias VAQ]\ntype = STANDARD\npath = " +
                       fs::absolute(directory).lexically_normal().string() + "\n";
    for (const pdx::Alias& alias : current.aliases()) {
        if (pdx::same_file_name(alias.name, "VAQ")) continue;
        text += "[alias " + alias.name + "]\ntype = " + alias.type +
                "\npath = " + alias.path.string() + "\n";
    }
    const pdx::EngineSettings& settings = current.settings();
    text += "[engine]\nprivate_dir = " + settings.privateDir.string() +
            "\ncreate_level = " + std::to_string(settings.createLevel) +
            "\nblock_size = " + std::to_string(settings.blockSize) + "\n";
    return pdx::Configuration::fromText(text, directory, "the shell's alias VAQ");
}

}  // namespace

JobSession::JobSession(ShellContext& context)
    : previous_(pdx::currentConfiguration()),
      window_(context.out, context.err, isatty(STDERR_FILENO) == 1 && &context.err == &std::cerr) {
    pdx::useConfiguration(withVaqAt(*previous_, context.directory));
    try {
        session1_ = std::make_unique<vaq::db::Session>("Session1");
        mainDatabase_ = std::make_unique<vaq::db::Database>(*session1_, "MainDB", "VAQ");
        mainDatabase_->open();
        vaq::repair::installRepairJobs(window_, window_.jobs, *session1_, *mainDatabase_);
        window_.jobs.createUtilitySession();
    } catch (...) {
        window_.jobs = {};
        mainDatabase_.reset();
        session1_.reset();
        pdx::useConfiguration(*previous_);
        throw;
    }
}

JobSession::~JobSession() {
    // Without finish() (an error is on its way) the utility session closes with its object.
    window_.jobs = {};
    mainDatabase_.reset();
    session1_.reset();
    pdx::useConfiguration(*previous_);
}

void JobSession::finish() {
    if (window_.jobs.destroyUtilitySession) window_.jobs.destroyUtilitySession();
}

void JobSession::run(vaq::window::Handler handler) {
    const auto found = window_.jobs.handlers.find(handler);
    if (found == window_.jobs.handlers.end() || !found->second)
        throw vaq::Error("The shell cannot run " + std::string(vaq::window::handlerName(handler)));
    found->second();
}

}  // namespace vaqdb
