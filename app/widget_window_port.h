#pragma once

// WindowPort over the widgets of the main window, found by their objectNames.

#include <array>
#include <exception>
#include <functional>

#include "port/window_port.h"

class QObject;
class QWidget;

namespace vaq::app {

class DialogService;

// Raised where a job lets the window answer (process_events) once the user has chosen to stop
// it and close the window. Those are the places between two records, so a job stops with
// every record it stored kept. It is not a vaq::Error: no job turns it into a message.
class JobStopped : public std::exception {
  public:
    const char* what() const noexcept override {
        return "The job was stopped because the window is closing";
    }
};

class WidgetWindowPort : public window::WindowPort {
  public:
    struct Hooks {
        // Runs the click handler of a button; errors reach the caller.
        std::function<void(window::Control)> click;
        // After pending events have been processed (the transaction grid catches up).
        std::function<void()> afterEvents;
        // Whether the running job is to stop; checked after pending events.
        std::function<bool()> stopRequested;
    };

    // Raises vaq::Error naming the first control the window lacks.
    WidgetWindowPort(QWidget& window, DialogService& dialogs, Hooks hooks);

    std::string text(window::Control control) const override;
    void set_text(window::Control control, std::string_view text) override;
    void append_text(window::Control control, std::string_view text) override;
    std::vector<std::string> items(window::Control list) const override;
    void set_items(window::Control list, const std::vector<std::string>& items) override;
    int selected_index(window::Control list) const override;
    void select(window::Control list, int index) override;
    void set_range(window::Control bar, int minimum, int maximum) override;
    int position(window::Control bar) const override;
    void set_position(window::Control bar, int position) override;
    bool is_enabled(window::Control control) const override;
    void set_enabled(window::Control control, bool enabled) override;
    void set_visible(window::Control control, bool visible) override;
    bool is_checked(window::Control checkBox) const override;
    void set_running(window::Control control, bool running) override;
    void click(window::Control button) override;
    void show_message(const window::MessageBox& box) override;
    bool ask_yes_no(const window::MessageBox& box) override;
    std::optional<std::string> choose_file(window::Control dialog,
                                           std::string_view initialDirectory) override;
    void set_busy(bool busy) override;
    void process_events() override;
    std::string application_directory() const override;

  private:
    QObject* object(window::Control control) const;
    template <typename Wanted>
    Wanted* as(window::Control control, const char* what) const;

    std::array<QObject*, window::kControlCount> controls_{};
    DialogService& dialogs_;
    Hooks hooks_;
    bool busy_ = false;
};

}  // namespace vaq::app
