#pragma once

// The pictures of the window, drawn in code so that no image plug-in is needed: the program
// icon (also in resources/vaq-utility.svg for the desktop) and the file-copy animation.

#include <QIcon>
#include <QWidget>

class QTimer;

namespace vaq::app {

// A database drum with a green tick.
QIcon program_icon();
// The program icon as a picture of logicalSize x logicalSize, sharp on the screens of the
// highest scale.
QPixmap program_picture(int logicalSize);

// Twenty frames of a sheet flying from one folder to another, played over and over while
// running.
class FileCopyAnimation : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kFrameCount = 20;

    explicit FileCopyAnimation(QWidget* parent = nullptr);

    void start();
    void stop();
    bool is_running() const;
    int frame() const { return frame_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QTimer* timer_;
    int frame_ = 0;
};

}  // namespace vaq::app
