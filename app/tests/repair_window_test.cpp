// The repair through the real window: the start-up steps fill the alias list and open the
// table-utility session, and "Rebuild Index" over a generated database ends with its box and
// the last result in Memo1.

#include <stdlib.h>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>
#include <filesystem>

#include "app/engine_database.h"
#include "app/job_wiring.h"
#include "app/main_form.h"
#include "app/main_window.h"
#include "app/tests/recording_dialogs.h"
#include "bench/database_generator.h"
#include "engine/api/config.h"

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
        pdx::useConfiguration(pdx::Configuration::fromText(
            "[alias VAQ]\npath = data\n[alias Spare]\ntype = standard\npath = data\n"
            "[engine]\nprivate_dir = private\n",
            root_, "test"));
        vaq::bench::GeneratorOptions options;
        options.out = root_ / "data";
        options.site.controllers = 2;
        options.site.doorsPerController = 2;
        options.site.staff = 15;
        options.site.transactions = 200;
        vaq::bench::generateDatabase(options);

        dialogs_ = {};
        database_ = std::make_shared<EngineDatabase>();
        form_ = std::make_unique<MainForm>(makeProgramDatabaseSeam(database_), dialogs_,
                                           makeJobInstaller(database_));
        form_->openDatabase();
        form_->formCreate();
    }
    void cleanup() {
        form_->formDestroy();
        form_.reset();
        database_.reset();
        pdx::reloadConfiguration();
        std::error_code ignored;  // a leftover temporary folder is no test failure
        fs::remove_all(root_, ignored);
    }

    void startUpListsOnlyStandardAliasesAndOpensTheSession() {
        auto* aliases = control<QComboBox>("AliasCombo");
        QCOMPARE(aliases->count(), 1);
        QCOMPARE(aliases->itemText(0), QStringLiteral("VAQ"));
        QVERIFY(dialogs_.boxes.empty());
        QCOMPARE(control<QPlainTextEdit>("Memo1")->toPlainText(), QString());
    }

    void rebuildIndexEndsWithTheBoxAndTheLogLine() {
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

    void choosingATableShowsItsProperties() {
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
};

QTEST_MAIN(RepairWindowTest)
#include "repair_window_test.moc"
