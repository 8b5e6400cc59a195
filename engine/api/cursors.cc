#include <map>
#include <mutex>

#include "engine/api/callbacks.h"
#include "engine/api/cursor.h"

namespace pdx {

namespace {

// Open objects by handle. A handle is the object's address; looking it up here first means a
// stale or foreign handle is answered with DBIERR_INVALIDHNDL instead of being followed.
template <typename Object>
class OpenObjects {
  public:
    Object* add(std::unique_ptr<Object> object) {
        std::lock_guard lock(mutex_);
        Object* handle = object.get();
        objects_.emplace(handle, std::move(object));
        return handle;
    }

    bool contains(Object* handle) {
        std::lock_guard lock(mutex_);
        return handle != nullptr && objects_.count(handle) != 0;
    }

    std::unique_ptr<Object> release(Object* handle) {
        std::lock_guard lock(mutex_);
        const auto found = objects_.find(handle);
        if (found == objects_.end()) return nullptr;
        std::unique_ptr<Object> object = std::move(found->second);
        objects_.erase(found);
        return object;
    }

  private:
    std::mutex mutex_;
    std::map<Object*, std::unique_ptr<Object>> objects_;
};

OpenObjects<DbiCursor>& openCursors() {
    static OpenObjects<DbiCursor> cursors;
    return cursors;
}

OpenObjects<DbiDatabase>& openDatabases() {
    static OpenObjects<DbiDatabase> databases;
    return databases;
}

}  // namespace

hDBICur registerCursor(std::unique_ptr<DbiCursor> cursor) {
    return openCursors().add(std::move(cursor));
}

bool isOpenCursor(hDBICur handle) {
    return openCursors().contains(handle);
}

std::unique_ptr<DbiCursor> releaseCursor(hDBICur handle) {
    auto cursor = openCursors().release(handle);
    if (cursor) forgetCallbacks(handle);
    return cursor;
}

hDBIDb registerDatabase(std::unique_ptr<DbiDatabase> database) {
    return openDatabases().add(std::move(database));
}

bool isOpenDatabase(hDBIDb handle) {
    return openDatabases().contains(handle);
}

std::unique_ptr<DbiDatabase> releaseDatabase(hDBIDb handle) {
    return openDatabases().release(handle);
}

}  // namespace pdx
