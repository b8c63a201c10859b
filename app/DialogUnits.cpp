#include "app/DialogUnits.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QWidget>

#include <algorithm>

namespace velkor {

DialogUnits::DialogUnits(const QFont& font, double growX, double growY)
    : m_growX(std::max(1.0, growX))
    , m_growY(std::max(1.0, growY))
{
    const QFontMetrics fm(font);
    // The average width over both alphabets, rounded as the platform rounds it.
    const int width = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    m_baseX = std::max(1, (width / 26 + 1) / 2);
    m_baseY = std::max(1, fm.height());
}

QRect DialogUnits::rect(int left, int top, int width, int height) const
{
    // Edges are scaled, not sizes, so that neighbours that touch in dialog units touch
    // on screen too.
    return QRect(QPoint(x(left), y(top)), QPoint(x(left + width) - 1, y(top + height) - 1));
}

void DialogUnits::place(QWidget* widget, int left, int top, int width, int height) const
{
    widget->setGeometry(rect(left, top, width, height));
}

void DialogUnits::placeDropDown(QComboBox* combo, int left, int top, int width, int droppedHeight) const
{
    const int closed = combo->sizeHint().height();
    const QRect r = rect(left, top, width, droppedHeight);
    combo->setGeometry(r.x(), r.y(), r.width(), closed);
    const int itemHeight = std::max(1, combo->fontMetrics().height() + 2);
    combo->setMaxVisibleItems(std::max(1, (r.height() - closed) / itemHeight));
}

DialogLayout::DialogLayout(QWidget* dialog, int width, int height)
    : m_dialog(dialog)
    , m_width(width)
    , m_height(height)
{
}

void DialogLayout::add(QWidget* widget, int left, int top, int width, int height, Need need)
{
    QSize px;
    if (need != Need::None) {
        // A group box has no layout of its own, so its size hint is what its title needs.
        const QSize hint = widget->sizeHint().expandedTo(widget->minimumSizeHint());
        px = QSize(hint.width(), need == Need::Both ? hint.height() : 0);
    }
    m_items.push_back({widget, QRect(left, top, width, height), px, false});
}

void DialogLayout::addDropDown(QComboBox* combo, int left, int top, int width, int droppedHeight)
{
    // The closed box must show the widest item; its height is the style's own.
    m_items.push_back({combo, QRect(left, top, width, droppedHeight), QSize(combo->sizeHint().width(), 0), true});
}

void DialogLayout::addWithNeed(QWidget* widget, int left, int top, int width, int height, QSize need)
{
    m_items.push_back({widget, QRect(left, top, width, height), need, false});
}

DialogUnits DialogLayout::fit() const
{
    const DialogUnits plain(m_dialog->font());
    double gx = 1.0;
    double gy = 1.0;
    for (const Item& item : m_items) {
        const QRect r = plain.rect(item.units.x(), item.units.y(), item.units.width(), item.units.height());
        if (r.width() > 0)
            gx = std::max(gx, double(item.need.width()) / r.width());
        if (r.height() > 0)
            gy = std::max(gy, double(item.need.height()) / r.height());
    }
    // Rounding each edge to a pixel can leave a control a pixel short: grow a little
    // more until every one fits.
    for (int step = 0; step < 200; ++step) {
        const DialogUnits du(m_dialog->font(), gx, gy);
        bool wide = true;
        bool tall = true;
        for (const Item& item : m_items) {
            const QRect r = du.rect(item.units.x(), item.units.y(), item.units.width(), item.units.height());
            wide = wide && r.width() >= item.need.width();
            tall = tall && r.height() >= item.need.height();
        }
        if (wide && tall)
            return du;
        if (!wide)
            gx += 0.005;
        if (!tall)
            gy += 0.005;
    }
    return DialogUnits(m_dialog->font(), gx, gy);
}

DialogUnits DialogLayout::apply(QSize extra)
{
    const DialogUnits du = fit();
    for (const Item& item : m_items) {
        if (item.dropDown)
            du.placeDropDown(static_cast<QComboBox*>(item.widget), item.units.x(), item.units.y(), item.units.width(),
                             item.units.height());
        else
            du.place(item.widget, item.units.x(), item.units.y(), item.units.width(), item.units.height());
    }
    m_dialog->setFixedSize(du.size(m_width, m_height) + extra);
    return du;
}

} // namespace velkor
