// The jobs through the real window over a generated database: the start-up steps fill the
// alias list and open the table-utility session; "Rebuild Index" ends with its box and the
// last result in Memo1; "Upgrade DataBase" ends by pressing "Rebuild Index"; an import
// shows its rows in the grid, a file imported before is asked about, and closing the window
// during one stops it between two lines.

#include <stdlib.h>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QtTest>
#include <filesystem>
#include <fstream>

#include "app/engine_database.h"
#include "app/job_wiring.h"
#include "app/main_form.h"
#include "app/main_window.h"
#include "app/tests/recording_dialogs.h"
#include "engine/api/config.h"
#include "engine/sql/executor.h"
#include "engine/sql/sql_value.h"
#include "generator/database_generator.h"

using namespace vaq::app;
namespace fs = std::filesystem;

class RepairWindowTest : public QObject {
    Q_OBJECT

  private:
    fs::path root_;
    testing::RecordingDialogs dialogs_;
    std::shared_ptr<EngineDatabase> database_;
    std::unique_ptr<MainForm> form_;

    template <typename Widget>
    Widget* control(const char* name) {
        return form_->window().findChild<Widget*>(QString::fromLatin1(name));
    }

  private slots:
    void init() {
        std::string pattern = (fs::temp_directory_path() / "vaq-repair-window-XXXXXX").string();
        QVERIFY(mkdtemp(pattern.data()) != nullptr);
        root_ = pattern;
        fs::create_directory(root_ / "data");
        pdx::use_configuration(pdx::Configuration::from_text(
            "[alias VAQ]\npath = data\n[alias Spare]\ntype = standard\npath = data\n"
            "[engine]\nprivate_dir = private\n",
            root_, "test"));
        vaq::bench::GeneratorOptions options;
        options.out = root_ / "data";
        options.site.controllers = 2;
        options.site.doorsPerController = 2;
        options.site.staff = 15;
        options.site.transactions = 200;
        vaq::bench::generate_database(options);

        dialogs_ = {};
        database_ = std::make_shared<EngineDatabase>();
        ProgramWiring wiring = make_program_wiring(database_);
        form_ =
            std::make_unique<MainForm>(std::move(wiring.database), dialogs_, wiring.installJobs);
        form_->open_database();
        form_->form_create();
    }
    void cleanup() {
        if (form_) form_->form_destroy();
        form_.reset();
        database_.reset();
        pdx::reload_configuration();
        std::error_code ignored;  // a leftover temporary folder is no test failure
        fs::remove_all(root_, ignored);
    }

    void start_up_lists_only_standard_aliases_and_opens_the_session() {
        auto* aliases = control<QComboBox>("AliasCombo");
        QCOMPARE(aliases->count(), 1);
        QCOMPARE(aliases->itemText(0), QStringLiteral("VAQ"));
        QVERIFY(dialogs_.boxes.empty());
        QCOMPARE(control<QPlainTextEdit>("Memo1")->toPlainText(), QString());
    }

    void rebuild_index_ends_with_the_box_and_the_log_line() {
        control<QPushButton>("BitBtn2")->click();

        QCOMPARE(dialogs_.boxes.size(), std::size_t{1});
        QCOMPARE(dialogs_.boxes[0].text, QStringLiteral("Rebuild was successful."));
        QCOMPARE(dialogs_.boxes[0].title, QStringLiteral("VAQ Utility"));
        QCOMPARE(control<QPlainTextEdit>("Memo1")->toPlainText(),
                 QStringLiteral("Rebuild was successful."));
        QCOMPARE(control<QProgressBar>("PBRebuild")->value(), 100);
        auto* tables = control<QComboBox>("TableCombo");
        QVERIFY(tables->count() > 5);
        QCOMPARE(tables->currentIndex(), tables->count() - 1);
        QVERIFY(control<QLineEdit>("TableLocEdit")->text().endsWith(tables->currentText()));
        QVERIFY(control<QPushButton>("RebuildBtn")->isEnabled());
    }

    void choosing_a_table_shows_its_properties() {
        control<QPushButton>("BitBtn2")->click();
        auto* tables = control<QComboBox>("TableCombo");
        const int door = tables->findText(QStringLiteral("Door.DB"), Qt::MatchFixedString);
        QVERIFY(door >= 0);
        tables->setCurrentIndex(door);
        emit tables->activated(door);
        QVERIFY(control<QLineEdit>("TableLocEdit")->text().endsWith(tables->currentText()));
        QVERIFY(form_->window().findChild<QWidget*>("FieldsLB") != nullptr);
        QCOMPARE(form_->port().text(vaq::window::Control::MessageLB), std::string());
        QVERIFY(form_->port().text(vaq::window::Control::FieldsLB) != "0");
    }

    void upgrade_ends_with_the_repair_of_every_table() {
        control<QPushButton>("BitBtn1")->click();

        const QString log = control<QPlainTextEdit>("Memo1")->toPlainText();
        QVERIFY2(log.startsWith(QStringLiteral("Upgraded Successfully")), qPrintable(log));
        QVERIFY2(log.endsWith(QStringLiteral("\nRebuild was successful.")), qPrintable(log));
        QVERIFY(!dialogs_.boxes.empty());
        QCOMPARE(dialogs_.boxes.back().text, QStringLiteral("Rebuild was successful."));
        QCOMPARE(dialogs_.boxes.back().icon, vaq::window::BoxIcon::kNone);
    }

    // An import line that the generated database resolves, at 10:00:00 plus `second` seconds.
    std::string import_line(int second) {
        pdx::sql::Executor sql(root_ / "data");
        auto door = sql.open("SELECT ControllerID, ID FROM Door");
        const auto controllerKey = door->value(std::size_t{0}).integer;
        const auto doorNumber = door->value(std::size_t{1}).integer;
        auto controller = sql.open("SELECT ID FROM Ctrller WHERE ControllerID = " +
                                   std::to_string(controllerKey));
        auto card = sql.open("SELECT CardID FROM Personal");
        const auto two_digits = [](int value) {
            return (value < 10 ? "0" : "") + std::to_string(value);
        };
        return "15/10/2004,10:" + two_digits(second / 60) + ":" + two_digits(second % 60) + "," +
               std::to_string(controller->value(std::size_t{0}).integer) + "," +
               std::to_string(doorNumber) + "," + card->value(std::size_t{0}).text + ",1\r\n";
    }

    void an_import_shows_its_rows_in_the_grid() {
        const fs::path file = root_ / "import.txt";
        std::ofstream(file, std::ios::binary) << import_line(0);
        dialogs_.fileAnswers = {QString::fromStdString(file.string())};

        auto* grid = control<QTableView>("DBGrid1");
        QCOMPARE(grid->model()->rowCount(), 0);
        control<QPushButton>("Button2")->click();
        QVERIFY2(dialogs_.boxes.empty(),
                 dialogs_.boxes.empty() ? "" : qPrintable(dialogs_.boxes.front().text));
        QCOMPARE(grid->model()->rowCount(), 201);
        QCOMPARE(grid->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("TDate"));
    }

    // A file imported before: the window asks; No imports nothing, Yes only the new lines.
    void a_file_imported_again_is_asked_about_first() {
        const fs::path file = root_ / "import.txt";
        const QString chosen = QString::fromStdString(file.string());
        std::ofstream(file, std::ios::binary) << import_line(1);
        dialogs_.fileAnswers = {chosen};
        control<QPushButton>("Button2")->click();
        QVERIFY(dialogs_.questions.empty());
        auto* grid = control<QTableView>("DBGrid1");
        QCOMPARE(grid->model()->rowCount(), 201);

        std::ofstream(file, std::ios::binary | std::ios::app) << import_line(2);
        for (const bool yes : {false, true}) {
            dialogs_.fileAnswers = {chosen};
            dialogs_.onQuestion = [this, yes](const BoxRequest&) { dialogs_.answer_question(yes); };
            control<QPushButton>("Button2")->click();
            QCOMPARE(dialogs_.questions.size(), std::size_t{yes ? 2U : 1U});
            const QString question = dialogs_.questions.back().text;
            QVERIFY2(
                question.startsWith(QStringLiteral("Lines 1-1 of this file were imported on ")),
                qPrintable(question));
            QVERIFY2(question.endsWith(QStringLiteral("; importing from line 2.")),
                     qPrintable(question));
            QCOMPARE(grid->model()->rowCount(), yes ? 202 : 201);
        }
        QVERIFY2(dialogs_.boxes.empty(),
                 dialogs_.boxes.empty() ? "" : qPrintable(dialogs_.boxes.front().text));
    }

    void closing_during_an_import_stops_it_between_two_lines() {
        constexpr int kLines = 500;
        const fs::path file = root_ / "import.txt";
        {
            std::ofstream out(file, std::ios::binary);
            for (int line = 1; line <= kLines; ++line)
                out << import_line(line);
        }
        dialogs_.fileAnswers = {QString::fromStdString(file.string())};
        dialogs_.onQuestion = [this](const BoxRequest&) { dialogs_.answer_question(true); };
        form_->window().show();
        // The import lets the window answer once before each line; on the 50th time the
        // user closes the window and says Yes.
        QTimer everyAnswer;
        everyAnswer.setInterval(0);
        int answers = 0;
        connect(&everyAnswer, &QTimer::timeout, [&] {
            if (++answers == 50) form_->window().close();
        });
        everyAnswer.start();
        control<QPushButton>("Button2")->click();
        everyAnswer.stop();

        QCOMPARE(dialogs_.questions.size(), std::size_t{1});
        QVERIFY2(dialogs_.boxes.empty(),
                 dialogs_.boxes.empty() ? "" : qPrintable(dialogs_.boxes.front().text));
        QVERIFY(!form_->window().isVisible());
        form_->form_destroy();
        form_.reset();

        // The table holds the generated transactions, then exactly the lines before the
        // stop, each whole and in the file's order.
        pdx::sql::Executor sql(root_ / "data");
        auto rows = sql.open("SELECT TTime, CardID FROM Transact");
        const int imported = static_cast<int>(rows->record_count()) - 200;
        // Fewer than 50: the window also answers once or twice outside the loop of lines.
        QVERIFY2(imported >= 40 && imported < 50, qPrintable(QString::number(imported)));
        for (int skipped = 0; skipped < 200; ++skipped)
            rows->next();
        for (int line = 1; line <= imported; ++line, rows->next()) {
            QCOMPARE(rows->value(std::size_t{0}).integer, (36'000 + line) * 1000);
            QVERIFY(!rows->value(std::size_t{1}).text.empty());
        }
        QVERIFY(rows->eof());
    }
};

QTEST_MAIN(RepairWindowTest)
#include "repair_window_test.moc"
