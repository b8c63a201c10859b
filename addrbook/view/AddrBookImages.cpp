#include "addrbook/view/AddrBookImages.h"

#include <QBitmap>
#include <QPainter>
#include <QPainterPath>

namespace velkor {

namespace {
constexpr int kSize = 16;
// Drawn on cyan, which then becomes transparent: the colour key of the original
// bitmap, kept so that anti-aliasing never bleeds into the background.
const QColor kKey(0, 255, 255);

using Painter = void (*)(QPainter&);

void folder(QPainter& p)
{
    p.setPen(QColor(128, 96, 0));
    p.setBrush(QColor(240, 200, 64));
    p.drawPolygon(QPolygon({{1, 4}, {6, 4}, {7, 5}, {14, 5}, {14, 13}, {1, 13}}));
    p.setBrush(QColor(255, 224, 112));
    p.drawPolygon(QPolygon({{1, 13}, {3, 7}, {15, 7}, {14, 13}}));
}

void radioMast(QPainter& p)
{
    p.setPen(QPen(QColor(64, 64, 64), 1));
    p.drawLine(8, 3, 4, 15);
    p.drawLine(8, 3, 12, 15);
    p.drawLine(6, 9, 10, 9);
    p.drawLine(5, 12, 11, 12);
    p.drawLine(6, 9, 11, 12);
    p.drawLine(10, 9, 5, 12);
    p.setPen(QPen(QColor(200, 0, 0), 1));
    p.setBrush(QColor(255, 0, 0));
    p.drawRect(7, 2, 2, 2);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0, 0, 192), 1));
    p.drawArc(QRect(2, 0, 12, 8), 30 * 16, 120 * 16);
    p.drawArc(QRect(0, -2, 16, 10), 40 * 16, 100 * 16);
}

void vehicle(QPainter& p)
{
    p.setPen(QPen(QColor(0, 0, 96), 1));
    p.setBrush(QColor(32, 96, 224));
    p.drawPolygon(QPolygon({{1, 12}, {1, 9}, {4, 9}, {6, 6}, {11, 6}, {13, 9}, {15, 9}, {15, 12}}));
    p.setBrush(QColor(200, 232, 255));
    p.drawPolygon(QPolygon({{5, 9}, {7, 7}, {10, 7}, {12, 9}}));
    p.setPen(Qt::black);
    p.setBrush(QColor(40, 40, 40));
    p.drawEllipse(QRect(3, 11, 3, 3));
    p.drawEllipse(QRect(10, 11, 3, 3));
    p.setPen(QPen(Qt::black, 1));
    p.drawLine(13, 9, 15, 1);
}

void wasteBin(QPainter& p)
{
    p.setPen(QColor(64, 64, 64));
    p.setBrush(QColor(176, 176, 176));
    p.drawPolygon(QPolygon({{4, 4}, {12, 4}, {11, 14}, {5, 14}}));
    p.drawRect(3, 2, 10, 2);
    p.drawLine(7, 1, 9, 1);
    p.drawLine(6, 6, 6, 12);
    p.drawLine(8, 6, 8, 12);
    p.drawLine(10, 6, 10, 12);
}

void globeScreen(QPainter& p)
{
    p.setPen(QColor(48, 48, 48));
    p.setBrush(QColor(96, 96, 96));
    p.drawRect(0, 1, 15, 11);
    p.drawRect(5, 13, 5, 1);
    p.setBrush(QColor(0, 0, 64));
    p.drawRect(1, 2, 13, 9);
    p.setPen(QColor(64, 160, 255));
    p.setBrush(QColor(0, 96, 192));
    p.drawEllipse(QRect(4, 2, 8, 8));
    p.setBrush(Qt::NoBrush);
    p.setPen(QColor(96, 224, 96));
    p.drawEllipse(QRect(6, 2, 4, 8));
    p.drawLine(4, 6, 12, 6);
}

QPixmap draw(Painter paint)
{
    QPixmap pm(kSize, kSize);
    pm.fill(kKey);
    {
        QPainter p(&pm);
        paint(p);
    }
    pm.setMask(pm.createMaskFromColor(kKey, Qt::MaskInColor));
    return pm;
}
} // namespace

std::vector<QPixmap> makeAddrBookImages()
{
    return {draw(folder), draw(radioMast), draw(vehicle), draw(wasteBin), draw(globeScreen)};
}

} // namespace velkor
