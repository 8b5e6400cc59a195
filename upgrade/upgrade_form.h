#pragma once

// The upgrade of the main window ("Upgrade DataBase"): the objects of the window it works
// with, its six primitives, and the procedure that brings an older VAQ database to the
// 3.2.1 layout.
//
// Every change is tested first (a table by its file, a column by the field list of a select,
// an index by the table's list of named indexes, letter case ignored everywhere), so a second
// run changes no layout. The statements and log lines are fixed texts (statements.h,
// table_steps.h, column_blocks.h, reference_data.h). Nothing is caught except in CreateIndex:
// an error ends the run at the failing statement, and what was done before stays done. A
// step of several statements that an error cut off is done again by the next run
// (step_record.h).

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "db/database.h"
#include "db/query.h"
#include "db/session.h"
#include "db/table.h"
#include "port/window_port.h"
#include "upgrade/statements.h"

namespace vaq::upgrade {

struct AddFieldCall;
struct ColumnBlock;
struct GroupRow;
struct TableStep;

class UpgradeForm {
  public:
    // `main_database` is the window's connection MainDB; its directory is the database
    // directory. Query and table objects work on the alias VAQ of `session`.
    UpgradeForm(window::WindowPort& port, db::Database& main_database,
                db::Session& session = db::default_session());
    UpgradeForm(const UpgradeForm&) = delete;
    UpgradeForm& operator=(const UpgradeForm&) = delete;

    // ---- handlers ----
    // "Upgrade DataBase": the whole procedure, ending with a press of "Rebuild Index".
    void BitBtn1Click();
    // The hidden Button3: adds StaffID to Personal.DB when it lacks it.
    void Button3Click();

    // ---- primitives ----
    // Appends the message and CR LF to the upgrade log Memo1.
    void AppendUpgradeLog(std::string_view message);
    // Creates a table whose file ("\NAME.db") is missing from the database directory:
    // the statement lines through q1, then each follow-up statement, then the log line.
    void CreateTableIfMissing(std::string_view fileName, std::span<const std::string_view> lines,
                              std::span<const std::string_view> followUps, OptionalText log);
    // Adds column `column` of type `type` to `table` when a select over the table lacks it,
    // and logs the generic line. The query object stays open on the select when the column
    // is there.
    void AddFieldIfMissing(db::Query& query, std::string_view table, std::string_view column,
                           std::string_view type);
    // Tests the column against the select open in Q2; when missing runs the ALTER, then the
    // UPDATE and the log line when given. True when the column was added.
    bool AlterIfFieldMissing(std::string_view column, std::string_view alter, OptionalText update,
                             OptionalText log);
    // True when the table has a named secondary index `index` (letter case ignored). Every
    // named index listed before it is deleted, all of them when it is missing; the names
    // read go into ListBox1.
    bool IndexExists(db::Table& table, std::string_view index);
    // Creates the index; an error is shown in a message box instead of ending the run.
    // True when the index was created.
    bool CreateIndex(db::Table& table, std::string_view index, std::string_view columns);

    // ---- parts of the procedure, in its order ----
    void run_table_steps(std::string_view first, std::string_view last);
    void run_column_block(int number);
    void refill_door_status();
    void rebuild_anti_pass_back();
    void copy_department_names();
    void refill_event_names();
    void refill_card_formats();
    void ensure_indexes();

    // ---- the objects of the window ----
    db::Query q1;
    db::Query Q2;
    db::Table Personnel;
    db::Table Department;
    db::Table AntiPassBack;
    db::Table DeptTimeTbl;
    db::Table WorkOn;
    db::Table Leave;
    db::Table SecurityMaster;
    db::Table Holiday;
    db::Table Transaction;
    db::Table EmailAlert;
    db::Table ActiveRelay;

    // The table object of that name ("Leave"); throws vaq::Error for another name.
    db::Table& table_object(std::string_view name);

    // Called for each step that fails while the run goes on (an index CreateIndex could not
    // create, shown in a box), so that a caller without a screen can tell that the run did
    // not do everything.
    void on_step_failed(std::function<void()> handler) { stepFailed_ = std::move(handler); }

  private:
    std::filesystem::path database_directory() const;
    // The file test of the table steps: "\NAME.db" in the database directory, letter case
    // ignored.
    bool table_file_exists(std::string_view fileName) const;
    void run_statement(db::Query& query, std::string_view statement);
    // The column steps of a block (procedure.cc): its AddFieldIfMissing calls, or the rows of
    // its column group; a run of missing columns of one table is added by one ALTER.
    struct ColumnStep;
    std::vector<ColumnStep> column_steps(const ColumnBlock& block, bool groupRows) const;
    void run_column_steps(const ColumnBlock& block, std::span<const ColumnStep> steps);
    void run_column_step(const ColumnBlock& block, const ColumnStep& step);
    void add_columns_together(std::span<const ColumnStep> run);
    // The parts of the anti-pass-back rebuild that keep its rows safe (anti_pass_back.cc).
    void finish_interrupted_rebuild();
    void copy_into_tmpdb();
    std::uint32_t tmpdb_record_count();
    void replace_by_tmpdb(std::uint32_t expectedRows);
    // Closes what the procedure leaves open before the repair rebuilds every table.
    void release_tables_for_repair();

    window::WindowPort& port_;
    db::Database& mainDatabase_;
    db::Session& session_;
    std::function<void()> stepFailed_;
};

}  // namespace vaq::upgrade
