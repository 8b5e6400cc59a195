#include "app/pages.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QTableView>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/pictures.h"
#include "app/row_source_model.h"
#include "app/widget_kit.h"

namespace vaq::app {
namespace {

constexpr int kPageMargin = 4;

QIcon standard_glyph(QStyle::StandardPixmap pixmap) {
    return QApplication::style()->standardIcon(pixmap);
}

// The page's group box, filling the page with a small margin.
QGroupBox* page_group(QWidget* page, const char* name, const QString& caption) {
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(kPageMargin, kPageMargin, kPageMargin, kPageMargin);
    QGroupBox* group = kit::group_box(page, name, caption, QRect());
    layout->addWidget(group);
    return group;
}

QPlainTextEdit* text_box(QWidget* parent, const char* name, QRect place) {
    auto* box = new QPlainTextEdit(QStringLiteral("Memo1"), parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setGeometry(place);
    return box;
}

// A label captioning the control to its right, and that control's row.
void captioned_bar(QWidget* group, const char* labelName, const QString& caption,
                   const char* barName, int top) {
    kit::label(group, labelName, caption, QRect(12, top, 84, 16));
    kit::progress_bar(group, barName, QRect(100, top, 316, 16));
}

}  // namespace

void build_upgrade_page(QWidget* page) {
    QGroupBox* group = page_group(page, "GroupBox3", QStringLiteral("Rebuild VAQ Table index"));

    kit::picture_button(page, "BitBtn2", QStringLiteral("Rebuild Index"),
                        standard_glyph(QStyle::SP_BrowserReload), 16, QRect(16, 24, 140, 28));
    QLabel* version = kit::label(group, "Label22", QStringLiteral("Upgrade to VAQ(BDE) v3.2.1"),
                                 QRect(236, 20, 190, 16));
    version->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    kit::set_text_colour(version, kit::colour::kGreen);
    QLabel* events =
        kit::label(group, "Label23", QStringLiteral("Event 0-49"), QRect(236, 38, 190, 16));
    events->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    kit::set_text_colour(events, kit::colour::kOlive);
    kit::note(group, "Label12", QStringLiteral("Usage: Rebuild Index from database problem"),
              QRect(12, 54, 410, 18));

    auto* backup = new QCheckBox(QStringLiteral("Backup Database"), group);
    backup->setObjectName(QStringLiteral("CheckBox1"));
    backup->setGeometry(300, 56, 120, 18);
    backup->setChecked(false);
    backup->hide();

    kit::picture_button(page, "BitBtn1", QStringLiteral("Upgrade DataBase"),
                        standard_glyph(QStyle::SP_ArrowUp), 16, QRect(16, 82, 140, 28));
    kit::button(group, "Button3", QStringLiteral("Button3"), QRect(340, 80, 75, 25))->hide();
    kit::note(group, "Label13", QStringLiteral("Upgrade Old Database to use new version of VAQ"),
              QRect(12, 112, 410, 18));

    auto* separator = new QFrame(group);
    separator->setObjectName(QStringLiteral("Shape2"));
    separator->setFrameShape(QFrame::HLine);
    separator->setFrameShadow(QFrame::Plain);
    separator->setLineWidth(1);
    separator->setGeometry(8, 136, 418, 1);

    kit::label(group, "Label9", QStringLiteral("Table Name:"), QRect(12, 148, 84, 16));
    kit::drop_down_list(group, "TableCombo", QRect(100, 145, 226, 22));
    captioned_bar(group, "Label24", QStringLiteral("Header:"), "PBHeader", 176);
    captioned_bar(group, "Label25", QStringLiteral("Indexes:"), "PBIndexes", 198);
    captioned_bar(group, "Label26", QStringLiteral("Data:"), "PBData", 220);
    captioned_bar(group, "Label27", QStringLiteral("Rebuild:"), "PBRebuild", 242);
    kit::label(group, "Label28", QStringLiteral("Message:"), QRect(12, 264, 84, 16));
    QLabel* message =
        kit::label(group, "MessageLB", QStringLiteral("MessageLB"), QRect(100, 264, 316, 16));
    kit::set_text_colour(message, kit::colour::kNavy);
    message->hide();

    QLabel* image = kit::label(group, "Image1", QString(), QRect(12, 290, 48, 48));
    image->setPixmap(program_picture(48));
    QPlainTextEdit* log = text_box(group, "Memo1", QRect(66, 290, 360, 192));
    log->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    log->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    log->setLineWrapMode(QPlainTextEdit::NoWrap);
}

namespace {

void build_key_group(QWidget* parent) {
    QGroupBox* group =
        kit::group_box(parent, "GroupBox10", QStringLiteral("Re-arrange the Key Field values"),
                       QRect(12, 270, 414, 150));
    kit::picture_button(group, "BitBtn14", QStringLiteral("Re-arrange Key"),
                        standard_glyph(QStyle::SP_FileDialogDetailedView), 24,
                        QRect(10, 22, 140, 34));
    kit::note(group, "Label30", QStringLiteral("Usage : Prevent Key Violation"),
              QRect(160, 30, 240, 18));
    kit::gauge(group, "bar4", QRect(10, 62, 394, 18), kit::colour::kLime);
    kit::drop_down_list(group, "ComboBox1", QRect(10, 88, 130, 22),
                        {QStringLiteral("MessForm"), QStringLiteral("MessSys"),
                         QStringLiteral("Personal"), QStringLiteral("Transact")});
    kit::label(group, "Label31", QStringLiteral("Key Field"), QRect(150, 91, 60, 16));
    kit::drop_down_list(group, "ComboBox2", QRect(214, 88, 130, 22),
                        {QStringLiteral("MessID"), QStringLiteral("MessID"),
                         QStringLiteral("PersonalID"), QStringLiteral("TransID")});
    kit::progress_bar(group, "bar5", QRect(10, 120, 394, 16));
    group->hide();
}

}  // namespace

void build_staff_id_page(QWidget* page) {
    QGroupBox* group = page_group(page, "GroupBox5", QStringLiteral("Update Blank StaffID"));

    kit::picture_button(group, "BitBtn3", QStringLiteral("Update StaffID"),
                        standard_glyph(QStyle::SP_DialogApplyButton), 24, QRect(12, 24, 150, 34));
    kit::note(group, "Label10",
              QStringLiteral("*Before update, Please make sure VAQ program is closed"),
              QRect(12, 66, 414, 18));
    kit::note(group, "Label11", QStringLiteral("Usage: Update Blank StaffID in Transactions"),
              QRect(12, 86, 414, 18));
    kit::gauge(group, "bar1", QRect(12, 112, 414, 20));

    auto* animation = new FileCopyAnimation(group);
    animation->setObjectName(QStringLiteral("Animate1"));
    animation->setGeometry(12, 140, 272, 60);
    animation->hide();
    kit::label(group, "Label29", QString(), QRect(292, 162, 134, 16));

    QPlainTextEdit* completion = text_box(group, "Memo2", QRect(12, 206, 414, 56));
    completion->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    completion->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    build_key_group(group);
}

namespace {

QTableWidget* build_example_grid(QWidget* parent) {
    constexpr int kColumns = 7;
    constexpr int kRows = 2;
    auto* grid = new QTableWidget(kRows, kColumns, parent);
    grid->setObjectName(QStringLiteral("StringGrid1"));
    grid->setGeometry(12, 96, 414, 70);
    grid->horizontalHeader()->hide();
    grid->verticalHeader()->hide();
    grid->horizontalHeader()->setDefaultSectionSize(64);
    grid->verticalHeader()->setDefaultSectionSize(24);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    // The window's font falls back to a face wider than the one the 64-pixel columns were
    // made for; one pixel less keeps "15/10/2004" and "ControllerID" inside their cells.
    QFont cellFont = grid->font();
    cellFont.setPixelSize(10);
    grid->setFont(cellFont);
    // Like the original grid, a text too long for its cell is clipped, not elided.
    grid->setTextElideMode(Qt::ElideNone);
    grid->setWordWrap(false);
    grid->setStyleSheet(
        QStringLiteral("QTableWidget::item { padding-left: 2px; padding-right: 0px; }"));
    const QBrush fixedCell = grid->palette().button();
    for (int row = 0; row < kRows; ++row) {
        for (int column = 0; column < kColumns; ++column) {
            auto* cell = new QTableWidgetItem();
            // The first row and the first column are headings: shaded and not selectable.
            if (row == 0 || column == 0) {
                cell->setFlags(Qt::ItemIsEnabled);
                cell->setBackground(fixedCell);
            } else {
                cell->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            }
            grid->setItem(row, column, cell);
        }
    }
    return grid;
}

QTableView* build_transaction_grid(QWidget* parent, RowSourceModel* model) {
    auto* grid = new QTableView(parent);
    grid->setObjectName(QStringLiteral("DBGrid1"));
    grid->setGeometry(12, 194, 414, 288);
    grid->setModel(model);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->verticalHeader()->hide();
    grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid->verticalHeader()->setDefaultSectionSize(20);
    return grid;
}

}  // namespace

void fit_example_columns(QTableWidget* grid) {
    grid->resizeColumnsToContents();
    const int columns = grid->columnCount();
    int used = 0;
    for (int column = 0; column < columns; ++column)
        used += grid->columnWidth(column);
    const int room = grid->maximumViewportSize().width() - used;
    if (room <= 0 || columns == 0) return;
    for (int column = 0; column < columns; ++column) {
        const int share = room / columns + (column < room % columns ? 1 : 0);
        grid->setColumnWidth(column, grid->columnWidth(column) + share);
    }
}

ImportPageGrids build_import_page(QWidget* page, RowSourceModel* model) {
    QGroupBox* group = page_group(page, "GroupBox4", QStringLiteral("Import Trans2DB"));

    kit::button(group, "Button2", QStringLiteral("Import Transaction "), QRect(12, 24, 140, 28));
    kit::note(group, "Label19",
              QStringLiteral("* Import transaction from a file to transaction DB"),
              QRect(12, 56, 414, 18));
    kit::note(group, "Label20", QStringLiteral("Input File Format:"), QRect(12, 76, 414, 18));
    QTableWidget* example = build_example_grid(group);
    kit::note(group, "Label21", QStringLiteral("Transaction DB"), QRect(12, 174, 414, 18));
    return {example, build_transaction_grid(group, model)};
}

namespace {

// The alias, table and location controls that the repair drives by program.
void build_location_group(QWidget* panel) {
    QGroupBox* group =
        kit::group_box(panel, "GroupBox1", QStringLiteral(" Select Table Directory and File: "),
                       QRect(4, 4, 440, 110));
    kit::label(group, "Label1", QStringLiteral("Alias Name:"), QRect(10, 22, 90, 16));
    kit::drop_down_list(group, "AliasCombo", QRect(104, 20, 200, 22));
    kit::label(group, "Label2", QStringLiteral("Table Name:"), QRect(10, 48, 90, 16));
    kit::label(group, "Label3", QStringLiteral("Table Location:"), QRect(10, 74, 90, 16));
    auto* location = new QLineEdit(group);
    location->setObjectName(QStringLiteral("TableLocEdit"));
    location->setGeometry(104, 72, 220, 22);
    location->setReadOnly(true);
    kit::button(group, "ByDirectBtn", QStringLiteral("By Directory..."), QRect(330, 70, 100, 25));
    group->hide();
}

// Caption labels and their navy value labels, in display order.
struct PropertyRow {
    const char* captionName;
    const char* caption;
    const char* valueName;
};
constexpr PropertyRow kPropertyRows[] = {
    {"Label4", "Fields:", "FieldsLB"},          {"Label5", "Record Size:", "RecSizeLB"},
    {"Label6", "Indexes:", "IndexLB"},          {"Label7", "Validities:", "ValidLB"},
    {"Label8", "References:", "RefLB"},         {"Label14", "Restructure Version:", "RestructLB"},
    {"Label15", "Aux Passwords:", "AuxPassLB"}, {"Label16", "Code Page:", "CodePageLB"},
    {"Label17", "Block Size:", "BlockSizeLB"},  {"Label18", "Table Level:", "TabLvlLB"},
};

void build_properties_group(QWidget* panel) {
    QGroupBox* group =
        kit::group_box(panel, "GroupBox2", QStringLiteral(" Table Information and Action: "),
                       QRect(4, 118, 440, 170));
    int top = 20;
    for (const PropertyRow& row : kPropertyRows) {
        kit::label(group, row.captionName, QString::fromLatin1(row.caption),
                   QRect(10, top, 130, 13));
        QLabel* value =
            kit::label(group, row.valueName, QStringLiteral("0"), QRect(144, top, 80, 13));
        kit::set_text_colour(value, kit::colour::kNavy);
        top += 14;
    }
    kit::button(group, "VerifyBtn", QStringLiteral("Verify"), QRect(300, 30, 100, 25))
        ->setEnabled(false);
    kit::button(group, "RebuildBtn", QStringLiteral("Rebuild"), QRect(300, 64, 100, 25))
        ->setEnabled(false);
    group->hide();
}

}  // namespace

void build_state_controls(QWidget* window) {
    // Right of and below the 450 x 545 client area: present, never seen.
    // Out of the Tab chain as well: a control the user cannot see must not take the keyboard.
    kit::button(window, "ExitBtn", QStringLiteral("Exit"), QRect(470, 40, 75, 25))
        ->setFocusPolicy(Qt::NoFocus);
    kit::button(window, "Button1", QStringLiteral("Rebuild and Fix All"), QRect(470, 80, 120, 25))
        ->hide();
    auto* scratch = new QListWidget(window);
    scratch->setObjectName(QStringLiteral("ListBox1"));
    scratch->setGeometry(470, 120, 120, 97);
    scratch->hide();

    auto* panel = new QFrame(window);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setGeometry(0, 560, 450, 292);
    build_location_group(panel);
    build_properties_group(panel);
}

}  // namespace vaq::app
