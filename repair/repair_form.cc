#include "repair/repair_form.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <system_error>
#include <vector>

#include "common/error.h"
#include "engine/api/dbi.h"
#include "engine/api/engine_error.h"
#include "tutil/rebuild_runs.h"
#include "tutil/tutil.h"

namespace vaq::repair {

namespace fs = std::filesystem;
using window::BoxIcon;
using window::Control;

namespace {

constexpr char kDriverType[] = "PARADOX";
constexpr char kBatchAlias[] = "VAQ";
constexpr char kRebuilt[] = "Rebuild was successful.";

// Copies `text` into a fixed field of a library record, NUL included.
template <std::size_t N>
void copy_field(char (&field)[N], std::string_view text) {
    std::memcpy(field, text.data(), text.size());
    field[text.size()] = '\0';
}

using DescriptionCounts = std::array<std::uint16_t, 7>;

// A CRTblDesc for the table at `location` with its seven arrays sized from the library's
// counts (fields, indexes, security, validity checks, references, optional parameters,
// optional-data units); the arrays go with the object on every way out of the rebuild.
class RebuildDescription {
  public:
    RebuildDescription(const std::string& location, const DescriptionCounts& counts) {
        // A longer path would be cut in the record and name another file.
        if (location.size() >= sizeof desc_.szTblName)
            throw Error("The table location is longer than " +
                        std::to_string(sizeof desc_.szTblName - 1) +
                        " characters, so the table cannot be rebuilt: " + location);
        copy_field(desc_.szTblName, location);
        copy_field(desc_.szTblType, kDriverType);
        copy_field(desc_.szErrTblName, "Rebuild.DB");
        desc_.iFldCount = counts[0];
        desc_.iIdxCount = counts[1];
        desc_.iSecRecCount = counts[2];
        desc_.iValChkCount = counts[3];
        desc_.iRintCount = counts[4];
        desc_.iOptParams = counts[5];
        // The optional-data units size their array and are stored nowhere.
        desc_.pfldDesc = allocate(fields_, counts[0]);
        desc_.pidxDesc = allocate(indexes_, counts[1]);
        desc_.psecDesc = allocate(security_, counts[2]);
        desc_.pvchkDesc = allocate(validityChecks_, counts[3]);
        desc_.printDesc = allocate(references_, counts[4]);
        desc_.pfldOptParams = allocate(optionalParameters_, counts[5]);
        desc_.pOptData = allocate(optionalData_, std::size_t{counts[6]} * tutil::kOptionalDataUnit);
    }
    RebuildDescription(const RebuildDescription&) = delete;
    RebuildDescription& operator=(const RebuildDescription&) = delete;

    tutil::CRTblDesc* record() { return &desc_; }

  private:
    // Zero elements give a null array.
    template <typename T>
    static T* allocate(std::vector<T>& array, std::size_t count) {
        array.resize(count);
        return array.empty() ? nullptr : array.data();
    }

    tutil::CRTblDesc desc_{};
    std::vector<tutil::FLDDesc> fields_;
    std::vector<tutil::IDXDesc> indexes_;
    std::vector<tutil::SECDesc> security_;
    std::vector<tutil::VCHKDesc> validityChecks_;
    std::vector<tutil::RINTDesc> references_;
    std::vector<tutil::FLDDesc> optionalParameters_;
    std::vector<std::uint8_t> optionalData_;
};

}  // namespace

LocalTime read_local_clock() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local) == nullptr)
        throw Error("The local date and time cannot be read for the backup folder's name");
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
            local.tm_hour,        local.tm_min,     local.tm_sec};
}

std::string backup_folder_name(const LocalTime& time) {
    char name[64];
    std::snprintf(name, sizeof name, "%d%02d%02d %02d%02d%02d", time.year, time.month, time.day,
                  time.hour, time.minute, time.second);
    return name;
}

std::string not_rebuilt_message(const std::vector<std::string>& not_rebuilt) {
    std::string text = "These tables were not rebuilt:";
    for (const std::string& line : not_rebuilt)
        text += "\n" + line;
    return text;
}

RepairForm::RepairForm(window::WindowPort& port, db::Session& session1, db::Database& main_database,
                       std::function<LocalTime()> clock, UtilityLibrary library)
    : port_(port),
      session1_(session1),
      mainDatabase_(main_database),
      clock_(std::move(clock)),
      library_(library) {}

RepairForm::~RepairForm() = default;

// ---- the window's start and end ----

void RepairForm::FormCreate() {
    FillAliasList();
    BDEUtil = std::make_unique<TBDEUtil>(library_);
    BDEUtil->ProgressRec.window = &port_;
}

void RepairForm::FormDestroy() {
    if (!BDEUtil) return;
    const std::unique_ptr<TBDEUtil> util = std::move(BDEUtil);
    util->close();
}

TBDEUtil& RepairForm::utility() {
    if (!BDEUtil)
        throw Error(
            "The table-utility session was not started with the window, so no table can be "
            "verified or rebuilt");
    return *BDEUtil;
}

// ---- session, progress and properties ----

void RepairForm::ClearProgress() {
    port_.set_text(Control::MessageLB, "");
    for (Control bar : {Control::PBHeader, Control::PBIndexes, Control::PBData, Control::PBRebuild})
        port_.set_position(bar, 0);
}

void RepairForm::ResetPropLabels() {
    for (const PropertyLabel& property : kPropertyLabels)
        port_.set_text(property.label, "0");
}

void RepairForm::ShowTableProps() {
    TBDEUtil& util = utility();
    if (!util.FillProps(port_.text(Control::TableLocEdit))) return;
    for (const PropertyLabel& property : kPropertyLabels)
        port_.set_text(property.label,
                       std::to_string(property_value(util.TableProps, property.offset)));
}

// ---- one table ----

void RepairForm::FillAliasList() {
    port_.set_items(Control::AliasCombo, {});
    port_.set_items(Control::AliasCombo, session1_.standard_alias_names());
}

void RepairForm::AliasComboChange() {
    std::vector<std::string> tables;
    session1_.get_table_names(port_.text(Control::AliasCombo), "*.*", true, false, tables);
    port_.set_items(Control::TableCombo, tables);
    ClearProgress();
    ResetPropLabels();
    ClearLocation();
}

void RepairForm::TableComboChange() {
    SelectTable();
}

void RepairForm::SelectTable() {
    if (port_.selected_index(Control::AliasCombo) < 0)
        throw Error("No alias is selected, so the table " + port_.text(Control::TableCombo) +
                    " cannot be found");
    const fs::path directory = session1_.alias_directory(port_.text(Control::AliasCombo));
    SetLocation((directory / port_.text(Control::TableCombo)).string());
    ClearProgress();
    ShowTableProps();
}

void RepairForm::ByDirectBtnClick() {
    const std::optional<std::string> file = port_.choose_file(Control::OpenDialog1, "");
    if (!file) return;
    SetLocation(*file);
    port_.select(Control::AliasCombo, -1);
    port_.set_items(Control::TableCombo, {});
    ClearProgress();
    ShowTableProps();
}

void RepairForm::ClearLocation() {
    port_.set_text(Control::TableLocEdit, "");
    port_.set_enabled(Control::VerifyBtn, false);
    port_.set_enabled(Control::RebuildBtn, false);
}

void RepairForm::SetLocation(const std::string& path) {
    port_.set_text(Control::TableLocEdit, path);
    port_.set_enabled(Control::VerifyBtn, true);
    port_.set_enabled(Control::RebuildBtn, true);
}

void RepairForm::with_progress(const std::function<void()>& work) {
    TBDEUtil& util = utility();
    util.RegisterProgress();
    try {
        work();
    } catch (...) {
        util.UnregisterProgress();
        throw;
    }
    util.UnregisterProgress();
}

void RepairForm::verify_into(const std::string& location) {
    std::int32_t level = 0;
    if (library_.verify_table(utility().SessionHandle, location.c_str(), kDriverType, "VERIFY.DB",
                              nullptr, 0, &level) == 0)
        port_.set_text(Control::MessageLB, verification_message(level));
}

void RepairForm::VerifyBtnClick() {
    window::BusyCursor busy(port_);
    ClearProgress();
    const std::string location = port_.text(Control::TableLocEdit);
    utility().reopen();
    with_progress([&] { verify_into(location); });
}

void RepairForm::RebuildBtnClick() {
    window::BusyCursor busy(port_);
    ClearProgress();
    lastRebuild_ = {};
    lastRebuild_ = rebuild_table(port_.text(Control::TableLocEdit));
    // A table that could not be described keeps the verification's text.
    if (lastRebuild_.tried)
        port_.set_text(Control::MessageLB,
                       lastRebuild_.rebuilt ? kRebuilt : "Rebuild was not successful.");
}

TableRebuild RepairForm::rebuild_table(const std::string& location) {
    TableRebuild outcome;
    TBDEUtil& util = utility();
    util.reopen();
    with_progress([&] {
        // The verification's outcome decides nothing: the rebuild follows whatever it said.
        verify_into(location);
        DescriptionCounts counts{};
        if (library_.get_cr_tbl_desc_count(util.SessionHandle, location.c_str(), &counts[0],
                                           &counts[1], &counts[2], &counts[3], &counts[4],
                                           &counts[5], &counts[6]) != 0) {
            outcome.cause = pdx::last_error_message();
            return;
        }
        RebuildDescription description(location, counts);
        if (library_.fill_cr_tbl_desc(util.SessionHandle, description.record(), location.c_str(),
                                      nullptr) != 0) {
            outcome.cause = pdx::last_error_message();
            port_.show_message({"Error Filling table structure", "", BoxIcon::kError});
            return;
        }
        outcome.tried = true;
        outcome.rebuilt =
            library_.rebuild_table(util.SessionHandle, location.c_str(), kDriverType, "Backup.Db",
                                   "KEYVIOL.DB", "PROBLEM.DB", description.record()) == 0;
        if (!outcome.rebuilt) outcome.cause = pdx::last_error_message();
        tutil::RebuildResult result;
        if (outcome.rebuilt && library_.get_rebuild_result(util.SessionHandle, &result) == 0)
            outcome.notes = tutil::rebuild_notes(location, result);
    });
    return outcome;
}

// ---- every table ----

void RepairForm::BitBtn2Click() {
    // A failed backup ends the run before any table is touched.
    if (port_.is_checked(Control::CheckBox1)) BackupDatabase();
    report_last_result(rebuild_every_table());
}

void RepairForm::Button1Click() {
    const std::vector<std::string> not_rebuilt = rebuild_every_table();
    // The upgrade ends with a "Rebuild Index" of its own, which reports its own notes; the
    // report below is of this run.
    const std::vector<std::string> notes = batchNotes_;
    port_.click(Control::BitBtn1);
    batchNotes_ = notes;
    report_last_result(not_rebuilt);
}

std::vector<std::string> RepairForm::rebuild_every_table() {
    notRebuilt_.clear();
    const std::vector<std::string> aliases = port_.items(Control::AliasCombo);
    for (std::size_t i = 0; i < aliases.size(); ++i) {
        if (aliases[i] == kBatchAlias) {
            port_.select(Control::AliasCombo, static_cast<int>(i));
            break;
        }
    }
    if (port_.selected_index(Control::AliasCombo) < 0)
        throw Error("The engine lists no standard alias VAQ, so no table can be rebuilt");
    std::vector<std::string> tables;
    session1_.get_table_names(port_.text(Control::AliasCombo), "*.*", true, false, tables);
    port_.set_items(Control::TableCombo, tables);
    std::vector<std::string> not_rebuilt;
    batchNotes_.clear();
    for (std::size_t i = 0; i < tables.size(); ++i) {
        port_.select(Control::TableCombo, static_cast<int>(i));
        SelectTable();
        lastRebuild_ = {};  // a click that runs nothing leaves "not rebuilt"
        port_.click(Control::RebuildBtn);
        const TableRebuild& outcome = lastRebuild_;
        batchNotes_.insert(batchNotes_.end(), outcome.notes.begin(), outcome.notes.end());
        if (!outcome.rebuilt) {
            const std::string shown = port_.text(Control::MessageLB);
            not_rebuilt.push_back(tables[i] + ": " + (shown.empty() ? "no result" : shown) +
                                  (outcome.cause.empty() ? "" : " " + outcome.cause));
        }
    }
    return not_rebuilt;
}

void RepairForm::report_last_result(const std::vector<std::string>& not_rebuilt) {
    notRebuilt_ = not_rebuilt;
    const std::string message = port_.text(Control::MessageLB);
    // Additions of our own, each on a line after the result text: why the last table was
    // not rebuilt, where the records that left any table went.
    std::string log = message;
    if (!lastRebuild_.rebuilt && !lastRebuild_.cause.empty()) log += "\r\n" + lastRebuild_.cause;
    for (const std::string& note : batchNotes_)
        log += "\r\n" + note;
    port_.append_text(Control::Memo1, log);
    port_.show_message({message, "", BoxIcon::kNone});
    if (not_rebuilt.empty()) return;
    port_.show_message({not_rebuilt_message(not_rebuilt), "", BoxIcon::kWarning});
    if (stepFailed_) stepFailed_();
}

fs::path RepairForm::backup_root() const {
    return fs::path(port_.application_directory()) / "Backup";
}

void RepairForm::BackupDatabase() {
    const fs::path root = backup_root();
    std::error_code error;
    if (!fs::is_directory(root, error) && !fs::create_directory(root, error))
        throw Error(root.string());
    const fs::path folder = root / backup_folder_name(clock_());
    // An existing folder (a second backup in the same second) is refused, never reused.
    if (!fs::create_directory(folder, error)) throw Error(folder.string());

    // The database directory is named in every path instead of being made the working
    // directory, so that nothing else in the program sees the working directory change.
    const fs::path database = mainDatabase_.directory();
    fs::directory_iterator entries(database, error);
    if (error)
        throw Error("Input/output error reading the database directory " + database.string() +
                    ": " + error.message());
    std::vector<std::string> notCopied;
    if (entries != fs::directory_iterator()) {
        window::BusyCursor busy(port_);
        for (; entries != fs::directory_iterator(); entries.increment(error)) {
            std::error_code entryError;
            if (entries->is_directory(entryError)) continue;
            const fs::path name = entries->path().filename();
            if (!fs::copy_file(database / name, folder / name, fs::copy_options::overwrite_existing,
                               entryError))
                notCopied.push_back(name.string());
        }
        if (error)
            throw Error("Input/output error reading the database directory " + database.string() +
                        ": " + error.message());
    }
    // A backup that misses files must not pass for a good one before tables are rebuilt.
    if (!notCopied.empty()) {
        std::string names;
        for (const std::string& name : notCopied)
            names += (names.empty() ? "" : ", ") + name;
        throw Error("The database backup in " + folder.string() +
                    " is incomplete; these files could not be copied: " + names);
    }
    port_.show_message({"The Database backup successfully", "Backup DataBase", BoxIcon::kNone});
}

}  // namespace vaq::repair
