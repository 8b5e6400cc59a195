#include "tutil/rebuild_runs.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <map>
#include <string_view>

#include "common/error.h"
#include "engine/api/config.h"
#include "engine/api/private_folders.h"
#include "engine/table/table_name.h"

namespace vaq::tutil {

namespace fs = std::filesystem;

namespace {

constexpr char kReport[] = "report.txt";

constexpr std::string_view kTableKey = "Rebuild of";
constexpr std::string_view kFinishedKey = "Finished";
constexpr std::string_view kResultKey = "Result";
constexpr std::string_view kReadKey = "Records read";
constexpr std::string_view kKeptKey = "Records kept";
constexpr std::string_view kKeyViolationsKey = "Key violations";
constexpr std::string_view kProblemsKey = "Problem records";
constexpr std::string_view kAlsoKeptKey = "Problem records also kept";
constexpr std::string_view kBackupKey = "Backup";
constexpr std::string_view kRebuilt = "rebuilt";
constexpr std::string_view kNotRebuilt = "not rebuilt: ";

std::string utc_now() {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d UTC", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
    return text;
}

// "43 (PROBLEM.DB)" into 43 and "PROBLEM.DB".
void read_count_and_table(const std::string& value, std::uint64_t& count, std::string& table) {
    std::size_t used = 0;
    try {
        count = std::stoull(value, &used);
    } catch (const std::exception&) {
        count = 0;
        return;
    }
    const std::size_t open = value.find('(', used);
    const std::size_t close = value.rfind(')');
    if (open != std::string::npos && close != std::string::npos && close > open)
        table = value.substr(open + 1, close - open - 1);
}

std::uint64_t read_count(const std::string& value) {
    std::string ignored;
    std::uint64_t count = 0;
    read_count_and_table(value, count, ignored);
    return count;
}

// The files of the table `stem` (any extension) in `folder`, letter case ignored.
std::vector<fs::path> files_of(const fs::path& folder, const std::string& stem) {
    std::vector<fs::path> files;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        if (pdx::same_file_name(it->path().stem().string(), stem)) files.push_back(it->path());
    return files;
}

void remove_or_fail(const fs::path& path) {
    std::error_code error;
    fs::remove_all(path, error);
    if (error) throw vaq::Error("Cannot remove " + path.string() + ": " + error.message() + ".");
}

// The folder of the database's runs, without creating it.
fs::path runs_root(const fs::path& directory) {
    return pdx::private_directory() / pdx::database_id(directory);
}

std::string table_stem(const std::string& table) {
    const fs::path name(table);
    return pdx::same_file_name(name.extension().string(), ".DB") ? name.stem().string() : table;
}

}  // namespace

std::string RebuildRun::name() const {
    return folder.parent_path().filename().string() + "/" + folder.filename().string();
}

bool RebuildRun::backup_kept() const {
    return !files_of(folder, fs::path(backup).stem().string()).empty();
}

std::vector<std::string> where_records_went(const RebuildRun& run) {
    std::vector<std::string> lines;
    const std::string table = run.table.filename().string();
    const std::string in_folder = " in " + run.folder.string() + ".";
    const auto left = [&](std::uint64_t count, const std::string& aux) {
        if (count == 0) return;
        lines.push_back(count == 1 ? "1 record could not be kept in " + table + "; it is in " +
                                         aux + in_folder
                                   : std::to_string(count) + " records could not be kept in " +
                                         table + "; they are in " + aux + in_folder);
    };
    left(run.key_violations, run.key_violation_table);
    left(run.problems - std::min(run.problems, run.problems_also_kept), run.problem_table);
    if (run.problems_also_kept == 1)
        lines.push_back("1 record of " + table +
                        " lost a memo or blob value; a copy of what was left is in " +
                        run.problem_table + in_folder);
    else if (run.problems_also_kept > 1)
        lines.push_back(std::to_string(run.problems_also_kept) + " records of " + table +
                        " lost a memo or blob value; a copy of what was left of each is in " +
                        run.problem_table + in_folder);
    return lines;
}

RebuildRun run_of(const fs::path& table, const RebuildResult& result) {
    RebuildRun run;
    run.table = table;
    run.folder = result.backup.parent_path();
    run.rebuilt = true;
    run.records_read = result.records_read;
    run.kept = result.kept;
    run.key_violations = result.key_violations;
    run.problems = result.problems;
    run.problems_also_kept = result.problems_also_kept;
    run.backup = result.backup.filename().string();
    if (!result.key_violation_table.empty())
        run.key_violation_table = result.key_violation_table.filename().string();
    if (!result.problem_table.empty()) run.problem_table = result.problem_table.filename().string();
    return run;
}

std::vector<std::string> rebuild_notes(const fs::path& table, const RebuildResult& result) {
    std::vector<std::string> notes = where_records_went(run_of(table, result));
    for (const DroppedIndex& index : result.dropped_indexes) {
        std::string fields;
        for (const std::string& field : index.fields)
            fields += (fields.empty() ? "" : ", ") + field;
        notes.push_back("The index " + index.file + (fields.empty() ? "" : " on " + fields) +
                        " of " + table.filename().string() + " was dropped" +
                        (index.reason.empty() ? "." : ": " + index.reason + "."));
    }
    for (const std::string& repair : result.repairs)
        notes.push_back(table.filename().string() + ": " + repair);
    return notes;
}

fs::path new_rebuild_folder(const fs::path& table) {
    const fs::path directory = table.has_parent_path() ? table.parent_path() : fs::path(".");
    return pdx::make_run_folder(directory, table.stem().string());
}

void write_run_report(RebuildRun run) {
    run.finished = utc_now();
    const fs::path file = run.folder / kReport;
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << kTableKey << ": " << run.table.string() << '\n'
        << kFinishedKey << ": " << run.finished << '\n'
        << kResultKey << ": "
        << (run.rebuilt ? std::string(kRebuilt) : std::string(kNotRebuilt) + run.cause) << '\n';
    if (run.rebuilt)
        out << kReadKey << ": " << run.records_read << '\n'
            << kKeptKey << ": " << run.kept << '\n'
            << kKeyViolationsKey << ": " << run.key_violations << " (" << run.key_violation_table
            << ")\n"
            << kProblemsKey << ": " << run.problems << " (" << run.problem_table << ")\n"
            << kAlsoKeptKey << ": " << run.problems_also_kept << '\n'
            << kBackupKey << ": " << run.backup << '\n';
    out.flush();
    if (!out) throw vaq::Error("Cannot write the rebuild's report " + file.string() + ".");
}

std::optional<RebuildRun> read_run_report(const fs::path& folder) {
    std::ifstream in(folder / kReport, std::ios::binary);
    if (!in) return std::nullopt;
    std::map<std::string, std::string, std::less<>> values;
    for (std::string line; std::getline(in, line);) {
        const std::size_t colon = line.find(": ");
        if (colon != std::string::npos) values[line.substr(0, colon)] = line.substr(colon + 2);
    }
    const auto value = [&](std::string_view key) {
        const auto found = values.find(key);
        return found == values.end() ? std::string() : found->second;
    };
    if (value(kTableKey).empty()) return std::nullopt;
    RebuildRun run;
    run.folder = folder;
    run.table = value(kTableKey);
    run.finished = value(kFinishedKey);
    const std::string result = value(kResultKey);
    run.rebuilt = result == kRebuilt;
    if (!run.rebuilt)
        run.cause = result.starts_with(kNotRebuilt) ? result.substr(kNotRebuilt.size()) : result;
    run.records_read = read_count(value(kReadKey));
    run.kept = read_count(value(kKeptKey));
    read_count_and_table(value(kKeyViolationsKey), run.key_violations, run.key_violation_table);
    read_count_and_table(value(kProblemsKey), run.problems, run.problem_table);
    run.problems_also_kept = read_count(value(kAlsoKeptKey));
    if (!value(kBackupKey).empty()) run.backup = value(kBackupKey);
    return run;
}

void prune_backups(const fs::path& table_folder, int keep) {
    std::vector<fs::path> runs = pdx::run_folders(table_folder);
    int kept = 0;
    for (auto run = runs.rbegin(); run != runs.rend(); ++run) {
        const auto report = read_run_report(*run);
        if (!report || !report->backup_kept()) continue;
        if (kept++ < keep) continue;
        for (const fs::path& file : files_of(*run, fs::path(report->backup).stem().string()))
            remove_or_fail(file);
    }
}

std::vector<RebuildRun> rebuild_runs(const fs::path& directory,
                                     const std::optional<std::string>& table) {
    const fs::path root = runs_root(directory);
    std::vector<fs::path> tables;
    std::error_code error;
    for (fs::directory_iterator it(root, error), end; !error && it != end; it.increment(error)) {
        std::error_code kind;
        if (!it->is_directory(kind)) continue;
        if (table && !pdx::same_file_name(it->path().filename().string(), table_stem(*table)))
            continue;
        tables.push_back(it->path());
    }
    std::sort(tables.begin(), tables.end());
    std::vector<RebuildRun> runs;
    for (const fs::path& folder : tables)
        for (const fs::path& run : pdx::run_folders(folder))
            if (auto report = read_run_report(run)) runs.push_back(std::move(*report));
    return runs;
}

RebuildRun remove_rebuild_run(const fs::path& directory, const std::string& name) {
    std::vector<RebuildRun> matches;
    for (RebuildRun& run : rebuild_runs(directory))
        if (run.name() == name || run.folder.filename() == name) matches.push_back(std::move(run));
    if (matches.empty())
        throw vaq::Error("No rebuild run " + name + " of the database " + directory.string() +
                         " (.salvaged lists them).");
    if (matches.size() > 1)
        throw vaq::Error("The run " + name +
                         " belongs to more than one table; name it as TABLE/RUN (.salvaged lists "
                         "them).");
    remove_or_fail(matches.front().folder);
    return matches.front();
}

}  // namespace vaq::tutil
