#include "tools/vaqdb/terminal_window.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "common/error.h"

namespace vaq::shell {

using vaq::window::Control;

namespace {

bool is_text_box(Control control) {
    return control == Control::Memo1 || control == Control::Memo2;
}

// The caption the window shows beside a bar.
std::string_view bar_caption(Control bar) {
    switch (bar) {
        case Control::PBHeader:
            return "Header:";
        case Control::PBIndexes:
            return "Indexes:";
        case Control::PBData:
            return "Data:";
        case Control::PBRebuild:
            return "Rebuild:";
        default:
            return vaq::window::control_name(bar);
    }
}

}  // namespace

TerminalWindow::TerminalWindow(std::ostream& out, std::ostream& err, bool showProgress)
    : out_(out), bar_(err, showProgress) {}

std::string TerminalWindow::text(Control control) const {
    if (lists_.count(control) != 0) {
        const int index = selected_index(control);
        return index < 0 ? std::string() : lists_.at(control)[static_cast<std::size_t>(index)];
    }
    const auto found = texts_.find(control);
    return found == texts_.end() ? std::string() : found->second;
}

void TerminalWindow::set_text(Control control, std::string_view text) {
    texts_[control] = std::string(text);
    // The completion line of the back-fill and the remaining-time estimate are shown too.
    if (control == Control::Memo2 && !text.empty()) print_lines(text);
}

void TerminalWindow::append_text(Control control, std::string_view text) {
    texts_[control] += std::string(text);
    if (is_text_box(control)) print_lines(text);
}

std::vector<std::string> TerminalWindow::items(Control list) const {
    const auto found = lists_.find(list);
    return found == lists_.end() ? std::vector<std::string>() : found->second;
}

void TerminalWindow::set_items(Control list, const std::vector<std::string>& items) {
    lists_[list] = items;
    selected_[list] = -1;
}

int TerminalWindow::selected_index(Control list) const {
    const auto found = selected_.find(list);
    return found == selected_.end() ? -1 : found->second;
}

void TerminalWindow::select(Control list, int index) {
    if (index < -1 || index >= static_cast<int>(items(list).size()))
        throw vaq::Error("The list " + std::string(vaq::window::control_name(list)) +
                         " has no item " + std::to_string(index));
    selected_[list] = index;
}

void TerminalWindow::set_range(Control bar, int minimum, int maximum) {
    ranges_[bar] = {minimum, std::max(minimum, maximum)};
}

int TerminalWindow::position(Control bar) const {
    const auto found = positions_.find(bar);
    return found == positions_.end() ? 0 : found->second;
}

void TerminalWindow::set_position(Control bar, int position) {
    const auto range = ranges_.count(bar) != 0 ? ranges_.at(bar) : std::pair{0, 100};
    position = std::clamp(position, range.first, range.second);
    positions_[bar] = position;
    bar_.show(bar_caption(bar), static_cast<std::uint64_t>(position - range.first),
              static_cast<std::uint64_t>(std::max(1, range.second - range.first)));
}

bool TerminalWindow::is_enabled(Control control) const {
    const auto found = enabled_.find(control);
    return found == enabled_.end() || found->second;
}

void TerminalWindow::set_enabled(Control control, bool enabled) {
    enabled_[control] = enabled;
}

void TerminalWindow::set_visible(Control, bool) {}

// The hidden "Backup Database" stays unticked, as in the window.
bool TerminalWindow::is_checked(Control) const {
    return false;
}

void TerminalWindow::set_running(Control, bool) {}

void TerminalWindow::click(Control button) {
    for (const auto& [handler, run] : jobs.handlers) {
        if (vaq::window::handler_control(handler) == button &&
            vaq::window::handler_name(handler).ends_with("Click") && run) {
            run();
            return;
        }
    }
    throw vaq::Error("The shell cannot run the button " +
                     std::string(vaq::window::control_name(button)));
}

void TerminalWindow::show_message(const vaq::window::MessageBox& box) {
    bar_.close();
    out_ << "box: " << box.text << '\n' << std::flush;
}

std::optional<std::string> TerminalWindow::choose_file(Control dialog, std::string_view) {
    throw vaq::Error("The shell shows no file dialog (" +
                     std::string(vaq::window::control_name(dialog)) + ")");
}

void TerminalWindow::set_busy(bool) {}

void TerminalWindow::process_events() {}

std::string TerminalWindow::application_directory() const {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) throw vaq::Error("The shell cannot find its own program file: " + error.message());
    return self.parent_path().string();
}

void TerminalWindow::print_lines(std::string_view text) {
    bar_.close();
    std::string lines;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        lines += text[i];
    }
    if (lines.empty()) return;
    if (lines.back() != '\n') lines += '\n';
    out_ << lines << std::flush;
}

}  // namespace vaq::shell
