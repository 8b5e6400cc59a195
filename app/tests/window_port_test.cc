// The window as the jobs see it: texts, lists, bars, states, boxes and dialogs through
// WindowPort.

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>

#include "app/main_form.h"
#include "app/main_window.h"
#include "app/pictures.h"
#include "app/tests/fake_database.h"
#include "app/tests/recording_dialogs.h"
#include "app/widget_window_port.h"

using namespace vaq::app;
using vaq::window::BoxIcon;
using vaq::window::Control;

class WindowPortTest : public QObject {
    Q_OBJECT

  private:
    testing::RecordingDialogs dialogs_;
    std::unique_ptr<MainForm> form_;
    vaq::window::WindowPort* port_ = nullptr;

    template <typename Widget>
    Widget* control(const char* name) {
        return form_->window().findChild<Widget*>(QString::fromLatin1(name));
    }

  private slots:
    void init() {
        dialogs_ = {};
        form_ = std::make_unique<MainForm>(
            testing::working_database(), dialogs_,
            [this](vaq::window::WindowPort& port, vaq::window::JobSet&) { port_ = &port; });
        form_->form_create();
    }
    void cleanup() { form_.reset(); }

    void log_lines_read_back_as_they_were_written() {
        port_->append_text(Control::Memo1, "Upgraded Successfully : Table EMCARD_MAS.db Added\r\n");
        port_->append_text(Control::Memo1, "Upgraded Successfully : StaffIDField added \r\n");
        QCOMPARE(port_->text(Control::Memo1),
                 std::string("Upgraded Successfully : Table EMCARD_MAS.db Added\r\n"
                             "Upgraded Successfully : StaffIDField added \r\n"));
        // The repair appends its result with no line break of its own.
        port_->append_text(Control::Memo1, "Rebuild was successful.");
        QVERIFY(port_->text(Control::Memo1).ends_with("added \r\nRebuild was successful."));
        QCOMPARE(control<QPlainTextEdit>("Memo1")->document()->blockCount(), 3);

        port_->set_text(Control::Memo2, "Update Completed :  ---- From : 2024/01/02 10:00:00");
        QCOMPARE(port_->text(Control::Memo2),
                 std::string("Update Completed :  ---- From : 2024/01/02 10:00:00"));
        port_->set_text(Control::MessageLB, "Verification Successful. Table has no errors.");
        QCOMPARE(port_->text(Control::MessageLB),
                 std::string("Verification Successful. Table has no errors."));
        port_->set_text(Control::TableLocEdit, "/data/vaq/Ctrller.DB");
        QCOMPARE(port_->text(Control::TableLocEdit), std::string("/data/vaq/Ctrller.DB"));
        port_->set_text(Control::Label29, "1min29sec");
        QCOMPARE(port_->text(Control::Label29), std::string("1min29sec"));
        port_->set_text(Control::MessageLB, "Zutrittsprüfung");
        QCOMPARE(port_->text(Control::MessageLB), std::string("Zutrittsprüfung"));
    }

    void lists_fill_and_select_without_choosing() {
        port_->set_items(Control::TableCombo, {"Ctrller.DB", "Door.DB", "Transact.db"});
        QCOMPARE(port_->items(Control::TableCombo),
                 (std::vector<std::string>{"Ctrller.DB", "Door.DB", "Transact.db"}));
        QCOMPARE(port_->selected_index(Control::TableCombo), -1);
        port_->select(Control::TableCombo, 2);
        QCOMPARE(port_->selected_index(Control::TableCombo), 2);
        QCOMPARE(port_->text(Control::TableCombo), std::string("Transact.db"));
        port_->select(Control::TableCombo, -1);
        QCOMPARE(port_->selected_index(Control::TableCombo), -1);
        QVERIFY_THROWS_EXCEPTION(vaq::Error, port_->select(Control::TableCombo, 3));

        port_->set_items(Control::ListBox1, {"idx_A", "idx_B"});
        QCOMPARE(port_->items(Control::ListBox1), (std::vector<std::string>{"idx_A", "idx_B"}));
        port_->set_items(Control::ListBox1, {"idx_TDate"});
        QCOMPARE(port_->items(Control::ListBox1), std::vector<std::string>{"idx_TDate"});

        port_->select(Control::ComboBox2, 1);
        QCOMPARE(port_->text(Control::ComboBox2), std::string("MessID"));
        port_->select(Control::ComboBox2, -1);
        QCOMPARE(port_->selected_index(Control::ComboBox2), -1);
    }

    void bars_keep_their_position_inside_their_range() {
        port_->set_position(Control::PBData, 40);
        QCOMPARE(port_->position(Control::PBData), 40);
        // A percent above 100 draws a full bar.
        port_->set_position(Control::PBData, 150);
        QCOMPARE(port_->position(Control::PBData), 100);
        port_->set_range(Control::bar5, 0, 3);
        port_->set_position(Control::bar5, port_->position(Control::bar5) + 2);
        QCOMPARE(port_->position(Control::bar5), 2);
        port_->set_position(Control::bar5, port_->position(Control::bar5) - 3);
        QCOMPARE(port_->position(Control::bar5), 0);

        // An empty transaction table gives the gauge an empty range, not a busy indicator.
        port_->set_range(Control::bar1, 0, 0);
        auto* gauge = control<QProgressBar>("bar1");
        QVERIFY(gauge->maximum() > gauge->minimum());
        QCOMPARE(port_->position(Control::bar1), 0);
        port_->set_range(Control::bar1, 0, 1000);
        port_->set_position(Control::bar1, 101);
        QCOMPARE(gauge->text(), QStringLiteral("10%"));
    }

    void states_of_buttons_pages_timer_and_animation() {
        QVERIFY(!port_->is_enabled(Control::VerifyBtn));
        port_->set_enabled(Control::VerifyBtn, true);
        QVERIFY(port_->is_enabled(Control::VerifyBtn));

        // A button keeps its own state while its page control is disabled.
        port_->set_enabled(Control::PageControl1, false);
        QVERIFY(!port_->is_enabled(Control::PageControl1));
        QVERIFY(port_->is_enabled(Control::BitBtn3));
        QVERIFY(!control<QWidget>("BitBtn3")->isEnabled());
        port_->set_enabled(Control::PageControl1, true);

        QVERIFY(!port_->is_checked(Control::CheckBox1));

        auto* animation = control<FileCopyAnimation>("Animate1");
        port_->set_visible(Control::Animate1, true);
        port_->set_running(Control::Animate1, true);
        QVERIFY(!animation->isHidden());
        QVERIFY(animation->is_running());
        port_->set_running(Control::Animate1, false);
        port_->set_visible(Control::Animate1, false);
        QVERIFY(animation->isHidden());
        QVERIFY(!animation->is_running());

        auto* timer = form_->window().findChild<QTimer*>("Timer1");
        port_->set_running(Control::Timer1, true);
        QVERIFY(timer->isActive());
        QCOMPARE(timer->interval(), 1000);
        port_->set_enabled(Control::Timer1, false);
        QVERIFY(!timer->isActive());
    }

    void boxes_carry_the_application_title_unless_they_have_their_own() {
        port_->show_message({"Update Completed", "", BoxIcon::kNone});
        port_->show_message({"File not found.", "VAQ Message", BoxIcon::kError});
        QCOMPARE(dialogs_.boxes.size(), std::size_t{2});
        QCOMPARE(dialogs_.boxes[0].title, QStringLiteral("VAQ Utility"));
        QCOMPARE(dialogs_.boxes[0].text, QStringLiteral("Update Completed"));
        QCOMPARE(dialogs_.boxes[0].icon, BoxIcon::kNone);
        QCOMPARE(dialogs_.boxes[1].title, QStringLiteral("VAQ Message"));
        QCOMPARE(dialogs_.boxes[1].icon, BoxIcon::kError);
        QVERIFY(!dialogs_.boxes[1].taskModal);
    }

    void file_dialogs_answer_through_the_dialog_service() {
        const QString folder = QDir::tempPath();
        dialogs_.fileAnswers = {QString("/data/in/trans.csv"), QString()};
        QCOMPARE(port_->choose_file(Control::OpenDialog2, folder.toStdString()),
                 std::optional<std::string>("/data/in/trans.csv"));
        QCOMPARE(control<QFileDialog>("OpenDialog2")->directory().absolutePath(),
                 QDir(folder).absolutePath());
        QCOMPARE(port_->choose_file(Control::OpenDialog1, ""), std::nullopt);
        QCOMPARE(dialogs_.dialogsShown, (std::vector<QString>{"OpenDialog2", "OpenDialog1"}));
    }

    void busy_cursor_is_one_state_not_a_count() {
        {
            vaq::window::BusyCursor busy(*port_);
            QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
            port_->set_busy(true);
        }
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

    void wrong_use_names_the_control() {
        try {
            port_->position(Control::Memo1);
            QFAIL("a text box has no position");
        } catch (const vaq::Error& error) {
            QCOMPARE(QString(error.what()), QStringLiteral("Control Memo1 is not a progress bar"));
        }
        QVERIFY_THROWS_EXCEPTION(vaq::Error, port_->text(Control::PBHeader));
        QVERIFY_THROWS_EXCEPTION(vaq::Error, port_->append_text(Control::MessageLB, "x"));
        QVERIFY_THROWS_EXCEPTION(vaq::Error, port_->click(Control::Memo1));

        QWidget empty;
        try {
            WidgetWindowPort port(empty, dialogs_, {});
            QFAIL("a window without controls has no port");
        } catch (const vaq::Error& error) {
            QCOMPARE(QString(error.what()),
                     QStringLiteral("The main window has no control named BitBtn1"));
        }
    }

    void process_events_lets_timers_run() {
        bool fired = false;
        QTimer::singleShot(0, [&fired] { fired = true; });
        port_->process_events();
        QVERIFY(fired);
        QCOMPARE(port_->application_directory(),
                 QCoreApplication::applicationDirPath().toStdString());
    }
};

QTEST_MAIN(WindowPortTest)
#include "window_port_test.moc"
