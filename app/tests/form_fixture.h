#pragma once

// The main window started as the program starts it, over a database seam of the test's own,
// with the job handlers left for the test to fill and every box recorded.

#include <QWidget>
#include <memory>

#include "app/main_form.h"
#include "app/main_window.h"
#include "app/tests/fake_database.h"
#include "app/tests/recording_dialogs.h"

namespace vaq::app::testing {

class FormFixture {
  public:
    void start(DatabaseSeam database = working_database()) {
        form.reset();
        dialogs = {};
        form = std::make_unique<MainForm>(
            std::move(database), dialogs,
            [this](window::WindowPort& windowPort, window::JobSet& jobSet) {
                port = &windowPort;
                jobs = &jobSet;
            });
        form->open_database();
        form->form_create();
        form->create_about_box();
    }
    void stop() { form.reset(); }

    MainWindow& window() { return form->window(); }

    template <typename Widget = QWidget>
    Widget* control(const char* name) {
        auto* found = form->window().findChild<Widget*>(QString::fromLatin1(name));
        if (found == nullptr) qFatal("missing control %s", name);
        return found;
    }

    RecordingDialogs dialogs;
    std::unique_ptr<MainForm> form;
    window::WindowPort* port = nullptr;
    window::JobSet* jobs = nullptr;
};

}  // namespace vaq::app::testing
