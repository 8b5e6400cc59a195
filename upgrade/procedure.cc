#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common/error.h"
#include "common/text.h"
#include "db/schema.h"
#include "engine/format/deferred_sync.h"
#include "engine/table/open_tables.h"
#include "engine/table/table.h"
#include "engine/table/table_lock.h"
#include "engine/table/table_name.h"
#include "upgrade/column_blocks.h"
#include "upgrade/column_run.h"
#include "upgrade/reference_data.h"
#include "upgrade/step_record.h"
#include "upgrade/table_steps.h"
#include "upgrade/upgrade_form.h"

namespace vaq::upgrade {

namespace schema = db::schema;

namespace {

// The first `width` characters of a UTF-8 text. A department name longer than the staff
// table's own Department column is cut to fit, as the access-control program's engine cut
// such texts, rather than stopping the upgrade; the full name stays in Department.db.
std::string fitted_to(std::string text, std::size_t width) {
    std::size_t characters = 0;
    for (std::size_t at = 0; at < text.size(); ++at) {
        const auto byte = static_cast<unsigned char>(text[at]);
        if ((byte & 0xC0) == 0x80) continue;
        if (characters++ == width) {
            text.resize(at);
            break;
        }
    }
    return text;
}

// The tables of the database that an upgrade may change, as found in `directory`; for a
// table still to be created, the name it will have.
std::vector<std::filesystem::path> upgraded_tables(const std::filesystem::path& directory) {
    std::vector<std::filesystem::path> files;
    for (const schema::TableLayout& table : schema::tables()) {
        if (table.group == schema::TableGroup::kWork) continue;
        files.push_back(pdx::find_table_file(directory, table.name)
                            .value_or(directory / std::string(table.name)));
    }
    return files;
}

// Which of the tables another program holds: the access-control program by its lock files
// (the directory's own lock file holds every table), another process of ours by its lock.
std::vector<std::string> tables_in_use(const std::filesystem::path& directory) {
    std::vector<std::string> busy;
    for (const std::filesystem::path& file : upgraded_tables(directory)) {
        try {
            pdx::check_not_open_in_paradox(file);
            if (std::filesystem::exists(file) && !pdx::is_table_open(file))
                pdx::TableLock::acquire(file, pdx::TableLock::Mode::kExclusive);
        } catch (const Error&) {
            busy.push_back(file.filename().string());
        }
    }
    return busy;
}

// The width of a text column as the table stores it.
std::size_t column_width(const db::Table& table, std::string_view column) {
    const auto opened = pdx::Table::open(table.directory(), table.table_name());
    return opened->schema().field(column, opened->name()).width();
}

}  // namespace

void UpgradeForm::BitBtn1Click() {
    Personnel.close();
    // Every table is checked before the first change: an upgrade stopped halfway by a table
    // another program holds would leave a database of neither layout.
    const std::vector<std::string> busy = tables_in_use(database_directory());
    if (!busy.empty()) {
        std::string names;
        for (const std::string& name : busy)
            names += (names.empty() ? "" : ", ") + name;
        throw Error("Nothing was upgraded: tables in use by another program: " + names);
    }
    // The changes wait for the disk once before the anti-pass-back rebuild and once after it
    // (deferred_sync.h), not once for each of the hundred or so columns and tables added: a
    // process killed meanwhile still leaves every table old or new. The rebuild itself
    // deletes the old table only once the copy is on disk, so it flushes for itself, after
    // everything before it is on disk.
    {
        pdx::DeferredSync sync;
        run_table_steps("T1", "T4");
        run_column_block(1);
        run_table_steps("T5", "T14");
        refill_door_status();
        for (const int block : {2, 3, 4})
            run_column_block(block);
        run_table_steps("T15", "T16");
        for (const int block : {5, 6, 7, 8, 9, 10})
            run_column_block(block);
        run_table_steps("T17", "T18");
        for (const int block : {11, 12})
            run_column_block(block);
        sync.finish();
    }
    rebuild_anti_pass_back();
    {
        pdx::DeferredSync sync;
        copy_department_names();
        refill_event_names();
        refill_card_formats();
        AppendUpgradeLog(kEventTypeUpdatedLog);
        ensure_indexes();
        sync.finish();
    }
    release_tables_for_repair();
    port_.click(window::Control::BitBtn2);
}

void UpgradeForm::run_table_steps(std::string_view first, std::string_view last) {
    const std::span<const TableStep> steps = table_steps();
    const auto from = &table_step(first) - steps.data();
    const auto to = &table_step(last) - steps.data();
    for (auto at = from; at <= to; ++at) {
        const TableStep& step = steps[static_cast<std::size_t>(at)];
        CreateTableIfMissing(step.fileName, step.lines, step.followUps, step.log);
    }
}

// One column of a block: an AddFieldIfMissing call (blocks 1 and 2, or a row naming one) or
// a row tested against the group's select.
struct UpgradeForm::ColumnStep {
    const AddFieldCall* call = nullptr;
    const GroupRow* row = nullptr;
    std::string alter;  // the statement that adds the column
    OptionalText update;
    std::optional<std::string> log;
    std::optional<AlterParts> parts;
    std::optional<std::filesystem::path> table_file;  // the table it adds to, when found
};

namespace {

// The table file an ALTER adds to, found the way the engine finds it. Nothing when the
// statement or the name is of another shape: the step then runs alone and meets whatever
// the engine says about it.
std::optional<std::filesystem::path> altered_table(const std::filesystem::path& directory,
                                                   const std::optional<AlterParts>& parts) {
    if (!parts) return std::nullopt;
    try {
        return pdx::find_table_file(directory, parts->table);
    } catch (const Error&) {
        return std::nullopt;  // a name the engine refuses; the statement alone reports it
    }
}

bool contains_ignoring_case(const std::vector<std::string_view>& names, std::string_view name) {
    for (const std::string_view each : names)
        if (iequals(each, name)) return true;
    return false;
}

}  // namespace

std::vector<UpgradeForm::ColumnStep> UpgradeForm::column_steps(const ColumnBlock& block,
                                                               bool groupRows) const {
    std::vector<ColumnStep> steps;
    const auto addCall = [&](const AddFieldCall& call, const GroupRow* row) {
        ColumnStep step;
        step.call = &call;
        step.row = row;
        step.alter = add_field_alter(call.table, call.column, call.type);
        step.log = add_field_log(call.column);
        steps.push_back(std::move(step));
    };
    if (!groupRows) {
        for (const AddFieldCall& call : block.addFields)
            addCall(call, nullptr);
    } else {
        for (const GroupRow& row : block.rows) {
            if (row.add_field) {
                addCall(*row.add_field, &row);
                continue;
            }
            ColumnStep step;
            step.row = &row;
            step.alter = std::string(row.alter);
            step.update = row.update;
            if (row.log) step.log = std::string(*row.log);
            steps.push_back(std::move(step));
        }
    }
    for (ColumnStep& step : steps) {
        step.parts = split_alter(step.alter);
        step.table_file = altered_table(database_directory(), step.parts);
    }
    return steps;
}

void UpgradeForm::run_column_block(int number) {
    const ColumnBlock& block = column_block(number);
    run_column_steps(block, column_steps(block, false));
    if (block.select.empty()) return;
    Q2.close();
    Q2.set_sql(block.select);
    Q2.open();
    run_column_steps(block, column_steps(block, true));
}

void UpgradeForm::run_column_steps(const ColumnBlock& block, std::span<const ColumnStep> steps) {
    for (std::size_t first = 0; first < steps.size();) {
        std::size_t end = first + 1;
        // Block 7 reads its select again after its column; it has one column anyway.
        if (steps[first].table_file && !block.reopenAfterAdding) {
            while (end < steps.size() && steps[end].table_file == steps[first].table_file)
                ++end;
        }
        if (end - first == 1)
            run_column_step(block, steps[first]);
        else
            add_columns_together(steps.subspan(first, end - first));
        first = end;
    }
}

void UpgradeForm::run_column_step(const ColumnBlock& block, const ColumnStep& step) {
    if (step.call) {
        AddFieldIfMissing(q1, step.call->table, step.call->column, step.call->type);
        return;
    }
    if (AlterIfFieldMissing(step.row->testedColumn, step.row->alter, step.row->update,
                            step.row->log) &&
        block.reopenAfterAdding) {
        Q2.close();
        Q2.open();
    }
}

// The columns of `run` (one table) that are missing, added by one ALTER, then their UPDATEs
// and log lines in the order of the block. The tests are those of the single steps: a row
// against the field list of the group's select, an AddFieldIfMissing call against a select
// of its own, which sees the columns added by the calls before it. A run cut off between its
// ALTER and the last UPDATE is filled whole by the next run (step_record.h).
void UpgradeForm::add_columns_together(std::span<const ColumnStep> run) {
    enum class Action { kNone, kAdd, kFill };
    std::vector<Action> actions(run.size(), Action::kNone);
    std::vector<std::string_view> added;
    std::vector<std::string_view> definitions;
    std::vector<std::string_view> unfilled;
    const AlterParts* firstAdded = nullptr;  // its table as written heads the one ALTER
    StepRecord record(database_directory());
    bool selectOpen = false;
    for (std::size_t at = 0; at < run.size(); ++at) {
        const ColumnStep& step = run[at];
        bool present = false;
        if (step.call) {
            if (!selectOpen) {
                q1.close();
                q1.set_sql(add_field_select(step.call->table));
                q1.open();
                selectOpen = true;
            }
            present = q1.find_field(step.call->column) ||
                      contains_ignoring_case(added, step.call->column);
        } else {
            present = Q2.find_field(step.row->testedColumn);
        }
        if (!present) {
            actions[at] = Action::kAdd;
            if (!firstAdded) firstAdded = &*step.parts;
            added.push_back(step.parts->column);
            definitions.push_back(step.parts->definition);
            if (step.update) unfilled.push_back(step.alter);
        } else if (step.update && record.is_unfinished(step.alter)) {
            actions[at] = Action::kFill;
            unfilled.push_back(step.alter);
        }
    }
    if (firstAdded) {
        if (!unfilled.empty()) record.begin(std::span<const std::string_view>(unfilled));
        run_statement(q1, joined_alter(firstAdded->head, definitions));
    }
    for (std::size_t at = 0; at < run.size(); ++at)
        if (actions[at] != Action::kNone && run[at].update) run_statement(q1, *run[at].update);
    if (!unfilled.empty()) record.finish();
    for (std::size_t at = 0; at < run.size(); ++at)
        if (actions[at] != Action::kNone && run[at].log) AppendUpgradeLog(*run[at].log);
}

void UpgradeForm::refill_door_status() {
    q1.set_sql(kDeleteDoorStatus);
    q1.exec_sql();
    q1.set_sql(kSelectDoors);
    q1.open();
    q1.first();
    std::vector<std::string> inserts;
    while (!q1.eof()) {
        inserts.push_back(door_status_insert(q1.field_by_name(schema::Door::DoorID).as_string()));
        q1.next();
    }
    if (inserts.empty()) return;
    Q2.set_sql(joined_insert(inserts));
    Q2.exec_sql();
}

void UpgradeForm::refill_event_names() {
    run_statement(q1, kDeleteEvents);
    std::vector<std::string> inserts;
    for (const CodeName& event : event_names())
        inserts.push_back(event_insert(event.code, event.name));
    if (!inserts.empty()) run_statement(q1, joined_insert(inserts));
}

void UpgradeForm::refill_card_formats() {
    run_statement(q1, kDeleteCardFormats);
    std::vector<std::string> inserts;
    for (const CodeName& format : card_formats())
        inserts.push_back(card_format_insert(format.code, format.name));
    if (!inserts.empty()) run_statement(q1, joined_insert(inserts));
}

void UpgradeForm::copy_department_names() {
    Personnel.open();
    Department.open();
    const std::size_t width = column_width(Personnel, schema::Personal::Department);
    std::set<std::string> cutNames;
    for (Personnel.first(); !Personnel.eof(); Personnel.next()) {
        const std::int64_t deptId = Personnel.field_by_name(schema::Personal::DeptID).as_integer();
        if (!Department.locate(schema::Department::DeptID, db::LocateValue(deptId))) continue;
        const std::string name = Department.field_by_name(schema::Department::DeptName).as_string();
        const std::string fitted = fitted_to(name, width);
        // Each name cut is told once, however many staff members carry it.
        if (fitted != name && cutNames.insert(name).second)
            AppendUpgradeLog("Department name '" + name + "' cut to '" + fitted + "'.");
        Personnel.edit();
        Personnel.set_field_text(schema::Personal::Department, fitted);
        Personnel.post();
    }
}

void UpgradeForm::ensure_indexes() {
    for (const schema::EnsuredIndex& step : schema::ensured_indexes()) {
        db::Table& table = table_object(step.table_object);
        if (!IndexExists(table, step.tested_name))
            CreateIndex(table, step.created_name, step.column);
    }
}

// The repair that follows verifies and rebuilds every table of the database, replacing
// their files; a table or a result still open here would be in use while that happens.
void UpgradeForm::release_tables_for_repair() {
    q1.close();
    Q2.close();
    Personnel.close();
    Department.close();
}

}  // namespace vaq::upgrade
