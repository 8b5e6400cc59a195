#include <string>
#include <vector>

#include "common/error.h"
#include "engine/api/engine_error.h"
#include "engine/table/cursor.h"
#include "engine/table/table.h"
#include "engine/table/table_name.h"
#include "repair/bde_util.h"
#include "tools/vaqdb/commands.h"
#include "tools/vaqdb/job_session.h"
#include "tutil/auxiliary.h"

namespace vaq::shell {

using vaq::window::Control;
using vaq::window::Handler;

namespace {

std::string table_location(const ShellContext& context, const std::string& table) {
    pdx::check_table_name(table);
    const auto file = pdx::find_table_file(context.directory, table);
    if (!file) throw vaq::Error("Table does not exist: " + table);
    return file->string();
}

// Each finding of the table's last verification, as VERIFY.DB holds it: "Door.DB block 3
// record 2: …", the block and record left out where the finding names none.
std::vector<std::string> verification_findings(const std::string& location) {
    std::vector<std::string> lines;
    const auto findings = pdx::Table::open_file(tutil::auxiliary_folder(location) / "VERIFY.DB");
    for (auto cursor = findings->open_cursor(); !cursor->eof(); cursor->next()) {
        std::string line = cursor->field("File").as_text();
        if (const std::string block = cursor->field("Block").as_text(); !block.empty())
            line += " block " + block;
        if (const std::string record = cursor->field("Record").as_text(); !record.empty())
            line += " record " + record;
        lines.push_back(line + ": " + cursor->field("Problem").as_text());
    }
    return lines;
}

}  // namespace

// .props TABLE: the ten properties the window shows, "Caption value" a line.
void command_props(ShellContext& context, const Arguments& arguments) {
    const std::string location = table_location(context, arguments[0]);
    vaq::repair::TBDEUtil util;
    if (!util.FillProps(location))
        throw vaq::Error("The properties of " + arguments[0] +
                         " cannot be read: " + pdx::last_error_message());
    for (const vaq::repair::PropertyLabel& property : vaq::repair::kPropertyLabels)
        context.out << property.caption << ' '
                    << vaq::repair::property_value(util.TableProps, property.offset) << '\n';
    util.close();
}

// .verify TABLE: the verification's message, through the window's "Verify", then each
// finding the library wrote into VERIFY.DB on a line of its own. A table with findings of
// levels 1 to 4 makes the exit status 2.
void command_verify(ShellContext& context, const Arguments& arguments) {
    const std::string location = table_location(context, arguments[0]);
    JobSession jobs(context);
    jobs.window().set_text(Control::TableLocEdit, location);
    jobs.run(Handler::VerifyBtnClick);
    const std::string message = jobs.window().text(Control::MessageLB);
    // The window leaves its label empty when the library fails; the shell says why.
    if (message.empty())
        throw vaq::Error(arguments[0] + " could not be verified: " + pdx::last_error_message());
    context.out << message << '\n';
    for (const std::string& finding : verification_findings(location))
        context.out << finding << '\n';
    jobs.finish();
    if (message != vaq::repair::verification_message(0)) context.report_status(2);
}

// .rebuild TABLE: the last result text of the window's "Rebuild" (the verification's
// message when the table could not be described), then where the records that left the
// table went, a line each; a table that was not rebuilt is an error naming the cause.
void command_rebuild(ShellContext& context, const Arguments& arguments) {
    const std::string location = table_location(context, arguments[0]);
    JobSession jobs(context);
    jobs.window().set_text(Control::TableLocEdit, location);
    jobs.run(Handler::RebuildBtnClick);
    const std::string message = jobs.window().text(Control::MessageLB);
    const vaq::repair::TableRebuild& outcome = jobs.repair().last_rebuild();
    if (!outcome.rebuilt)
        throw vaq::Error(message + (outcome.cause.empty() ? "" : " " + outcome.cause));
    context.out << message << '\n';
    for (const std::string& note : outcome.notes)
        context.out << note << '\n';
    jobs.finish();
}

}  // namespace vaq::shell
