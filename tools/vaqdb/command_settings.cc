// The settings of the shell: .mode and .headers, which shape the output of a SELECT.

#include "common/error.h"
#include "tools/vaqdb/commands.h"

namespace vaq::shell {

void command_mode(ShellContext& context, const Arguments& arguments) {
    const std::string& mode = arguments[0];
    if (mode == "csv")
        context.mode = OutputMode::kCsv;
    else if (mode == "table")
        context.mode = OutputMode::kTable;
    else if (mode == "line")
        context.mode = OutputMode::kLine;
    else
        throw vaq::Error("Unknown output mode " + mode + "; the modes are csv, table and line.");
}

void command_headers(ShellContext& context, const Arguments& arguments) {
    const std::string& setting = arguments[0];
    if (setting == "on")
        context.headers = true;
    else if (setting == "off")
        context.headers = false;
    else
        throw vaq::Error("Usage: .headers on|off");
}

}  // namespace vaq::shell
