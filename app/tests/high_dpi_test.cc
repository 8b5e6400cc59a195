// The window on a small screen at a scale of 2 (run on a 1024 x 768 screen with
// QT_SCALE_FACTOR=2): it keeps its size in logical pixels, its title bar and menu stay on the
// screen, and its pictures are drawn for the screen's pixels rather than blown up.

#include <QAction>
#include <QLabel>
#include <QScreen>
#include <QtTest>

#include "app/about_box.h"
#include "app/tests/form_fixture.h"

using namespace vaq::app;

class HighDpiTest : public QObject {
    Q_OBJECT

    testing::FormFixture fixture_;

  private slots:
    void init() { fixture_.start(); }
    void cleanup() { fixture_.stop(); }

    void the_screen_is_small_and_scaled_by_two() {
        QScreen* screen = QGuiApplication::primaryScreen();
        QCOMPARE(screen->devicePixelRatio(), 2.0);
        QCOMPARE(screen->geometry().size(), QSize(512, 384));
    }

    void the_window_keeps_its_size_and_its_title_bar_on_the_screen() {
        fixture_.form->show_centred();
        QVERIFY(QTest::qWaitForWindowExposed(&fixture_.window()));
        QCOMPARE(fixture_.window().size(), QSize(450, 545));
        const QRect desktop = QGuiApplication::primaryScreen()->availableGeometry();
        const QRect frame = fixture_.window().frameGeometry();
        // The frame has a title bar, and all of it is on the screen: the window runs off at
        // the bottom only.
        QVERIFY(frame.top() < fixture_.window().geometry().top());
        QVERIFY2(frame.top() >= desktop.top() && frame.left() >= desktop.left(),
                 qPrintable(QStringLiteral("frame at %1,%2").arg(frame.left()).arg(frame.top())));
        QVERIFY(frame.right() <= desktop.right());
    }

    void placement_centres_what_fits_and_keeps_the_corner_of_what_does_not() {
        const QRect desktop(0, 0, 1024, 768);
        QCOMPARE(place_on_screen(QSize(450, 570), desktop), QPoint(287, 99));
        QCOMPARE(place_on_screen(QSize(450, 570), QRect(0, 0, 512, 384)), QPoint(31, 0));
        QCOMPARE(place_on_screen(QSize(600, 570), QRect(100, 30, 512, 384)), QPoint(100, 30));
    }

    void pictures_are_drawn_for_the_screens_pixels() {
        fixture_.form->show_centred();
        for (QLabel* picture : {fixture_.control<QLabel>("Image1"),
                                fixture_.form->about_box()->findChild<QLabel*>("ProgramIcon")}) {
            const QPixmap pixmap = picture->pixmap();
            QCOMPARE(pixmap.devicePixelRatio(), 2.0);
            QCOMPARE(pixmap.size(), QSize(96, 96));
        }
        QVERIFY(fixture_.window().windowIcon().availableSizes().contains(QSize(96, 96)));
    }
};

QTEST_MAIN(HighDpiTest)
#include "high_dpi_test.moc"
