#pragma once

// An open file descriptor and positional reads and writes, and the directory-level calls
// that change files (rename, link, flushing a directory). Nothing here knows the format.
// Every call that changes a file or a directory goes through here, so that a test can make
// any of them fail (fault_injection.h).

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "engine/format/coding.h"

namespace pdx {

class File {
  public:
    enum class Mode { kRead, kReadWrite };

    // Throws vaq::Error naming the file and the system's reason.
    static File open(const std::filesystem::path& path, Mode mode = Mode::kRead);
    // Creates a new empty file for reading and writing; an existing file is an error.
    static File create(const std::filesystem::path& path);

    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    ~File();

    std::uint64_t size() const;
    // Reads up to out.size() bytes at `offset`; fewer only at the end of the file.
    std::size_t read_at(std::uint64_t offset, MutableBytes out) const;
    // Writes all of `data` at `offset`.
    void write_at(std::uint64_t offset, Bytes data);
    // Writes `pieces` one after the other from `offset` on, in one call where it can.
    void write_at(std::uint64_t offset, std::span<const Bytes> pieces);
    // Makes every write so far durable.
    void sync();
    // Asks the operating system to start writing the file's changed pages to the disk now,
    // without waiting for them, so that a later sync() finds less to do. Only a hint: a
    // system that cannot start it early writes the pages on sync() all the same.
    void start_writeback() noexcept;
    // Cuts or extends the file to `size` bytes.
    void truncate(std::uint64_t size);

    const std::filesystem::path& path() const { return path_; }
    int descriptor() const { return fd_; }

  private:
    File(int fd, std::filesystem::path path) : fd_(fd), path_(std::move(path)) {}
    [[noreturn]] void fail(const std::string& action) const;
    [[noreturn]] void fail_with(int error, const std::string& action) const;
    friend void sync_directory(const std::filesystem::path& directory);

    int fd_ = -1;
    std::filesystem::path path_;
};

// Renames `from` to `to`, replacing a file `to` (atomic). Throws vaq::Error naming both.
void rename_file(const std::filesystem::path& from, const std::filesystem::path& to);

// Gives the file `existing` the second name `link`. Returns false, and leaves nothing, where
// the file system cannot give a file a second name (another file system, no hard links);
// throws vaq::Error for any other failure (the name exists, a full or failing disk).
bool link_file(const std::filesystem::path& existing, const std::filesystem::path& link);

// Flushes a directory's list of entries to disk.
void sync_directory(const std::filesystem::path& directory);

}  // namespace pdx
