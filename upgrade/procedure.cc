#include <set>
#include <string>
#include <vector>

#include "common/error.h"
#include "db/schema.h"
#include "engine/format/deferred_sync.h"
#include "engine/table/open_tables.h"
#include "engine/table/table.h"
#include "engine/table/table_lock.h"
#include "engine/table/table_name.h"
#include "upgrade/column_blocks.h"
#include "upgrade/reference_data.h"
#include "upgrade/table_steps.h"
#include "upgrade/upgrade_form.h"

namespace vaq::upgrade {

namespace schema = db::schema;

namespace {

// The first `width` characters of a UTF-8 text. A department name longer than the staff
// table's own Department column is cut to fit, as the access-control program's engine cut
// such texts, rather than stopping the upgrade; the full name stays in Department.db.
std::string fittedTo(std::string text, std::size_t width) {
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
std::vector<std::filesystem::path> upgradedTables(const std::filesystem::path& directory) {
    std::vector<std::filesystem::path> files;
    for (const schema::TableLayout& table : schema::tables()) {
        if (table.group == schema::TableGroup::Work) continue;
        files.push_back(pdx::find_table_file(directory, table.name)
                            .value_or(directory / std::string(table.name)));
    }
    return files;
}

// Which of the tables another program holds: the access-control program by its lock files
// (the directory's own lock file holds every table), another process of ours by its lock.
std::vector<std::string> tablesInUse(const std::filesystem::path& directory) {
    std::vector<std::string> busy;
    for (const std::filesystem::path& file : upgradedTables(directory)) {
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
std::size_t columnWidth(const db::Table& table, std::string_view column) {
    const auto opened = pdx::Table::open(table.directory(), table.tableName());
    return opened->schema().field(column, opened->name()).width();
}

}  // namespace

void UpgradeForm::BitBtn1Click() {
    Personnel.close();
    // Every table is checked before the first change: an upgrade stopped halfway by a table
    // another program holds would leave a database of neither layout.
    const std::vector<std::string> busy = tablesInUse(databaseDirectory());
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
        runTableSteps("T1", "T4");
        runColumnBlock(1);
        runTableSteps("T5", "T14");
        refillDoorStatus();
        for (const int block : {2, 3, 4})
            runColumnBlock(block);
        runTableSteps("T15", "T16");
        for (const int block : {5, 6, 7, 8, 9, 10})
            runColumnBlock(block);
        runTableSteps("T17", "T18");
        for (const int block : {11, 12})
            runColumnBlock(block);
        sync.finish();
    }
    rebuildAntiPassBack();
    {
        pdx::DeferredSync sync;
        copyDepartmentNames();
        refillEventNames();
        refillCardFormats();
        AppendUpgradeLog(kEventTypeUpdatedLog);
        ensureIndexes();
        sync.finish();
    }
    releaseTablesForRepair();
    port_.click(window::Control::BitBtn2);
}

void UpgradeForm::runTableSteps(std::string_view first, std::string_view last) {
    const std::span<const TableStep> steps = tableSteps();
    const auto from = &tableStep(first) - steps.data();
    const auto to = &tableStep(last) - steps.data();
    for (auto at = from; at <= to; ++at) {
        const TableStep& step = steps[static_cast<std::size_t>(at)];
        CreateTableIfMissing(step.fileName, step.lines, step.followUps, step.log);
    }
}

void UpgradeForm::runColumnBlock(int number) {
    const ColumnBlock& block = columnBlock(number);
    for (const AddFieldCall& call : block.addFields)
        AddFieldIfMissing(q1, call.table, call.column, call.type);
    if (block.select.empty()) return;
    Q2.close();
    Q2.setSql(block.select);
    Q2.open();
    for (std::size_t row = 0; row < block.rows.size(); ++row)
        runGroupRow(block, row);
}

void UpgradeForm::runGroupRow(const ColumnBlock& block, std::size_t row) {
    const GroupRow& entry = block.rows[row];
    if (entry.addField) {
        AddFieldIfMissing(q1, entry.addField->table, entry.addField->column, entry.addField->type);
        return;
    }
    if (AlterIfFieldMissing(entry.testedColumn, entry.alter, entry.update, entry.log) &&
        block.reopenAfterAdding) {
        Q2.close();
        Q2.open();
    }
}

void UpgradeForm::refillDoorStatus() {
    q1.setSql(kDeleteDoorStatus);
    q1.execSql();
    q1.setSql(kSelectDoors);
    q1.open();
    q1.first();
    while (!q1.eof()) {
        Q2.setSql(doorStatusInsert(q1.fieldByName(schema::Door::DoorID).asString()));
        Q2.execSql();
        q1.next();
    }
}

void UpgradeForm::refillEventNames() {
    runStatement(q1, kDeleteEvents);
    for (const CodeName& event : eventNames())
        runStatement(q1, eventInsert(event.code, event.name));
}

void UpgradeForm::refillCardFormats() {
    runStatement(q1, kDeleteCardFormats);
    for (const CodeName& format : cardFormats())
        runStatement(q1, cardFormatInsert(format.code, format.name));
}

void UpgradeForm::copyDepartmentNames() {
    Personnel.open();
    Department.open();
    const std::size_t width = columnWidth(Personnel, schema::Personal::Department);
    std::set<std::string> cutNames;
    for (Personnel.first(); !Personnel.eof(); Personnel.next()) {
        const std::int64_t deptId = Personnel.fieldByName(schema::Personal::DeptID).asInteger();
        if (!Department.locate(schema::Department::DeptID, db::LocateValue(deptId))) continue;
        const std::string name = Department.fieldByName(schema::Department::DeptName).asString();
        const std::string fitted = fittedTo(name, width);
        // Each name cut is told once, however many staff members carry it.
        if (fitted != name && cutNames.insert(name).second)
            AppendUpgradeLog("Department name '" + name + "' cut to '" + fitted + "'.");
        Personnel.edit();
        Personnel.setFieldText(schema::Personal::Department, fitted);
        Personnel.post();
    }
}

void UpgradeForm::ensureIndexes() {
    for (const schema::EnsuredIndex& step : schema::ensuredIndexes()) {
        db::Table& table = tableObject(step.tableObject);
        if (!IndexExists(table, step.testedName)) CreateIndex(table, step.createdName, step.column);
    }
}

// The repair that follows verifies and rebuilds every table of the database, replacing
// their files; a table or a result still open here would be in use while that happens.
void UpgradeForm::releaseTablesForRepair() {
    q1.close();
    Q2.close();
    Personnel.close();
    Department.close();
}

}  // namespace vaq::upgrade
