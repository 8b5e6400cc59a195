#include "tutil/write_behind.h"

#include <fcntl.h>

#include <utility>

namespace vaq::tutil {

WriteBehind::WriteBehind(pdx::File& file) : file_(file), thread_([this] { run(); }) {}

WriteBehind::~WriteBehind() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void WriteBehind::write(std::uint64_t offset, pdx::Bytes bytes) {
    wait();
    {
        const std::lock_guard lock(mutex_);
        offset_ = offset;
        bytes_ = bytes;
        busy_ = true;
    }
    changed_.notify_all();
}

void WriteBehind::wait() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !busy_; });
    if (error_) std::rethrow_exception(std::exchange(error_, nullptr));
}

void WriteBehind::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return busy_ || stopping_; });
        if (!busy_) return;
        const std::uint64_t offset = offset_;
        const pdx::Bytes bytes = bytes_;
        lock.unlock();
        std::exception_ptr error;
        try {
            file_.write_at(offset, bytes);
            // Only a hint: the flush before the swap is what makes the file durable and
            // reports a failure.
            ::sync_file_range(file_.descriptor(), static_cast<off64_t>(offset),
                              static_cast<off64_t>(bytes.size()), SYNC_FILE_RANGE_WRITE);
        } catch (...) {
            error = std::current_exception();
        }
        lock.lock();
        error_ = error;
        busy_ = false;
        changed_.notify_all();
    }
}

}  // namespace vaq::tutil
