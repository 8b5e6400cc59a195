#pragma once

// For crash tests of jobs: the job runs in a child process that is killed (SIGKILL) at its
// `killAt`-th crash point of the engine, or after `delay`; the parent then looks at what the
// job left on disk.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <thread>

#include "engine/table/crash_points.h"

namespace vaq::test_support {

// True when the child was killed; throws when it failed without being killed.
inline bool run_killed_child(const std::function<void()>& job, int killAt,
                             std::optional<std::chrono::microseconds> delay = std::nullopt) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        int reached = 0;
        pdx::set_crash_point_handler([&](std::string_view) {
            if (++reached == killAt) ::raise(SIGKILL);
        });
        try {
            job();
        } catch (...) {
            ::_exit(2);
        }
        ::_exit(0);
    }
    if (delay) {
        std::this_thread::sleep_for(*delay);
        ::kill(pid, SIGKILL);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) return true;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("the job failed without being killed");
    return false;
}

}  // namespace vaq::test_support
