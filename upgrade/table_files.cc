#include "upgrade/table_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "common/error.h"
#include "common/text.h"
#include "engine/table/table_name.h"

namespace vaq::upgrade {

namespace fs = std::filesystem;

namespace {

// A file opened for reading only, to ask the system to write it out.
class OpenedForSync {
  public:
    explicit OpenedForSync(const fs::path& path) : path_(path) {
        fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) fail("open");
    }
    ~OpenedForSync() {
        if (fd_ >= 0) ::close(fd_);
    }
    OpenedForSync(const OpenedForSync&) = delete;
    OpenedForSync& operator=(const OpenedForSync&) = delete;

    void sync() const {
        if (::fsync(fd_) != 0) fail("write to disk");
    }

  private:
    [[noreturn]] void fail(const char* what) const {
        throw Error("Cannot " + std::string(what) + " " + path_.string() + ": " +
                    std::strerror(errno));
    }

    fs::path path_;
    int fd_ = -1;
};

}  // namespace

std::optional<fs::path> findTableFile(const fs::path& directory, std::string_view fileName) {
    while (!fileName.empty() && (fileName.front() == '\\' || fileName.front() == '/'))
        fileName.remove_prefix(1);
    return pdx::find_table_file(directory, fileName);
}

void flushTableToDisk(const fs::path& tableFile) {
    const std::string stem = tableFile.stem().string();
    for (const fs::directory_entry& entry : fs::directory_iterator(tableFile.parent_path())) {
        if (entry.is_regular_file() && iequals(entry.path().stem().string(), stem))
            OpenedForSync(entry.path()).sync();
    }
    OpenedForSync(tableFile.parent_path()).sync();
}

}  // namespace vaq::upgrade
