#include "app/application.h"

#include <cstdio>

#include "app/error_box.h"

namespace vaq::app {

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {}

bool Application::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        const std::string message = currentErrorMessage();
        if (dialogs_ != nullptr) {
            showStandardErrorBox(*dialogs_, message);
        } else {
            std::fprintf(stderr, "VAQ Utility: %s\n", message.c_str());
        }
        return false;
    }
}

}  // namespace vaq::app
