#include "engine/table/crash_points.h"

namespace pdx {

namespace {

CrashPointHandler& handler_slot() {
    static CrashPointHandler handler;
    return handler;
}

}  // namespace

void set_crash_point_handler(CrashPointHandler handler) {
    handler_slot() = std::move(handler);
}

void crash_point(std::string_view where) {
    if (const CrashPointHandler& handler = handler_slot()) handler(where);
}

}  // namespace pdx
