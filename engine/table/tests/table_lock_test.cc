// Sharing tables: one Table object per table in a process, advisory locks between our
// processes, and Paradox lock files with a live lock keeping writers out.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include "common/error.h"
#include "engine/table/restructure.h"
#include "engine/table/table_lock.h"
#include "engine/table/table_writer.h"
#include "engine/table/tests/write_test_support.h"

namespace pdx {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

// A child process that does `hold` and then waits until the parent lets it go.
class Holder {
  public:
    explicit Holder(const std::function<void()>& hold) {
        if (::pipe(ready_) != 0 || ::pipe(release_) != 0) throw std::runtime_error("pipe failed");
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(ready_[0]);
            ::close(release_[1]);
            try {
                hold();
            } catch (...) {
                ::_exit(2);
            }
            const char ok = 1;
            if (::write(ready_[1], &ok, 1) != 1) ::_exit(3);
            char byte = 0;
            while (::read(release_[0], &byte, 1) > 0) {
            }
            ::_exit(0);
        }
        ::close(ready_[1]);
        ::close(release_[0]);
        char byte = 0;
        if (::read(ready_[0], &byte, 1) != 1) throw std::runtime_error("the holder failed");
    }
    ~Holder() { release(); }
    void release() {
        if (pid_ <= 0) return;
        ::close(release_[1]);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
    }

  private:
    int ready_[2] = {-1, -1};
    int release_[2] = {-1, -1};
    pid_t pid_ = -1;
};

void expect_in_use(const std::function<void()>& action, const std::string& table) {
    try {
        action();
        ADD_FAILURE() << "the table was used while another program held it";
    } catch (const vaq::Error& e) {
        EXPECT_EQ(std::string(e.what()), "Table is in use by another program: " + table + ".");
    }
}

TEST(TableLock, OneProcessSharesOneTableObject) {
    TempDir dir;
    create_table(dir.path(), "Shared", {{{"Name", FieldType::kAlpha, 10}}, 0});
    const auto reader = Table::open(dir.path(), "shared");
    EXPECT_FALSE(reader->writable());
    const auto again = Table::open(dir.path(), "SHARED.DB");
    EXPECT_EQ(reader.get(), again.get());
    const auto writer = Table::open(dir.path(), "Shared", Access::kWrite);
    EXPECT_EQ(writer.get(), reader.get());
    EXPECT_TRUE(reader->writable());
    EditBuffer record = EditBuffer::blank(writer);
    record.set("Name", "seen");
    writer->writer().insert(record);
    // Every holder sees the change at once.
    EXPECT_EQ(again->record_count(), 1u);
    EXPECT_EQ(testing::all_records(*again)[0][0], "seen");
}

TEST(TableLock, AnotherProcessHoldingATableKeepsWritersOut) {
    TempDir dir;
    create_table(dir.path(), "Held", {{{"Name", FieldType::kAlpha, 10}}, 0});
    {
        Holder reading([&] {
            new std::shared_ptr<Table>(Table::open(dir.path(), "Held"));  // held to the end
        });
        expect_in_use([&] { Table::open(dir.path(), "Held", Access::kWrite); }, "Held.DB");
        expect_in_use([&] { delete_table(dir.path(), "Held"); }, "Held.DB");
        const RestructurePlan plan = current_layout(*Table::open(dir.path(), "Held"));
        expect_in_use([&] { restructure_table(dir.path(), "Held", plan); }, "Held.DB");
        EXPECT_EQ(Table::open(dir.path(), "Held")->record_count(), 0u);  // reading is shared
    }
    {
        Holder writing([&] {
            const auto table = Table::open(dir.path(), "Held", Access::kWrite);
            new std::shared_ptr<Table>(table);  // held to the end
        });
        expect_in_use([&] { Table::open(dir.path(), "Held"); }, "Held.DB");
    }
    EXPECT_TRUE(Table::open(dir.path(), "Held", Access::kWrite)->writable());
}

TEST(TableLock, ParadoxLockFilesWithALiveLockKeepWritersOut) {
    TempDir dir;
    create_table(dir.path(), "Door", {{{"Name", FieldType::kAlpha, 10}}, 0});
    for (const std::string lock_file : {"PDOXUSRS.LCK", "paradox.lck", "Door.LCK"}) {
        SCOPED_TRACE(lock_file);
        const fs::path path = dir / lock_file;
        testing::write_file(path, std::vector<std::uint8_t>(64, 0));
        // A lock file nobody holds a lock on is a leftover: it does not stop anyone.
        EXPECT_TRUE(Table::open(dir.path(), "Door", Access::kWrite)->writable());
        {
            Holder paradox([&] {
                const int fd = ::open(path.c_str(), O_RDWR);
                struct flock range {};
                range.l_type = F_WRLCK;
                range.l_whence = SEEK_SET;
                range.l_start = 12;
                range.l_len = 4;
                if (fd < 0 || ::fcntl(fd, F_SETLK, &range) != 0) throw std::runtime_error("lock");
            });
            EXPECT_TRUE(has_live_lock(path));
            expect_in_use([&] { Table::open(dir.path(), "Door", Access::kWrite); }, "Door.DB");
            expect_in_use([&] { delete_table(dir.path(), "Door"); }, "Door.DB");
            EXPECT_EQ(Table::open(dir.path(), "Door")->record_count(), 0u);
        }
        EXPECT_FALSE(has_live_lock(path));
        fs::remove(path);
    }
    // Another table's lock file concerns only that table.
    testing::write_file(dir / "Other.LCK", {0});
    Holder other([&] {
        const int fd = ::open((dir / "Other.LCK").c_str(), O_RDWR);
        struct flock range {};
        range.l_type = F_WRLCK;
        range.l_whence = SEEK_SET;
        if (fd < 0 || ::fcntl(fd, F_SETLK, &range) != 0) throw std::runtime_error("lock");
    });
    EXPECT_TRUE(Table::open(dir.path(), "Door", Access::kWrite)->writable());
}

}  // namespace
}  // namespace pdx
