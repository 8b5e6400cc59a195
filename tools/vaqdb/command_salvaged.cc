#include <string>

#include "common/error.h"
#include "tools/vaqdb/commands.h"
#include "tutil/rebuild_runs.h"

namespace vaq::shell {

namespace {

constexpr char kRemove[] = "--remove";

void print_run(ShellContext& context, const tutil::RebuildRun& run) {
    context.out << run.name() << '\t' << run.table.filename().string() << '\t'
                << (run.rebuilt ? "rebuilt" : "not rebuilt: " + run.cause) << '\t' << run.kept
                << '\t' << run.key_violations << '\t' << run.problems << '\t'
                << (run.backup_kept() ? "kept" : "removed") << '\t' << run.folder.string() << '\n';
}

}  // namespace

// .salvaged [TABLE]: every rebuild run of the database (of TABLE only when given), one a
// line: run, table, result, records kept, in KEYVIOL, in PROBLEM, backup, folder.
// .salvaged --remove RUN: removes that run's folder with everything it kept.
void command_salvaged(ShellContext& context, const Arguments& arguments) {
    if (!arguments.empty() && arguments[0] == kRemove) {
        if (arguments.size() != 2) throw vaq::Error("Usage: .salvaged --remove RUN");
        const tutil::RebuildRun removed =
            tutil::remove_rebuild_run(context.directory, arguments[1]);
        context.out << "Removed " << removed.name() << ": " << removed.folder.string() << '\n';
        return;
    }
    if (arguments.size() > 1) throw vaq::Error("Usage: .salvaged [TABLE]");
    context.out << "run\ttable\tresult\tkept\tKEYVIOL\tPROBLEM\tbackup\tfolder\n";
    const auto table = arguments.empty() ? std::nullopt : std::optional(arguments[0]);
    for (const tutil::RebuildRun& run : tutil::rebuild_runs(context.directory, table))
        print_run(context, run);
}

}  // namespace vaq::shell
