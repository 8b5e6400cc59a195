#include "engine/table/table_family.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <system_error>

#include "common/error.h"
#include "common/text.h"
#include "engine/format/deferred_sync.h"
#include "engine/format/file.h"
#include "engine/format/index_header.h"
#include "engine/table/change_journal.h"
#include "engine/table/crash_points.h"
#include "engine/table/table_lock.h"
#include "engine/table/table_name.h"

namespace pdx {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kStagingPrefix = ".pdxnew.";
constexpr std::string_view kCommitPrefix = ".pdxcommit.";
constexpr std::string_view kDropPrefix = ".pdxdrop.";
constexpr std::string_view kRenamePrefix = ".pdxrename.";
constexpr std::string_view kRollbackPrefix = ".pdxrollback.";
constexpr std::string_view kManifest = "manifest";
// Inside a commit folder: the names of the new family's files, and the folder the old
// files are moved into while the new ones move in (so that the change can be undone).
constexpr std::string_view kStagedList = "staged";
constexpr std::string_view kOldList = "old";
// The three lists of a commit in one file, each line tagged with its list's name and a tab.
// Folders of earlier versions hold them as three files; both are read.
constexpr std::string_view kCommitLists = "lists";
constexpr std::string_view kOldFolder = ".old";

[[noreturn]] void fail(const std::string& what, const fs::path& path, const std::error_code& ec) {
    throw vaq::Error("Cannot " + what + " " + path.string() + ": " + ec.message() + ".");
}

std::string random_id() {
    std::random_device device;
    std::uniform_int_distribution<std::uint64_t> pick;
    std::ostringstream out;
    out << std::hex << pick(device);
    return out.str();
}

bool starts_with(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool is_index_extension(std::string ext) {
    if (ext.size() != 4 || ext[0] != '.') return false;
    ext = vaq::ascii_upper(ext);
    if (ext[1] == 'Y') ext[1] = 'X';
    return IndexSuffix::parse(ext).has_value();
}

bool is_family_extension(const std::string& ext) {
    for (const char* known : {".DB", ".PX", ".MB", ".VAL", ".TV", ".FAM"})
        if (same_file_name(ext, known)) return true;
    return is_index_extension(ext);
}

std::vector<fs::path> list_directory(const fs::path& directory) {
    std::vector<fs::path> entries;
    std::error_code ec;
    fs::directory_iterator it(directory, ec);
    if (ec) fail("read the directory", directory, ec);
    for (const fs::directory_entry& entry : it)
        entries.push_back(entry.path());
    return entries;
}

void remove_folder(const fs::path& folder) {
    std::error_code ec;
    fs::remove_all(folder, ec);
    if (ec) fail("remove", folder, ec);
}

void sync_file(const fs::path& path) {
    File::open(path, File::Mode::kReadWrite).sync();
}

// Writes the lines into `folder`/`file` so that the file appears complete or not at all.
void write_list(const fs::path& folder, std::string_view file,
                const std::vector<std::string>& lines) {
    if (lines.empty()) {
        // An empty list has no contents to flush or to find half written: flushing the
        // folder makes it last.
        File::create(folder / file);
        sync_directory(folder);
        return;
    }
    const fs::path temporary = folder / (std::string(file) + ".tmp");
    {
        std::string text;
        for (const std::string& line : lines)
            text += line + '\n';
        std::error_code ec;
        fs::remove(temporary, ec);
        File out = File::create(temporary);
        out.write_at(0, Bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
        out.sync();
    }
    rename_file(temporary, folder / file);
    sync_directory(folder);
}

void write_manifest(const fs::path& folder, const std::vector<std::string>& lines) {
    write_list(folder, kManifest, lines);
}

std::optional<std::vector<std::string>> read_lines(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) lines.push_back(line);
    return lines;
}

// Nothing when the folder holds no complete list of that name.
std::optional<std::vector<std::string>> read_list(const fs::path& folder, std::string_view file) {
    const auto tagged = read_lines(folder / kCommitLists);
    if (!tagged) return read_lines(folder / file);
    const std::string tag = std::string(file) + '\t';
    std::vector<std::string> lines;
    for (const std::string& line : *tagged)
        if (line.starts_with(tag)) lines.push_back(line.substr(tag.size()));
    return lines;
}

// The lists of a commit, in one file written in place: the folder counts only once it is
// renamed to a commit folder, and the file and the folder are flushed before that.
void write_commit_lists(const fs::path& folder, const std::vector<std::string>& staged,
                        const std::vector<std::string>& old_names,
                        const std::vector<std::string>& removed) {
    std::string text;
    const auto add = [&](std::string_view list, const std::vector<std::string>& names) {
        for (const std::string& name : names)
            text.append(list).append(1, '\t').append(name).append(1, '\n');
    };
    add(kStagedList, staged);
    add(kOldList, old_names);
    add(kManifest, removed);
    File out = File::create(folder / kCommitLists);
    out.write_at(0, Bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    out.sync();
    sync_directory(folder);
}

std::optional<std::vector<std::string>> read_manifest(const fs::path& folder) {
    return read_list(folder, kManifest);
}

bool plain_name(const std::string& name) {
    return !name.empty() && name.find('/') == std::string::npos && name != "." && name != "..";
}

bool exists_here(const fs::path& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

// The files of the new family that a commit folder still holds: everything but the lists
// and the old files moved aside.
std::vector<fs::path> waiting_files(const fs::path& folder) {
    std::vector<fs::path> waiting;
    for (const fs::path& entry : list_directory(folder)) {
        const std::string name = entry.filename().string();
        if (name == kManifest || name == kStagedList || name == kOldList || name == kCommitLists ||
            name == kOldFolder || name.ends_with(".tmp"))
            continue;
        waiting.push_back(entry);
    }
    // The same order on every run, so that a failure or a crash point falls on the same file.
    std::sort(waiting.begin(), waiting.end());
    return waiting;
}

// Keeps the old file `name` (if it is still in the directory) in the commit folder's folder
// of old files, where an undo finds it and the end of the commit removes it. The old file
// gets a second name there and keeps its own, so that the new file replaces it in one
// rename and the directory never lacks a table file, not even when the next rename fails
// (a full disk). Only where the file system gives no second name is the file moved aside.
void keep_old_file(const fs::path& directory, const fs::path& old_files, const std::string& name) {
    const fs::path current = directory / name;
    const fs::path kept = old_files / name;
    if (!exists_here(current) || exists_here(kept)) return;
    if (!link_file(current, kept)) rename_file(current, kept);
}

// Takes an old file the new family no longer has out of the directory, keeping it like
// keep_old_file(). A second name left by an interrupted run is the same file: it goes.
void remove_old_file(const fs::path& directory, const fs::path& old_files,
                     const std::string& name) {
    const fs::path current = directory / name;
    const fs::path kept = old_files / name;
    keep_old_file(directory, old_files, name);
    std::error_code ec;
    if (!exists_here(current) || !fs::equivalent(current, kept, ec)) return;
    fs::remove(current, ec);
    if (ec) fail("remove", current, ec);
}

// Carries a commit through: every old file moves aside, every new file into the directory.
// Each step can be taken again after a crash; a file already moved is not moved again.
void move_new_family_in(const fs::path& directory, const fs::path& folder) {
    const auto manifest = read_manifest(folder);
    if (!manifest) {
        // Committed folders always hold their manifest; without it nothing can be trusted.
        throw vaq::Error("The interrupted table change in " + folder.string() +
                         " has lost its manifest; move the folder away by hand.");
    }
    const fs::path old_files = folder / kOldFolder;
    std::error_code ec;
    fs::create_directory(old_files, ec);
    if (ec) fail("create the folder", old_files, ec);
    for (const std::string& name : *manifest) {
        if (plain_name(name)) remove_old_file(directory, old_files, name);
        crash_point("old file removed");
    }
    for (const fs::path& staged : waiting_files(folder)) {
        const std::string name = staged.filename().string();
        keep_old_file(directory, old_files, name);
        rename_file(staged, directory / name);
        crash_point("new file moved");
    }
    sync_directory(directory);
}

// The end of a commit or an undo: the folder goes, with the old (or new) files left in it.
// The family is whole by now, so a folder that cannot be removed is left for the next
// recovery, which removes it, rather than reported as a failed change.
void remove_finished_folder(const fs::path& directory, const fs::path& folder) {
    std::error_code ec;
    fs::remove_all(folder, ec);
    sync_directory(directory);
}

void roll_forward_commit(const fs::path& directory, const fs::path& folder) {
    move_new_family_in(directory, folder);
    remove_finished_folder(directory, folder);
}

// Undoes a commit from a folder renamed to ".pdxrollback.<id>": every new file that reached
// the directory goes, every old file comes back. Like the commit, each step can be taken
// again after a crash.
void roll_back_commit(const fs::path& directory, const fs::path& folder) {
    const auto staged = read_list(folder, kStagedList);
    const auto old_family = read_list(folder, kOldList);
    if (!staged || !old_family)
        throw vaq::Error("The interrupted table change in " + folder.string() +
                         " cannot be undone: it does not list its files; move the folder away "
                         "by hand.");
    const fs::path old_files = folder / kOldFolder;
    for (const std::string& name : *staged) {
        if (!plain_name(name) || exists_here(folder / name)) continue;  // never moved in
        if (exists_here(old_files / name)) {
            rename_file(old_files / name, directory / name);
        } else if (std::find(old_family->begin(), old_family->end(), name) == old_family->end()) {
            // A file only the new family has.
            std::error_code ec;
            fs::remove(directory / name, ec);
            if (ec) fail("remove", directory / name, ec);
        }
        crash_point("new file taken back");
    }
    std::error_code ec;
    if (fs::is_directory(old_files, ec))
        for (const fs::path& old : list_directory(old_files))
            rename_file(old, directory / old.filename());
    sync_directory(directory);
    remove_finished_folder(directory, folder);
}

// Turns a commit folder into an undo folder (so that a crash from here on finishes the undo
// rather than the commit, whose new files the undo removes) and undoes it.
void undo_commit(const fs::path& directory, const fs::path& committed, std::string_view id) {
    crash_point("undo started");
    const fs::path undo = directory / (std::string(kRollbackPrefix) + std::string(id));
    rename_file(committed, undo);
    sync_directory(directory);
    roll_back_commit(directory, undo);
}

// A commit folder found on the way in: carried through, or undone when a file cannot be
// moved, so that the table is one family either way.
void finish_commit(const fs::path& directory, const fs::path& folder) {
    try {
        roll_forward_commit(directory, folder);
    } catch (const std::exception& forward) {
        if (!read_list(folder, kStagedList) || !read_list(folder, kOldList)) throw;
        try {
            undo_commit(directory, folder, folder.filename().string().substr(kCommitPrefix.size()));
        } catch (const std::exception& back) {
            throw vaq::Error(std::string(forward.what()) +
                             " Undoing the change failed too: " + back.what());
        }
    }
}

void finish_drop(const fs::path& directory, const fs::path& folder) {
    if (const auto manifest = read_manifest(folder)) {
        std::error_code ec;
        for (const std::string& name : *manifest)
            if (plain_name(name)) fs::remove(directory / name, ec);
    }
    remove_folder(folder);
    sync_directory(directory);
}

// A rename folder left behind belongs to a rename that a crash or an error cut off: every file
// it moved goes back to its old name, so that the table is found where it was.
void undo_rename(const fs::path& directory, const fs::path& folder) {
    if (const auto manifest = read_manifest(folder)) {
        bool moved_back = false;
        for (const std::string& line : *manifest) {
            const std::size_t tab = line.find('\t');
            if (tab == std::string::npos) continue;
            const std::string from = line.substr(0, tab);
            const std::string to = line.substr(tab + 1);
            if (!plain_name(from) || !plain_name(to)) continue;
            std::error_code ec;
            if (fs::exists(directory / to, ec) && !fs::exists(directory / from, ec)) {
                rename_file(directory / to, directory / from);
                moved_back = true;
            }
        }
        // The old names last before the folder, which would otherwise move the files again.
        if (moved_back) sync_directory(directory);
    }
    remove_folder(folder);
    sync_directory(directory);
}

// A staging folder is abandoned when no process holds its lock.
bool is_abandoned(const fs::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return free;
}

// A staging folder kept, emptied, after a commit made while a DeferredSync lives, for the next
// family change in the same directory. Creating and removing a folder is a wait for the disk
// each (its block is allocated and freed, and some disks are told of every freed block), which
// a run of a hundred changes (an upgrade adding columns one by one) would pay a hundred times
// over. The folder keeps its lock, so that no other process's recovery takes it; a process
// killed meanwhile leaves it unlocked, and the next recovery removes it like any abandoned
// staging folder. The end of the DeferredSync removes it.
struct SpareFolder {
    fs::path directory;
    fs::path folder;
    int lock_fd = -1;
};
SpareFolder g_spare;

void remove_spare_folder() {
    if (g_spare.lock_fd < 0) return;
    std::error_code ec;
    // Like a finished commit folder, a spare that cannot be removed is left to the next
    // recovery, which removes it once no process holds it.
    fs::remove_all(g_spare.folder, ec);
    ::close(g_spare.lock_fd);
    g_spare = SpareFolder{};
}

bool is_spare_folder(const fs::path& folder) {
    return g_spare.lock_fd >= 0 && folder.filename() == g_spare.folder.filename();
}

// Takes the spare folder of `directory`, if there is one: true, with its path and lock.
bool take_spare_folder(const fs::path& directory, fs::path& folder, int& lock_fd) {
    if (g_spare.lock_fd < 0 || g_spare.directory != directory) return false;
    if (!exists_here(g_spare.folder)) {
        remove_spare_folder();
        return false;
    }
    folder = g_spare.folder;
    lock_fd = g_spare.lock_fd;
    g_spare = SpareFolder{};
    return true;
}

// Removes every entry of `folder` but its folder of old files, and every entry of that one, so
// that the folder can stage the next family as if new. False when something could not be
// removed: an old file left in it would pass for the next commit's.
bool empty_for_reuse(const fs::path& folder) {
    std::error_code ec;
    for (const fs::path& entry : list_directory(folder)) {
        if (entry.filename() == kOldFolder && fs::is_directory(entry, ec)) {
            for (const fs::path& old : list_directory(entry))
                if (!fs::remove(old, ec) || ec) return false;
            continue;
        }
        if (!fs::remove(entry, ec) || ec) return false;
    }
    return true;
}

// The end of a commit made while a DeferredSync lives: the folder, back under a staging name
// (from here on a crash leaves an abandoned staging folder, which recovery removes; the family
// is new by then), is emptied and kept for the next change, with its lock `lock_fd`. True when
// the folder and its lock are dealt with; false, and both left to the caller, when no
// DeferredSync lives or the folder cannot take its staging name.
bool keep_as_spare(const fs::path& directory, const fs::path& committed, std::string_view id,
                   int lock_fd) {
    if (!DeferredSync::at_finish(remove_spare_folder)) return false;
    remove_spare_folder();
    const fs::path staging = directory / (std::string(kStagingPrefix) + std::string(id));
    try {
        rename_file(committed, staging);
    } catch (const vaq::Error&) {
        // The change is whole; the caller removes the folder as it would without a DeferredSync.
        return false;
    }
    crash_point("folder kept");
    bool emptied = false;
    try {
        emptied = empty_for_reuse(staging);
    } catch (const vaq::Error&) {
        emptied = false;  // an unreadable folder is not reused: it is removed below
    }
    if (!emptied) {
        remove_finished_folder(directory, staging);
        ::close(lock_fd);
        return true;
    }
    g_spare = SpareFolder{directory, staging, lock_fd};
    return true;
}

}  // namespace

std::vector<fs::path> family_files(const fs::path& table_file) {
    const std::string stem = table_file.stem().string();
    std::vector<fs::path> files;
    for (const fs::path& entry : list_directory(table_file.parent_path())) {
        if (!same_file_name(entry.stem().string(), stem)) continue;
        if (!is_family_extension(entry.extension().string())) continue;
        std::error_code ec;
        if (fs::is_regular_file(entry, ec)) files.push_back(entry);
    }
    return files;
}

std::vector<fs::path> secondary_index_files(const fs::path& table_file) {
    std::vector<fs::path> files;
    for (const fs::path& f : family_files(table_file))
        if (is_index_extension(f.extension().string())) files.push_back(f);
    return files;
}

StagedFamily::StagedFamily(const fs::path& directory) : directory_(directory) {
    if (take_spare_folder(directory, folder_, lock_fd_)) return;
    folder_ = directory / (std::string(kStagingPrefix) + random_id());
    std::error_code ec;
    fs::create_directory(folder_, ec);
    if (ec) fail("create the folder", folder_, ec);
    lock_fd_ = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (lock_fd_ < 0 || ::flock(lock_fd_, LOCK_EX) != 0) {
        const std::error_code lock_error(errno, std::generic_category());
        fs::remove_all(folder_, ec);
        fail("lock the folder", folder_, lock_error);
    }
}

StagedFamily::~StagedFamily() {
    if (!committed_) {
        std::error_code ec;
        fs::remove_all(folder_, ec);
    }
    if (lock_fd_ >= 0) ::close(lock_fd_);
}

void StagedFamily::commit(const std::vector<fs::path>& old_family) {
    std::vector<std::string> staged;
    for (const fs::path& file : list_directory(folder_)) {
        if (file.filename() == kOldFolder) continue;  // left empty by an earlier commit
        sync_file(file);
        staged.push_back(file.filename().string());
    }
    std::vector<std::string> removed;
    std::vector<std::string> old_names;
    for (const fs::path& old : old_family) {
        const std::string name = old.filename().string();
        old_names.push_back(name);
        if (std::find(staged.begin(), staged.end(), name) == staged.end()) removed.push_back(name);
    }
    crash_point("family staged");
    write_commit_lists(folder_, staged, old_names, removed);
    crash_point("manifest written");
    const std::string id = folder_.filename().string().substr(kStagingPrefix.size());
    const fs::path committed = directory_ / (std::string(kCommitPrefix) + id);
    rename_file(folder_, committed);
    committed_ = true;
    folder_ = committed;
    try {
        sync_directory(directory_);
        crash_point("family committed");
        move_new_family_in(directory_, committed);
    } catch (const std::exception& forward) {
        // A step that fails (a full or failing disk, a file the system protects) must not
        // leave the table half old and half new, nor new while the caller hears of a
        // failure: every old file goes back.
        try {
            undo_commit(directory_, committed, id);
        } catch (const std::exception& back) {
            throw vaq::Error(std::string(forward.what()) +
                             " Undoing the change failed too, it is finished or undone when "
                             "the table is next opened: " +
                             back.what());
        }
        throw;
    }
    if (keep_as_spare(directory_, committed, id, lock_fd_))
        lock_fd_ = -1;  // the spare folder's lock now, or closed with it
    else
        remove_finished_folder(directory_, committed);
}

void delete_family(const fs::path& table_file) {
    const fs::path directory = table_file.parent_path();
    std::vector<fs::path> files = family_files(table_file);
    const fs::path journal = ChangeJournal::path_for(table_file);
    std::error_code ec;
    if (fs::exists(journal, ec)) files.push_back(journal);
    // The .DB goes first: from then on the table is gone, whatever else is left.
    std::stable_partition(files.begin(), files.end(),
                          [&](const fs::path& f) { return f == table_file; });
    const fs::path folder = directory / (std::string(kDropPrefix) + random_id());
    fs::create_directory(folder, ec);
    if (ec) fail("create the folder", folder, ec);
    std::vector<std::string> names;
    for (const fs::path& f : files)
        names.push_back(f.filename().string());
    write_manifest(folder, names);
    for (const fs::path& f : files) {
        rename_file(f, folder / f.filename());
        crash_point("file dropped");
    }
    sync_directory(directory);
    remove_folder(folder);
    sync_directory(directory);
}

fs::path rename_family(const fs::path& table_file, std::string_view new_stem,
                       std::string_view new_extension) {
    const fs::path directory = table_file.parent_path();
    const std::string db_extension =
        new_extension.empty() ? table_file.extension().string() : std::string(new_extension);
    const std::string new_db = std::string(new_stem) + db_extension;
    // A new spelling of the same name only changes letter case.
    if (!same_file_name(table_file.stem().string(), new_stem)) {
        if (find_table_file(directory, new_db))
            // Named with the extension the table has, as before a new one could be given.
            throw vaq::Error("Table already exists: " + std::string(new_stem) +
                             table_file.extension().string() + ".");
        for (const fs::path& existing : family_files(directory / new_db))
            throw vaq::Error("Cannot rename " + table_file.filename().string() + " to " + new_db +
                             ": the file " + existing.filename().string() + " is in the way.");
    }
    std::vector<std::string> lines;
    std::vector<std::pair<fs::path, fs::path>> renames;
    for (const fs::path& f : family_files(table_file)) {
        const std::string extension = f == table_file ? db_extension : f.extension().string();
        const fs::path target = directory / (std::string(new_stem) + extension);
        renames.emplace_back(f, target);
        lines.push_back(f.filename().string() + "\t" + target.filename().string());
    }
    const fs::path folder = directory / (std::string(kRenamePrefix) + random_id());
    std::error_code ec;
    fs::create_directory(folder, ec);
    if (ec) fail("create the folder", folder, ec);
    try {
        write_manifest(folder, lines);
        for (const auto& [from, to] : renames) {
            rename_file(from, to);
            crash_point("file renamed");
        }
        sync_directory(directory);
    } catch (const vaq::Error& error) {
        // Undone in the same call, so that the failure reported leaves every file under its
        // old name; when even that fails, the next open of a table of the directory undoes it.
        try {
            undo_rename(directory, folder);
        } catch (const vaq::Error& undo) {
            throw vaq::Error(std::string(error.what()) + " Undoing the rename failed too (" +
                             undo.what() + "); it is undone when a table of " + directory.string() +
                             " is opened again.");
        }
        throw;
    }
    remove_folder(folder);
    try {
        sync_directory(directory);
    } catch (const vaq::Error& error) {
        throw vaq::Error(std::string(error.what()) + " " + table_file.filename().string() +
                         " was renamed to " + new_db + " all the same.");
    }
    return directory / new_db;
}

namespace {

std::vector<fs::path> pending_changes(const fs::path& directory) {
    std::vector<fs::path> pending;
    std::error_code ec;
    fs::directory_iterator it(directory, ec);
    if (ec) return pending;  // the caller reports a missing or unreadable directory itself
    for (const fs::directory_entry& entry : it) {
        const std::string name = entry.path().filename().string();
        if (starts_with(name, ".pdx") && !is_spare_folder(entry.path()))
            pending.push_back(entry.path());
    }
    return pending;
}

}  // namespace

void finish_family_changes(const fs::path& directory) {
    for (const fs::path& folder : pending_changes(directory)) {
        const std::string name = folder.filename().string();
        if (starts_with(name, kCommitPrefix))
            finish_commit(directory, folder);
        else if (starts_with(name, kRollbackPrefix))
            roll_back_commit(directory, folder);
        else if (starts_with(name, kDropPrefix))
            finish_drop(directory, folder);
        else if (starts_with(name, kRenamePrefix))
            undo_rename(directory, folder);
        else if (starts_with(name, kStagingPrefix) && is_abandoned(folder))
            remove_folder(folder);
    }
}

void recover_family_changes(const fs::path& directory) {
    if (pending_changes(directory).empty()) return;
    const DirectoryLock lock = DirectoryLock::acquire(directory);
    finish_family_changes(directory);
}

}  // namespace pdx
