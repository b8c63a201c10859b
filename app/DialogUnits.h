// Dialog units: the coordinates the dialogs are designed in. One horizontal unit is a
// quarter of the dialog font's average character width, one vertical unit an eighth of
// its height, so a layout drawn in them keeps its proportions with any font. We use the
// desktop's own dialog font, as "MS Shell Dlg" stands for the system's dialog font.
#pragma once

#include <QFont>
#include <QRect>

class QWidget;

class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);

    // The average character width and the height of the font, in pixels.
    int baseX() const { return m_baseX; }
    int baseY() const { return m_baseY; }

    int x(int units) const { return scale(units, m_baseX, 4); }
    int y(int units) const { return scale(units, m_baseY, 8); }
    QRect rect(int left, int top, int width, int height) const;
    QSize size(int width, int height) const { return {x(width), y(height)}; }

    // Places widget at the rectangle given in dialog units.
    void place(QWidget* widget, int left, int top, int width, int height) const;
    // Places a drop-down list: the rectangle's height is that of the opened list, so the
    // closed box keeps the height its style wants and the list shows as many items as fit.
    void placeDropDown(class QComboBox* combo, int left, int top, int width, int droppedHeight) const;

private:
    // Rounds to the nearest pixel, as the platform's MulDiv does.
    static int scale(int units, int base, int divisor) { return (units * base + divisor / 2) / divisor; }

    int m_baseX;
    int m_baseY;
};
