#pragma once

// Sessions of the table-utility library: 16-bit handles, never 0, each naming one open
// session until it is closed. A session holds no table open between calls; it exists so that
// callers can bracket their work and so that a stale handle is refused.

#include <cstdint>
#include <optional>

#include "tutil/rebuild.h"

namespace vaq::tutil {

// Opens a session. Throws EngineError (DBIERR_ENGINE) when every handle is in use.
std::uint16_t open_session();
// Closes it. Throws EngineError (DBIERR_INVALIDHNDL) when the handle is not open.
void close_session(std::uint16_t handle);
// Throws EngineError (DBIERR_INVALIDHNDL) naming `function` when the handle is not open.
void check_session(std::uint16_t handle, const char* function);

// The result of the session's last rebuild, kept until the next one or until the session
// closes; nothing forgets it. keep_rebuild_result() of a session that is not open does
// nothing.
void keep_rebuild_result(std::uint16_t handle, std::optional<RebuildResult> result);
std::optional<RebuildResult> last_rebuild_result(std::uint16_t handle);

}  // namespace vaq::tutil
