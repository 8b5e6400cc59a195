#pragma once

// Writes a file's pieces on a thread of its own while the caller prepares the next piece:
// reading and checking the old table on one processor, writing the new one on another. Each
// piece is handed to the disk as soon as it is written (sync_file_range), so that the flush
// before the swap has little left to do.

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <thread>

#include "engine/format/coding.h"
#include "engine/format/file.h"

namespace vaq::tutil {

class WriteBehind {
  public:
    // `file` must outlive this object and must not be written while a piece is in flight.
    explicit WriteBehind(pdx::File& file);
    WriteBehind(const WriteBehind&) = delete;
    WriteBehind& operator=(const WriteBehind&) = delete;
    // Lets the piece in flight finish; a failure it met is then no longer reported.
    ~WriteBehind();

    // Waits for the piece before, then starts writing `bytes` at `offset`. The bytes must stay
    // as they are until the next call of write() or wait(). Throws what the piece before
    // failed with.
    void write(std::uint64_t offset, pdx::Bytes bytes);
    // Waits for the piece in flight; throws what it failed with.
    void wait();

  private:
    void run();

    pdx::File& file_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::uint64_t offset_ = 0;
    pdx::Bytes bytes_;
    bool busy_ = false;
    bool stopping_ = false;
    std::exception_ptr error_;
    std::thread thread_;  // last: it starts once the members it uses exist
};

}  // namespace vaq::tutil
