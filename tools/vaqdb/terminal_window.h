#pragma once

// The main window as the shell shows it: the controls a job touches are kept in memory, a
// text a job adds to a log or a completion line goes to standard output as it happens, each
// message box becomes one line "box: TEXT", and the progress bars are drawn on standard
// error when that is a terminal. A button pressed by program runs its handler from the job
// set, as in the window.

#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "port/job_set.h"
#include "port/window_port.h"
#include "tools/vaqdb/progress.h"

namespace vaq::shell {

class TerminalWindow : public vaq::window::WindowPort {
  public:
    // `showProgress`: draw the bars on `err`.
    TerminalWindow(std::ostream& out, std::ostream& err, bool showProgress);
    // Ends a bar line left open.
    ~TerminalWindow() override = default;

    std::string text(vaq::window::Control control) const override;
    void set_text(vaq::window::Control control, std::string_view text) override;
    void append_text(vaq::window::Control control, std::string_view text) override;
    std::vector<std::string> items(vaq::window::Control list) const override;
    void set_items(vaq::window::Control list, const std::vector<std::string>& items) override;
    int selected_index(vaq::window::Control list) const override;
    void select(vaq::window::Control list, int index) override;
    void set_range(vaq::window::Control bar, int minimum, int maximum) override;
    int position(vaq::window::Control bar) const override;
    void set_position(vaq::window::Control bar, int position) override;
    bool is_enabled(vaq::window::Control control) const override;
    void set_enabled(vaq::window::Control control, bool enabled) override;
    void set_visible(vaq::window::Control control, bool visible) override;
    bool is_checked(vaq::window::Control checkBox) const override;
    void set_running(vaq::window::Control control, bool running) override;
    void click(vaq::window::Control button) override;
    void show_message(const vaq::window::MessageBox& box) override;
    std::optional<std::string> choose_file(vaq::window::Control dialog,
                                           std::string_view initialDirectory) override;
    void set_busy(bool busy) override;
    void process_events() override;
    std::string application_directory() const override;

    vaq::window::JobSet jobs;

  private:
    // Prints a job's text as lines, CR LF read as a line break.
    void print_lines(std::string_view text);

    std::ostream& out_;
    ProgressBar bar_;
    std::map<vaq::window::Control, std::string> texts_;
    std::map<vaq::window::Control, std::vector<std::string>> lists_;
    std::map<vaq::window::Control, int> selected_;
    std::map<vaq::window::Control, std::pair<int, int>> ranges_;
    std::map<vaq::window::Control, int> positions_;
    std::map<vaq::window::Control, bool> enabled_;
};

}  // namespace vaq::shell
