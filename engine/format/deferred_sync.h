#pragma once

// One durable point for a run of changes. Every change of a table's structure flushes its new
// files and its directory before and after the swap, and a saved record change flushes the
// table: each is a wait for the disk. A job that makes a hundred such changes in a row (an
// upgrade adding columns one by one) waits a hundred times. While a DeferredSync lives, those
// flushes only note the folder they were for; finish() then flushes, once, every file of the
// noted folders written since the DeferredSync began, and the folders.
//
// What a process killed meanwhile leaves is unchanged: every write and rename has reached the
// operating system before the call that made it returned, so each table is old or new, never
// half. Only a failure of the machine itself before finish() may take back changes made since
// the DeferredSync began.
//
// One at a time per process; a second one made while the first lives joins it (its finish()
// does nothing).

#include <chrono>
#include <filesystem>
#include <functional>
#include <set>
#include <vector>

namespace pdx {

class DeferredSync {
  public:
    DeferredSync();
    // Finishes when finish() was not called; an error is reported on standard error then.
    ~DeferredSync();
    DeferredSync(const DeferredSync&) = delete;
    DeferredSync& operator=(const DeferredSync&) = delete;

    // Flushes what the run wrote, as described above. Throws vaq::Error naming the file or
    // folder the disk refused.
    void finish();

    // Called by the flushes: true when a DeferredSync lives and has noted `folder` (the flush
    // is then left to it); false when the caller must flush itself.
    static bool defer(const std::filesystem::path& folder);

    // Work that may wait for the end of the run, such as removing a folder kept for the run's
    // next change: when a DeferredSync lives, `task` runs at the start of finish(), before the
    // flushes, and true is returned; false when none lives. The task must not throw.
    static bool at_finish(std::function<void()> task);

  private:
    bool owner_ = false;
    bool finished_ = false;
    std::filesystem::file_time_type began_;
    std::set<std::filesystem::path> folders_;
    std::vector<std::function<void()>> tasks_;
};

}  // namespace pdx
