// The main window as the user first sees it, its menu, the About box, and what happens when a
// handler fails.

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QtTest>
#include <algorithm>
#include <utility>

#include "app/about_box.h"
#include "app/main_form.h"
#include "app/main_window.h"
#include "app/pictures.h"
#include "app/tests/fake_database.h"
#include "app/tests/recording_dialogs.h"

using namespace vaq::app;
using vaq::window::BoxIcon;
using vaq::window::Control;
using vaq::window::Handler;

namespace {

enum class Start { kShown, kHidden };

struct ExpectedControl {
    const char* name;
    const char* kind;
    const char* caption;  // nullptr: no caption to check
    Start start;
};

// Every control of the window with its kind, caption and start state, page by page.
const ExpectedControl kControls[] = {
    {"PageControl1", "QTabWidget", nullptr, Start::kShown},
    {"CoolBar1", "QFrame", nullptr, Start::kShown},
    {"ToolBar1", "QToolBar", nullptr, Start::kShown},
    // Upgrade DB/Rebuild index
    {"GroupBox3", "QGroupBox", "Rebuild VAQ Table index", Start::kShown},
    {"BitBtn2", "QPushButton", "Rebuild Index", Start::kShown},
    {"Label22", "QLabel", "Upgrade to VAQ(BDE) v3.2.1", Start::kShown},
    {"Label23", "QLabel", "Event 0-49", Start::kShown},
    {"Label12", "QLabel", "Usage: Rebuild Index from database problem", Start::kShown},
    {"CheckBox1", "QCheckBox", "Backup Database", Start::kHidden},
    {"BitBtn1", "QPushButton", "Upgrade DataBase", Start::kShown},
    {"Button3", "QPushButton", "Button3", Start::kHidden},
    {"Label13", "QLabel", "Upgrade Old Database to use new version of VAQ", Start::kShown},
    {"Shape2", "QFrame", nullptr, Start::kShown},
    {"Label9", "QLabel", "Table Name:", Start::kShown},
    {"TableCombo", "QComboBox", nullptr, Start::kShown},
    {"Label24", "QLabel", "Header:", Start::kShown},
    {"PBHeader", "QProgressBar", nullptr, Start::kShown},
    {"Label25", "QLabel", "Indexes:", Start::kShown},
    {"PBIndexes", "QProgressBar", nullptr, Start::kShown},
    {"Label26", "QLabel", "Data:", Start::kShown},
    {"PBData", "QProgressBar", nullptr, Start::kShown},
    {"Label27", "QLabel", "Rebuild:", Start::kShown},
    {"PBRebuild", "QProgressBar", nullptr, Start::kShown},
    {"Label28", "QLabel", "Message:", Start::kShown},
    {"MessageLB", "QLabel", "MessageLB", Start::kHidden},
    {"Image1", "QLabel", nullptr, Start::kShown},
    {"Memo1", "QPlainTextEdit", "", Start::kShown},
    // Update Blank StaffID
    {"GroupBox5", "QGroupBox", "Update Blank StaffID", Start::kShown},
    {"BitBtn3", "QPushButton", "Update StaffID", Start::kShown},
    {"Label10", "QLabel", "*Before update, Please make sure VAQ program is closed", Start::kShown},
    {"Label11", "QLabel", "Usage: Update Blank StaffID in Transactions", Start::kShown},
    {"bar1", "QProgressBar", nullptr, Start::kShown},
    {"Animate1", "vaq::app::FileCopyAnimation", nullptr, Start::kHidden},
    {"Label29", "QLabel", "", Start::kShown},
    {"Memo2", "QPlainTextEdit", "", Start::kShown},
    {"GroupBox10", "QGroupBox", "Re-arrange the Key Field values", Start::kHidden},
    {"BitBtn14", "QPushButton", "Re-arrange Key", Start::kShown},
    {"Label30", "QLabel", "Usage : Prevent Key Violation", Start::kShown},
    {"bar4", "QProgressBar", nullptr, Start::kShown},
    {"ComboBox1", "QComboBox", nullptr, Start::kShown},
    {"Label31", "QLabel", "Key Field", Start::kShown},
    {"ComboBox2", "QComboBox", nullptr, Start::kShown},
    {"bar5", "QProgressBar", nullptr, Start::kShown},
    // Import Trans2DB
    {"GroupBox4", "QGroupBox", "Import Trans2DB", Start::kShown},
    {"Button2", "QPushButton", "Import Transaction ", Start::kShown},
    {"Label19", "QLabel", "* Import transaction from a file to transaction DB", Start::kShown},
    {"Label20", "QLabel", "Input File Format:", Start::kShown},
    {"StringGrid1", "QTableWidget", nullptr, Start::kShown},
    {"Label21", "QLabel", "Transaction DB", Start::kShown},
    {"DBGrid1", "QTableView", nullptr, Start::kShown},
    // Outside the pages
    {"ExitBtn", "QPushButton", "Exit", Start::kShown},
    {"Button1", "QPushButton", "Rebuild and Fix All", Start::kHidden},
    {"ListBox1", "QListWidget", nullptr, Start::kHidden},
    {"Panel1", "QFrame", nullptr, Start::kShown},
    {"GroupBox1", "QGroupBox", " Select Table Directory and File: ", Start::kHidden},
    {"Label1", "QLabel", "Alias Name:", Start::kShown},
    {"AliasCombo", "QComboBox", nullptr, Start::kShown},
    {"Label2", "QLabel", "Table Name:", Start::kShown},
    {"Label3", "QLabel", "Table Location:", Start::kShown},
    {"TableLocEdit", "QLineEdit", "", Start::kShown},
    {"ByDirectBtn", "QPushButton", "By Directory...", Start::kShown},
    {"GroupBox2", "QGroupBox", " Table Information and Action: ", Start::kHidden},
    {"VerifyBtn", "QPushButton", "Verify", Start::kShown},
    {"RebuildBtn", "QPushButton", "Rebuild", Start::kShown},
};

const char* const kPropertyCaptions[] = {
    "Fields:",     "Record Size:",         "Indexes:",       "Validities:",
    "References:", "Restructure Version:", "Aux Passwords:", "Code Page:",
    "Block Size:", "Table Level:"};
const char* const kPropertyLabels[] = {"FieldsLB",    "RecSizeLB",  "IndexLB",   "ValidLB",
                                       "RefLB",       "RestructLB", "AuxPassLB", "CodePageLB",
                                       "BlockSizeLB", "TabLvlLB"};

QString caption_of(QObject* control) {
    if (auto* label = qobject_cast<QLabel*>(control)) return label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(control)) return button->text();
    if (auto* group = qobject_cast<QGroupBox*>(control)) return group->title();
    if (auto* box = qobject_cast<QPlainTextEdit*>(control)) return box->toPlainText();
    if (auto* field = qobject_cast<QLineEdit*>(control)) return field->text();
    return QStringLiteral("<no caption>");
}

QStringList items_of(QComboBox* list) {
    QStringList items;
    for (int index = 0; index < list->count(); ++index)
        items.append(list->itemText(index));
    return items;
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

  private:
    testing::RecordingDialogs dialogs_;
    std::unique_ptr<MainForm> form_;
    vaq::window::WindowPort* port_ = nullptr;
    vaq::window::JobSet* jobs_ = nullptr;

    template <typename Widget = QWidget>
    Widget* control(const char* name) {
        auto* found = form_->window().findChild<Widget*>(QString::fromLatin1(name));
        if (found == nullptr) qFatal("missing control %s", name);
        return found;
    }

    void start_form(DatabaseSeam database = testing::working_database()) {
        dialogs_ = {};
        form_ = std::make_unique<MainForm>(
            std::move(database), dialogs_,
            [this](vaq::window::WindowPort& port, vaq::window::JobSet& jobs) {
                port_ = &port;
                jobs_ = &jobs;
            });
        form_->open_database();
        form_->form_create();
        form_->create_about_box();
    }

  private slots:
    void init() { start_form(); }
    void cleanup() { form_.reset(); }

    void every_control_has_its_name_kind_caption_and_start_state() {
        for (const ExpectedControl& expected : kControls) {
            QWidget* widget = control(expected.name);
            QVERIFY2(widget->inherits(expected.kind), expected.name);
            QVERIFY2(widget->isHidden() == (expected.start == Start::kHidden), expected.name);
            if (expected.caption != nullptr) {
                QCOMPARE(caption_of(widget), QString::fromLatin1(expected.caption));
            }
        }
        for (int row = 0; row < 10; ++row) {
            QCOMPARE(control<QLabel>(kPropertyLabels[row])->text(), QStringLiteral("0"));
            const QString caption = QString::fromLatin1(kPropertyCaptions[row]);
            const auto captions = control("GroupBox2")->findChildren<QLabel*>();
            QVERIFY2(std::any_of(captions.begin(), captions.end(),
                                 [&](QLabel* label) { return label->text() == caption; }),
                     kPropertyCaptions[row]);
        }
    }

    void start_states_of_buttons_bars_and_lists() {
        QVERIFY(!control("VerifyBtn")->isEnabled());
        QVERIFY(!control("RebuildBtn")->isEnabled());
        for (const char* name : {"BitBtn1", "BitBtn2", "BitBtn3", "Button2", "ExitBtn"}) {
            QVERIFY2(control(name)->isEnabled(), name);
        }
        QVERIFY(!control<QCheckBox>("CheckBox1")->isChecked());
        for (const char* name :
             {"PBHeader", "PBIndexes", "PBData", "PBRebuild", "bar1", "bar4", "bar5"}) {
            auto* bar = control<QProgressBar>(name);
            QCOMPARE(bar->value(), 0);
            QCOMPARE(bar->minimum(), 0);
            QCOMPARE(bar->maximum(), 100);
        }
        // Gauges write their percentage on the bar; plain bars do not.
        QVERIFY(control<QProgressBar>("bar1")->isTextVisible());
        QVERIFY(control<QProgressBar>("bar4")->isTextVisible());
        QVERIFY(!control<QProgressBar>("PBHeader")->isTextVisible());
        QVERIFY(!control<QProgressBar>("bar5")->isTextVisible());
        QCOMPARE(control<QProgressBar>("bar4")->palette().color(QPalette::Highlight),
                 QColor(Qt::green));

        QCOMPARE(items_of(control<QComboBox>("ComboBox1")),
                 QStringList({"MessForm", "MessSys", "Personal", "Transact"}));
        QCOMPARE(items_of(control<QComboBox>("ComboBox2")),
                 QStringList({"MessID", "MessID", "PersonalID", "TransID"}));
        QCOMPARE(items_of(control<QComboBox>("AliasCombo")), QStringList({"DefaultDD", "VAQ"}));
        for (const char* name : {"ComboBox1", "ComboBox2", "AliasCombo", "TableCombo"}) {
            QVERIFY2(!control<QComboBox>(name)->isEditable(), name);
            QCOMPARE(control<QComboBox>(name)->currentIndex(), -1);
        }
        QCOMPARE(control<QComboBox>("TableCombo")->count(), 0);
        QCOMPARE(control<QListWidget>("ListBox1")->count(), 0);
        QVERIFY(control<QLineEdit>("TableLocEdit")->isReadOnly());
        QVERIFY(!control<vaq::app::FileCopyAnimation>("Animate1")->is_running());
        QCOMPARE(control<QPushButton>("BitBtn2")->iconSize(), QSize(16, 16));
        QCOMPARE(control<QPushButton>("BitBtn3")->iconSize(), QSize(24, 24));
        QVERIFY(!control<QLabel>("Image1")->pixmap().isNull());
    }

    void text_boxes_start_empty_and_keep_their_scroll_bars() {
        auto* log = control<QPlainTextEdit>("Memo1");
        auto* completion = control<QPlainTextEdit>("Memo2");
        QVERIFY(log->toPlainText().isEmpty());
        QVERIFY(completion->toPlainText().isEmpty());
        QVERIFY(!log->isReadOnly());
        QCOMPARE(log->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(log->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(completion->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        QCOMPARE(completion->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    }

    void example_grid_holds_exactly_its_texts() {
        auto* grid = control<QTableWidget>("StringGrid1");
        QCOMPARE(grid->columnCount(), 7);
        QCOMPARE(grid->rowCount(), 2);
        const QStringList heading = {"Field -->",    "dd/mm/yyyy", "hh:mm:ss", "DoorID",
                                     "ControllerID", "CardNo",     "EventID"};
        const QStringList example = {"Example", "15/10/2004", "15:33:00", "2",
                                     "1",       "15433336",   "1"};
        // Every text shows whole: each column is as wide as its texts and all seven fit.
        const QFontMetrics metrics(grid->font());
        int allColumns = 0;
        for (int column = 0; column < 7; ++column) {
            QCOMPARE(grid->item(0, column)->text(), heading.at(column));
            QCOMPARE(grid->item(1, column)->text(), example.at(column));
            const int widest = std::max(metrics.horizontalAdvance(heading.at(column)),
                                        metrics.horizontalAdvance(example.at(column)));
            QVERIFY2(grid->columnWidth(column) >= widest + 2, qPrintable(heading.at(column)));
            allColumns += grid->columnWidth(column);
        }
        QVERIFY(allColumns <= grid->maximumViewportSize().width());
        QVERIFY(allColumns >= grid->maximumViewportSize().width() - 7);
        QCOMPARE(grid->editTriggers(), QAbstractItemView::NoEditTriggers);
        // Headings are fixed cells: the user cannot select them.
        QVERIFY(!(grid->item(0, 3)->flags() & Qt::ItemIsSelectable));
        QVERIFY(!(grid->item(1, 0)->flags() & Qt::ItemIsSelectable));
        QVERIFY(grid->item(1, 3)->flags() & Qt::ItemIsSelectable);
    }

    void transaction_grid_is_read_only_and_empty_at_start() {
        auto* grid = control<QTableView>("DBGrid1");
        QCOMPARE(grid->editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(grid->model()->rowCount(), 0);
        QCOMPARE(grid->model()->columnCount(), 0);
        QCOMPARE(grid->model()->objectName(), QStringLiteral("DataSource1"));
    }

    void window_frame_menu_and_pages() {
        MainWindow& window = form_->window();
        QCOMPARE(window.objectName(), QStringLiteral("MainForm"));
        QCOMPARE(window.windowTitle(), QStringLiteral("VAQ DataBase Utility "));
        QCOMPARE(window.minimumSize(), QSize(450, 545));
        QCOMPARE(window.maximumSize(), QSize(450, 545));
        QVERIFY(!(window.windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(window.windowFlags() & Qt::WindowMinimizeButtonHint);
        QCOMPARE(control("CoolBar1")->geometry(), QRect(0, 0, 450, 23));

        auto* pages = control<QTabWidget>("PageControl1");
        QCOMPARE(pages->count(), 3);
        QCOMPARE(pages->currentIndex(), 0);
        QCOMPARE(pages->tabText(0), QStringLiteral("Upgrade DB/Rebuild index"));
        QCOMPARE(pages->tabText(1), QStringLiteral("Update Blank StaffID"));
        QCOMPARE(pages->tabText(2), QStringLiteral("Import Trans2DB"));
        QCOMPARE(pages->widget(0)->objectName(), QStringLiteral("TabSheet1"));
        QCOMPARE(pages->geometry().bottom(), 544);

        auto* fileMenu = control<QMenu>("Exit1");
        auto* helpMenu = control<QMenu>("About1");
        QCOMPARE(fileMenu->title(), QStringLiteral("&File"));
        QCOMPARE(helpMenu->title(), QStringLiteral("&Help"));
        QCOMPARE(fileMenu->actions().size(), 1);
        QCOMPARE(fileMenu->actions().first()->objectName(), QStringLiteral("File1"));
        QCOMPARE(fileMenu->actions().first()->text(), QStringLiteral("&Exit"));
        QCOMPARE(helpMenu->actions().size(), 1);
        QCOMPARE(helpMenu->actions().first()->objectName(), QStringLiteral("mAbout"));
        QCOMPARE(helpMenu->actions().first()->text(), QStringLiteral("&About..."));

        auto* menuBar = control<QMenuBar>("MainMenu1");
        QVERIFY(menuBar->isHidden());
        QCOMPARE(menuBar->actions().size(), 2);
        QCOMPARE(menuBar->actions().at(0)->menu(), fileMenu);
        QCOMPARE(menuBar->actions().at(1)->menu(), helpMenu);
        auto* fileButton = control<QToolButton>("ToolButton1");
        auto* helpButton = control<QToolButton>("ToolButton2");
        QCOMPARE(fileButton->text(), QStringLiteral("&File"));
        QCOMPARE(helpButton->text(), QStringLiteral("&Help"));
        // Each button opens its menu; the strip and the menus use the window's 11-pixel font.
        for (auto [button, menu] : {std::pair{fileButton, fileMenu}, {helpButton, helpMenu}}) {
            QCOMPARE(button->font().pixelSize(), 11);
            QCOMPARE(menu->font().pixelSize(), 11);
            QVERIFY(!menu->isVisible());
            button->click();
            QVERIFY(menu->isVisible());
            menu->hide();
        }
        auto* toolBar = control<QToolBar>("ToolBar1");
        QCOMPARE(toolBar->actions().size(), 2);
        QCOMPARE(toolBar->widgetForAction(toolBar->actions().at(0)), fileButton);
        QCOMPARE(toolBar->widgetForAction(toolBar->actions().at(1)), helpButton);
        QCOMPARE(fileButton->parentWidget()->objectName(), QStringLiteral("ToolBar1"));
    }

    void upgrade_page_lists_its_controls_from_top_to_bottom() {
        const char* const order[] = {"BitBtn2", "Label12",    "BitBtn1",  "Label13",
                                     "Shape2",  "TableCombo", "PBHeader", "PBIndexes",
                                     "PBData",  "PBRebuild",  "Label28",  "Memo1"};
        int previousTop = -1;
        for (const char* name : order) {
            QWidget* widget = control(name);
            const int top = widget->mapTo(&form_->window(), QPoint(0, 0)).y();
            QVERIFY2(top > previousTop, name);
            previousTop = top;
        }
        QVERIFY(control("Label23")->geometry().top() > control("Label22")->geometry().top());
        QVERIFY(control("Image1")->geometry().right() < control("Memo1")->geometry().left());
        // The two bitmap buttons lie on the page itself, over the group.
        QCOMPARE(control("BitBtn2")->parentWidget()->objectName(), QStringLiteral("TabSheet1"));
    }

    void state_controls_lie_outside_the_client_area() {
        const QRect client(0, 0, MainWindow::kClientWidth, MainWindow::kClientHeight);
        for (const char* name : {"ExitBtn", "Button1", "ListBox1", "Panel1"}) {
            QVERIFY2(!client.intersects(control(name)->geometry()), name);
            QCOMPARE(control(name)->parentWidget(), &form_->window());
        }
    }

    void dialogs_and_timer() {
        auto* tables = control<QFileDialog>("OpenDialog1");
        QCOMPARE(tables->nameFilters(), QStringList({"DB Files (*.db)"}));
        QCOMPARE(tables->defaultSuffix(), QStringLiteral("db"));
        QVERIFY(tables->testOption(QFileDialog::ReadOnly));
        QVERIFY(tables->isHidden());
        auto* imports = control<QFileDialog>("OpenDialog2");
        QCOMPARE(imports->nameFilters(),
                 QStringList({"(*.txt;*.dat;*.csv) (*.txt *.dat *.csv)", "All(*.*) (*)"}));
        auto* timer = form_->window().findChild<QTimer*>(QStringLiteral("Timer1"));
        QVERIFY(timer != nullptr);
        QCOMPARE(timer->interval(), 1000);
        QVERIFY(!timer->isActive());
    }

    void fonts_and_colours_of_the_notes() {
        QCOMPARE(form_->window().font().family(), QStringLiteral("MS Sans Serif"));
        QCOMPARE(form_->window().font().pixelSize(), 11);
        for (const char* name : {"Label10", "Label11", "Label12", "Label13", "Label19", "Label20",
                                 "Label21", "Label30"}) {
            QLabel* note = control<QLabel>(name);
            QCOMPARE(note->font().family(), QStringLiteral("Verdana"));
            QCOMPARE(note->font().pixelSize(), 12);
            QCOMPARE(note->palette().color(QPalette::WindowText), QColor(Qt::blue));
        }
        QCOMPARE(control("Label22")->palette().color(QPalette::WindowText), QColor(0, 128, 0));
        QCOMPARE(control("Label23")->palette().color(QPalette::WindowText), QColor(128, 128, 0));
        QCOMPARE(control("MessageLB")->palette().color(QPalette::WindowText), QColor(0, 0, 128));
        QCOMPARE(control("FieldsLB")->palette().color(QPalette::WindowText), QColor(0, 0, 128));
    }

    void about_box_opens_and_closes_and_is_the_same_each_time() {
        AboutBox* about = form_->about_box();
        QVERIFY(about != nullptr);
        QVERIFY(about->isHidden());
        QCOMPARE(about->windowTitle(), QStringLiteral("About"));
        QCOMPARE(about->size(), QSize(309, 128));
        QCOMPARE(about->minimumSize(), about->maximumSize());
        QVERIFY(!(about->windowFlags() & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(about->windowFlags() & Qt::WindowMaximizeButtonHint));
        const auto labels = about->findChildren<QLabel*>();
        QStringList texts;
        for (QLabel* label : labels)
            texts.append(label->text());
        QVERIFY(texts.contains("VAQ DB Utility"));
        QVERIFY(texts.contains("Version 1.5.3"));
        QVERIFY(texts.contains("Upgrade to use VAQ 3.2.1 BDE Edition"));
        const QString builtWith = about->findChild<QLabel*>("BuiltWith")->text();
        QVERIFY2(builtWith.contains("1.5.3") && builtWith.contains("test-engine 0.1") &&
                     builtWith.contains(QString::fromLatin1(qVersion())),
                 qPrintable(builtWith));
        QLabel* title = about->findChild<QLabel*>("ProductName");
        QVERIFY(title->font().bold());
        QCOMPARE(title->font().family(), QStringLiteral("Arial"));
        QCOMPARE(title->font().pixelSize(), 16);
        auto* ok = about->findChild<QPushButton*>("OKButton");
        QVERIFY(ok->isDefault());

        // The box is modal to the window but runs no event loop of its own: "&About..."
        // returns at once, so that a running job is not held up behind the box.
        form_->window().show();
        const auto openAbout = [&] {
            form_->window().about_action()->trigger();
            QVERIFY(about->isVisible());
            QCOMPARE(QApplication::activeModalWidget(), static_cast<QWidget*>(about));
            QVERIFY(about->windowModality() != Qt::NonModal);
        };
        openAbout();
        QTest::mouseClick(ok, Qt::LeftButton);
        QVERIFY(about->isHidden());
        QCOMPARE(about->result(), int(QDialog::Accepted));

        // Enter presses the default button; the close box rejects. Both return alike.
        openAbout();
        QTest::keyClick(about, Qt::Key_Return);
        QVERIFY(about->isHidden());
        openAbout();
        about->close();
        QVERIFY(about->isHidden());
        QCOMPARE(form_->about_box(), about);
        QVERIFY(form_->window().isVisible());
        QVERIFY(dialogs_.boxes.empty());
    }

    void exit_button_and_menu_close_the_window() {
        form_->window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&form_->window()));
        control<QPushButton>("ExitBtn")->click();
        QVERIFY(!form_->window().isVisible());
        form_->window().show();
        form_->window().exit_action()->trigger();
        QVERIFY(!form_->window().isVisible());
        QVERIFY(dialogs_.boxes.empty());
    }

    void error_in_a_handler_shows_the_standard_box_and_the_window_stays_usable() {
        int upgrades = 0;
        jobs_->handlers[Handler::BitBtn2Click] = [this] {
            port_->append_text(Control::Memo1, "started\r\n");
            throw vaq::Error("Table is busy: Door.DB");
        };
        jobs_->handlers[Handler::BitBtn1Click] = [&upgrades] { ++upgrades; };
        form_->window().show();

        QTest::mouseClick(control<QPushButton>("BitBtn2"), Qt::LeftButton);
        QCOMPARE(dialogs_.boxes.size(), std::size_t{1});
        const BoxRequest& box = dialogs_.boxes.front();
        QCOMPARE(box.title, QStringLiteral("VAQ Utility"));
        QCOMPARE(box.text, QStringLiteral("Table is busy: Door.DB."));
        QCOMPARE(box.icon, BoxIcon::kError);
        // What the handler did before the error stays done.
        QCOMPARE(control<QPlainTextEdit>("Memo1")->toPlainText(), QStringLiteral("started\n"));

        QVERIFY(form_->window().isVisible());
        QVERIFY(form_->window().isEnabled());
        QTest::mouseClick(control<QPushButton>("BitBtn1"), Qt::LeftButton);
        QCOMPARE(upgrades, 1);
        QTest::mouseClick(control<QPushButton>("BitBtn2"), Qt::LeftButton);
        QCOMPARE(dialogs_.boxes.size(), std::size_t{2});
    }

    void error_in_a_nested_click_stops_the_caller_and_shows_one_box() {
        int rebuilt = 0;
        bool callerContinued = false;
        jobs_->handlers[Handler::RebuildBtnClick] = [&] {
            ++rebuilt;
            throw vaq::Error("Key violation in DoorStatus.db");
        };
        jobs_->handlers[Handler::BitBtn2Click] = [&] {
            // A disabled button pressed by program still runs its handler.
            port_->click(Control::RebuildBtn);
            callerContinued = true;
        };
        control<QPushButton>("BitBtn2")->click();
        QCOMPARE(rebuilt, 1);
        QVERIFY(!callerContinued);
        QCOMPARE(dialogs_.boxes.size(), std::size_t{1});
        QCOMPARE(dialogs_.boxes.front().text, QStringLiteral("Key violation in DoorStatus.db."));
    }

    void a_handler_not_yet_provided_answers_with_an_error() {
        control<QPushButton>("Button2")->click();
        QCOMPARE(dialogs_.boxes.size(), std::size_t{1});
        QVERIFY(dialogs_.boxes.front().text.contains("Button2Click"));
        QCOMPARE(dialogs_.boxes.front().icon, BoxIcon::kError);
    }

    void only_the_users_choice_runs_a_change_handler() {
        int changes = 0;
        jobs_->handlers[Handler::AliasComboChange] = [&changes] { ++changes; };
        port_->select(Control::AliasCombo, 1);
        QCOMPARE(changes, 0);
        auto* aliases = control<QComboBox>("AliasCombo");
        emit aliases->activated(0);
        QCOMPARE(changes, 1);
    }

    void timer_ticks_run_the_timer_handler() {
        int ticks = 0;
        jobs_->handlers[Handler::Timer1Timer] = [&ticks] { ++ticks; };
        auto* timer = form_->window().findChild<QTimer*>(QStringLiteral("Timer1"));
        timer->setInterval(5);
        port_->set_running(Control::Timer1, true);
        QTRY_VERIFY(ticks >= 2);
        port_->set_running(Control::Timer1, false);
        QVERIFY(!timer->isActive());
    }

    void transaction_grid_follows_the_open_transaction_table() {
        class TwoRows : public vaq::window::RowSource {
          public:
            std::vector<std::string> field_names() const override { return {"TransID", "TDate"}; }
            std::int64_t row_count() const override { return 2; }
            std::vector<std::vector<std::string>> read_rows(std::int64_t first,
                                                            std::int64_t) const override {
                std::vector<std::vector<std::string>> rows = {{"1", "10/15/2004"},
                                                              {"2", "10/16/2004"}};
                rows.erase(rows.begin(), rows.begin() + first);
                return rows;
            }
            std::uint64_t version() const override { return 1; }
        };
        auto open = std::make_shared<bool>(false);
        DatabaseSeam database = testing::working_database();
        database.transaction_rows = [open]() -> std::shared_ptr<const vaq::window::RowSource> {
            if (!*open) return nullptr;
            static const auto rows = std::make_shared<TwoRows>();
            return rows;
        };
        start_form(std::move(database));
        jobs_->handlers[Handler::Button2Click] = [open] { *open = true; };

        QAbstractItemModel* grid = control<QTableView>("DBGrid1")->model();
        QCOMPARE(grid->rowCount(), 0);
        control<QPushButton>("Button2")->click();
        QCOMPARE(grid->rowCount(), 2);
        QCOMPARE(grid->headerData(1, Qt::Horizontal).toString(), QStringLiteral("TDate"));
        QCOMPARE(grid->index(1, 1).data().toString(), QStringLiteral("10/16/2004"));
    }

    void form_create_error_skips_the_rest_and_the_window_opens_anyway() {
        DatabaseSeam database = testing::working_database();
        database.standard_aliases = []() -> std::vector<std::string> {
            throw vaq::Error("Cannot open the list of databases");
        };
        start_form(std::move(database));
        QCOMPARE(dialogs_.boxes.size(), std::size_t{1});
        QCOMPARE(dialogs_.boxes.front().text, QStringLiteral("Cannot open the list of databases."));
        QCOMPARE(control<QPlainTextEdit>("Memo1")->toPlainText(), QStringLiteral("Memo1"));
        QCOMPARE(control<QPlainTextEdit>("Memo2")->toPlainText(), QStringLiteral("Memo1"));
        QCOMPARE(control<QTableWidget>("StringGrid1")->item(0, 0)->text(), QString());
        QCOMPARE(control<QTableWidget>("StringGrid1")->item(1, 5)->text(), QString());
        QVERIFY(form_->about_box() != nullptr);
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
