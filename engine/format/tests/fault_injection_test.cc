// The file layer's injected faults: which call fails, with what, and what it leaves.

#include "engine/format/fault_injection.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/error.h"
#include "engine/format/file.h"
#include "engine/format/tests/scratch_files.h"

namespace pdx {
namespace {

using testing::read_file;
using testing::TempDir;
namespace fs = std::filesystem;

const std::vector<std::uint8_t> kBytes = {1, 2, 3, 4};

// Runs `call` and returns the text of the vaq::Error it throws, or "" when it returns.
template <typename Call>
std::string failure_of(Call&& call) {
    try {
        call();
    } catch (const vaq::Error& e) {
        return e.what();
    }
    return "";
}

TEST(FaultInjection, FailsTheNthCallOnceWithoutMakingIt) {
    TempDir dir;
    File file = File::create(dir / "a");
    FaultInjection faults({.calls = kEveryFileCall, .fail_at = 2, .error = EIO});
    file.write_at(0, kBytes);
    EXPECT_NE(failure_of([&] { file.write_at(4, kBytes); }).find("Input/output error"),
              std::string::npos);
    file.sync();
    file.truncate(2);
    EXPECT_EQ(faults.calls(), 4u);
    EXPECT_EQ(faults.failures(), 1u);
    // The failed write never reached the file.
    EXPECT_EQ(read_file(dir / "a"), (std::vector<std::uint8_t>{1, 2}));
}

TEST(FaultInjection, StickyFaultFailsEveryCountedCallFromItsPointOn) {
    TempDir dir;
    File file = File::create(dir / "a");
    FaultInjection faults({.fail_at = 2, .error = ENOSPC, .sticky = true});
    file.write_at(0, kBytes);
    for (int i = 0; i < 3; ++i)
        EXPECT_NE(failure_of([&] { file.write_at(4, kBytes); }).find("No space left"),
                  std::string::npos);
    EXPECT_FALSE(failure_of([&] { file.sync(); }).empty());
    EXPECT_FALSE(failure_of([&] { file.truncate(0); }).empty());
    EXPECT_FALSE(failure_of([&] { sync_directory(dir.path()); }).empty());
    EXPECT_EQ(faults.failures(), 6u);
    EXPECT_EQ(read_file(dir / "a"), kBytes);
}

TEST(FaultInjection, WatchesOnlyTheKindsOfItsPlan) {
    TempDir dir;
    for (const char* name : {"a", "b", "c"})
        File::create(dir / name).write_at(0, kBytes);
    FaultInjection faults({.calls = static_cast<unsigned>(FileCall::kRename), .fail_at = 2});
    File::open(dir / "a", File::Mode::kReadWrite).write_at(0, kBytes);
    rename_file(dir / "a", dir / "a2");
    const std::string error = failure_of([&] { rename_file(dir / "b", dir / "b2"); });
    EXPECT_NE(error.find("Cannot rename " + (dir / "b").string() + " to "), std::string::npos)
        << error;
    rename_file(dir / "c", dir / "c2");
    EXPECT_EQ(faults.calls(), 3u);
    EXPECT_TRUE(fs::exists(dir / "a2"));
    EXPECT_TRUE(fs::exists(dir / "b"));
    EXPECT_FALSE(fs::exists(dir / "b2"));
    EXPECT_TRUE(fs::exists(dir / "c2"));
}

TEST(FaultInjection, FailedLinkIsAnErrorAndNotAFileSystemWithoutLinks) {
    TempDir dir;
    File::create(dir / "a").write_at(0, kBytes);
    {
        FaultInjection faults({.calls = static_cast<unsigned>(FileCall::kLink), .fail_at = 1});
        EXPECT_NE(failure_of([&] { link_file(dir / "a", dir / "b"); }).find("Cannot link"),
                  std::string::npos);
        EXPECT_FALSE(fs::exists(dir / "b"));
    }
    EXPECT_TRUE(link_file(dir / "a", dir / "b"));
    EXPECT_EQ(read_file(dir / "b"), kBytes);
}

TEST(FaultInjection, CountsWithoutFailingAndStopsWhenGone) {
    TempDir dir;
    File file = File::create(dir / "a");
    {
        FaultInjection counting;
        file.write_at(0, kBytes);
        file.sync();
        EXPECT_EQ(counting.calls(), 2u);
        EXPECT_EQ(counting.failures(), 0u);
        EXPECT_THROW(FaultInjection second, std::logic_error);
    }
    FaultInjection again({.fail_at = 1});
    EXPECT_EQ(again.calls(), 0u);
}

}  // namespace
}  // namespace pdx
