#include "engine/table/table_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>
#include <utility>
#include <vector>

#include "common/error.h"
#include "engine/table/table_name.h"

namespace pdx {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void fail_system(const std::string& what, const fs::path& path) {
    throw vaq::Error("Cannot " + what + " " + path.string() + ": " + std::strerror(errno) + ".");
}

int open_for_lock(const fs::path& path, int flags) {
    int fd;
    do {
        fd = ::open(path.c_str(), flags | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// False when another process holds a conflicting lock.
bool try_flock(int fd, int operation, const fs::path& path) {
    while (::flock(fd, operation | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        if (errno == EWOULDBLOCK) return false;
        fail_system("lock", path);
    }
    return true;
}

bool same_file(int fd, const fs::path& path) {
    struct stat by_fd {};
    struct stat by_path {};
    if (::fstat(fd, &by_fd) != 0 || ::stat(path.c_str(), &by_path) != 0) return false;
    return by_fd.st_dev == by_path.st_dev && by_fd.st_ino == by_path.st_ino;
}

}  // namespace

std::string table_in_use_message(std::string_view table_name) {
    return "Table is in use by another program: " + std::string(table_name) + ".";
}

TableLock TableLock::acquire(const fs::path& table_file, Mode mode) {
    const std::string name = table_file.filename().string();
    // A restructure in another process may swap the file between open and lock; a few rounds
    // are plenty because it holds its own exclusive lock while it works.
    for (int attempt = 0; attempt < 8; ++attempt) {
        const int fd = open_for_lock(table_file, O_RDONLY);
        if (fd < 0) fail_system("open", table_file);
        const bool locked = try_flock(fd, mode == Mode::kExclusive ? LOCK_EX : LOCK_SH, table_file);
        if (!locked) {
            ::close(fd);
            throw vaq::Error(table_in_use_message(name));
        }
        if (same_file(fd, table_file)) return TableLock(fd, mode);
        ::close(fd);
    }
    throw vaq::Error(table_in_use_message(name));
}

TableLock::TableLock(TableLock&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), mode_(other.mode_) {}

TableLock& TableLock::operator=(TableLock&& other) noexcept {
    if (this != &other) {
        release();
        fd_ = std::exchange(other.fd_, -1);
        mode_ = other.mode_;
    }
    return *this;
}

TableLock::~TableLock() {
    release();
}

void TableLock::release() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void TableLock::upgrade(std::string_view table_name) {
    if (fd_ < 0 || mode_ == Mode::kExclusive) return;
    // flock converts by dropping and retaking; when that fails take the shared lock back.
    if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
        mode_ = Mode::kExclusive;
        return;
    }
    ::flock(fd_, LOCK_SH | LOCK_NB);
    throw vaq::Error(table_in_use_message(table_name));
}

void TableLock::downgrade() {
    if (fd_ < 0 || mode_ == Mode::kShared) return;
    if (::flock(fd_, LOCK_SH) == 0) mode_ = Mode::kShared;
}

DirectoryLock DirectoryLock::acquire(const fs::path& directory) {
    const int fd = open_for_lock(directory, O_RDONLY | O_DIRECTORY);
    if (fd < 0) fail_system("open the directory", directory);
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno == EINTR) continue;
        const int error = errno;
        ::close(fd);
        errno = error;
        fail_system("lock the directory", directory);
    }
    return DirectoryLock(fd);
}

DirectoryLock::DirectoryLock(DirectoryLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

DirectoryLock::~DirectoryLock() {
    if (fd_ >= 0) ::close(fd_);
}

bool has_live_lock(const fs::path& file) {
    const int fd = open_for_lock(file, O_RDONLY);
    if (fd < 0) return false;
    struct flock probe {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    probe.l_start = 0;
    probe.l_len = 0;  // to the end of the file and beyond
    const bool locked = ::fcntl(fd, F_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
    ::close(fd);
    return locked;
}

void check_not_open_in_paradox(const fs::path& table_file) {
    const fs::path directory = table_file.parent_path();
    const std::string own_lock = table_file.stem().string() + ".LCK";
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(directory, ec)) {
        const std::string name = entry.path().filename().string();
        if (!same_file_name(name, "PDOXUSRS.LCK") && !same_file_name(name, "PARADOX.LCK") &&
            !same_file_name(name, own_lock))
            continue;
        if (has_live_lock(entry.path()))
            throw vaq::Error(table_in_use_message(table_file.filename().string()));
    }
}

}  // namespace pdx
