#pragma once

// Folders of the private directory that a job keeps for one database:
//
//   <private_dir>/<database id>/<job>/            what the job keeps across runs
//   <private_dir>/<database id>/<job>/<run>/      one folder per run, never reused
//
// The database id is the directory's own name (characters other than letters, digits, '.',
// '_' and '-' as '_') followed by 16 hex digits of a hash of its canonical path, so that two
// databases never share a folder. A run is named by the time it started, in UTC
// ("20261207T152116.042Z"), with "-2", "-3", ... when that name is taken.

#include <filesystem>
#include <string>
#include <string_view>

namespace vaq::db {

// The id of the database in `directory`.
std::string databaseId(const std::filesystem::path& directory);

// <private_dir>/<database id>/<job>, created (for the user only) when missing. Throws
// vaq::Error naming the folder when it cannot be created.
std::filesystem::path jobFolder(const std::filesystem::path& directory, std::string_view job);

// A new, empty run folder in jobFolder(directory, job).
std::filesystem::path makeRunFolder(const std::filesystem::path& directory, std::string_view job);

}  // namespace vaq::db
