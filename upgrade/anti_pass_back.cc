// The rebuild of AntiPassBack.db into the layout with the autoinc key Pkey.
//
// The rows are copied into tmpdb.DB by the program's own statements, and tmpdb then takes
// the place of the old table. Replacing the old table by deleting it first would leave, for
// a moment, the rows only in tmpdb.DB, whose records were written to the operating system
// but not yet to disk, and a crash there would lose the anti-pass-back rules or leave the
// database without its AntiPassBack table. So the old table is kept until the new one is in
// place:
//
//   1. the rows are copied into tmpdb.DB; the copy is counted against the old table and
//      written to disk (fsync of its files and of the directory);
//   2. the old table is renamed to AntiPassBackOld.db (the engine's rename, which a crash
//      either completes or undoes);
//   3. tmpdb.DB is renamed to AntiPassBack.db;
//   4. AntiPassBackOld.db is deleted.
//
// A crash between 2 and 4 leaves both tables complete. The next upgrade finishes the
// replacement before anything else (finish_interrupted_rebuild): a kept old table beside a
// missing AntiPassBack.db means step 3 had not happened, and tmpdb.DB, complete since
// step 1, is renamed into place; a kept old table beside a rebuilt AntiPassBack.db is
// deleted. The rows are on disk in at least one complete table at every moment.

#include "common/error.h"
#include "db/schema.h"
#include "engine/format/deferred_sync.h"
#include "upgrade/table_files.h"
#include "upgrade/upgrade_form.h"

namespace vaq::upgrade {

namespace schema = db::schema;

namespace {

// Where the old AntiPassBack.db waits while the rebuilt table is put in its place.
constexpr std::string_view kKeptOldTable = "AntiPassBackOld.db";

// Binds a table object to another table for a while; on every way out it names its own
// table again, so that a failed rebuild leaves the window's AntiPassBack object as it was.
class TemporaryBinding {
  public:
    TemporaryBinding(db::Table& table, std::string_view other)
        : table_(table), own_(table.table_name()) {
        table_.close();
        table_.set_table_name(std::string(other));
    }
    ~TemporaryBinding() {
        table_.close();
        table_.set_table_name(own_);
    }
    TemporaryBinding(const TemporaryBinding&) = delete;
    TemporaryBinding& operator=(const TemporaryBinding&) = delete;

  private:
    db::Table& table_;
    std::string own_;
};

}  // namespace

void UpgradeForm::rebuild_anti_pass_back() {
    finish_interrupted_rebuild();
    q1.close();
    q1.set_sql(kAntiPassBackSelect);
    q1.open();
    if (q1.find_field(schema::AntiPassBack::Pkey)) return;
    const std::uint32_t rows = q1.record_count();
    copy_into_tmpdb();
    replace_by_tmpdb(rows);
    AntiPassBack.close();
    AntiPassBack.refresh_field_defs();
    mainDatabase_.close();
    mainDatabase_.open();
}

void UpgradeForm::copy_into_tmpdb() {
    // The copy is written to disk whole, counted, before it takes the old table's place
    // (replace_by_tmpdb); the statements that make it need not each wait for the disk. A
    // crash meanwhile leaves the old table as it was and a tmpdb.DB the next run drops.
    pdx::DeferredSync sync;
    if (table_file_exists(kTmpdbFile)) {
        q1.close();
        q1.clear_sql();
        q1.add_sql(std::string(kDropTmpdb));
        q1.exec_sql();
    }
    q1.close();
    q1.clear_sql();
    for (const std::string_view line : kCreateTmpdbLines)
        q1.add_sql(std::string(line));
    q1.exec_sql();
    q1.close();
    q1.clear_sql();
    for (const std::string_view line : kCopyIntoTmpdbLines)
        q1.add_sql(std::string(line));
    q1.exec_sql();
    sync.finish();
}

std::uint32_t UpgradeForm::tmpdb_record_count() {
    const TemporaryBinding tmpdb(AntiPassBack, kTmpdbObjectName);
    AntiPassBack.open();
    return AntiPassBack.record_count();
}

void UpgradeForm::replace_by_tmpdb(std::uint32_t expectedRows) {
    const std::string table_name = AntiPassBack.table_name();
    const std::uint32_t copied = tmpdb_record_count();
    if (copied != expectedRows)
        throw Error("The copy of " + table_name + " into " + std::string(schema::work::tmpdb) +
                    " holds " + std::to_string(copied) + " rows instead of " +
                    std::to_string(expectedRows) + "; " + table_name + " is left as it was.");
    const auto tmpdbFile = find_table_file(database_directory(), kTmpdbFile);
    if (!tmpdbFile) throw Error("Table does not exist: " + std::string(schema::work::tmpdb));
    flush_table_to_disk(*tmpdbFile);

    AntiPassBack.close();
    AntiPassBack.rename_table(kKeptOldTable);
    AntiPassBack.set_table_name(table_name);
    {
        const TemporaryBinding tmpdb(AntiPassBack, kTmpdbObjectName);
        AntiPassBack.rename_table(table_name);
    }
    db::Table kept(AntiPassBack.alias_name(), std::string(kKeptOldTable), session_);
    kept.delete_table();
}

void UpgradeForm::finish_interrupted_rebuild() {
    const std::filesystem::path directory = database_directory();
    if (!find_table_file(directory, kKeptOldTable)) return;
    db::Table kept(AntiPassBack.alias_name(), std::string(kKeptOldTable), session_);
    AntiPassBack.close();
    const std::string table_name = AntiPassBack.table_name();
    if (!find_table_file(directory, table_name)) {
        // Cut off between the two renames: the complete copy waits in tmpdb.DB; should it
        // be gone, the old table goes back under its name.
        if (!find_table_file(directory, kTmpdbFile)) {
            kept.rename_table(table_name);
            return;
        }
        const TemporaryBinding tmpdb(AntiPassBack, kTmpdbObjectName);
        AntiPassBack.rename_table(table_name);
    }
    AntiPassBack.refresh_field_defs();
    // A kept table beside an AntiPassBack.db that was not rebuilt is not ours to delete;
    // the next rebuild then stops at its rename with the engine's message naming it.
    if (AntiPassBack.find_field(schema::AntiPassBack::Pkey)) kept.delete_table();
}

}  // namespace vaq::upgrade
