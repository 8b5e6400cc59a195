#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <utility>

#include "engine/api/dbi.h"

namespace pdx {

// What a cursor handle stands for. Each kind of cursor the engine hands out (the list of
// databases, and a table's cursor) derives from it; handles are checked against the open
// cursors, so a closed or foreign handle is refused instead of being followed.
class DbiCursor {
  public:
    virtual ~DbiCursor() = default;
    DbiCursor() = default;
    DbiCursor(const DbiCursor&) = delete;
    DbiCursor& operator=(const DbiCursor&) = delete;

    // Copies the next record into the buffer; false after the last. Throws EngineError.
    virtual bool next_record(void* recordBuffer) = 0;
    // Writes changes the cursor still holds to disk. A cursor that buffers nothing has
    // nothing to do.
    virtual void save_changes() {}
};

// Makes an open cursor of a new cursor object and returns its handle.
hDBICur register_cursor(std::unique_ptr<DbiCursor> cursor);
// True when the handle names a cursor that is open.
bool is_open_cursor(hDBICur handle);
// Takes an open cursor out of the open ones and hands it back (null for a handle that is not
// open); destroying it closes it.
std::unique_ptr<DbiCursor> release_cursor(hDBICur handle);

// An open database: an alias and its directory.
class DbiDatabase {
  public:
    DbiDatabase(std::string alias_name, std::filesystem::path directory)
        : aliasName_(std::move(alias_name)), directory_(std::move(directory)) {}
    const std::string& alias_name() const { return aliasName_; }
    const std::filesystem::path& directory() const { return directory_; }

  private:
    std::string aliasName_;
    std::filesystem::path directory_;
};

hDBIDb register_database(std::unique_ptr<DbiDatabase> database);
bool is_open_database(hDBIDb handle);
std::unique_ptr<DbiDatabase> release_database(hDBIDb handle);

}  // namespace pdx
