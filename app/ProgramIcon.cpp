#include "app/ProgramIcon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace velkor {

QImage RenderProgramIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);

    // A dark blue tile, like a scanner's display at night.
    QLinearGradient tile(0, 0, 0, 64);
    tile.setColorAt(0, QColor(0x1d, 0x3b, 0x6e));
    tile.setColorAt(1, QColor(0x0b, 0x1a, 0x33));
    p.setPen(QPen(QColor(0x06, 0x10, 0x20), 1.5));
    p.setBrush(tile);
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 10, 10);

    // The mast: a lattice triangle standing on the bottom edge.
    const QColor steel(0xe8, 0xee, 0xf5);
    p.setPen(QPen(steel, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(QPointF(32, 22), QPointF(22, 54));
    p.drawLine(QPointF(32, 22), QPointF(42, 54));
    p.setPen(QPen(steel, 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(28.6, 33), QPointF(35.4, 33));
    p.drawLine(QPointF(26.1, 41), QPointF(37.9, 41));
    p.drawLine(QPointF(28.6, 33), QPointF(37.9, 41));
    p.drawLine(QPointF(35.4, 33), QPointF(26.1, 41));
    p.drawLine(QPointF(26.1, 41), QPointF(40.8, 50));
    p.drawLine(QPointF(37.9, 41), QPointF(23.2, 50));

    // The waves on both sides of the top, amber as a trunked radio's busy light.
    p.setBrush(Qt::NoBrush);
    const QColor amber(0xff, 0xb3, 0x1a);
    for (int i = 0; i < 3; ++i) {
        const double r = 7 + 6 * i;
        p.setPen(QPen(amber, 3 - 0.5 * i, Qt::SolidLine, Qt::RoundCap));
        const QRectF arc(32 - r, 19 - r, 2 * r, 2 * r);
        p.drawArc(arc, -40 * 16, 80 * 16);
        p.drawArc(arc, 140 * 16, 80 * 16);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(amber);
    p.drawEllipse(QPointF(32, 19), 3.5, 3.5);
    p.end();
    return image;
}

QIcon ProgramIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(QPixmap::fromImage(RenderProgramIcon(size)));
    return icon;
}

} // namespace velkor
