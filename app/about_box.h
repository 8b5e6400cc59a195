#pragma once

// The About box TAboutForm: program name, version, edition and the versions of the parts the
// utility is built from.

#include <QDialog>
#include <string>

namespace vaq::app {

class AboutBox : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kClientWidth = 309;
    static constexpr int kClientHeight = 128;

    AboutBox(const std::string& engine_version, QWidget* parent = nullptr);
};

}  // namespace vaq::app
