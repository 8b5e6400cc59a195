#pragma once

// Failing file calls on purpose, for tests that check what a change leaves behind when the
// disk refuses a write, a flush, a truncation, a rename or a link part way through.
//
// Every call of the file layer that changes a file or the directory (File::write_at, sync,
// truncate, sync_directory, rename_file, link_file) asks injected_error() first. Normally
// nothing is armed and that is one relaxed load of a flag. A test arms a FaultInjection for
// a scope: it counts the calls of the kinds it watches and makes the N-th of them fail with
// the error of its plan, once or that call and every watched call after it (a disk that
// stays full). The failed call does nothing and reports the error as the system would.
// A plan that never fails only counts, so that a test learns how many points an operation
// has before it walks them.

#include <atomic>
#include <cerrno>
#include <cstdint>

namespace pdx {

// The kinds of file-changing calls, as bits of a mask.
enum class FileCall : unsigned {
    kWrite = 1u << 0,
    kSync = 1u << 1,
    kTruncate = 1u << 2,
    kRename = 1u << 3,
    kLink = 1u << 4,
};

constexpr unsigned kEveryFileCall = 0x1f;

constexpr unsigned operator|(FileCall a, FileCall b) {
    return static_cast<unsigned>(a) | static_cast<unsigned>(b);
}

struct FaultPlan {
    // The kinds of calls that count, a mask of FileCall bits.
    unsigned calls = kEveryFileCall;
    // The counted call that fails, from 1; 0 fails none and only counts.
    std::uint64_t fail_at = 0;
    // The errno the failed call reports (EIO, ENOSPC, ...).
    int error = EIO;
    // A sticky fault fails the fail_at-th call and every counted call after it.
    bool sticky = false;
};

// Armed while it lives; one at a time per process. Calls from any thread count.
class FaultInjection {
  public:
    explicit FaultInjection(FaultPlan plan = {});
    ~FaultInjection();
    FaultInjection(const FaultInjection&) = delete;
    FaultInjection& operator=(const FaultInjection&) = delete;

    // Calls of the watched kinds so far, failed ones included.
    std::uint64_t calls() const;
    // Calls that were made to fail.
    std::uint64_t failures() const;
};

namespace fault_detail {
extern std::atomic<bool> armed;
int next_error(FileCall call) noexcept;
}  // namespace fault_detail

// The errno with which the file layer must fail `call` instead of making it, or 0.
inline int injected_error(FileCall call) noexcept {
    if (!fault_detail::armed.load(std::memory_order_relaxed)) [[likely]]
        return 0;
    return fault_detail::next_error(call);
}

}  // namespace pdx
