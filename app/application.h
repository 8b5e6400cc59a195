#pragma once

// The application object: a last line of defence that shows an error escaping any event
// handler in the standard error box instead of ending the program.

#include <QApplication>

namespace vaq::app {

class DialogService;

class Application : public QApplication {
    Q_OBJECT
  public:
    Application(int& argc, char** argv);

    void setErrorDialogs(DialogService* dialogs) { dialogs_ = dialogs; }
    bool notify(QObject* receiver, QEvent* event) override;

  private:
    DialogService* dialogs_ = nullptr;
};

}  // namespace vaq::app
