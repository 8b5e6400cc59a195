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

OpenObjects<DbiCursor>& open_cursors() {
    static OpenObjects<DbiCursor> cursors;
    return cursors;
}

OpenObjects<DbiDatabase>& open_databases() {
    static OpenObjects<DbiDatabase> databases;
    return databases;
}

}  // namespace

hDBICur register_cursor(std::unique_ptr<DbiCursor> cursor) {
    return open_cursors().add(std::move(cursor));
}

bool is_open_cursor(hDBICur handle) {
    return open_cursors().contains(handle);
}

std::unique_ptr<DbiCursor> release_cursor(hDBICur handle) {
    auto cursor = open_cursors().release(handle);
    if (cursor) forget_callbacks(handle);
    return cursor;
}

hDBIDb register_database(std::unique_ptr<DbiDatabase> database) {
    return open_databases().add(std::move(database));
}

bool is_open_database(hDBIDb handle) {
    return open_databases().contains(handle);
}

std::unique_ptr<DbiDatabase> release_database(hDBIDb handle) {
    return open_databases().release(handle);
}

}  // namespace pdx
