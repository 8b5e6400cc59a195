#pragma once

// The files of a table family as a whole: finding them, and replacing, deleting or renaming
// them so that a crash at any moment leaves either the old family or the new one complete.
//
// A new family (a created or restructured table) is written into a staging folder
// ".pdxnew.<id>" in the database directory, flushed, and then committed:
//   1. the names of the new files ("staged"), of the old family's files ("old") and of the
//      old files that the new family does not overwrite ("manifest") are written into one
//      file of the folder ("lists"; earlier versions wrote three files, which are read as
//      well), and the folder is flushed;
//   2. the folder is renamed to ".pdxcommit.<id>" (atomic): from here on the new family is
//      the table;
//   3. every old file gets a second name in the folder's ".old" folder and every new file
//      replaces it in one rename (an old file the new family lacks is then removed), so the
//      directory is never without its table file; then the folder goes, with the old files
//      in it. Where the file system gives no second names, old files are moved there.
// When a file cannot be moved in step 3, the change is undone before the call reports the
// failure: the folder is renamed to ".pdxrollback.<id>", the new files that reached the
// directory are taken out and the old ones put back. Either way the family is old or new as
// a whole, never a mix.
// Dropping a table renames its files into a ".pdxdrop.<id>" folder and removes it; renaming
// a table records the renames in a ".pdxrename.<id>" folder first, and a rename that fails
// part way is undone in the same call. All of this happens under the directory lock
// (table_lock.h).
//
// Recovery, run before a table of the directory is opened: a staging folder that no process
// works in any more (its builder holds a lock on it) is removed, and so the old table
// stays; a commit folder is carried through to its end, or undone when one of its files
// cannot be moved; a rollback or drop folder is carried through to its end; a rename folder
// is undone (every file back under its old name). The
// folders start with a dot and hold no .DB file in the directory itself, so no listing of
// tables ever shows them.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace pdx {

// Every file of the family of `table_file` (the .DB included), found without regard to
// letter case: .DB, .PX, .MB, .VAL, .TV, .FAM, .Xnn/.XGn and .Ynn/.YGn.
std::vector<std::filesystem::path> family_files(const std::filesystem::path& table_file);

// The secondary index files (.Xnn, .XGn, .Ynn, .YGn) among them.
std::vector<std::filesystem::path> secondary_index_files(const std::filesystem::path& table_file);

// A new family being built in a staging folder.
class StagedFamily {
  public:
    // Creates the staging folder in `directory` and locks it for this process.
    explicit StagedFamily(const std::filesystem::path& directory);
    StagedFamily(const StagedFamily&) = delete;
    StagedFamily& operator=(const StagedFamily&) = delete;
    // Removes the staging folder unless it was committed.
    ~StagedFamily();

    const std::filesystem::path& folder() const { return folder_; }
    // Where the new file `file_name` ("Door.DB") is written.
    std::filesystem::path path_of(std::string_view file_name) const { return folder_ / file_name; }

    // Flushes every staged file and swaps the family in: the files of `old_family` that the
    // new one does not replace by name are removed. The caller holds the directory lock.
    void commit(const std::vector<std::filesystem::path>& old_family);

  private:
    std::filesystem::path directory_;
    std::filesystem::path folder_;
    int lock_fd_ = -1;
    bool committed_ = false;
};

// Deletes the table `table_file` and every file of its family. The caller holds the
// directory lock and no process holds the table open.
void delete_family(const std::filesystem::path& table_file);

// Renames every file of the family of `table_file` to the stem `new_stem`, keeping each
// extension as written, except that of the .DB file when `new_extension` is given. Throws
// vaq::Error("Table already exists: NEW.DB") when a file of that name exists. Returns the new .DB
// path. The caller holds the directory lock.
std::filesystem::path rename_family(const std::filesystem::path& table_file,
                                    std::string_view new_stem, std::string_view new_extension = {});

// Finishes or undoes family changes that a crash interrupted in `directory`. Cheap when
// there are none: a look at the directory's entries. Takes the directory lock when there
// is something to do.
void recover_family_changes(const std::filesystem::path& directory);
// The same for a caller that holds the directory lock already.
void finish_family_changes(const std::filesystem::path& directory);

}  // namespace pdx
