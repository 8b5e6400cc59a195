#include "engine/format/deferred_sync.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "common/error.h"

namespace pdx {

namespace fs = std::filesystem;

namespace {

DeferredSync* g_current = nullptr;

void flush_path(const fs::path& path, bool directory) {
    const int fd =
        ::open(path.c_str(), (directory ? O_RDONLY | O_DIRECTORY : O_RDONLY) | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return;  // gone since: a staging folder, a temporary file
        throw vaq::Error("Cannot flush " + path.string() + ": " + std::strerror(errno));
    }
    const int synced = ::fsync(fd);
    const int error = errno;
    ::close(fd);
    if (synced != 0)
        throw vaq::Error("Cannot flush " + path.string() + ": " + std::strerror(error));
}

}  // namespace

DeferredSync::DeferredSync() : began_(fs::file_time_type::clock::now()) {
    if (g_current != nullptr) return;
    // A file written in the same clock tick as this moment must count as written since.
    began_ -= std::chrono::seconds(1);
    owner_ = true;
    g_current = this;
}

DeferredSync::~DeferredSync() {
    if (!owner_ || finished_) return;
    try {
        finish();
    } catch (const vaq::Error& e) {
        // A destructor cannot pass the error on; the changes are with the operating system.
        std::fprintf(stderr, "%s\n", e.what());
    }
}

bool DeferredSync::defer(const fs::path& folder) {
    if (g_current == nullptr) return false;
    g_current->folders_.insert(folder.empty() ? fs::path(".") : folder);
    return true;
}

bool DeferredSync::at_finish(std::function<void()> task) {
    if (g_current == nullptr) return false;
    g_current->tasks_.push_back(std::move(task));
    return true;
}

void DeferredSync::finish() {
    if (!owner_ || finished_) return;
    finished_ = true;
    g_current = nullptr;
    for (const auto& task : std::exchange(tasks_, {}))
        task();
    for (const fs::path& folder : folders_) {
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(folder, ec)) {
            std::error_code entry_ec;
            if (!entry.is_regular_file(entry_ec)) continue;
            if (entry.last_write_time(entry_ec) < began_ || entry_ec) continue;
            flush_path(entry.path(), false);
        }
        flush_path(folder, true);
    }
}

}  // namespace pdx
