#include "app/startup.h"

#include <QApplication>

#include <filesystem>
#include <system_error>

#include "app/dialog_service.h"
#include "app/error_box.h"
#include "app/main_form.h"
#include "app/pictures.h"
#include "common/error.h"
#include "engine/api/config.h"

namespace vaq::app {

std::string configurationNote(const std::string& databaseOption) {
    if (!databaseOption.empty())
        return "The alias VAQ was given as --database " + databaseOption + ".";
    const std::filesystem::path file = pdx::Configuration::default_file();
    std::error_code error;
    std::string note = std::filesystem::exists(file, error)
                           ? "The engine configuration was read from " + file.string() + "."
                           : "There is no engine configuration file " + file.string() + ".";
    note +=
        "\nTo add the alias, write these lines into it:\n[alias VAQ]\ntype = STANDARD\n"
        "path = /folder/of/the/database\nor start vaq-utility --database /folder/of/the/database.";
    return note;
}

std::unique_ptr<MainForm> startMainForm(StartupParts parts, const std::string& databaseOption) {
    if (parts.dialogs == nullptr) throw Error("Start-up needs a dialog service");
    QCoreApplication::setApplicationName(QString::fromLatin1(kApplicationTitle));
    QGuiApplication::setDesktopFileName(QStringLiteral("vaq-utility"));
    QApplication::setWindowIcon(programIcon());
    DialogService& dialogs = *parts.dialogs;
    auto form = std::make_unique<MainForm>(std::move(parts.database), dialogs, parts.installJobs);
    try {
        form->openDatabase();
    } catch (...) {
        showFatalStartupBox(dialogs, currentErrorMessage(), configurationNote(databaseOption));
        return nullptr;
    }
    form->formCreate();
    form->createAboutBox();
    return form;
}

int runUtility(QApplication& application, StartupParts parts, const std::string& databaseOption) {
    std::unique_ptr<MainForm> form = startMainForm(std::move(parts), databaseOption);
    if (!form) return 1;
    form->showCentred();
    const int exitCode = application.exec();
    form->formDestroy();
    return exitCode;
}

}  // namespace vaq::app
