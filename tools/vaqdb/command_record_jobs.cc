// The record jobs of the window run over DIR as the alias VAQ: "Update StaffID" (.backfill),
// "Re-arrange Key" (.rearrange) and "Import Transaction " (.import-transactions FILE),
// through the same job code the window runs.

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/error.h"
#include "import/import_form.h"
#include "import/install.h"
#include "maintenance/install.h"
#include "maintenance/maintenance_form.h"
#include "tools/vaqdb/commands.h"
#include "tools/vaqdb/job_session.h"

namespace vaq::shell {

namespace {

using vaq::window::Control;
using vaq::window::Handler;

// The items of the hidden key group of the window: tables and their key columns, paired by
// position.
const std::vector<std::string> kKeyTables = {"MessForm", "MessSys", "Personal", "Transact"};
const std::vector<std::string> kKeyColumns = {"MessID", "MessID", "PersonalID", "TransID"};

// The terminal, with the import file of the command line as the answer of the file dialog.
class ImportFileWindow final : public TerminalWindow {
  public:
    ImportFileWindow(ShellContext& context, std::string file)
        : TerminalWindow(context.out, context.err, context.show_progress), file_(std::move(file)) {}

    std::optional<std::string> choose_file(Control, std::string_view) override { return file_; }

  private:
    std::string file_;
};

void run_handler(vaq::window::JobSet& jobs, Handler handler) {
    jobs.handlers.at(handler)();
}

}  // namespace

void command_backfill(ShellContext& context, const Arguments& /*arguments*/) {
    JobSession session(context);
    TerminalWindow& window = session.window();
    const auto form = vaq::maintenance::install_maintenance_jobs(window, window.jobs);
    run_handler(window.jobs, Handler::BitBtn3Click);
    session.finish();
    // The window shows only when it ran; a script is told what it did.
    context.out << vaq::maintenance::backfill_summary(form->last_backfill()) << '\n';
}

void command_rearrange(ShellContext& context, const Arguments& /*arguments*/) {
    JobSession session(context);
    TerminalWindow& window = session.window();
    window.set_items(Control::ComboBox1, kKeyTables);
    window.set_items(Control::ComboBox2, kKeyColumns);
    const auto form = vaq::maintenance::install_maintenance_jobs(window, window.jobs);
    run_handler(window.jobs, Handler::BitBtn14Click);
    session.finish();
    // The window shows only "Re-arrange Fail!"; a script is told why, and by the status.
    if (!form->last_rearrange_failure().empty())
        throw vaq::Error("Re-arrange Key failed: " + form->last_rearrange_failure());
}

void command_import_transactions(ShellContext& context, const Arguments& arguments) {
    JobSession session(context);
    const bool everyLine =
        std::find(arguments.begin(), arguments.end(), "--all") != arguments.end();
    std::string name;
    for (const std::string& word : arguments)
        if (word != "--all") name = word;
    // A relative name is taken from where the shell was started, not from DIR.
    ImportFileWindow window(context,
                            name.empty() ? name : std::filesystem::absolute(name).string());
    const auto form = vaq::import::install_import_jobs(window, window.jobs);
    form->importEveryLine = everyLine;
    form->set_remembered_controller_key(context.remembered_controller_key);
    try {
        run_handler(window.jobs, Handler::Button2Click);
    } catch (...) {
        context.remembered_controller_key = form->remembered_controller_key();
        throw;
    }
    context.remembered_controller_key = form->remembered_controller_key();
    session.finish();
    if (!form->last_problem().empty()) throw vaq::Error(form->last_problem());
}

}  // namespace vaq::shell
