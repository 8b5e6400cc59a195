#include "app/dialog_service.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace vaq::app {
namespace {

QMessageBox::Icon message_box_icon(window::BoxIcon icon) {
    switch (icon) {
        case window::BoxIcon::kInformation:
            return QMessageBox::Information;
        case window::BoxIcon::kWarning:
            return QMessageBox::Warning;
        case window::BoxIcon::kError:
            return QMessageBox::Critical;
        case window::BoxIcon::kNone:
            break;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

void QtDialogService::show_message(const BoxRequest& box) {
    // A task-modal box stands on its own; the others sit over the window that is active.
    QWidget* parent = box.taskModal ? nullptr : QApplication::activeWindow();
    QMessageBox message(message_box_icon(box.icon), box.title, box.text, QMessageBox::Ok, parent);
    message.setObjectName(QStringLiteral("MessageBox"));
    message.setWindowModality(Qt::ApplicationModal);
    message.exec();
}

std::optional<QString> QtDialogService::choose_file(QFileDialog& dialog) {
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().constFirst();
}

void QtDialogService::ask_then_call(const BoxRequest& box, std::function<void(bool yes)> answered) {
    auto* question =
        new QMessageBox(message_box_icon(box.icon), box.title, box.text,
                        QMessageBox::Yes | QMessageBox::No, QApplication::activeWindow());
    question->setObjectName(QStringLiteral("QuestionBox"));
    question->setDefaultButton(QMessageBox::No);
    question->setEscapeButton(QMessageBox::No);
    question->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(question, &QMessageBox::finished, question,
                     [question, answered = std::move(answered)] {
                         answered(question->clickedButton() == question->button(QMessageBox::Yes));
                     });
    // Modal to its window without an event loop of its own: whatever runs goes on.
    question->open();
}

}  // namespace vaq::app
