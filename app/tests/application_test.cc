// The application's last line of defence: an error escaping an event handler ends in the
// standard error box, not in the end of the program. And the program keeps no settings.

#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include "app/application.h"
#include "app/tests/recording_dialogs.h"
#include "common/error.h"

using namespace vaq::app;

namespace {

class FailingWidget : public QPushButton {
  public:
    int handled = 0;

  protected:
    bool event(QEvent* event) override {
        if (event->type() == QEvent::User) {
            ++handled;
            throw vaq::Error("Cannot read the record: Transact.db");
        }
        return QPushButton::event(event);
    }
};

}  // namespace

class ApplicationTest : public QObject {
    Q_OBJECT

  private slots:
    void error_escaping_an_event_handler_shows_the_standard_box() {
        testing::RecordingDialogs dialogs;
        static_cast<Application*>(qApp)->set_error_dialogs(&dialogs);
        FailingWidget widget;
        QEvent sent(QEvent::User);
        QVERIFY(!QCoreApplication::sendEvent(&widget, &sent));
        QCoreApplication::postEvent(&widget, new QEvent(QEvent::User));
        QCoreApplication::processEvents();
        QCOMPARE(widget.handled, 2);
        QCOMPARE(dialogs.boxes.size(), std::size_t{2});
        QCOMPARE(dialogs.boxes[1].title, QStringLiteral("VAQ Utility"));
        QCOMPARE(dialogs.boxes[1].text, QStringLiteral("Cannot read the record: Transact.db."));

        // The widget goes on answering.
        int clicks = 0;
        connect(&widget, &QPushButton::clicked, [&clicks] { ++clicks; });
        widget.click();
        QCOMPARE(clicks, 1);
        static_cast<Application*>(qApp)->set_error_dialogs(nullptr);
    }

    void qts_own_dialogs_store_nothing_in_the_users_folders() {
        // XDG_CONFIG_HOME points at a folder of this test (see main); the file dialog saves
        // its state when it closes and when it goes.
        const QString userFolder = qEnvironmentVariable("XDG_CONFIG_HOME");
        QVERIFY(!userFolder.isEmpty());
        {
            QFileDialog dialog;
            dialog.setOption(QFileDialog::DontUseNativeDialog);
            dialog.setDirectory(QDir::tempPath());
            dialog.open();
            dialog.reject();
        }
        QSettings("QtProject").sync();
        QCOMPARE(QDir(userFolder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList());
    }
};

int main(int argc, char** argv) {
    QTemporaryDir userFolder;
    qputenv("XDG_CONFIG_HOME", userFolder.path().toLocal8Bit());
    Application application(argc, argv);
    ApplicationTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "application_test.moc"
