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

std::string configuration_note(const std::string& databaseOption) {
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

std::unique_ptr<MainForm> start_main_form(StartupParts parts, const std::string& databaseOption) {
    if (parts.dialogs == nullptr) throw Error("Start-up needs a dialog service");
    QCoreApplication::setApplicationName(QString::fromLatin1(kApplicationTitle));
    QGuiApplication::setDesktopFileName(QStringLiteral("vaq-utility"));
    QApplication::setWindowIcon(program_icon());
    DialogService& dialogs = *parts.dialogs;
    auto form = std::make_unique<MainForm>(std::move(parts.database), dialogs, parts.installJobs);
    try {
        form->open_database();
    } catch (...) {
        show_fatal_startup_box(dialogs, current_error_message(),
                               configuration_note(databaseOption));
        return nullptr;
    }
    form->form_create();
    form->create_about_box();
    return form;
}

int run_utility(QApplication& application, StartupParts parts, const std::string& databaseOption) {
    std::unique_ptr<MainForm> form = start_main_form(std::move(parts), databaseOption);
    if (!form) return 1;
    form->show_centred();
    const int exitCode = application.exec();
    form->form_destroy();
    return exitCode;
}

}  // namespace vaq::app
