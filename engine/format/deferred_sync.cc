#include "engine/format/deferred_sync.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "common/error.h"

namespace pdx {

namespace fs = std::filesystem;

namespace {

DeferredSync* g_current = nullptr;

// Runs on several threads at once: the message comes from std::generic_category, which,
// unlike strerror, may be called from any thread.
void flush_path(const fs::path& path, bool directory) {
    const int fd =
        ::open(path.c_str(), (directory ? O_RDONLY | O_DIRECTORY : O_RDONLY) | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT) return;  // gone since: a staging folder, a temporary file
        throw vaq::Error("Cannot flush " + path.string() + ": " +
                         std::generic_category().message(error));
    }
    const int synced = ::fsync(fd);
    const int error = errno;
    ::close(fd);
    if (synced != 0)
        throw vaq::Error("Cannot flush " + path.string() + ": " +
                         std::generic_category().message(error));
}

// Flushes that are in flight together are served by one wait of the disk for its write
// cache, so the files are flushed several at a time rather than one after the other
// (60 small files: 290-370 ms one by one, 8-36 ms eight at a time on a virtual disk).
void flush_all(const std::vector<fs::path>& paths, bool directories) {
    constexpr std::size_t kFlushers = 8;
    std::atomic<std::size_t> next{0};
    std::vector<std::string> errors(paths.size());
    const auto flusher = [&] {
        for (std::size_t at = next++; at < paths.size(); at = next++) {
            try {
                flush_path(paths[at], directories);
            } catch (const std::exception& e) {
                errors[at] = e.what();  // reported below, once every flush was tried
            }
        }
    };
    {
        std::vector<std::jthread> helpers;
        const std::size_t wanted = std::min(kFlushers, paths.size());
        for (std::size_t count = 1; count < wanted; ++count) {
            try {
                helpers.emplace_back(flusher);
            } catch (const std::system_error&) {
                break;  // no thread to spare: the threads already running flush everything
            }
        }
        flusher();
    }
    for (const std::string& error : errors)
        if (!error.empty()) throw vaq::Error(error);
}

// The regular files of `folder` written at or after `since`.
std::vector<fs::path> written_since(const fs::path& folder, fs::file_time_type since) {
    std::vector<fs::path> files;
    std::error_code ec;
    fs::directory_iterator entries(folder, ec);
    if (ec == std::errc::no_such_file_or_directory) return files;  // gone since: a staging folder
    if (ec) throw vaq::Error("Cannot list " + folder.string() + " to flush it: " + ec.message());
    for (const auto& entry : entries) {
        std::error_code entry_ec;
        if (!entry.is_regular_file(entry_ec)) continue;
        if (entry.last_write_time(entry_ec) < since || entry_ec) continue;
        files.push_back(entry.path());
    }
    return files;
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
    // Every file before any folder: a folder's entries then name files already on disk.
    std::vector<fs::path> files;
    for (const fs::path& folder : folders_) {
        std::vector<fs::path> written = written_since(folder, began_);
        files.insert(files.end(), written.begin(), written.end());
    }
    flush_all(files, false);
    flush_all({folders_.begin(), folders_.end()}, true);
}

}  // namespace pdx
