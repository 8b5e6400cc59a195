#pragma once

// The repair of the main window: choosing one table (by alias and name, or by its file),
// verifying and rebuilding it with the table-utility library, the rebuild of every table of
// the alias VAQ ("Rebuild Index", "Rebuild and Fix All") and the backup of the database
// directory. Each run leaves its result text in the hidden label MessageLB; the batch adds
// the last one to the upgrade log Memo1 and shows it.
//
// Library results other than 0 become message texts; engine errors (alias list, table list,
// sessions, callback registration) are raised and end the operation, with the cursor restored
// and the progress callback removed on the way out.

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "db/database.h"
#include "db/session.h"
#include "port/window_port.h"
#include "repair/bde_util.h"

namespace vaq::repair {

// One reading of the local date and time.
struct LocalTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

LocalTime read_local_clock();

// The name of a backup folder taken at `time`: "20050321 093005".
std::string backup_folder_name(const LocalTime& time);

// What one table's rebuild came to.
struct TableRebuild {
    // The library could describe the table, so its rebuild was tried.
    bool tried = false;
    bool rebuilt = false;
    // Why the table was not described or not rebuilt, as the library said.
    std::string cause;
    // Where the records that left the table went and the indexes it dropped ("43 records
    // could not be kept in Transact.db; they are in PROBLEM.DB in <folder>."), one sentence
    // each; empty when nothing left the table or it was not rebuilt.
    std::vector<std::string> notes;
};

// The warning that names the tables a batch did not rebuild, one a line.
std::string not_rebuilt_message(const std::vector<std::string>& not_rebuilt);

class RepairForm {
  public:
    // `session1` lists aliases and tables; `main_database` (MainDB on VAQ) gives the database
    // directory that a backup copies. `clock` is read once per backup.
    RepairForm(window::WindowPort& port, db::Session& session1, db::Database& main_database,
               std::function<LocalTime()> clock = read_local_clock, UtilityLibrary library = {});
    ~RepairForm();
    RepairForm(const RepairForm&) = delete;
    RepairForm& operator=(const RepairForm&) = delete;

    // ---- the window's start and end ----
    // The start-up steps of the repair, in order: the alias list, then BDEUtil.
    void FormCreate();
    // Frees BDEUtil, closing its session; raises when the library refuses to close it.
    void FormDestroy();

    // ---- session, progress and properties ----
    void ClearProgress();
    void ResetPropLabels();
    void ShowTableProps();

    // ---- one table ----
    void FillAliasList();
    void AliasComboChange();
    void TableComboChange();
    void SelectTable();
    void ByDirectBtnClick();
    void ClearLocation();
    void SetLocation(const std::string& path);
    void VerifyBtnClick();
    // Rebuilds the table of TableLocEdit (rebuild_table) and shows the result in MessageLB.
    void RebuildBtnClick();
    // Verifies, then rebuilds the table at `location` with the progress bars running; what
    // the window shows of it is up to the caller.
    TableRebuild rebuild_table(const std::string& location);

    // ---- every table ----
    void BitBtn2Click();
    void Button1Click();
    void BackupDatabase();

    std::unique_ptr<TBDEUtil> BDEUtil;

    // Called when a run over every table leaves tables not rebuilt (listed in a box), so that
    // a caller without a screen can tell that the run did not do everything.
    void on_step_failed(std::function<void()> handler) { stepFailed_ = std::move(handler); }
    // What the last RebuildBtnClick came to.
    const TableRebuild& last_rebuild() const { return lastRebuild_; }
    // The tables the last "Rebuild Index" did not rebuild, each with the result text and its
    // cause ("Door.DB: Rebuild was not successful. Table is busy: Door.DB.").
    const std::vector<std::string>& not_rebuilt() const { return notRebuilt_; }

  private:
    TBDEUtil& utility();
    // The verify step shared by verify and rebuild: the level's message into MessageLB when
    // the library answers 0, nothing otherwise.
    void verify_into(const std::string& location);
    // Runs `work` with the progress callback registered, removing it on every way out.
    void with_progress(const std::function<void()>& work);
    // The alias VAQ, its tables, each one rebuilt; returns a line for each table whose
    // rebuild did not succeed ("Door.DB: Rebuild was not successful.").
    std::vector<std::string> rebuild_every_table();
    // The last table's result into the log and a box, with its cause in the log when it was
    // not rebuilt, and after it the notes of every table of the batch (where records went);
    // then, when some tables were not rebuilt, a warning box that names them with their
    // causes, so that an earlier table's failure is not hidden behind the last table's
    // success.
    void report_last_result(const std::vector<std::string>& not_rebuilt);
    std::filesystem::path backup_root() const;

    window::WindowPort& port_;
    db::Session& session1_;
    db::Database& mainDatabase_;
    std::function<LocalTime()> clock_;
    UtilityLibrary library_;
    std::function<void()> stepFailed_;
    TableRebuild lastRebuild_;
    // The notes of every table of the batch that runs.
    std::vector<std::string> batchNotes_;
    std::vector<std::string> notRebuilt_;
};

}  // namespace vaq::repair
