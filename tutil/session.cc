#include "tutil/session.h"

#include <map>
#include <mutex>
#include <set>
#include <string>

#include "engine/api/engine_error.h"

namespace vaq::tutil {

namespace {

struct Sessions {
    std::mutex mutex;
    std::set<std::uint16_t> open;
    std::map<std::uint16_t, RebuildResult> rebuilds;
    std::uint16_t last = 0;
};

Sessions& sessions() {
    static Sessions instance;
    return instance;
}

}  // namespace

std::uint16_t open_session() {
    Sessions& s = sessions();
    std::lock_guard lock(s.mutex);
    if (s.open.size() >= 0xFFFF)
        throw pdx::EngineError(pdx::DBIERR_ENGINE, "Every table-utility session handle is in use");
    // Handles are handed out in turn, so that a closed one is not reused at once.
    do {
        s.last = static_cast<std::uint16_t>(s.last + 1);
    } while (s.last == 0 || s.open.count(s.last) != 0);
    s.open.insert(s.last);
    return s.last;
}

void close_session(std::uint16_t handle) {
    Sessions& s = sessions();
    std::lock_guard lock(s.mutex);
    s.rebuilds.erase(handle);
    if (s.open.erase(handle) == 0)
        throw pdx::EngineError(
            pdx::DBIERR_INVALIDHNDL,
            "TUExit: table-utility session " + std::to_string(handle) + " is not open");
}

void check_session(std::uint16_t handle, const char* function) {
    Sessions& s = sessions();
    std::lock_guard lock(s.mutex);
    if (s.open.count(handle) == 0)
        throw pdx::EngineError(pdx::DBIERR_INVALIDHNDL,
                               std::string(function) + ": table-utility session " +
                                   std::to_string(handle) + " is not open");
}

void keep_rebuild_result(std::uint16_t handle, std::optional<RebuildResult> result) {
    Sessions& s = sessions();
    std::lock_guard lock(s.mutex);
    if (!result)
        s.rebuilds.erase(handle);
    else if (s.open.count(handle) != 0)
        s.rebuilds[handle] = std::move(*result);
}

std::optional<RebuildResult> last_rebuild_result(std::uint16_t handle) {
    Sessions& s = sessions();
    std::lock_guard lock(s.mutex);
    const auto found = s.rebuilds.find(handle);
    if (found == s.rebuilds.end()) return std::nullopt;
    return found->second;
}

}  // namespace vaq::tutil
