#include "app/about_box.h"

#include <QLabel>
#include <QPushButton>
#include <QtGlobal>

#include "app/pictures.h"
#include "app/widget_kit.h"

namespace vaq::app {

AboutBox::AboutBox(const std::string& engine_version, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName(QStringLiteral("AboutForm"));
    setWindowTitle(QStringLiteral("About"));
    setFixedSize(kClientWidth, kClientHeight);
    setAutoFillBackground(true);
    QPalette cream = palette();
    cream.setColor(QPalette::Window, kit::colour::kCream);
    setPalette(cream);

    QLabel* icon = kit::label(this, "ProgramIcon", QString(), QRect(10, 10, 48, 48));
    icon->setPixmap(program_picture(48));

    QLabel* title =
        kit::label(this, "ProductName", QStringLiteral("VAQ DB Utility"), QRect(70, 8, 230, 22));
    QFont arial(QStringLiteral("Arial"));
    arial.setPixelSize(16);
    arial.setBold(true);
    title->setFont(arial);
    kit::set_text_colour(title, kit::colour::kNavy);

    kit::set_text_colour(
        kit::label(this, "Version", QStringLiteral("Version 1.5.3"), QRect(70, 32, 230, 16)),
        kit::colour::kNavy);
    kit::set_text_colour(
        kit::label(this, "Comments", QStringLiteral("Upgrade to use VAQ 3.2.1 BDE Edition"),
                   QRect(70, 50, 230, 16)),
        kit::colour::kOlive);
    QLabel* builtFrom = kit::label(
        this, "BuiltWith",
        QStringLiteral("Utility %1, engine %2, Qt %3")
            .arg(QStringLiteral(VAQ_UTILITY_VERSION), QString::fromStdString(engine_version),
                 QString::fromLatin1(qVersion())),
        QRect(70, 68, 232, 16));
    builtFrom->setToolTip(builtFrom->text());

    QPushButton* ok = kit::button(this, "OKButton", QStringLiteral("OK"), QRect(117, 94, 75, 25));
    ok->setDefault(true);
    ok->setAutoDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace vaq::app
