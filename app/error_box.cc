#include "app/error_box.h"

#include <QString>

#include "app/dialog_service.h"

namespace vaq::app {

std::string with_closing_full_stop(const std::string& message) {
    // Bytes of a multi-byte UTF-8 character are all above '.', as the character itself is.
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') {
        return message + '.';
    }
    return message;
}

void show_standard_error_box(DialogService& dialogs, const std::string& message) {
    dialogs.show_message({QString::fromLatin1(kApplicationTitle),
                          QString::fromStdString(with_closing_full_stop(message)),
                          window::BoxIcon::kError, false});
}

void show_fatal_startup_box(DialogService& dialogs, const std::string& message,
                            const std::string& note) {
    QString text = QStringLiteral("The database MainDB could not be opened on the alias VAQ.\n\n%1")
                       .arg(QString::fromStdString(with_closing_full_stop(message)));
    if (!note.empty()) text += QStringLiteral("\n\n") + QString::fromStdString(note);
    dialogs.show_message(
        {QStringLiteral("Application Error"), text, window::BoxIcon::kError, true});
}

std::string current_error_message() {
    try {
        throw;
    } catch (const std::exception& error) {
        return error.what();
    } catch (...) {
        return "An unknown error occurred";
    }
}

bool run_showing_errors(DialogService& dialogs, const std::function<void()>& work) {
    try {
        work();
        return true;
    } catch (...) {
        show_standard_error_box(dialogs, current_error_message());
        return false;
    }
}

}  // namespace vaq::app
