#pragma once

// Small builders for the window's controls: each sets the objectName, caption and place the
// window designer would, so that the page builders read as lists of controls.

#include <QColor>
#include <QIcon>
#include <QRect>
#include <QString>
#include <QStringList>

class QComboBox;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QWidget;

namespace vaq::app::kit {

namespace colour {
inline const QColor kNavy{0x00, 0x00, 0x80};
inline const QColor kBlue{0x00, 0x00, 0xFF};
inline const QColor kGreen{0x00, 0x80, 0x00};
inline const QColor kOlive{0x80, 0x80, 0x00};
inline const QColor kLime{0x00, 0xFF, 0x00};
inline const QColor kCream{0xFF, 0xFB, 0xF0};
}  // namespace colour

QLabel* label(QWidget* parent, const char* name, const QString& caption, QRect place);
// A label in blue 12-pixel Verdana, the style of the window's notes.
QLabel* note(QWidget* parent, const char* name, const QString& caption, QRect place);
void set_text_colour(QWidget* widget, const QColor& colour);

QPushButton* button(QWidget* parent, const char* name, const QString& caption, QRect place);
// A button with a picture of glyphSize pixels beside its caption.
QPushButton* picture_button(QWidget* parent, const char* name, const QString& caption,
                            const QIcon& glyph, int glyphSize, QRect place);

QGroupBox* group_box(QWidget* parent, const char* name, const QString& caption, QRect place);
// A selection-only drop-down list.
QComboBox* drop_down_list(QWidget* parent, const char* name, QRect place,
                          const QStringList& items = {});

// A plain bar, range 0 to 100.
QProgressBar* progress_bar(QWidget* parent, const char* name, QRect place);
// A bar with its percentage written on it, range 0 to 100.
QProgressBar* gauge(QWidget* parent, const char* name, QRect place,
                    const QColor& barColour = QColor());

}  // namespace vaq::app::kit
