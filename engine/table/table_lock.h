#pragma once

// Sharing a database directory with other processes.
//
// Our own processes: while a table is open it holds an advisory lock (flock) on its .DB
// file, shared for reading and exclusive for writing; a second process that wants a
// conflicting lock is refused at once. The lock is taken on the file the path names at that
// moment: a restructure replaces the file, so after locking we check that the path still
// leads to the locked file and start again when it does not.
//
// Family-level changes (create, restructure, delete, rename, and the recovery of such a
// change that a crash interrupted) run under an exclusive flock of the directory itself, so
// that two of them never interleave.
//
// Other programs: Paradox programs announce open tables with lock files in the table's
// directory (PDOXUSRS.LCK and PARADOX.LCK for the directory, NAME.LCK for one table) and
// hold operating-system byte-range locks on them while they work (a Windows program on a
// Samba share has its locks mirrored as POSIX locks). A lock file that nobody holds a lock on
// is a leftover of a crash and means nothing.

#include <filesystem>
#include <string>
#include <string_view>

namespace pdx {

class TableLock {
  public:
    enum class Mode { kShared, kExclusive };

    // Locks `table_file` without waiting. Throws vaq::Error("Table is in use by another
    // program: NAME.") when another process holds a conflicting lock.
    static TableLock acquire(const std::filesystem::path& table_file, Mode mode);

    TableLock() = default;
    TableLock(TableLock&& other) noexcept;
    TableLock& operator=(TableLock&& other) noexcept;
    TableLock(const TableLock&) = delete;
    TableLock& operator=(const TableLock&) = delete;
    ~TableLock();

    bool held() const { return fd_ >= 0; }
    Mode mode() const { return mode_; }
    // Turns a shared lock into an exclusive one without waiting. Throws the error of
    // acquire() when another process holds the table; the shared lock is kept then.
    void upgrade(std::string_view table_name);
    // Turns an exclusive lock into a shared one.
    void downgrade();
    void release();

  private:
    TableLock(int fd, Mode mode) : fd_(fd), mode_(mode) {}

    int fd_ = -1;
    Mode mode_ = Mode::kShared;
};

// The exclusive lock of a database directory, held while the family of a table changes.
// Waits for another process's family change to finish.
class DirectoryLock {
  public:
    static DirectoryLock acquire(const std::filesystem::path& directory);

    DirectoryLock(DirectoryLock&& other) noexcept;
    DirectoryLock& operator=(DirectoryLock&&) = delete;
    DirectoryLock(const DirectoryLock&) = delete;
    DirectoryLock& operator=(const DirectoryLock&) = delete;
    ~DirectoryLock();

  private:
    explicit DirectoryLock(int fd) : fd_(fd) {}
    int fd_ = -1;
};

// The message every refusal because of another program's use carries.
std::string table_in_use_message(std::string_view table_name);

// Throws vaq::Error("Table is in use by another program: NAME.") when a Paradox program holds
// a live lock on PDOXUSRS.LCK, PARADOX.LCK or NAME.LCK in the table's directory.
void check_not_open_in_paradox(const std::filesystem::path& table_file);

// True when some other process holds a byte-range lock anywhere in the file.
bool has_live_lock(const std::filesystem::path& file);

}  // namespace pdx
