#include "app/widget_window_port.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTimer>
#include <algorithm>
#include <memory>

#include "app/dialog_service.h"
#include "app/pictures.h"
#include "common/error.h"

namespace vaq::app {
namespace {

using window::Control;

std::string name(Control control) {
    return std::string(window::control_name(control));
}

QString from_utf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A text box keeps its lines apart; CR LF is how they are written and read back.
QString to_text_box_lines(std::string_view text) {
    return from_utf8(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

std::string from_text_box_lines(const QString& text) {
    QString withCrLf = text;
    return withCrLf.replace(QLatin1Char('\n'), QStringLiteral("\r\n")).toStdString();
}

}  // namespace

WidgetWindowPort::WidgetWindowPort(QWidget& window, DialogService& dialogs, Hooks hooks)
    : dialogs_(dialogs), hooks_(std::move(hooks)) {
    for (int index = 0; index < window::kControlCount; ++index) {
        const auto control = static_cast<Control>(index);
        QObject* found = window.findChild<QObject*>(from_utf8(window::control_name(control)));
        if (found == nullptr) {
            throw Error("The main window has no control named " + name(control));
        }
        controls_[static_cast<std::size_t>(index)] = found;
    }
}

QObject* WidgetWindowPort::object(Control control) const {
    return controls_[static_cast<std::size_t>(control)];
}

template <typename Wanted>
Wanted* WidgetWindowPort::as(Control control, const char* what) const {
    if (auto* wanted = qobject_cast<Wanted*>(object(control))) return wanted;
    throw Error("Control " + name(control) + " is not " + what);
}

std::string WidgetWindowPort::text(Control control) const {
    QObject* target = object(control);
    if (auto* label = qobject_cast<QLabel*>(target)) return label->text().toStdString();
    if (auto* field = qobject_cast<QLineEdit*>(target)) return field->text().toStdString();
    if (auto* box = qobject_cast<QPlainTextEdit*>(target)) {
        return from_text_box_lines(box->toPlainText());
    }
    if (auto* button = qobject_cast<QAbstractButton*>(target)) {
        return button->text().toStdString();
    }
    if (auto* list = qobject_cast<QComboBox*>(target)) return list->currentText().toStdString();
    throw Error("Control " + name(control) + " has no text");
}

void WidgetWindowPort::set_text(Control control, std::string_view text) {
    QObject* target = object(control);
    if (auto* label = qobject_cast<QLabel*>(target)) {
        label->setText(from_utf8(text));
    } else if (auto* field = qobject_cast<QLineEdit*>(target)) {
        field->setText(from_utf8(text));
    } else if (auto* box = qobject_cast<QPlainTextEdit*>(target)) {
        box->setPlainText(to_text_box_lines(text));
    } else if (auto* button = qobject_cast<QAbstractButton*>(target)) {
        button->setText(from_utf8(text));
    } else {
        throw Error("Control " + name(control) + " has no text to set");
    }
}

void WidgetWindowPort::append_text(Control control, std::string_view text) {
    auto* box = as<QPlainTextEdit>(control, "a text box");
    box->moveCursor(QTextCursor::End);
    box->insertPlainText(to_text_box_lines(text));
}

std::vector<std::string> WidgetWindowPort::items(Control list) const {
    std::vector<std::string> result;
    if (auto* dropDown = qobject_cast<QComboBox*>(object(list))) {
        for (int index = 0; index < dropDown->count(); ++index) {
            result.push_back(dropDown->itemText(index).toStdString());
        }
        return result;
    }
    auto* box = as<QListWidget>(list, "a list");
    for (int row = 0; row < box->count(); ++row) {
        result.push_back(box->item(row)->text().toStdString());
    }
    return result;
}

void WidgetWindowPort::set_items(Control list, const std::vector<std::string>& items) {
    QStringList texts;
    for (const std::string& item : items)
        texts.append(from_utf8(item));
    if (auto* dropDown = qobject_cast<QComboBox*>(object(list))) {
        dropDown->clear();
        dropDown->addItems(texts);
        // A filled list has no selection until one is made.
        dropDown->setCurrentIndex(-1);
        return;
    }
    auto* box = as<QListWidget>(list, "a list");
    box->clear();
    box->addItems(texts);
}

int WidgetWindowPort::selected_index(Control list) const {
    if (auto* dropDown = qobject_cast<QComboBox*>(object(list))) return dropDown->currentIndex();
    return as<QListWidget>(list, "a list")->currentRow();
}

void WidgetWindowPort::select(Control list, int index) {
    if (auto* dropDown = qobject_cast<QComboBox*>(object(list))) {
        if (index >= dropDown->count()) {
            throw Error("List " + name(list) + " has no item " + std::to_string(index));
        }
        dropDown->setCurrentIndex(std::max(index, -1));
        return;
    }
    auto* box = as<QListWidget>(list, "a list");
    if (index >= box->count()) {
        throw Error("List " + name(list) + " has no item " + std::to_string(index));
    }
    box->setCurrentRow(std::max(index, -1));
}

void WidgetWindowPort::set_range(Control bar, int minimum, int maximum) {
    auto* progress = as<QProgressBar>(bar, "a progress bar");
    // An empty range would turn the bar into a busy indicator; it stays an empty bar.
    progress->setRange(minimum, std::max(maximum, minimum + 1));
    progress->setValue(std::clamp(progress->value(), progress->minimum(), progress->maximum()));
}

int WidgetWindowPort::position(Control bar) const {
    return as<QProgressBar>(bar, "a progress bar")->value();
}

void WidgetWindowPort::set_position(Control bar, int position) {
    auto* progress = as<QProgressBar>(bar, "a progress bar");
    progress->setValue(std::clamp(position, progress->minimum(), progress->maximum()));
}

bool WidgetWindowPort::is_enabled(Control control) const {
    QObject* target = object(control);
    if (auto* widget = qobject_cast<QWidget*>(target)) {
        // The control's own state, whatever its page's state is.
        return widget->isEnabledTo(widget->parentWidget());
    }
    if (auto* timer = qobject_cast<QTimer*>(target)) return timer->isActive();
    throw Error("Control " + name(control) + " cannot be enabled");
}

void WidgetWindowPort::set_enabled(Control control, bool enabled) {
    QObject* target = object(control);
    if (auto* widget = qobject_cast<QWidget*>(target)) {
        widget->setEnabled(enabled);
    } else if (qobject_cast<QTimer*>(target) != nullptr) {
        set_running(control, enabled);
    } else {
        throw Error("Control " + name(control) + " cannot be enabled");
    }
}

void WidgetWindowPort::set_visible(Control control, bool visible) {
    as<QWidget>(control, "a visible control")->setVisible(visible);
}

bool WidgetWindowPort::is_checked(Control checkBox) const {
    return as<QAbstractButton>(checkBox, "a check box")->isChecked();
}

void WidgetWindowPort::set_running(Control control, bool running) {
    QObject* target = object(control);
    if (auto* timer = qobject_cast<QTimer*>(target)) {
        running ? timer->start() : timer->stop();
    } else if (auto* animation = qobject_cast<FileCopyAnimation*>(target)) {
        running ? animation->start() : animation->stop();
    } else {
        throw Error("Control " + name(control) + " cannot run");
    }
}

void WidgetWindowPort::click(Control button) {
    hooks_.click(button);
}

void WidgetWindowPort::show_message(const window::MessageBox& box) {
    const QString title =
        box.title.empty() ? QString::fromLatin1(kApplicationTitle) : from_utf8(box.title);
    dialogs_.show_message({title, from_utf8(box.text), box.icon, false});
}

bool WidgetWindowPort::ask_yes_no(const window::MessageBox& box) {
    const QString title =
        box.title.empty() ? QString::fromLatin1(kApplicationTitle) : from_utf8(box.title);
    // The question is answered while the window goes on; the job waits for the answer.
    const auto answer = std::make_shared<std::optional<bool>>();
    dialogs_.ask_then_call({title, from_utf8(box.text), box.icon, false},
                           [answer](bool yes) { *answer = yes; });
    while (!answer->has_value())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return **answer;
}

std::optional<std::string> WidgetWindowPort::choose_file(Control dialog,
                                                         std::string_view initialDirectory) {
    auto* fileDialog = as<QFileDialog>(dialog, "an open-file dialog");
    if (!initialDirectory.empty()) fileDialog->setDirectory(from_utf8(initialDirectory));
    const std::optional<QString> chosen = dialogs_.choose_file(*fileDialog);
    if (!chosen) return std::nullopt;
    return chosen->toStdString();
}

void WidgetWindowPort::set_busy(bool busy) {
    if (busy == busy_) return;
    busy_ = busy;
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
}

void WidgetWindowPort::process_events() {
    QCoreApplication::processEvents();
    if (hooks_.afterEvents) hooks_.afterEvents();
    if (hooks_.stopRequested && hooks_.stopRequested()) throw JobStopped();
}

std::string WidgetWindowPort::application_directory() const {
    return QCoreApplication::applicationDirPath().toStdString();
}

}  // namespace vaq::app
