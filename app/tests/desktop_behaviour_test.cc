// What a desktop user meets around the jobs: the window goes on answering while a job runs
// (menus, the About box), closing during a job asks first and stops the job between two
// records, the grid keeps up without holding the job back, the keyboard and the file dialog.

#include <QAction>
#include <QCompleter>
#include <QEventLoop>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>
#include <atomic>
#include <utility>
#include <vector>

#include "app/about_box.h"
#include "app/tests/form_fixture.h"

using namespace vaq::app;
using vaq::window::Control;
using vaq::window::Handler;

namespace {

// A job of the record kind: stores one record at a time and lets the window answer between
// records, until told to finish. A deadline ends it should a test go wrong.
struct RecordJob {
    vaq::window::WindowPort* port = nullptr;
    int stored = 0;
    bool finish = false;
    bool unwound = false;

    void run() {
        struct Unwinding {
            bool& flag;
            ~Unwinding() { flag = true; }
        } unwinding{unwound};
        QElapsedTimer deadline;
        deadline.start();
        while (!finish && !deadline.hasExpired(20'000)) {
            ++stored;
            port->set_position(Control::bar1, stored % 100);
            port->process_events();
        }
    }
};

// Runs `step` after `milliseconds`, from whatever event loop is running then.
void after(int milliseconds, std::function<void()> step) {
    QTimer::singleShot(milliseconds, qApp, std::move(step));
}

}  // namespace

class DesktopBehaviourTest : public QObject {
    Q_OBJECT

    testing::FormFixture fixture_;
    RecordJob job_;

    void install_job(Handler handler) {
        job_ = {};
        job_.port = fixture_.port;
        fixture_.jobs->handlers[handler] = [this] { job_.run(); };
    }

  private slots:
    void init() {
        fixture_.start();
        fixture_.window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&fixture_.window()));
    }
    void cleanup() { fixture_.stop(); }

    void menus_and_the_about_box_do_not_hold_up_a_running_job() {
        install_job(Handler::BitBtn3Click);
        auto* fileButton = fixture_.control<QToolButton>("ToolButton1");
        auto* fileMenu = fixture_.control<QMenu>("Exit1");
        AboutBox* about = fixture_.form->about_box();
        int atMenuOpen = 0, atMenuClose = 0, atAboutClose = 0;
        bool menuShown = false, aboutShown = false;
        // Each step arms the next, so that the job runs between any two of them.
        after(100, [&] {
            fileButton->click();
            menuShown = fileMenu->isVisible();
            atMenuOpen = job_.stored;
            after(1000, [&] {
                atMenuClose = job_.stored;
                fileMenu->hide();
                fixture_.window().about_action()->trigger();
                aboutShown = about->isVisible();
                after(1000, [&] {
                    atAboutClose = job_.stored;
                    about->accept();
                    job_.finish = true;
                });
            });
        });
        fixture_.control<QPushButton>("BitBtn3")->click();

        QVERIFY(menuShown);
        QVERIFY(aboutShown);
        QVERIFY2(atMenuClose > atMenuOpen + 10, "the job stood still while the menu was open");
        QVERIFY2(atAboutClose > atMenuClose + 10, "the job stood still behind the About box");
        QVERIFY(fixture_.dialogs.boxes.empty());
    }

    void closing_during_a_job_asks_and_no_keeps_it_running() {
        install_job(Handler::Button2Click);
        int atAnswer = 0;
        after(100, [&] {
            fixture_.window().close();
            after(200, [&] {
                QCOMPARE(fixture_.dialogs.questions.size(), std::size_t{1});
                QCOMPARE(fixture_.dialogs.questions.front().text,
                         QStringLiteral("A job is running. Stop it and close?"));
                QCOMPARE(fixture_.dialogs.questions.front().title, QStringLiteral("VAQ Utility"));
                // Asking again while the question is open asks nothing more.
                fixture_.window().exit_action()->trigger();
                QCOMPARE(fixture_.dialogs.questions.size(), std::size_t{1});
                QVERIFY(fixture_.window().isVisible());
                fixture_.dialogs.answer_question(false);
                atAnswer = job_.stored;
                after(300, [&] { job_.finish = true; });
            });
        });
        fixture_.control<QPushButton>("Button2")->click();

        QVERIFY(job_.stored > atAnswer + 10);
        QVERIFY(fixture_.window().isVisible());
        QVERIFY(fixture_.dialogs.boxes.empty());
        // With no job running the window closes without a question.
        fixture_.window().close();
        QVERIFY(!fixture_.window().isVisible());
        QCOMPARE(fixture_.dialogs.questions.size(), std::size_t{1});
    }

    void yes_stops_the_job_between_two_records_then_closes() {
        install_job(Handler::Button2Click);
        int atAnswer = -1;
        after(100, [&] { fixture_.control<QPushButton>("ExitBtn")->click(); });
        after(300, [&] {
            QCOMPARE(fixture_.dialogs.questions.size(), std::size_t{1});
            fixture_.dialogs.answer_question(true);
            atAnswer = job_.stored;
        });
        fixture_.control<QPushButton>("Button2")->click();

        // The answer came while the job let the window answer after a record; it stored no
        // record more and went out through its own clean-up, with no error box.
        QCOMPARE(job_.stored, atAnswer);
        QVERIFY(job_.unwound);
        QVERIFY(!job_.finish);
        QVERIFY(fixture_.dialogs.boxes.empty());
        QVERIFY(!fixture_.window().isVisible());
    }

    void a_stop_reaches_a_handler_run_inside_the_job_and_the_job_around_it() {
        install_job(Handler::Button2Click);
        RecordJob inner;
        inner.port = fixture_.port;
        fixture_.jobs->handlers[Handler::BitBtn1Click] = [&inner] { inner.run(); };
        int outerAtAnswer = -1;
        after(100, [&] {
            after(200, [&] {
                fixture_.window().close();
                after(200, [&] {
                    fixture_.dialogs.answer_question(true);
                    outerAtAnswer = job_.stored;
                });
            });
            fixture_.control<QPushButton>("BitBtn1")->click();
        });
        fixture_.control<QPushButton>("Button2")->click();

        QVERIFY(inner.unwound);
        QVERIFY(job_.unwound);
        QVERIFY(inner.stored > 0);
        QCOMPARE(job_.stored, outerAtAnswer);
        QVERIFY(fixture_.dialogs.boxes.empty());
        QVERIFY(!fixture_.window().isVisible());
    }

    void timer_ticks_count_only_while_the_job_runs() {
        std::atomic<int> ticks = 0;
        fixture_.jobs->handlers[Handler::Timer1Timer] = [&ticks] { ++ticks; };
        fixture_.window().findChild<QTimer*>(QStringLiteral("Timer1"))->setInterval(20);
        int beforeBox = 0, afterBox = 0;
        fixture_.jobs->handlers[Handler::BitBtn3Click] = [&] {
            fixture_.port->set_running(Control::Timer1, true);
            const auto runFor = [&](int milliseconds) {
                QElapsedTimer running;
                running.start();
                while (!running.hasExpired(milliseconds))
                    fixture_.port->process_events();
            };
            runFor(300);
            beforeBox = ticks;
            // A box inside the job: its event loop runs, the job waits.
            QEventLoop box;
            QTimer::singleShot(300, &box, &QEventLoop::quit);
            box.exec();
            afterBox = ticks;
            runFor(300);
            fixture_.port->set_running(Control::Timer1, false);
        };
        fixture_.control<QPushButton>("BitBtn3")->click();

        QVERIFY(beforeBox > 0);
        QCOMPARE(afterBox, beforeBox);
        QVERIFY(ticks > afterBox);
    }

    void the_grid_catches_up_now_and_then_and_at_the_end() {
        class GrowingRows : public vaq::window::RowSource {
          public:
            std::int64_t rows = 0;
            std::vector<std::string> field_names() const override { return {"TransID"}; }
            std::int64_t row_count() const override { return rows; }
            std::vector<std::vector<std::string>> read_rows(std::int64_t first,
                                                            std::int64_t count) const override {
                std::vector<std::vector<std::string>> result;
                for (std::int64_t row = first; row < std::min(rows, first + count); ++row)
                    result.push_back({std::to_string(row + 1)});
                return result;
            }
            std::uint64_t version() const override { return static_cast<std::uint64_t>(rows); }
        };
        const auto rows = std::make_shared<GrowingRows>();
        auto syncs = std::make_shared<int>(0);
        DatabaseSeam database = testing::working_database();
        database.transaction_rows = [rows,
                                     syncs]() -> std::shared_ptr<const vaq::window::RowSource> {
            ++*syncs;
            return rows;
        };
        fixture_.start(std::move(database));
        fixture_.window().show();
        fixture_.control<QTabWidget>("PageControl1")->setCurrentIndex(2);
        constexpr int kRecords = 5000;
        QElapsedTimer running;
        fixture_.jobs->handlers[Handler::Button2Click] = [&] {
            running.start();
            for (int record = 0; record < kRecords; ++record) {
                ++rows->rows;
                fixture_.port->process_events();
            }
        };
        const int syncsBefore = *syncs;
        fixture_.control<QPushButton>("Button2")->click();
        const qint64 elapsed = running.elapsed();

        // At most one catch-up per period while the job ran, and one when it ended.
        const qint64 allowed = elapsed / MainForm::kGridCatchUpMilliseconds + 2;
        QVERIFY2(
            *syncs - syncsBefore <= allowed,
            qPrintable(
                QStringLiteral("%1 catch-ups in %2 ms").arg(*syncs - syncsBefore).arg(elapsed)));
        QAbstractItemModel* grid = fixture_.control<QTableView>("DBGrid1")->model();
        QCOMPARE(grid->rowCount(), kRecords);
        QCOMPARE(grid->index(kRecords - 1, 0).data().toString(), QString::number(kRecords));
    }

    void tab_types_a_tab_in_the_text_boxes_and_moves_within_the_example_grid() {
        QApplication::setActiveWindow(&fixture_.window());
        QVERIFY(QTest::qWaitForWindowActive(&fixture_.window()));
        for (const char* name : {"Memo1", "Memo2"}) {
            if (std::string_view(name) == "Memo2")
                fixture_.control<QTabWidget>("PageControl1")->setCurrentIndex(1);
            auto* box = fixture_.control<QPlainTextEdit>(name);
            box->setFocus();
            QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(box));
            QTest::keyClicks(box, "a");
            QTest::keyClick(box, Qt::Key_Tab);
            QTest::keyClicks(box, "b");
            QCOMPARE(box->toPlainText(), QStringLiteral("a\tb"));
            QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(box));
        }

        fixture_.control<QTabWidget>("PageControl1")->setCurrentIndex(2);
        auto* grid = fixture_.control<QTableWidget>("StringGrid1");
        grid->setFocus();
        grid->setCurrentCell(1, 1);
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(grid));
        QTest::keyClick(grid, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(grid));
        QCOMPARE(grid->currentColumn(), 2);
    }

    void the_menus_open_with_their_access_keys() {
        QApplication::setActiveWindow(&fixture_.window());
        QVERIFY(QTest::qWaitForWindowActive(&fixture_.window()));
        for (auto [key, name] : {std::pair{Qt::Key_F, "Exit1"}, {Qt::Key_H, "About1"}}) {
            auto* menu = fixture_.control<QMenu>(name);
            QTest::keyClick(&fixture_.window(), key, Qt::AltModifier);
            QTRY_VERIFY2(menu->isVisible(), name);
            menu->hide();
        }
    }

    void no_control_outside_the_client_area_takes_the_keyboard() {
        const QRect clientArea = fixture_.window().rect();
        for (QWidget* widget : fixture_.window().findChildren<QWidget*>()) {
            if (!widget->isVisible() || !(widget->focusPolicy() & Qt::TabFocus)) continue;
            const QRect place(widget->mapTo(&fixture_.window(), QPoint(0, 0)), widget->size());
            QVERIFY2(clientArea.contains(place), qPrintable(widget->objectName()));
        }
        QCOMPARE(fixture_.control<QPushButton>("ExitBtn")->focusPolicy(), Qt::NoFocus);
    }

    void the_file_name_completion_list_goes_with_the_dialog() {
        QTemporaryDir folder;
        for (const char* name : {"alpha.txt", "alpine.txt"}) {
            QFile file(folder.filePath(QString::fromLatin1(name)));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        auto* dialog = fixture_.window().findChild<QFileDialog*>(QStringLiteral("OpenDialog2"));
        dialog->setDirectory(folder.path());
        dialog->open();
        auto* nameField = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        QVERIFY(nameField != nullptr && nameField->completer() != nullptr);
        QCompleter* completer = nameField->completer();
        nameField->setFocus();
        QTest::keyClicks(nameField, "al");
        // The folder is listed in the background; the list shows once it is.
        QTRY_VERIFY_WITH_TIMEOUT((completer->complete(), completer->popup()->isVisible()), 5000);
        dialog->reject();
        QVERIFY(!completer->popup()->isVisible());
    }
};

QTEST_MAIN(DesktopBehaviourTest)
#include "desktop_behaviour_test.moc"
