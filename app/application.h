#pragma once

// The application object: a last line of defence that shows an error escaping any event
// handler in the standard error box instead of ending the program. The program keeps no
// settings between runs: what Qt's own widgets would store (the file dialog's last folder
// and sizes) goes to a folder of this run that is removed when the program ends.

#include <QApplication>
#include <QTemporaryDir>

namespace vaq::app {

class DialogService;

class Application : public QApplication {
    Q_OBJECT
  public:
    Application(int& argc, char** argv);

    void set_error_dialogs(DialogService* dialogs) { dialogs_ = dialogs; }
    bool notify(QObject* receiver, QEvent* event) override;

  private:
    DialogService* dialogs_ = nullptr;
    QTemporaryDir settingsOfThisRun_;
};

}  // namespace vaq::app
