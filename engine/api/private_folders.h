#pragma once

// Folders of the private directory that belong to one database and one run of a job.
//
//   <private_dir>/<database id>/                 one folder per database directory
//   <private_dir>/<database id>/DATABASE         the database directory's path, one line
//   <private_dir>/<database id>/<subject>/<run>/ one folder per run of a job on a subject
//
// The database id is the directory's own name (characters other than letters, digits, '.',
// '_' and '-' as '_') and 16 hex digits of a hash of its canonical path, so that the tables
// of two databases never share a folder, whatever their names. A subject is a table's name
// without extension ("Transact") or a job's name ("import"). A run is named by the time it
// started, in UTC: "20261207T152116.042Z"; a second run within the same millisecond gets
// "-2", "-3", ... after it. Run folders are only ever created new, never reused, so that
// nothing a run keeps is overwritten by a later one.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace pdx {

// The id of the database in `directory` (which need not exist).
std::string database_id(const std::filesystem::path& directory);

// <private_dir>/<database id>, created (for the user only) with its DATABASE file when
// missing. Throws EngineError (DBIERR_OSACCESS) naming the folder when it cannot.
std::filesystem::path database_folder(const std::filesystem::path& directory);

// <private_dir>/<database id>/<subject>, created when missing. Throws EngineError
// (DBIERR_INVALIDPARAM) when the subject is empty or holds a path separator or is "." or
// "..", (DBIERR_OSACCESS) when the folder cannot be created.
std::filesystem::path subject_folder(const std::filesystem::path& directory,
                                     std::string_view subject);

// A new, empty run folder for `subject` of the database in `directory`, named by the
// current time. Throws as subject_folder does.
std::filesystem::path make_run_folder(const std::filesystem::path& directory,
                                      std::string_view subject);

// The run folders in `subject_folder` (named as make_run_folder names them), oldest first.
// Nothing when the folder does not exist.
std::vector<std::filesystem::path> run_folders(const std::filesystem::path& subject_folder);

}  // namespace pdx
