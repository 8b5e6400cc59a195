#pragma once

// The application's standard error box and the fatal box of a failed start.

#include <exception>
#include <functional>
#include <string>

namespace vaq::app {

class DialogService;

// The message as the error box shows it: a full stop is added when the last character sorts
// after the full stop (a letter or a digit, for example), so "Table is busy" reads
// "Table is busy." while "Done!" and "Failed." stay as they are.
std::string with_closing_full_stop(const std::string& message);

// Title "VAQ Utility", error icon, one OK button.
void show_standard_error_box(DialogService& dialogs, const std::string& message);

// Task-modal "Application Error" box naming what failed, with the error's own message and,
// after a blank line, `note` when there is one.
void show_fatal_startup_box(DialogService& dialogs, const std::string& message,
                            const std::string& note = {});

// The message of the exception in flight (for catch (...) blocks).
std::string current_error_message();

// Runs work; an error it raises is shown in the standard error box and goes no further.
// Returns whether work ended normally.
bool run_showing_errors(DialogService& dialogs, const std::function<void()>& work);

}  // namespace vaq::app
