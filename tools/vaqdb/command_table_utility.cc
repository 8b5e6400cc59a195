#include <string>

#include "common/error.h"
#include "engine/api/engine_error.h"
#include "engine/table/table_name.h"
#include "repair/bde_util.h"
#include "tools/vaqdb/commands.h"
#include "tools/vaqdb/job_session.h"

namespace vaqdb {

using vaq::window::Control;
using vaq::window::Handler;

namespace {

std::string tableLocation(const ShellContext& context, const std::string& table) {
    pdx::check_table_name(table);
    const auto file = pdx::find_table_file(context.directory, table);
    if (!file) throw vaq::Error("Table does not exist: " + table);
    return file->string();
}

}  // namespace

// .props TABLE: the ten properties the window shows, "Caption value" a line.
void command_props(ShellContext& context, const Arguments& arguments) {
    const std::string location = tableLocation(context, arguments[0]);
    vaq::repair::TBDEUtil util;
    if (!util.FillProps(location))
        throw vaq::Error("The properties of " + arguments[0] +
                         " cannot be read: " + pdx::lastErrorMessage());
    for (const vaq::repair::PropertyLabel& property : vaq::repair::kPropertyLabels)
        context.out << property.caption << ' '
                    << vaq::repair::propertyValue(util.TableProps, property.offset) << '\n';
    util.close();
}

// .verify TABLE: the verification's message, through the window's "Verify".
void command_verify(ShellContext& context, const Arguments& arguments) {
    const std::string location = tableLocation(context, arguments[0]);
    JobSession jobs(context);
    jobs.window().setText(Control::TableLocEdit, location);
    jobs.run(Handler::VerifyBtnClick);
    const std::string message = jobs.window().text(Control::MessageLB);
    // The window leaves its label empty when the library fails; the shell says why.
    if (message.empty())
        throw vaq::Error(arguments[0] + " could not be verified: " + pdx::lastErrorMessage());
    context.out << message << '\n';
    jobs.finish();
}

// .rebuild TABLE: the last result text of the window's "Rebuild" (the verification's
// message when the table could not be described); a rebuild that fails is an error.
void command_rebuild(ShellContext& context, const Arguments& arguments) {
    const std::string location = tableLocation(context, arguments[0]);
    JobSession jobs(context);
    jobs.window().setText(Control::TableLocEdit, location);
    jobs.run(Handler::RebuildBtnClick);
    const std::string message = jobs.window().text(Control::MessageLB);
    if (message == "Rebuild was not successful.")
        throw vaq::Error("Rebuild was not successful: " + pdx::lastErrorMessage());
    context.out << message << '\n';
    jobs.finish();
}

}  // namespace vaqdb
