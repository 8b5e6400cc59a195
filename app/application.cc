#include "app/application.h"

#include <QSettings>
#include <cstdio>

#include "app/error_box.h"

namespace vaq::app {

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
    // A folder that cannot be made leaves the settings nowhere, which is as good.
    const QString folder = settingsOfThisRun_.isValid()
                               ? settingsOfThisRun_.path()
                               : QStringLiteral("/nonexistent/vaq-utility-settings");
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder);
}

bool Application::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        const std::string message = current_error_message();
        if (dialogs_ != nullptr) {
            show_standard_error_box(*dialogs_, message);
        } else {
            std::fprintf(stderr, "VAQ Utility: %s\n", message.c_str());
        }
        return false;
    }
}

}  // namespace vaq::app
