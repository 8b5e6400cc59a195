#include "engine/format/fault_injection.h"

#include <mutex>
#include <stdexcept>

namespace pdx {

namespace fault_detail {
std::atomic<bool> armed{false};
}  // namespace fault_detail

namespace {

struct State {
    std::mutex mutex;
    FaultPlan plan;
    std::uint64_t calls = 0;
    std::uint64_t failures = 0;
};

State& state() {
    static State s;
    return s;
}

}  // namespace

FaultInjection::FaultInjection(FaultPlan plan) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (fault_detail::armed.load()) throw std::logic_error("a fault injection is armed already");
    s.plan = plan;
    s.calls = 0;
    s.failures = 0;
    fault_detail::armed.store(true);
}

FaultInjection::~FaultInjection() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    fault_detail::armed.store(false);
}

std::uint64_t FaultInjection::calls() const {
    State& s = state();
    std::lock_guard lock(s.mutex);
    return s.calls;
}

std::uint64_t FaultInjection::failures() const {
    State& s = state();
    std::lock_guard lock(s.mutex);
    return s.failures;
}

int fault_detail::next_error(FileCall call) noexcept {
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (!armed.load() || (s.plan.calls & static_cast<unsigned>(call)) == 0) return 0;
    const std::uint64_t n = ++s.calls;
    const bool fails =
        s.plan.fail_at != 0 && (n == s.plan.fail_at || (s.plan.sticky && n > s.plan.fail_at));
    if (!fails) return 0;
    ++s.failures;
    return s.plan.error;
}

}  // namespace pdx
