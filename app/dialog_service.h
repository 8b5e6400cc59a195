#pragma once

// Every message box and open-file dialog of the utility goes through one DialogService, so
// that tests can record the boxes and answer them without showing anything.

#include <QString>
#include <functional>
#include <optional>

#include "port/window_port.h"

class QFileDialog;
class QWidget;

namespace vaq::app {

// The application title: caption of plain boxes and of the standard error box.
inline constexpr char kApplicationTitle[] = "VAQ Utility";

struct BoxRequest {
    QString title;
    QString text;
    window::BoxIcon icon = window::BoxIcon::kNone;
    // Blocks every window of the application, with or without a window of its own.
    bool taskModal = false;
};

class DialogService {
  public:
    virtual ~DialogService() = default;
    // A modal box with one OK button; returns when it is closed.
    virtual void show_message(const BoxRequest& box) = 0;
    // Runs a configured open-file dialog; the chosen file, or nothing when cancelled.
    virtual std::optional<QString> choose_file(QFileDialog& dialog) = 0;
    // A question with the buttons Yes and No over the window, which goes on answering the
    // user and running a job meanwhile: returns at once, and `answered` is called with true
    // for Yes when the box is closed (closing it otherwise means No).
    virtual void ask_then_call(const BoxRequest& box, std::function<void(bool yes)> answered) = 0;
};

// Shows real boxes and dialogs, centred over the active window.
class QtDialogService : public DialogService {
  public:
    void show_message(const BoxRequest& box) override;
    std::optional<QString> choose_file(QFileDialog& dialog) override;
    void ask_then_call(const BoxRequest& box, std::function<void(bool yes)> answered) override;
};

}  // namespace vaq::app
