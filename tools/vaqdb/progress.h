#pragma once

// A progress bar on standard error: "Data: [#####     ] 42%", redrawn in place at most ten
// times a second (and once more when it is closed, so that it ends at what was reached), and
// only when it is enabled (standard error is a terminal). Whatever is printed next starts on
// a line of its own: close() ends the bar's line first.

#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

namespace vaq::shell {

class ProgressBar {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kRedrawInterval{100};

    ProgressBar(std::ostream& err, bool enabled) : err_(err), enabled_(enabled) {}
    // Draws a bar that is still waiting for its turn, and ends the line.
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    bool enabled() const { return enabled_; }
    // `done` of `total` under `caption`; drawn when the last drawing is old enough.
    void show(std::string_view caption, std::uint64_t done, std::uint64_t total);
    // Brings an open bar line up to what was last shown, and ends it.
    void close();
    // The number of times the bar was drawn.
    std::uint64_t redraws() const { return redraws_; }

  private:
    void draw(Clock::time_point now);

    std::ostream& err_;
    bool enabled_;
    bool open_ = false;
    std::string caption_;  // the caption and percent of the last show()
    std::uint64_t percent_ = 0;
    std::string shown_;    // the text of the last drawing
    std::string pending_;  // the text to draw
    Clock::time_point drawn_at_{};
    std::uint64_t redraws_ = 0;
};

}  // namespace vaq::shell
