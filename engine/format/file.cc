#include "engine/format/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "common/error.h"
#include "engine/format/deferred_sync.h"
#include "engine/format/fault_injection.h"

namespace pdx {

File File::open(const std::filesystem::path& path, Mode mode) {
    const int flags = (mode == Mode::kRead ? O_RDONLY : O_RDWR) | O_CLOEXEC;
    int fd;
    do {
        fd = ::open(path.c_str(), flags);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        throw vaq::Error("Cannot open " + path.string() + ": " + std::strerror(errno) + ".");
    File file(fd, path);
    struct stat st {};
    if (::fstat(fd, &st) != 0) file.fail("examine");
    if (!S_ISREG(st.st_mode)) throw vaq::Error("Not a regular file: " + path.string() + ".");
    return file;
}

File File::create(const std::filesystem::path& path) {
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        throw vaq::Error("Cannot create " + path.string() + ": " + std::strerror(errno) + ".");
    return File(fd, path);
}

File::File(File&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
    }
    return *this;
}

File::~File() {
    if (fd_ >= 0) ::close(fd_);
}

void File::fail(const std::string& action) const {
    fail_with(errno, action);
}

void File::fail_with(int error, const std::string& action) const {
    throw vaq::Error("Cannot " + action + " " + path_.string() + ": " + std::strerror(error) + ".");
}

std::uint64_t File::size() const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) fail("examine");
    return static_cast<std::uint64_t>(st.st_size);
}

std::size_t File::read_at(std::uint64_t offset, MutableBytes out) const {
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t n =
            ::pread(fd_, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            fail("read");
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

void File::write_at(std::uint64_t offset, Bytes data) {
    if (const int error = injected_error(FileCall::kWrite)) fail_with(error, "write");
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::pwrite(fd_, data.data() + done, data.size() - done,
                                   static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            fail("write");
        }
        done += static_cast<std::size_t>(n);
    }
}

void File::write_at(std::uint64_t offset, std::span<const Bytes> pieces) {
    if (const int error = injected_error(FileCall::kWrite)) fail_with(error, "write");
    std::size_t piece = 0;
    std::size_t within = 0;  // bytes of pieces[piece] written
    while (true) {
        while (piece < pieces.size() && within == pieces[piece].size()) {
            ++piece;
            within = 0;
        }
        if (piece == pieces.size()) return;
        constexpr std::size_t kMostPieces = 64;
        iovec vectors[kMostPieces];
        int count = 0;
        for (std::size_t p = piece; p < pieces.size() && count < static_cast<int>(kMostPieces);
             ++p) {
            const std::size_t skip = p == piece ? within : 0;
            vectors[count++] = {const_cast<std::uint8_t*>(pieces[p].data()) + skip,
                                pieces[p].size() - skip};
        }
        const ssize_t n = ::pwritev(fd_, vectors, count, static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR) continue;
            fail("write");
        }
        if (n == 0) fail_with(ENOSPC, "write");
        offset += static_cast<std::uint64_t>(n);
        for (auto left = static_cast<std::size_t>(n); left > 0;) {
            const std::size_t rest = pieces[piece].size() - within;
            const std::size_t taken = std::min(left, rest);
            within += taken;
            left -= taken;
            if (within == pieces[piece].size()) {
                ++piece;
                within = 0;
            }
        }
    }
}

void File::sync() {
    if (DeferredSync::defer(path_.parent_path())) return;
    if (const int error = injected_error(FileCall::kSync)) fail_with(error, "flush");
    if (::fsync(fd_) != 0) fail("flush");
}

void File::start_writeback() noexcept {
    // An error here (a file system without the call) changes nothing that sync() does not do.
    (void)::sync_file_range(fd_, 0, 0, SYNC_FILE_RANGE_WRITE);
}

void File::truncate(std::uint64_t size) {
    if (const int error = injected_error(FileCall::kTruncate)) fail_with(error, "resize");
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) fail("resize");
}

void rename_file(const std::filesystem::path& from, const std::filesystem::path& to) {
    int error = injected_error(FileCall::kRename);
    if (error == 0 && ::rename(from.c_str(), to.c_str()) != 0) error = errno;
    if (error != 0)
        throw vaq::Error("Cannot rename " + from.string() + " to " + to.string() + ": " +
                         std::strerror(error) + ".");
}

bool link_file(const std::filesystem::path& existing, const std::filesystem::path& link) {
    int error = injected_error(FileCall::kLink);
    if (error == 0 && ::link(existing.c_str(), link.c_str()) != 0) error = errno;
    switch (error) {
        case 0:
            return true;
        // No second name on this file system, or across two of them.
        case EXDEV:
        case EPERM:
        case EMLINK:
        case ENOTSUP:
            return false;
        default:
            throw vaq::Error("Cannot link " + existing.string() + " to " + link.string() + ": " +
                             std::strerror(error) + ".");
    }
}

void sync_directory(const std::filesystem::path& directory) {
    if (DeferredSync::defer(directory)) return;
    int fd;
    do {
        fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        throw vaq::Error("Cannot open " + directory.string() + ": " + std::strerror(errno) + ".");
    File folder(fd, directory);
    folder.sync();
}

}  // namespace pdx
