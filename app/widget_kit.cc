#include "app/widget_kit.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace vaq::app::kit {
namespace {

template <typename Widget>
Widget* placed(Widget* widget, const char* name, QRect place) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(place);
    return widget;
}

}  // namespace

QLabel* label(QWidget* parent, const char* name, const QString& caption, QRect place) {
    return placed(new QLabel(caption, parent), name, place);
}

QLabel* note(QWidget* parent, const char* name, const QString& caption, QRect place) {
    QLabel* result = label(parent, name, caption, place);
    QFont verdana(QStringLiteral("Verdana"));
    verdana.setPixelSize(12);
    result->setFont(verdana);
    set_text_colour(result, colour::kBlue);
    return result;
}

void set_text_colour(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::Text, colour);
    widget->setPalette(palette);
}

QPushButton* button(QWidget* parent, const char* name, const QString& caption, QRect place) {
    return placed(new QPushButton(caption, parent), name, place);
}

QPushButton* picture_button(QWidget* parent, const char* name, const QString& caption,
                            const QIcon& glyph, int glyphSize, QRect place) {
    QPushButton* result = button(parent, name, caption, place);
    result->setIcon(glyph);
    result->setIconSize(QSize(glyphSize, glyphSize));
    return result;
}

QGroupBox* group_box(QWidget* parent, const char* name, const QString& caption, QRect place) {
    return placed(new QGroupBox(caption, parent), name, place);
}

QComboBox* drop_down_list(QWidget* parent, const char* name, QRect place,
                          const QStringList& items) {
    QComboBox* result = placed(new QComboBox(parent), name, place);
    result->setEditable(false);
    result->addItems(items);
    result->setCurrentIndex(-1);
    return result;
}

QProgressBar* progress_bar(QWidget* parent, const char* name, QRect place) {
    QProgressBar* result = placed(new QProgressBar(parent), name, place);
    result->setRange(0, 100);
    result->setValue(0);
    result->setTextVisible(false);
    return result;
}

QProgressBar* gauge(QWidget* parent, const char* name, QRect place, const QColor& barColour) {
    QProgressBar* result = placed(new QProgressBar(parent), name, place);
    result->setRange(0, 100);
    result->setValue(0);
    result->setTextVisible(true);
    result->setAlignment(Qt::AlignCenter);
    if (barColour.isValid()) {
        QPalette palette = result->palette();
        palette.setColor(QPalette::Highlight, barColour);
        result->setPalette(palette);
    }
    return result;
}

}  // namespace vaq::app::kit
