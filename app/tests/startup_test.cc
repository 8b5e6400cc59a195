// Program start: the order of its steps, the fatal box when the database cannot be opened,
// and the end of the run.

#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QtTest>

#include "app/about_box.h"
#include "app/dialog_service.h"
#include "app/engine_database.h"
#include "app/main_form.h"
#include "app/main_window.h"
#include "app/startup.h"
#include "app/tests/fake_database.h"
#include "app/tests/recording_dialogs.h"
#include "engine/api/config.h"

using namespace vaq::app;
using vaq::window::BoxIcon;
using vaq::window::Control;

namespace {

bool any_main_window_shown() {
    const auto windows = QApplication::topLevelWidgets();
    return std::any_of(windows.begin(), windows.end(), [](QWidget* window) {
        return window->objectName() == QLatin1String("MainForm") && window->isVisible();
    });
}

}  // namespace

class StartupTest : public QObject {
    Q_OBJECT

  private slots:
    void alias_that_cannot_be_opened_ends_with_application_error_and_exit_code1() {
        testing::RecordingDialogs dialogs;
        bool windowShownDuringBox = true;
        dialogs.onMessage = [&](const BoxRequest&) {
            windowShownDuringBox = any_main_window_shown();
        };
        const int exitCode = run_utility(
            *qApp, {testing::failing_database("Unknown database alias: VAQ"), {}, &dialogs});
        QCOMPARE(exitCode, 1);
        QCOMPARE(dialogs.boxes.size(), std::size_t{1});
        const BoxRequest& box = dialogs.boxes.front();
        QCOMPARE(box.title, QStringLiteral("Application Error"));
        QCOMPARE(box.icon, BoxIcon::kError);
        QVERIFY(box.taskModal);
        QVERIFY2(box.text.contains("Unknown database alias: VAQ"), qPrintable(box.text));
        QVERIFY2(box.text.contains("MainDB"), qPrintable(box.text));
        QVERIFY(!windowShownDuringBox);
        QVERIFY(!any_main_window_shown());
    }

    void engine_without_alias_vaq_ends_with_application_error_and_exit_code1() {
        pdx::use_configuration(
            pdx::Configuration::from_text("[alias Other]\ntype = STANDARD\npath = .\n",
                                          QDir::tempPath().toStdString(), "engine.ini"));
        testing::RecordingDialogs dialogs;
        auto database = std::make_shared<EngineDatabase>();
        const int exitCode =
            run_utility(*qApp, {make_engine_database_seam(database), {}, &dialogs});
        pdx::use_configuration(pdx::Configuration());
        QCOMPARE(exitCode, 1);
        QCOMPARE(dialogs.boxes.size(), std::size_t{1});
        QCOMPARE(dialogs.boxes.front().title, QStringLiteral("Application Error"));
        QVERIFY2(dialogs.boxes.front().text.contains("Alias not found: VAQ."),
                 qPrintable(dialogs.boxes.front().text));
        // Where the aliases came from and how to add the missing one.
        QVERIFY2(dialogs.boxes.front().text.contains("engine configuration"),
                 qPrintable(dialogs.boxes.front().text));
        QVERIFY2(dialogs.boxes.front().text.contains("[alias VAQ]"),
                 qPrintable(dialogs.boxes.front().text));
        QVERIFY(!database->main_database().connected());
    }

    void the_real_application_error_box_is_task_modal_and_closes_with_ok() {
        QtDialogService dialogs;
        QString seenTitle;
        QString seenText;
        bool applicationModal = false;
        QTimer poll;
        QElapsedTimer waited;
        waited.start();
        connect(&poll, &QTimer::timeout, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                seenTitle = box->windowTitle();
                seenText = box->text();
                applicationModal = box->windowModality() == Qt::ApplicationModal;
                QCOMPARE(box->icon(), QMessageBox::Critical);
                box->button(QMessageBox::Ok)->click();
            } else if (waited.hasExpired(5000)) {
                poll.stop();
                QFAIL("the Application Error box did not open");
            }
        });
        poll.start(20);
        const int exitCode = run_utility(
            *qApp, {testing::failing_database("Directory of the alias VAQ does not exist: /gone"),
                    {},
                    &dialogs});
        poll.stop();
        QCOMPARE(exitCode, 1);
        QCOMPARE(seenTitle, QStringLiteral("Application Error"));
        QVERIFY(seenText.contains("/gone"));
        QVERIFY(applicationModal);
    }

    void start_up_runs_its_steps_in_order() {
        testing::RecordingDialogs dialogs;
        std::vector<std::string> steps;
        DatabaseSeam database = testing::working_database();
        database.open_main_database = [&steps] { steps.push_back("open MainDB"); };
        database.standard_aliases = [&steps] {
            steps.push_back("alias list");
            return std::vector<std::string>{"VAQ"};
        };
        vaq::window::WindowPort* port = nullptr;
        auto installJobs = [&](vaq::window::WindowPort& jobPort, vaq::window::JobSet& jobs) {
            port = &jobPort;
            steps.push_back("jobs installed");
            jobs.createUtilitySession = [&] {
                // By now the alias list is filled and the text boxes still hold their design text.
                QCOMPARE(port->items(Control::AliasCombo), std::vector<std::string>{"VAQ"});
                QCOMPARE(port->text(Control::Memo1), std::string("Memo1"));
                steps.push_back("utility session");
            };
        };
        std::unique_ptr<MainForm> form = start_main_form({database, installJobs, &dialogs});
        QVERIFY(form != nullptr);
        QCOMPARE(steps, (std::vector<std::string>{"jobs installed", "open MainDB", "alias list",
                                                  "utility session"}));
        QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("VAQ Utility"));
        QVERIFY(form->window().isHidden());
        QVERIFY(form->about_box() != nullptr && form->about_box()->isHidden());
        QVERIFY(dialogs.boxes.empty());

        form->show_centred();
        const QRect desktop = QGuiApplication::primaryScreen()->availableGeometry();
        // Within the few pixels of a window frame.
        const QPoint offset = form->window().geometry().center() - desktop.center();
        QVERIFY2(offset.manhattanLength() <= 6,
                 qPrintable(QStringLiteral("%1,%2").arg(offset.x()).arg(offset.y())));
        QVERIFY(form->window().isVisible());
    }

    void utility_session_error_leaves_the_window_with_its_design_texts() {
        testing::RecordingDialogs dialogs;
        bool destroyed = false;
        auto installJobs = [&](vaq::window::WindowPort&, vaq::window::JobSet& jobs) {
            jobs.createUtilitySession = [] { throw vaq::Error("Cannot start a table session"); };
            jobs.destroyUtilitySession = [&destroyed] { destroyed = true; };
        };
        std::unique_ptr<MainForm> form =
            start_main_form({testing::working_database(), installJobs, &dialogs});
        QVERIFY(form != nullptr);
        QCOMPARE(dialogs.boxes.size(), std::size_t{1});
        QCOMPARE(dialogs.boxes.front().text, QStringLiteral("Cannot start a table session."));
        QCOMPARE(form->window().findChild<QPlainTextEdit*>("Memo1")->toPlainText(),
                 QStringLiteral("Memo1"));
        QCOMPARE(form->window().findChild<QTableWidget*>("StringGrid1")->item(0, 0)->text(),
                 QString());
        // There is no session to free.
        form->form_destroy();
        QVERIFY(!destroyed);
    }

    void closing_the_window_ends_the_run_and_frees_the_utility_session() {
        testing::RecordingDialogs dialogs;
        int created = 0;
        int destroyed = 0;
        auto installJobs = [&](vaq::window::WindowPort&, vaq::window::JobSet& jobs) {
            jobs.createUtilitySession = [&created] { ++created; };
            jobs.destroyUtilitySession = [&destroyed] { ++destroyed; };
        };
        QTimer::singleShot(50, [] {
            for (QWidget* window : QApplication::topLevelWidgets()) {
                if (window->objectName() == QLatin1String("MainForm") && window->isVisible()) {
                    window->close();
                }
            }
        });
        const int exitCode =
            run_utility(*qApp, {testing::working_database(), installJobs, &dialogs});
        QCOMPARE(exitCode, 0);
        QCOMPARE(created, 1);
        QCOMPARE(destroyed, 1);
        QVERIFY(dialogs.boxes.empty());
    }
};

QTEST_MAIN(StartupTest)
#include "startup_test.moc"
