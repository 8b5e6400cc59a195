#include "app/pictures.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QTimer>

namespace vaq::app {
namespace {

// Drawn on a 64 x 64 canvas, as in resources/vaq-utility.svg.
void paint_program_icon(QPainter& painter) {
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor drumSide(0x1F, 0x4E, 0x9C);
    const QColor drumTop(0x6F, 0xA8, 0xE8);
    painter.setPen(QPen(QColor(0x0B, 0x2A, 0x5C), 2));
    painter.setBrush(drumSide);
    QPainterPath body;
    body.moveTo(8, 14);
    body.lineTo(8, 50);
    body.arcTo(QRectF(8, 42, 44, 16), 180, 180);
    body.lineTo(52, 14);
    body.closeSubpath();
    painter.drawPath(body);
    painter.setBrush(drumTop);
    painter.drawEllipse(QRectF(8, 6, 44, 16));
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(drumTop, 2));
    for (qreal y : {26.0, 38.0}) {
        painter.drawArc(QRectF(8, y, 44, 16), 180 * 16, 180 * 16);
    }
    painter.setPen(QPen(Qt::white, 2));
    painter.setBrush(QColor(0x2E, 0x9E, 0x3E));
    painter.drawEllipse(QRectF(34, 34, 28, 28));
    painter.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPolyline(QPolygonF({QPointF(41, 48), QPointF(46, 54), QPointF(55, 41)}));
}

void paint_folder(QPainter& painter, QRectF box) {
    painter.setPen(QPen(QColor(0x80, 0x60, 0x00), 1));
    painter.setBrush(QColor(0xF0, 0xC8, 0x40));
    painter.drawRect(QRectF(box.left(), box.top() + 4, box.width(), box.height() - 4));
    painter.drawRect(QRectF(box.left(), box.top(), box.width() / 2, 4));
}

}  // namespace

QPixmap program_picture(int logicalSize) {
    return program_icon().pixmap(QSize(logicalSize, logicalSize), qApp->devicePixelRatio());
}

QIcon program_icon() {
    QIcon icon;
    // Up to the sizes a screen at a scale of 2 or more asks for.
    for (int size : {16, 24, 32, 48, 64, 96, 128, 256}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.scale(size / 64.0, size / 64.0);
        paint_program_icon(painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

FileCopyAnimation::FileCopyAnimation(QWidget* parent) : QWidget(parent), timer_(new QTimer(this)) {
    timer_->setInterval(60);
    connect(timer_, &QTimer::timeout, this, [this] {
        frame_ = (frame_ + 1) % kFrameCount;
        update();
    });
}

void FileCopyAnimation::start() {
    timer_->start();
}

void FileCopyAnimation::stop() {
    timer_->stop();
    frame_ = 0;
    update();
}

bool FileCopyAnimation::is_running() const {
    return timer_->isActive();
}

void FileCopyAnimation::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal folderWidth = 40;
    const qreal folderHeight = 30;
    const qreal baseline = height() - 4;
    const QRectF from(4, baseline - folderHeight, folderWidth, folderHeight);
    const QRectF to(width() - 4 - folderWidth, baseline - folderHeight, folderWidth, folderHeight);
    paint_folder(painter, from);
    paint_folder(painter, to);

    // The sheet travels along an arc from the left folder to the right one.
    const qreal t = static_cast<qreal>(frame_) / (kFrameCount - 1);
    const qreal x = from.center().x() + t * (to.center().x() - from.center().x()) - 6;
    const qreal lift = 4 * t * (1 - t) * (height() - folderHeight - 12);
    const QRectF sheet(x, from.top() - 6 - lift, 12, 16);
    painter.setPen(QPen(Qt::darkGray, 1));
    painter.setBrush(Qt::white);
    painter.drawRect(sheet);
    for (int line = 1; line <= 3; ++line) {
        const qreal y = sheet.top() + 4 * line;
        painter.drawLine(QPointF(sheet.left() + 2, y), QPointF(sheet.right() - 2, y));
    }
}

}  // namespace vaq::app
