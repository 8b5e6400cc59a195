#pragma once

// Named places inside record changes and family changes where a crash would hurt most: after
// the journal is written, between the writes of a change, between the renames of a family
// swap. Crash tests install a handler that kills the process at one of them; normally no
// handler is installed and a crash point costs one test of a function object.

#include <functional>
#include <string_view>

namespace pdx {

using CrashPointHandler = std::function<void(std::string_view where)>;

void set_crash_point_handler(CrashPointHandler handler);
void crash_point(std::string_view where);

}  // namespace pdx
