// A family swap that fails part way: every file of the table old again in the same call, and
// a swap folder left behind (by a crash or by a failure that could not be undone) finished or
// undone when the table is next used, never a reason to refuse it. The records are counted
// with pxlib, which knows nothing of our swap folders.

#include <gtest/gtest.h>

#include <initializer_list>
#include <map>
#include <string>

#include "common/error.h"
#include "engine/format/fault_injection.h"
#include "engine/table/crash_points.h"
#include "engine/table/edit_buffer.h"
#include "engine/table/restructure.h"
#include "engine/table/secondary_index.h"
#include "engine/table/table_admin.h"
#include "engine/table/table_writer.h"
#include "engine/table/tests/pxlib_reader.h"
#include "engine/table/tests/write_test_support.h"

namespace pdx {
namespace {

namespace fs = std::filesystem;
using testing::read_file;
using testing::TempDir;

constexpr int kRecords = 120;

using Files = std::map<std::string, std::vector<std::uint8_t>>;

// Every file of the directory with its bytes, the swap folders included (by their names).
Files directory_bytes(const fs::path& dir) {
    Files files;
    for (const auto& entry : fs::directory_iterator(dir))
        files[entry.path().filename().string()] =
            entry.is_directory() ? std::vector<std::uint8_t>{} : read_file(entry.path());
    return files;
}

// A keyed table of every type with blobs, a validity file and a secondary index: a family
// of six files.
void make_family(const fs::path& dir) {
    create_table(dir, "Swap", testing::every_type_spec());
    {
        const auto table = Table::open(dir, "Swap", Access::kWrite);
        for (int i = 0; i < kRecords; ++i) {
            EditBuffer r = EditBuffer::blank(table);
            r.set("Id", std::int64_t{i});
            r.set("Name", "name " + std::to_string(i % 17));
            r.set("Note", std::string(static_cast<std::size_t>(40 + i), 'n'));
            table->writer().insert(r);
        }
    }
    create_secondary_index(dir, "Swap", {"ByName", {"Name"}, false, false});
    std::vector<std::uint8_t> validity = {Table::open(dir, "Swap")->header().family_stamp, 1, 2};
    testing::write_file(dir / "Swap.VAL", validity);
}

// A restructure that adds a field: it stages every file of the family anew.
void add_field(const fs::path& dir) {
    RestructurePlan plan = current_layout(*Table::open(dir, "Swap"));
    plan.fields.push_back({{"Extra", FieldType::kAlpha, 10}, std::nullopt});
    restructure_table(dir, "Swap", plan);
}

// Makes the swap fail at crash points: the step there is taken to have failed, as a rename
// refused by the disk would. Each entry fails the nth time its point is reached.
class FailAt {
  public:
    FailAt(std::initializer_list<std::pair<std::string, int>> points)
        : points_(points.begin(), points.end()) {
        set_crash_point_handler([this](std::string_view where) {
            const auto found = points_.find(std::string(where));
            if (found != points_.end() && ++seen_[found->first] == found->second)
                throw vaq::Error("Injected failure at " + found->first);
        });
    }
    FailAt(std::string failing, int nth) : FailAt({{std::move(failing), nth}}) {}
    ~FailAt() { set_crash_point_handler(nullptr); }
    FailAt(const FailAt&) = delete;
    FailAt& operator=(const FailAt&) = delete;

  private:
    std::map<std::string, int> points_;
    std::map<std::string, int> seen_;
};

// A restructure stopped after its first new file moved in, its undo stopped before it
// began: the commit folder stays, as after a crash between two renames.
void leave_swap_half_done(const fs::path& dir) {
    FailAt fail({{"new file moved", 1}, {"undo started", 1}});
    EXPECT_THROW(add_field(dir), vaq::Error);
    bool folder_left = false;
    for (const auto& entry : fs::directory_iterator(dir))
        folder_left |= entry.path().filename().string().rfind(".pdxcommit.", 0) == 0;
    EXPECT_TRUE(folder_left);
}

std::size_t field_count(const fs::path& dir) {
    return Table::open(dir, "Swap")->schema().size();
}

void expect_records_counted_by_pxlib(const fs::path& dir) {
    testing::PxlibTable pxlib((dir / "Swap.DB").string());
    EXPECT_EQ(pxlib.record_count(), kRecords);
}

TEST(FamilySwap, ASwapWhoseSecondMoveFailsLeavesEveryFileOld) {
    TempDir dir;
    make_family(dir.path());
    const Files before = directory_bytes(dir.path());
    ASSERT_GE(before.size(), 5u);
    {
        FailAt fail("new file moved", 1);  // the first file is in, the second never moves
        EXPECT_THROW(add_field(dir.path()), vaq::Error);
    }
    EXPECT_EQ(directory_bytes(dir.path()), before);  // every file old, no folder left
    expect_records_counted_by_pxlib(dir.path());
    EXPECT_EQ(field_count(dir.path()), 14u);
    // The table works as before, and the same change goes through once the disk lets it.
    add_field(dir.path());
    EXPECT_EQ(field_count(dir.path()), 15u);
    expect_records_counted_by_pxlib(dir.path());
}

TEST(FamilySwap, ARenameRefusedAtAnyPointLeavesTheFamilyOldOrNew) {
    TempDir dir;
    make_family(dir.path());
    const Files before = directory_bytes(dir.path());
    for (std::uint64_t nth = 1;; ++nth) {
        SCOPED_TRACE("rename " + std::to_string(nth) + " refused");
        bool failed = false;
        {
            FaultInjection fault({static_cast<unsigned>(FileCall::kRename), nth, EPERM, false});
            try {
                add_field(dir.path());
            } catch (const vaq::Error&) {
                failed = true;
            }
            EXPECT_EQ(fault.failures(), failed ? 1u : 0u);
        }
        if (!failed) break;  // past the change's last rename: it went through
        EXPECT_EQ(directory_bytes(dir.path()), before);
        expect_records_counted_by_pxlib(dir.path());
        ASSERT_LT(nth, 100u);
    }
    EXPECT_EQ(field_count(dir.path()), 15u);
    expect_records_counted_by_pxlib(dir.path());
}

// A table rename cut off by a failed call is undone in the same call: the error leaves every
// file under its old name and no folder that a later open would carry through. Where the undo
// cannot be made either (the disk refuses every call from then on) the error says so and the
// next open undoes it; where only the very last flush failed, with every file renamed, the
// error says the rename happened.
TEST(FamilySwap, ATableRenameThatFailsAtAnyCallLeavesTheOldNames) {
    for (const bool sticky : {false, true}) {
        TempDir dir;
        make_family(dir.path());
        const Files before = directory_bytes(dir.path());
        for (std::uint64_t nth = 1;; ++nth) {
            SCOPED_TRACE("call " + std::to_string(nth) + (sticky ? " and after" : "") + " failing");
            ASSERT_LT(nth, 100u);
            std::string error;
            {
                FaultInjection fault({kEveryFileCall, nth, sticky ? ENOSPC : EIO, sticky});
                try {
                    rename_table(dir.path(), "Swap", "Renamed");
                } catch (const vaq::Error& e) {
                    error = e.what();
                }
            }
            if (error.empty()) break;  // past the rename's last call: it went through
            if (error.find("was renamed to Renamed.DB all the same") != std::string::npos) {
                EXPECT_EQ(Table::open(dir.path(), "Renamed")->record_count(),
                          std::uint32_t{kRecords});
                rename_table(dir.path(), "Renamed", "Swap");
            } else if (error.find("Undoing the rename failed too") != std::string::npos) {
                EXPECT_TRUE(sticky) << error;
                EXPECT_EQ(field_count(dir.path()), 14u);  // the open puts the old names back
            }
            EXPECT_EQ(directory_bytes(dir.path()), before);
        }
        EXPECT_EQ(Table::open(dir.path(), "Renamed")->record_count(), std::uint32_t{kRecords});
    }
}

TEST(FamilySwap, AFailureAtAnyMoveOfTheSwapIsUndone) {
    TempDir dir;
    make_family(dir.path());
    const Files before = directory_bytes(dir.path());
    for (const char* point : {"family committed", "old file removed", "new file moved"}) {
        for (int nth = 1; nth <= 6; ++nth) {
            SCOPED_TRACE(std::string(point) + " #" + std::to_string(nth));
            bool failed = false;
            {
                FailAt fail(point, nth);
                try {
                    add_field(dir.path());
                } catch (const vaq::Error&) {
                    failed = true;
                }
            }
            if (!failed) break;  // fewer steps of that kind than nth: the change went through
            EXPECT_EQ(directory_bytes(dir.path()), before);
        }
        // Back to the old family for the next kind of failure.
        for (const auto& [name, bytes] : directory_bytes(dir.path()))
            fs::remove_all(dir / name);
        for (const auto& [name, bytes] : before)
            testing::write_file(dir / name, bytes);
    }
}

TEST(FamilySwap, TheTableFileNeverLeavesTheDirectory) {
    TempDir dir;
    make_family(dir.path());
    int steps = 0;
    set_crash_point_handler([&](std::string_view where) {
        ++steps;
        EXPECT_TRUE(fs::exists(dir / "Swap.DB")) << "no table file at " << where;
    });
    add_field(dir.path());
    set_crash_point_handler(nullptr);
    EXPECT_GT(steps, 6);
    EXPECT_EQ(field_count(dir.path()), 15u);
    {
        // A file system without second names: the old files are moved aside instead.
        FaultInjection no_links({static_cast<unsigned>(FileCall::kLink), 1, EPERM, true});
        RestructurePlan plan = current_layout(*Table::open(dir.path(), "Swap"));
        plan.fields.push_back({{"Other", FieldType::kAlpha, 10}, std::nullopt});
        restructure_table(dir.path(), "Swap", plan);
        EXPECT_GE(no_links.failures(), 1u);
    }
    EXPECT_EQ(field_count(dir.path()), 16u);
    expect_records_counted_by_pxlib(dir.path());
    for (const auto& [name, bytes] : directory_bytes(dir.path()))
        EXPECT_NE(name.rfind(".pdx", 0), 0u) << name;
}

TEST(FamilySwap, ASwapFolderLeftBehindIsFinishedOnTheNextOpen) {
    TempDir dir;
    make_family(dir.path());
    leave_swap_half_done(dir.path());
    EXPECT_EQ(field_count(dir.path()), 15u);
    expect_records_counted_by_pxlib(dir.path());
    for (const auto& [name, bytes] : directory_bytes(dir.path()))
        EXPECT_NE(name.rfind(".pdx", 0), 0u) << name;
}

TEST(FamilySwap, ASwapFolderThatCannotBeFinishedIsUndoneNotRefused) {
    TempDir dir;
    make_family(dir.path());
    const Files before = directory_bytes(dir.path());
    leave_swap_half_done(dir.path());
    {
        // The next open cannot move the second file in either: it takes the change back.
        FailAt fail("new file moved", 1);
        EXPECT_EQ(field_count(dir.path()), 14u);
    }
    EXPECT_EQ(directory_bytes(dir.path()), before);
    expect_records_counted_by_pxlib(dir.path());
}

TEST(FamilySwap, AnUndoThatFailsIsFinishedOnTheNextOpen) {
    TempDir dir;
    make_family(dir.path());
    const Files before = directory_bytes(dir.path());
    {
        // The second move fails, and the undo stops too after taking one file back.
        set_crash_point_handler([seen_move = 0, seen_back = 0](std::string_view where) mutable {
            if (where == "new file moved" && ++seen_move == 2)
                throw vaq::Error("Injected failure of a move");
            if (where == "new file taken back" && ++seen_back == 1)
                throw vaq::Error("Injected failure of the undo");
        });
        try {
            add_field(dir.path());
            ADD_FAILURE() << "the swap did not fail";
        } catch (const vaq::Error& error) {
            EXPECT_NE(std::string(error.what()).find("Undoing the change failed too"),
                      std::string::npos)
                << error.what();
        }
        set_crash_point_handler(nullptr);
    }
    EXPECT_EQ(field_count(dir.path()), 14u);
    EXPECT_EQ(directory_bytes(dir.path()), before);
    expect_records_counted_by_pxlib(dir.path());
}

}  // namespace
}  // namespace pdx
