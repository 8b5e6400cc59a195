#include "tools/vaqdb/progress.h"

#include <algorithm>

namespace vaq::shell {

namespace {

std::uint64_t percent_of(std::uint64_t done, std::uint64_t total) {
    return total == 0 ? 100 : std::min(done, total) * 100 / total;
}

std::string bar_text(std::string_view caption, std::uint64_t percent) {
    constexpr std::uint64_t kWidth = 30;
    const std::uint64_t filled = percent * kWidth / 100;
    return std::string(caption) + " [" + std::string(filled, '#') +
           std::string(kWidth - filled, ' ') + "] " + std::to_string(percent) + "%";
}

}  // namespace

void ProgressBar::show(std::string_view caption, std::uint64_t done, std::uint64_t total) {
    if (!enabled_) return;
    // Called for every record: nothing more than a comparison while the percent stays.
    const std::uint64_t percent = percent_of(done, total);
    if (percent != percent_ || caption != caption_ || pending_.empty()) {
        percent_ = percent;
        caption_ = caption;
        pending_ = bar_text(caption, percent);
    }
    if (pending_ == shown_) return;
    const Clock::time_point now = Clock::now();
    if (redraws_ > 0 && now - drawn_at_ < kRedrawInterval) return;
    draw(now);
}

ProgressBar::~ProgressBar() {
    // The last state of a bar drawn too soon after the previous one is still shown once.
    if (!open_ && !pending_.empty() && pending_ != shown_) draw(Clock::now());
    close();
}

void ProgressBar::close() {
    if (!open_) return;
    if (pending_ != shown_) draw(Clock::now());
    err_ << '\n' << std::flush;
    open_ = false;
    shown_.clear();
    pending_.clear();
    caption_.clear();
}

void ProgressBar::draw(Clock::time_point now) {
    // Blanks after the text wipe what a longer drawing left.
    const std::size_t wipe = shown_.size() > pending_.size() ? shown_.size() - pending_.size() : 0;
    err_ << '\r' << pending_ << std::string(wipe, ' ') << std::flush;
    shown_ = pending_;
    drawn_at_ = now;
    open_ = true;
    ++redraws_;
}

}  // namespace vaq::shell
