#include "app/DialogUnits.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QWidget>

#include <algorithm>

DialogUnits::DialogUnits(const QFont& font)
{
    const QFontMetrics fm(font);
    // The average width over both alphabets, rounded as the platform rounds it.
    const int width = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    m_baseX = std::max(1, (width / 26 + 1) / 2);
    m_baseY = std::max(1, fm.height());
}

QRect DialogUnits::rect(int left, int top, int width, int height) const
{
    return {x(left), y(top), x(width), y(height)};
}

void DialogUnits::place(QWidget* widget, int left, int top, int width, int height) const
{
    widget->setGeometry(rect(left, top, width, height));
}

void DialogUnits::placeDropDown(QComboBox* combo, int left, int top, int width, int droppedHeight) const
{
    const int closed = combo->sizeHint().height();
    combo->setGeometry(x(left), y(top), x(width), closed);
    const int itemHeight = std::max(1, combo->fontMetrics().height() + 2);
    combo->setMaxVisibleItems(std::max(1, (y(droppedHeight) - closed) / itemHeight));
}
