#include "app/startup.h"

#include <QApplication>

#include "app/dialog_service.h"
#include "app/error_box.h"
#include "app/main_form.h"
#include "app/pictures.h"
#include "common/error.h"

namespace vaq::app {

std::unique_ptr<MainForm> startMainForm(StartupParts parts) {
    if (parts.dialogs == nullptr) throw Error("Start-up needs a dialog service");
    QCoreApplication::setApplicationName(QString::fromLatin1(kApplicationTitle));
    QGuiApplication::setDesktopFileName(QStringLiteral("vaq-utility"));
    QApplication::setWindowIcon(programIcon());
    DialogService& dialogs = *parts.dialogs;
    auto form = std::make_unique<MainForm>(std::move(parts.database), dialogs, parts.installJobs);
    try {
        form->openDatabase();
    } catch (...) {
        showFatalStartupBox(dialogs, currentErrorMessage());
        return nullptr;
    }
    form->formCreate();
    form->createAboutBox();
    return form;
}

int runUtility(QApplication& application, StartupParts parts) {
    std::unique_ptr<MainForm> form = startMainForm(std::move(parts));
    if (!form) return 1;
    form->showCentred();
    const int exitCode = application.exec();
    form->formDestroy();
    return exitCode;
}

}  // namespace vaq::app
