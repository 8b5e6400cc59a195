#include <exception>
#include <regex>

#include "common/error.h"
#include "common/text.h"
#include "db/schema.h"
#include "engine/sql/sql_error.h"
#include "engine/table/table_admin.h"
#include "upgrade/step_record.h"
#include "upgrade/table_files.h"
#include "upgrade/upgrade_form.h"

namespace vaq::upgrade {

namespace schema = db::schema;

namespace {

constexpr std::string_view kAlias = "VAQ";

// The table a table object of the window is bound to ("WorkON.DB" for WorkOn).
std::string bound_table(std::string_view object) {
    for (const schema::TableObject& entry : schema::table_objects())
        if (entry.object == object) return std::string(entry.table_name);
    throw Error("The window has no table object " + std::string(object) + ".");
}

}  // namespace

UpgradeForm::UpgradeForm(window::WindowPort& port, db::Database& main_database,
                         db::Session& session)
    : q1(std::string(kAlias), session),
      Q2(std::string(kAlias), session),
      Personnel(std::string(kAlias), bound_table("Personnel"), session),
      Department(std::string(kAlias), bound_table("Department"), session),
      AntiPassBack(std::string(kAlias), bound_table("AntiPassBack"), session),
      DeptTimeTbl(std::string(kAlias), bound_table("DeptTimeTbl"), session),
      WorkOn(std::string(kAlias), bound_table("WorkOn"), session),
      Leave(std::string(kAlias), bound_table("Leave"), session),
      SecurityMaster(std::string(kAlias), bound_table("SecurityMaster"), session),
      Holiday(std::string(kAlias), bound_table("Holiday"), session),
      Transaction(std::string(kAlias), bound_table("Transaction"), session),
      EmailAlert(std::string(kAlias), bound_table("EmailAlert"), session),
      ActiveRelay(std::string(kAlias), bound_table("ActiveRelay"), session),
      port_(port),
      mainDatabase_(main_database),
      session_(session) {}

db::Table& UpgradeForm::table_object(std::string_view name) {
    struct Entry {
        std::string_view name;
        db::Table UpgradeForm::*object;
    };
    static constexpr Entry kObjects[] = {
        {"Personnel", &UpgradeForm::Personnel},
        {"Department", &UpgradeForm::Department},
        {"AntiPassBack", &UpgradeForm::AntiPassBack},
        {"DeptTimeTbl", &UpgradeForm::DeptTimeTbl},
        {"WorkOn", &UpgradeForm::WorkOn},
        {"Leave", &UpgradeForm::Leave},
        {"SecurityMaster", &UpgradeForm::SecurityMaster},
        {"Holiday", &UpgradeForm::Holiday},
        {"Transaction", &UpgradeForm::Transaction},
        {"EmailAlert", &UpgradeForm::EmailAlert},
        {"ActiveRelay", &UpgradeForm::ActiveRelay},
    };
    for (const Entry& entry : kObjects)
        if (entry.name == name) return this->*entry.object;
    throw Error("The upgrade has no table object " + std::string(name) + ".");
}

namespace {

// The upgrade's statements are its own, fixed texts: where in them the engine stopped
// ("(line 1, column 15)") tells the user nothing, what it found wrong does.
void execute_without_position(db::Query& query) {
    try {
        query.exec_sql();
    } catch (const pdx::sql::SqlError& error) {
        static const std::regex kPosition(R"( ?\(line \d+, column \d+\))");
        throw Error(std::regex_replace(std::string(error.what()), kPosition, ""));
    }
}

}  // namespace

std::filesystem::path UpgradeForm::database_directory() const {
    return mainDatabase_.directory();
}

bool UpgradeForm::table_file_exists(std::string_view fileName) const {
    return find_table_file(database_directory(), fileName).has_value();
}

void UpgradeForm::run_statement(db::Query& query, std::string_view statement) {
    query.close();
    query.set_sql(statement);
    execute_without_position(query);
}

void UpgradeForm::AppendUpgradeLog(std::string_view message) {
    std::string line(message);
    line += "\r\n";
    port_.append_text(window::Control::Memo1, line);
}

void UpgradeForm::CreateTableIfMissing(std::string_view fileName,
                                       std::span<const std::string_view> lines,
                                       std::span<const std::string_view> followUps,
                                       OptionalText log) {
    StepRecord steps(database_directory());
    const bool severalStatements = !followUps.empty();
    if (const auto existing = find_table_file(database_directory(), fileName)) {
        if (!severalStatements || !steps.is_unfinished(fileName)) return;
        // An earlier run created the table and stopped before its rows or its index: the
        // table holds nothing else, so it is made again whole.
        q1.close();
        pdx::delete_table(database_directory(), existing->filename().string());
    }
    if (severalStatements) steps.begin(fileName);
    q1.close();
    q1.clear_sql();
    for (const std::string_view line : lines)
        q1.add_sql(std::string(line));
    execute_without_position(q1);
    for (const std::string_view statement : followUps)
        run_statement(q1, statement);
    if (severalStatements) steps.finish();
    if (log) AppendUpgradeLog(*log);
}

void UpgradeForm::AddFieldIfMissing(db::Query& query, std::string_view table,
                                    std::string_view column, std::string_view type) {
    query.close();
    query.set_sql(add_field_select(table));
    query.open();
    if (query.find_field(column)) return;
    run_statement(query, add_field_alter(table, column, type));
    AppendUpgradeLog(add_field_log(column));
}

bool UpgradeForm::AlterIfFieldMissing(std::string_view column, std::string_view alter,
                                      OptionalText update, OptionalText log) {
    StepRecord steps(database_directory());
    if (Q2.find_field(column)) {
        // An earlier run added the column and stopped before the UPDATE that fills it.
        if (update && steps.is_unfinished(alter)) {
            run_statement(q1, *update);
            steps.finish();
            if (log) AppendUpgradeLog(*log);
        }
        return false;
    }
    if (update) steps.begin(alter);
    run_statement(q1, alter);
    if (update) {
        run_statement(q1, *update);
        steps.finish();
    }
    if (log) AppendUpgradeLog(*log);
    return true;
}

bool UpgradeForm::IndexExists(db::Table& table, std::string_view index) {
    const std::vector<std::string> names = table.index_names();
    port_.set_items(window::Control::ListBox1, names);
    for (const std::string& name : names) {
        if (iequals(name, index)) return true;
        table.delete_index(name);
    }
    return false;
}

bool UpgradeForm::CreateIndex(db::Table& table, std::string_view index, std::string_view columns) {
    try {
        table.close();
        db::Query query(std::string(kAlias), session_);
        query.clear_sql();
        query.add_sql(create_index_statement(table.table_name(), index, columns));
        query.exec_sql();
        AppendUpgradeLog(create_index_log(table.table_name()));
        return true;
    } catch (const std::exception& error) {
        // The run goes on with its next step; the box tells the user why this index is
        // missing.
        port_.show_message(window::MessageBox{error.what(), {}, window::BoxIcon::kNone});
        if (stepFailed_) stepFailed_();
        return false;
    }
}

void UpgradeForm::Button3Click() {
    AddFieldIfMissing(q1, "Personal", schema::Personal::StaffID, "Char(20)");
}

}  // namespace vaq::upgrade
